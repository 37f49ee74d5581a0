// binconv-cli search: where a game's codes show a text; with --relative,
// where a kana word occurs in a game whose table is unknown.

#include <algorithm>

#include "chartable/tbl.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/game_scan.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/problems.h"
#include "runtime/file.h"
#include "runtime/utf8.h"
#include "scan/relative_search.h"
#include "scan/text_search.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

constexpr CommandText kSearchText{
    .name = "search",
    .summary = Phrase("find texts in a game file, or a kana word by relative search"),
    .details =
        Phrase("Lists every offset of GAME where the codes, read from there as decode\n"
        "reads them, show TEXT, in file order: OFFSET<TAB>TEXT, OFFSET in 0x hex.\n"
        "TEXT may begin inside the first code's text and end inside the last one's,\n"
        "so a word is found however a table of codes for several characters (DTE),\n"
        "two codes for one text or a code's second text wrote it; OFFSET is where\n"
        "the first code's bytes begin. A tag in TEXT, <A0> or a label such as <w>,\n"
        "stands for exactly its bytes. A match whose previous byte is a lead byte\n"
        "(20, 21, 22, 23, 18) may sit inside a two-byte code: it gets\n"
        "<TAB>(after a lead byte). All TEXTs are searched in one pass. Exit status:\n"
        "0 something was found, 1 nothing, 2 an error (such as a TEXT with a\n"
        "character that has no code, which is named). --tbl FILE reads through a\n"
        "game's own table (see encode) instead.\n"
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
        "input. A progress bar is shown on a terminal for a GAME over 64 MiB.\n")};

constexpr std::string_view kRelativeOnly = Phrase("--order and --save-tbl go with --relative");

constexpr std::array kSearchOptions{
    Related(kTablesOption, "tbl", ""), kExactOption,
    OptionSpec{"count", 0, "", Phrase("print only how often each TEXT occurs: COUNT<TAB>TEXT")},
    OptionSpec{.name = "relative",
               .help = Phrase("relative search for a kana word in a game of unknown table"),
               .excludes = "count tables exact",
               .misuse = Phrase("--relative needs no tables: --count, --tables and --exact don't go with "
                         "it")},
    OptionSpec{.name = "order",
               .value_name = "ORDER",
               .help = Phrase("with --relative: jis or gojuon only (default: both)"),
               .needs = "relative",
               .misuse = kRelativeOnly},
    OptionSpec{.name = "save-tbl",
               .value_name = "FILE",
               .help = Phrase("with --relative: write a .tbl of the best match to FILE"),
               .needs = "relative",
               .misuse = kRelativeOnly},
    // --tbl FILE reads an encoding, as everywhere; with --relative it was
    // once --save-tbl's spelling, so it is refused there naming the new one.
    OptionSpec{.name = "tbl",
               .value_name = "FILE",
               .help = Phrase("encode each TEXT through a game's own .tbl FILE instead of the tables"),
               .excludes = "relative",
               .misuse = Phrase("search --relative writes its table with --save-tbl OUT; --tbl FILE "
                         "reads an encoding")},
    kHelpOption};

constexpr Form kRelativeForm{
    .when = "relative",
    .positionals = Exactly(2, "GAME KANA", Phrase("search --relative needs GAME and one KANA word")),
    .order = "relative order=jis|gojuon save-tbl @"};

constexpr Usage kSearchUsage{
    .options = kSearchOptions,
    .form = {.positionals = {.shown = "GAME TEXT...",
                             .min = 2,
                             .max = kAnyNumber,
                             .needs = Phrase("search needs GAME and at least one TEXT")}},
    .other = &kRelativeForm,
    .points = HelpPointer::kCommand};

// Reports why TEXT, KANA or --order can't be searched for.
Unexpected<ExitStatus> Refuse(const std::string& message) {
  PrintError(message);
  return Failure(ExitStatus::kError);
}

// Each TEXT made ready; the first that can't be searched for is reported.
Reported<TextSearch> SearchOfTexts(const ParsedArgs& args, const GameTable& encoding) {
  const std::span<const std::string> texts(args.positionals.begin() + 1, args.positionals.end());
  auto patterns = TextSearch::Of(encoding, LineBreaksOf(args), texts);
  if (patterns) return std::move(patterns).value();
  using Kind = SearchTextFault::Kind;
  const SearchTextFault& fault = patterns.error();
  const Language language = args.language;
  const std::string shown = "TEXT '" + texts[fault.text] + "'";
  // A TEXT argument is named whole, without a line and column.
  switch (fault.kind) {
    case Kind::kBadUtf8:
      return Refuse(Say(language, "TEXT {n} is not valid UTF-8",
                        {{"n", std::to_string(fault.text + 1)}}));
    case Kind::kProblem:
      return Refuse(
          Describe(language, ToProblem({fault.problem->kind, 0, 0, fault.problem->ch}, shown)));
    case Kind::kOddCount:
      return Refuse(
          Say(language, "{text}: the hex digits of its tags do not pair up", {{"text", shown}}));
    default:
      return Refuse(Say(language, "{text} gives no bytes to search for", {{"text", shown}}));
  }
}

ExitStatus RunPlainSearch(const ParsedArgs& args) {
  CommandEncoding encoding;
  if (auto loaded = LoadCommandEncoding(args, encoding); !loaded) return loaded.error();
  const auto search = SearchOfTexts(args, encoding.encoding());
  if (!search) return search.error();
  GameInput game;
  if (auto opened = game.Open(args.language, args.positionals.front()); !opened) {
    return opened.error();
  }
  const bool count_only = args.Has("count");
  std::vector<std::uint64_t> counts(search->size(), 0);
  LineOutput out(args.language, game.ProgressEraser());
  const auto scanned = SearchTexts(
      game.Reader(), *search, kScanChunkSize,
      [&](const ByteMatch& m) {
        ++counts[m.pattern];
        if (count_only) return true;
        std::string line = OffsetHex(m.offset) + "\t" + args.positionals[m.pattern + 1];
        if (m.after_lead) line += "\t(after a lead byte)";
        return out.Add(line);
      },
      game.Progress());
  for (std::size_t i = 0; count_only && i < counts.size(); ++i) {
    out.Add(std::to_string(counts[i]) + "\t" + args.positionals[i + 1]);
  }
  if (!scanned) return ReportScanError(args.language, scanned.error());
  if (auto written = out.Finish(); !written) return written.error();
  const bool found = std::any_of(counts.begin(), counts.end(), [](auto c) { return c != 0; });
  return found ? ExitStatus::kOk : ExitStatus::kRejected;
}

// The word in the orders --order names; a bad word or order is reported.
Reported<RelativeQuery> QueryOf(const ParsedArgs& args) {
  auto word = DecodeUtf8(args.positionals[1]);
  const Language language = args.language;
  if (!word) return Refuse(Say(language, "KANA is not valid UTF-8"));
  std::vector<KanaOrder> orders = {KanaOrder::kJis, KanaOrder::kGojuon};
  if (auto named = args.Value("order")) {
    const std::optional<KanaOrder> order = KanaOrderNamed(*named);
    if (!order) {
      return Refuse(Say(language, "--order takes jis or gojuon, not '{value}'", {{"value", *named}}));
    }
    orders = {*order};
  }
  auto query = RelativeQueryOf(word.value(), orders);
  if (!query) {
    return Refuse("KANA '" + args.positionals[1] + "' " + MessageOf(language, query.error()));
  }
  return std::move(query).value();
}

ExitStatus RunRelativeSearch(const ParsedArgs& args) {
  const Reported<RelativeQuery> query = QueryOf(args);
  if (!query) return query.error();
  GameInput game;
  const Language language = args.language;
  if (auto opened = game.Open(language, args.positionals.front()); !opened) return opened.error();
  LineOutput out(language, game.ProgressEraser());
  const auto found = SearchRelativeBest(
      game.Reader(), *query, kScanChunkSize,
      [&](const RelativeMatch& m) {
        return out.Add(OffsetHex(m.offset) + "\t" + DescribeRelativeMatch(*query, m));
      },
      game.Progress());
  if (!found) return ReportScanError(language, found.error());
  if (auto written = out.Finish(); !written) return written.error();
  if (found->matches == 0) return ExitStatus::kRejected;
  if (auto name = args.Value("save-tbl")) {
    const std::string tbl = WriteTbl(found->tbl).bytes;
    if (auto written = ReplaceFileAtomically(PathFromUtf8(*name), Bytes(tbl)); !written) {
      PrintError(Describe(language, written.error()));
      return ExitStatus::kError;
    }
    PrintLine(Say(language, "wrote {n} entries ({order} order) to {file}",
                  {{"n", std::to_string(found->tbl.size())},
                   {"order", std::string(NameOf(query->words[found->best.word].order))},
                   {"file", *name}}));
  }
  return ExitStatus::kOk;
}

ExitStatus RunSearch(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("search", args); !spared) return spared.error();
  return args.Has("relative") ? RunRelativeSearch(args) : RunPlainSearch(args);
}

}  // namespace

extern const Command kSearchCommand{kSearchText, kSearchUsage, &RunSearch};

}  // namespace binconv::cli
