// binconv-cli search: where a text's bytes occur in a game; with --relative,
// where a kana word occurs in a game whose table is unknown.

#include <limits>
#include <map>

#include "chartable/encoding.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/game_scan.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "scan/relative_search.h"

namespace binconv::cli {
namespace {

constexpr CommandText kSearchText{
    .name = "search",
    .summary = "find texts in a game file, or a kana word by relative search",
    .details =
        "Encodes each TEXT with the tables and lists every offset of GAME where its\n"
        "bytes occur, in file order: OFFSET<TAB>TEXT, OFFSET in 0x hex. A match\n"
        "whose previous byte is a lead byte (20, 21, 22, 23, 18) may sit inside a\n"
        "two-byte code: it gets <TAB>(after a lead byte). All TEXTs are searched in\n"
        "one pass. Exit status: 0 something was found, 1 nothing, 2 an error (such\n"
        "as a TEXT with a character that has no code, which is named). --tbl FILE\n"
        "encodes each TEXT through a game's own table (see encode) instead.\n"
        "\n"
        "--relative finds the table of a game not seen before. KANA is a word in\n"
        "hiragana or katakana that the game shows, such as a name. Every offset is\n"
        "listed where the bytes, one per character, step as the word's kana do in\n"
        "a common kana order: jis (Unicode order, ぁあぃい…, dakuten forms beside\n"
        "their base; the default tables use it) or gojuon (あいうえお…わをん, small\n"
        "kana and dakuten forms elsewhere). Both are tried unless --order names\n"
        "one; a character outside the order matches any byte. Each line gives the\n"
        "code the match implies for あ (ア), the table page it gives and the order:\n"
        "  0x0012345<TAB>あ=0x35<TAB>かきくけこ… = 3A 3C 3E 40 42 …<TAB>jis\n"
        "--save-tbl FILE writes a .tbl of the kana of the best match (the あ code\n"
        "most matches agree on) for import-tbl; codes at 18, 20-24 and 50 are left out.\n"
        "\n"
        "GAME is read in pieces, so it may be of any size; \"-\" reads standard\n"
        "input. A progress bar is shown on a terminal for a GAME over 64 MiB.\n"};

constexpr std::string_view kRelativeOnly = "--order and --save-tbl go with --relative";

constexpr std::array kSearchOptions{
    Related(kTablesOption, "tbl", ""),
    kExactOption,
    OptionSpec{"count", 0, "", "print only how often each TEXT occurs: COUNT<TAB>TEXT"},
    OptionSpec{.name = "relative",
               .help = "relative search for a kana word in a game of unknown table",
               .excludes = "count tables exact",
               .misuse = "--relative needs no tables: --count, --tables and --exact don't go with "
                         "it"},
    OptionSpec{.name = "order",
               .value_name = "ORDER",
               .help = "with --relative: jis or gojuon only (default: both)",
               .needs = "relative",
               .misuse = kRelativeOnly},
    OptionSpec{.name = "save-tbl",
               .value_name = "FILE",
               .help = "with --relative: write a .tbl of the best match to FILE",
               .needs = "relative",
               .misuse = kRelativeOnly},
    // --tbl FILE reads an encoding, as everywhere; with --relative it was
    // once --save-tbl's spelling, so it is refused there naming the new one.
    OptionSpec{.name = "tbl",
               .value_name = "FILE",
               .help = "encode each TEXT through a game's own .tbl FILE instead of the tables",
               .excludes = "relative",
               .misuse = "search --relative writes its table with --save-tbl OUT; --tbl FILE "
                         "reads an encoding"},
    kHelpOption};

constexpr Form kRelativeForm{
    .when = "relative",
    .positionals = Exactly(2, "GAME KANA", "search --relative needs GAME and one KANA word"),
    .order = "relative order=jis|gojuon save-tbl @"};

constexpr Usage kSearchUsage{
    .options = kSearchOptions,
    .form = {.positionals = {.shown = "GAME TEXT...",
                             .min = 2,
                             .max = kAnyNumber,
                             .needs = "search needs GAME and at least one TEXT"}},
    .other = &kRelativeForm,
    .points = HelpPointer::kCommand};

// The scan's read error, or the output's, reported.
Reported<> ScanResult(const Result<Unit, IoError>& scanned, LineOutput& out) {
  if (!scanned) return Failure(ReportScanError(scanned.error()));
  return out.Finish();
}

// Each TEXT's bytes; the first trouble is reported.
Reported<std::vector<std::vector<std::uint8_t>>> EncodeTexts(const ParsedArgs& args,
                                                             const TextCodec& encoding) {
  std::vector<std::vector<std::uint8_t>> patterns;
  for (std::size_t i = 1; i < args.positionals.size(); ++i) {
    const std::string& text = args.positionals[i];
    const std::string shown = "TEXT '" + text + "'";
    TextEncoder encoder(encoding, LineBreaksOf(args));
    std::vector<std::uint8_t> bytes;
    if (!encoder.FeedUtf8(text, bytes) || !encoder.FinishUtf8(bytes)) {
      PrintError("TEXT " + std::to_string(i) + " is not valid UTF-8");
      return Failure(kExitError);
    }
    if (!encoder.problems().empty()) {
      // A TEXT argument is named whole, without a line and column.
      Problem problem = ToProblem(encoder.problems().front(), shown);
      problem.line = problem.column = 0;
      PrintError(Describe(problem));
      return Failure(kExitError);
    }
    if (encoder.odd_count()) {
      PrintError(shown + ": the hex digits of its tags do not pair up");
      return Failure(kExitError);
    }
    if (bytes.empty()) {
      PrintError(shown + " gives no bytes to search for");
      return Failure(kExitError);
    }
    patterns.push_back(std::move(bytes));
  }
  return patterns;
}

int RunPlainSearch(const ParsedArgs& args) {
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return ToInt(loaded.error());
  const auto patterns = EncodeTexts(args, encoding.encoding());
  if (!patterns) return ToInt(patterns.error());
  GameInput game;
  if (auto opened = game.Open(args.positionals.front()); !opened) return ToInt(opened.error());
  const bool count_only = args.Has("count");
  std::vector<std::uint64_t> counts(patterns->size(), 0);
  LineOutput out;
  const auto scanned = SearchBytes(
      game.Reader(), *patterns, kScanChunkSize,
      [&](const ByteMatch& m) {
        ++counts[m.pattern];
        if (count_only) return true;
        std::string line = OffsetHex(m.offset) + "\t" + args.positionals[m.pattern + 1];
        // Lead bytes are the table files'; a .tbl's codes have their own.
        if (m.after_lead && !encoding.game) line += "\t(after a lead byte)";
        return out.Add(line);
      },
      game.Progress());
  if (count_only) {
    for (std::size_t i = 0; i < counts.size(); ++i) {
      out.Add(std::to_string(counts[i]) + "\t" + args.positionals[i + 1]);
    }
  }
  if (auto result = ScanResult(scanned, out); !result) return ToInt(result.error());
  for (const std::uint64_t c : counts) {
    if (c != 0) return kExitOk;
  }
  return kExitRejected;
}

struct RelativeSetup {
  std::vector<RelativeWord> words;
  bool katakana = false;
};

Reported<RelativeSetup> SetUpRelative(const ParsedArgs& args) {
  auto word = DecodeUtf8(args.positionals[1]);
  if (!word) {
    PrintError("KANA is not valid UTF-8");
    return Failure(kExitError);
  }
  std::vector<KanaOrder> orders = {KanaOrder::kJis, KanaOrder::kGojuon};
  if (auto named = args.Value("order")) {
    if (*named == "jis") {
      orders = {KanaOrder::kJis};
    } else if (*named == "gojuon") {
      orders = {KanaOrder::kGojuon};
    } else {
      PrintError("--order takes jis or gojuon, not '" + *named + "'");
      return Failure(kExitError);
    }
  }
  RelativeSetup setup;
  for (const char16_t ch : word.value()) {
    if (KanaIndex(KanaOrder::kJis, ch)) {
      setup.katakana = ch >= u'\u30A0';
      break;
    }
  }
  std::string why;
  for (const KanaOrder order : orders) {
    auto compiled = RelativeWordOf(word.value(), order);
    if (compiled) {
      setup.words.push_back(std::move(compiled.value()));
    } else if (why.empty()) {
      why =
          compiled.error() == RelativeWordError::kTooFewKana
              ? "needs at least two different kana of the " + std::string(NameOf(order)) + " order"
              : "has kana too far apart in the " + std::string(NameOf(order)) +
                    " order for one-byte codes";
    }
  }
  if (setup.words.empty()) {
    PrintError("KANA '" + args.positionals[1] + "' " + why);
    return Failure(kExitError);
  }
  return setup;
}

// "かきくけこ… = 3A 3C 3E 40 42 …": the plain kana from the word's first on,
// with the codes the match gives them.
std::string PageOf(const RelativeWord& word, int code_of_a, bool katakana) {
  const KanaOrder order = word.order;
  int low = KanaCount(order);
  for (const auto& place : word.places) {
    if (place) low = std::min(low, *place);
  }
  const int zero = code_of_a - IndexOfA(order);
  std::u16string chars;
  std::string codes;
  int shown = 0;
  for (int g = 0; g < KanaCount(KanaOrder::kGojuon) && shown < 5; ++g) {
    const char16_t kana = KanaAt(KanaOrder::kGojuon, g, katakana);
    const int place = *KanaIndex(order, kana);
    const int code = zero + place;
    if (place < low || code < 0 || code > 255) continue;
    chars += kana;
    codes += HexByte(static_cast<std::uint8_t>(code)) + " ";
    ++shown;
  }
  return EncodeUtf8(chars) + "… = " + codes + "…";
}

// The .tbl the best match gives: every kana of its order with a code that a
// page 0 cell can take.
Reported<> WriteRelativeTbl(const std::string& name, const RelativeWord& word, int code_of_a,
                            bool katakana) {
  const int zero = code_of_a - IndexOfA(word.order);
  std::string tbl;
  std::size_t entries = 0;
  for (int place = 0; place < KanaCount(word.order); ++place) {
    const int code = zero + place;
    if (code < 0 || code > 255 || IsReservedByte(static_cast<std::uint8_t>(code))) continue;
    tbl += HexByte(static_cast<std::uint8_t>(code)) + "=" +
           EncodeUtf8(std::u16string(1, KanaAt(word.order, place, katakana))) + "\n";
    ++entries;
  }
  auto written = ReplaceFileAtomically(PathFromUtf8(name), Bytes(tbl));
  if (!written) {
    PrintError(DescribeIoError(written.error()));
    return Failure(kExitError);
  }
  PrintError("wrote " + std::to_string(entries) + " entries (" + std::string(NameOf(word.order)) +
             " order) to " + name);
  return Unit{};
}

int RunRelativeSearch(const ParsedArgs& args) {
  const Reported<RelativeSetup> setup = SetUpRelative(args);
  if (!setup) return ToInt(setup.error());
  GameInput game;
  if (auto opened = game.Open(args.positionals.front()); !opened) return ToInt(opened.error());
  const std::string a_name = setup->katakana ? "ア" : "あ";
  // Per word and あ code: how many matches agree, and which came first.
  std::map<std::pair<std::size_t, int>, std::pair<std::uint64_t, std::uint64_t>> votes;
  std::uint64_t matches = 0;
  LineOutput out;
  const auto scanned = SearchRelative(
      game.Reader(), setup->words, kScanChunkSize,
      [&](const RelativeMatch& m) {
        auto [it, fresh] = votes.try_emplace({m.word, m.code_of_a}, 0, matches);
        ++it->second.first;
        ++matches;
        const RelativeWord& word = setup->words[m.word];
        const std::string a = m.code_of_a >= 0 && m.code_of_a <= 255
                                  ? HexNumber(static_cast<std::uint64_t>(m.code_of_a), 2)
                                  : "none";
        return out.Add(OffsetHex(m.offset) + "\t" + a_name + "=" + a + "\t" +
                       PageOf(word, m.code_of_a, setup->katakana) + "\t" +
                       std::string(NameOf(word.order)));
      },
      game.Progress());
  if (auto result = ScanResult(scanned, out); !result) return ToInt(result.error());
  if (matches == 0) return kExitRejected;
  if (auto tbl = args.Value("save-tbl")) {
    auto best = votes.begin();
    for (auto it = votes.begin(); it != votes.end(); ++it) {
      const bool more = it->second.first > best->second.first;
      const bool earlier =
          it->second.first == best->second.first && it->second.second < best->second.second;
      if (more || earlier) best = it;
    }
    const Reported<> written = WriteRelativeTbl(*tbl, setup->words[best->first.first],
                                                best->first.second, setup->katakana);
    if (!written) return ToInt(written.error());
  }
  return kExitOk;
}

int RunSearch(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("search", args); !spared) {
    return ToInt(spared.error());
  }
  return args.Has("relative") ? RunRelativeSearch(args) : RunPlainSearch(args);
}

}  // namespace

extern const Command kSearchCommand{kSearchText, kSearchUsage, &RunSearch};

}  // namespace binconv::cli
