#include "window/logic/form_logic.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "chartable/encoding.h"
#include "chartable/tbl.h"
#include "codec/convert.h"
#include "codec/write.h"
#include "messages/messages.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::window::logic {
namespace {

// The window speaks Japanese.
constexpr messages::Language kJapanese = messages::Language::kJapanese;

std::u16string FromUtf8(std::string_view text) {
  auto decoded = DecodeUtf8(text);
  if (decoded) return std::move(decoded).value();
  // A name from the system that is not valid UTF-8 is still shown, byte by byte.
  return std::u16string(text.begin(), text.end());
}

std::u16string Number(std::size_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string FileLine(const std::string& file) { return u"ファイル：" + FromUtf8(file) + u"\n"; }

// A file or folder as a user finds it: absolute, without dots or a trailing
// separator.
std::u16string ShownPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path shown = std::filesystem::absolute(path, error);
  shown = (error ? path : shown).lexically_normal();
  if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
  return FromUtf8(PathToUtf8(shown.make_preferred()));
}

// The arguments, each turned into a path as `path_of` says.
template <class View, class PathOf, class TextOf>
WindowArgs ArgsOf(std::span<const View> args, View tbl, View tbl_is, PathOf&& path_of,
                  TextOf&& text_of) {
  WindowArgs found;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == tbl) {
      found.tbl_without_file = i + 1 == args.size();
      if (!found.tbl_without_file) found.tbl = path_of(args[++i]);
    } else if (args[i].starts_with(tbl_is)) {
      found.tbl = path_of(args[i].substr(tbl_is.size()));
      found.tbl_without_file = false;
    } else if (!found.unknown) {
      found.unknown = text_of(args[i]);
    }
  }
  return found;
}

}  // namespace

std::u16string CoreTextFromBox(std::u16string_view raw) {
  std::u16string out;
  out.reserve(raw.size() + raw.size() / 16);
  const std::size_t n = raw.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t ch = raw[i];
    switch (ch) {
      case u'\r':
        if (i + 1 < n && raw[i + 1] == u'\n') ++i;
        [[fallthrough]];
      case u'\n':
      case u'\u2028':
      case u'\u2029':
        out += u"\r\n";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::u16string BoxTextFromCore(std::u16string_view text, std::u16string_view line_break) {
  std::u16string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t ch = text[i];
    if (ch == u'\r' || ch == u'\n') {
      if (ch == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
      out += line_break;
    } else {
      out += ch;
    }
  }
  return out;
}

bool IsRejectedInListing(char16_t ch) {
  if (HexValue(ch) >= 0) return false;
  switch (ch) {
    case u' ':
    case u'\u3000':
    case u'\r':
    case u'\n':
    case u'\u2028':
    case u'\u2029':
      return false;
    default:
      return true;
  }
}

LoadOutcome LoadForm(const std::filesystem::path& dir) {
  auto loaded = LoadCharTables(dir);
  if (!loaded) return {NoEncoding(), TableErrorText(loaded.error()), {}};
  // Compiled once here: every conversion of the window goes through it.
  return {GameTableOf(loaded.value()), std::nullopt, u"文字テーブル：" + ShownPath(dir)};
}

WindowArgs WindowArgsOf(std::span<const std::string_view> args) {
  return ArgsOf<std::string_view>(
      args, "--tbl", "--tbl=", [](std::string_view name) { return PathFromUtf8(name); },
      [](std::string_view arg) { return PathFromUtf8(arg).u16string(); });
}

WindowArgs WindowArgsOf(std::span<const std::u16string_view> args) {
  return ArgsOf<std::u16string_view>(args, u"--tbl", u"--tbl=", [](std::u16string_view name) {
    return std::filesystem::path(std::u16string(name));  // native: UTF-16 as Windows gives it
  }, [](std::u16string_view arg) { return std::u16string(arg); });
}

LoadOutcome LoadForm(const WindowArgs& args, const TableSearchPlace& place) {
  if (args.unknown) {
    return {NoEncoding(),
            u"知らない引数です：" + *args.unknown +
                u"\n使える引数は --tbl ファイル名、--help、--version です。",
            {}};
  }
  if (args.tbl_without_file) {
    return {NoEncoding(), u"--tbl のあとにゲームのテーブルのファイル名がありません。", {}};
  }
  if (args.tbl) return LoadGameTblForm(*args.tbl);
  return LoadForm(FindTableFolder(place));
}

LoadOutcome LoadGameTblForm(const std::filesystem::path& file) {
  const std::string name = PathToUtf8(file);
  auto bytes = ReadFileBytes(file);
  if (!bytes) {
    return {NoEncoding(),
            u"ゲームのテーブルを読み込めませんでした。\n" + FileLine(name) +
                u"ファイルを開けません。" + IoReasonText(bytes.error()),
            {}};
  }
  auto table = ParseGameTable(*bytes, name);
  if (!table) return {NoEncoding(), GameTblErrorText(table.error()), {}};
  return {std::move(table).value(), std::nullopt, u"ゲームのテーブル：" + ShownPath(file)};
}

std::u16string GameTblErrorText(std::span<const Problem> problems) {
  // A message box taller than the screen would hide its button.
  constexpr std::size_t kMostShown = messages::kMostProblemsListed;
  std::u16string text = u"ゲームのテーブルを読み込めませんでした。";
  for (std::size_t i = 0; i < std::min(problems.size(), kMostShown); ++i) {
    const Problem& problem = problems[i];
    text += u"\n" + FromUtf8(problem.file) + u":" + Number(problem.line) + u"：" +
            messages::MessageUtf16(kJapanese, problem);
  }
  if (problems.size() > kMostShown) {
    text += u"\n" + FromUtf8(messages::MoreProblems(kJapanese, problems.size() - kMostShown));
  }
  return text;
}

LoadOutcome LoadForm(const Result<std::filesystem::path, Problem>& found) {
  if (found) return LoadForm(found.value());
  return {NoEncoding(), TableFolderErrorText(found.error()), {}};
}

std::u16string TableFolderErrorText(const Problem& error) {
  return messages::MessageUtf16(kJapanese, error);
}

ConvertOutcome ConvertForm(std::u16string_view text3, const GameTable& encoding) {
  ConvertOutcome outcome;
  outcome.listing = ConvertToCode(text3, encoding, LineBreaks::kCrLf, &outcome.uncoded);
  return outcome;
}

WriteOutcome WriteForm(std::u16string_view text2, std::u16string_view text1, UncodedMarks& uncoded,
                       FileOps& ops) {
  if (!uncoded.empty()) {
    uncoded.HoldFor(text2);
    return {WriteOutcome::Kind::kBoxMessage,
            messages::MessageUtf16(kJapanese, Problem{ProblemCode::kListingNotHex})};
  }
  auto written = WriteBinary(text2, text1, ops);
  if (written) return {WriteOutcome::Kind::kWritten, {}};
  return std::visit(
      [](const auto& error) -> WriteOutcome {
        using E = std::decay_t<decltype(error)>;
        if constexpr (std::is_same_v<E, Problem>) {
          return {WriteOutcome::Kind::kBoxMessage, messages::MessageUtf16(kJapanese, error)};
        } else {
          // The user's text stays: a failed write must not cost them the listing.
          return {WriteOutcome::Kind::kErrorDialog, WriteErrorText(error)};
        }
      },
      written.error());
}

std::u16string IoReasonText(const IoError& error) {
  return messages::IoReasonUtf16(kJapanese, error);
}

std::u16string TableErrorText(const Problem& error) {
  return messages::MessageUtf16(kJapanese, error);
}

std::u16string WriteErrorText(const IoError& error) {
  return u"出力ファイルに書き込めませんでした。\n" + FileLine(error.path) + IoReasonText(error);
}

}  // namespace binconv::window::logic
