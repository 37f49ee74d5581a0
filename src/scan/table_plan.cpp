#include "scan/table_plan.h"

#include <algorithm>
#include <array>
#include <optional>

#include "codec/decode.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"
#include "scan/pointer_tables.h"

namespace binconv {
namespace {

// The starts of the game's strings, and per string the byte it stops at;
// only the last can stop at the end of the file instead.
struct Strings {
  StringStarts starts;
  std::vector<std::uint8_t> stops;
  bool last_at_end = false;
};

// `game` read from its start, in the pieces ScanWindows asks for.
ReadInput ReadFromStart(FileReader& game) {
  return [&game, at = std::uint64_t{0}](
             std::span<std::uint8_t> buffer) mutable -> Result<std::size_t, IoError> {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), game.size() - at));
    if (auto read = game.ReadAt(at, buffer.first(n)); !read) return Unexpected(read.error());
    at += n;
    return n;
  };
}

ScanProgress PassOf(const std::function<ScanProgress()>& start_pass) {
  return start_pass ? start_pass() : ScanProgress();
}

Result<Strings, TablePlanError> FindStrings(const TablePlanInput& input, FileReader& game,
                                            const ScanProgress& progress) {
  Strings strings;
  StringRunFinder finder(input.codec, input.options);
  ScanWindow current;
  std::uint8_t previous_last = 0;  // the last byte of the previous window
  auto found = [&](const StringRun& run) {
    if (strings.stops.size() == kMostStrings) return;
    strings.starts.Add(run.offset);
    const std::uint64_t stop =
        input.options.end ? run.offset + run.length - 1 : run.offset + run.length;
    const std::uint64_t first = current.offset + current.from;
    std::uint8_t byte = 0;
    if (stop >= first && stop < current.offset + current.to) {
      byte = current.bytes[static_cast<std::size_t>(stop - current.offset)];
    } else if (stop + 1 == first) {
      byte = previous_last;
    } else {
      strings.last_at_end = true;
    }
    strings.stops.push_back(byte);
  };
  const auto scanned = ScanWindows(
      ReadFromStart(game), kScanChunkSize, 0, 0,
      [&](const ScanWindow& w) {
        current = w;
        finder.Feed(w.bytes.subspan(w.from, w.to - w.from), found);
        previous_last = w.bytes[w.to - 1];
        return strings.stops.size() < kMostStrings;
      },
      progress);
  if (!scanned) return Unexpected(TablePlanError(scanned.error()));
  if (strings.stops.size() == kMostStrings) {
    Problem problem{input.options.end ? ProblemCode::kTooManyEndedStrings
                                      : ProblemCode::kTooManyStrings};
    problem.number = kMostStrings;
    problem.other_number = input.options.min_chars;
    problem.byte = input.options.end.value_or(0);
    return Unexpected(TablePlanError(std::move(problem)));
  }
  current = ScanWindow{};
  finder.Finish(found);
  return strings;
}

// The byte most of the candidate's first strings stop at.
std::optional<std::uint8_t> EndByteOf(const TableCandidate& c, const Strings& strings) {
  std::array<int, 256> votes{};
  for (const std::uint64_t t : c.first_targets) {
    const std::optional<std::size_t> at = strings.starts.Find(t);
    if (!at || (strings.last_at_end && *at + 1 == strings.stops.size())) continue;
    ++votes[strings.stops[*at]];
  }
  const auto best = std::max_element(votes.begin(), votes.end());
  if (*best == 0) return std::nullopt;
  return static_cast<std::uint8_t>(best - votes.begin());
}

// The first string of a table as the strings command shows it, cut short
// past kShownBytes.
constexpr std::size_t kShownBytes = 48;

Result<std::string, IoError> FirstTextAt(FileReader& reader, const GameTable& codec,
                                         std::uint64_t at, std::optional<std::uint8_t> end) {
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(kShownBytes, reader.size() - at)));
  if (auto read = reader.ReadAt(at, bytes); !read) return Unexpected(read.error());
  DecodeOptions decode_options;
  decode_options.line_break = u"\u23CE";
  StringDecoder decoder(codec, end, decode_options);
  std::u16string text;
  decoder.Feed(bytes, text);
  decoder.Finish(text);
  if (!decoder.ended() && at + bytes.size() < reader.size()) text += u'\u2026';
  std::string shown;
  AppendUtf8(text, shown);
  return shown;
}

// A candidate as a piece of plan: a comment with its first targets and its
// first string, and a script line with the skip= that joins its gaps.
void AddPlanLines(const TableCandidate& c, std::optional<std::uint8_t> end, int digits,
                  const std::string& first_text, std::vector<std::string>& lines) {
  std::string comment = "# " + OffsetHex(c.start) + " stride=" + std::to_string(c.stride) +
                        " count=" + std::to_string(c.count) + ":";
  for (const std::uint64_t t : c.first_targets) comment += " " + OffsetHex(t);
  if (c.count > c.first_targets.size()) comment += " …";
  comment += " first: " + first_text;
  std::string script = "script text_" + HexText(c.start, kOffsetDigits) +
                       ".txt table=" + OffsetHex(c.start) + " stride=" + std::to_string(c.stride) +
                       " count=" + std::to_string(c.count) + " format=ptr" +
                       (end ? " end=" + HexByte(*end) : "");
  for (std::size_t i = 0; i < c.skips.size(); ++i) {
    script += (i == 0 ? " skip=" : ",") + HexNumber(c.skips[i], digits);
  }
  lines.push_back(std::move(comment));
  lines.push_back(std::move(script));
}

}  // namespace

Result<std::vector<std::string>, TablePlanError> PlanPointerTables(
    const TablePlanInput& input, const std::filesystem::path& path,
    const std::function<ScanProgress()>& start_pass) {
  FileReader game;
  if (auto opened = game.Open(path); !opened) return Unexpected(TablePlanError(opened.error()));
  const auto strings = FindStrings(input, game, PassOf(start_pass));
  if (!strings) return Unexpected(strings.error());
  const auto candidates =
      FindPointerTables(ReadFromStart(game), input.format, game.size(), strings->starts,
                        kScanChunkSize, TableSearchOptions{}, PassOf(start_pass));
  if (!candidates) return Unexpected(TablePlanError(candidates.error()));
  std::vector<std::string> lines;
  const std::vector<TableCandidate>& found = candidates->candidates;
  if (!found.empty()) lines.push_back("format ptr " + std::string(input.format_words));
  const bool own_table = input.codec.first_end() != nullptr;
  const int digits = static_cast<int>(2 * WidthOf(input.format.type));
  for (const TableCandidate& c : found) {
    // A game's own table ends its strings with its end tokens, which the
    // plan line then leaves to it.
    const std::optional<std::uint8_t> end =
        input.options.end || own_table ? input.options.end : EndByteOf(c, *strings);
    const auto first = FirstTextAt(game, input.codec, c.first_targets.front(), end);
    if (!first) return Unexpected(TablePlanError(first.error()));
    const std::optional<std::uint8_t> end_word =
        end || !own_table ? std::optional<std::uint8_t>(end.value_or(0)) : std::nullopt;
    AddPlanLines(c, end_word, digits, *first, lines);
  }
  if (candidates->left_out != 0) {
    lines.push_back("# and " + std::to_string(candidates->left_out) +
                    " more candidates, none with more entries");
  }
  return lines;
}

}  // namespace binconv
