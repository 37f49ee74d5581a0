#include "window/logic/form_logic.h"

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "codec/convert.h"
#include "codec/write.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::window::logic {
namespace {

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

std::u16string JapaneseReason(IoErrorCode code) {
  switch (code) {
    case IoErrorCode::kNotFound:
      return u"ファイルまたはフォルダーが見つかりません。";
    case IoErrorCode::kPermissionDenied:
      return u"アクセスが拒否されました（読み取り専用か、書き込む権限がありません）。";
    case IoErrorCode::kIsDirectory:
      return u"フォルダーの名前です。ファイルの名前を指定してください。";
    case IoErrorCode::kDiskFull:
      return u"ディスクの空き領域が足りません。";
    case IoErrorCode::kInvalidName:
      return u"ファイル名として使えない名前です。";
    case IoErrorCode::kInUse:
      return u"ほかのプログラムがこのファイルを使用中です。";
    case IoErrorCode::kReservedName:
      return u"CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9 はデバイス名のため、"
             u"ファイル名に使えません。";
    case IoErrorCode::kNotRegularFile:
      return u"通常のファイルではありません（デバイス、パイプまたはソケットです）。";
    case IoErrorCode::kOutOfRange:
      return u"ファイルの終わりを越えて書き込もうとしました。";
    case IoErrorCode::kOther:
      break;
  }
  return u"システムエラーが発生しました。";
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
  if (!loaded) return {CharTable(), TableErrorText(loaded.error()), {}};
  // The folder as a user finds it: absolute, without dots or a trailing separator.
  std::error_code error;
  std::filesystem::path shown = std::filesystem::absolute(dir, error);
  shown = (error ? dir : shown).lexically_normal();
  if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
  return {std::move(loaded).value(), std::nullopt,
          u"文字テーブル：" + FromUtf8(PathToUtf8(shown.make_preferred()))};
}

LoadOutcome LoadForm(const Result<std::filesystem::path, TableFolderError>& found) {
  if (found) return LoadForm(found.value());
  return {CharTable(), TableFolderErrorText(found.error()), {}};
}

std::u16string TableFolderErrorText(const TableFolderError& error) {
  std::u16string text = u"文字テーブルが見つかりませんでした。\n" + FromUtf8(kMainTableFile) +
                        u" を次のフォルダーで探しました：";
  for (const std::filesystem::path& folder : error.tried)
    text += u"\n  " + FromUtf8(PathToUtf8(folder));
  return text;
}

ConvertOutcome ConvertForm(std::u16string_view text3, const CharTable& table) {
  ConvertOutcome outcome;
  outcome.listing = ConvertToCode(text3, table, LineBreaks::kCrLf, &outcome.uncoded);
  return outcome;
}

WriteOutcome WriteForm(std::u16string_view text2, std::u16string_view text1, UncodedMarks& uncoded,
                       FileOps& ops) {
  if (!uncoded.empty()) {
    uncoded.HoldFor(text2);
    return {WriteOutcome::Kind::kBoxMessage,
            std::u16string(MessageFor(ListingErrorCode::kNotHexDigit))};
  }
  auto written = WriteBinary(text2, text1, ops);
  if (written) return {WriteOutcome::Kind::kWritten, {}};
  return std::visit(
      [](const auto& error) -> WriteOutcome {
        using E = std::decay_t<decltype(error)>;
        if constexpr (std::is_same_v<E, ListingError>) {
          return {WriteOutcome::Kind::kBoxMessage, std::u16string(MessageFor(error.code))};
        } else {
          // The user's text stays: a failed write must not cost them the listing.
          return {WriteOutcome::Kind::kErrorDialog, WriteErrorText(error)};
        }
      },
      written.error());
}

std::u16string IoReasonText(const IoError& error) {
  std::u16string reason = LocalizedSystemReason(error.system_error);
  if (!reason.empty()) return reason;
  return JapaneseReason(error.code);
}

std::u16string TableErrorText(const TableError& error) {
  std::u16string text = u"文字テーブルを読み込めませんでした。\n" + FileLine(error.file);
  const std::u16string line = Number(error.line) + u" 行目：";
  switch (error.code) {
    case TableErrorCode::kCannotOpen:
      return text + u"ファイルを開けません。" +
             IoReasonText(IoError{error.io_code, error.file, error.system_error, error.reason});
    case TableErrorCode::kTooFewFields:
      return text + line + u"項目が " + Number(error.fields) + u" 個しかありません（ラベルと 16 " +
             u"個のセルで " + Number(kMinFields) + u" 個必要です）。";
    case TableErrorCode::kTooManyDataLines:
      return text + line + u"データ行が多すぎます（このファイルに書けるデータ行は " +
             Number(error.limit) + u" 行までです）。";
    case TableErrorCode::kInvalidUtf8:
      // Why the file was taken for UTF-8: its mark, or the valid text before.
      return text + Number(error.line) + u" 行目 " + Number(error.column) +
             u" 文字目：UTF-8 として正しくないバイト列があります（" +
             (error.encoding == TextEncoding::kUtf8Bom
                  ? u"ファイルが UTF-8 のバイトオーダーマークで始まっている"
                  : u"ここまでのテキストが UTF-8 である") +
             u"ため、UTF-8 として読んでいます）。";
  }
  return text;
}

std::u16string WriteErrorText(const IoError& error) {
  return u"出力ファイルに書き込めませんでした。\n" + FileLine(error.path) + IoReasonText(error);
}

}  // namespace binconv::window::logic
