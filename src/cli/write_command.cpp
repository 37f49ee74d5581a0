// binconv-cli write: code listing to bytes.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr CommandText kWriteText{
    .name = "write",
    .summary = Phrase("write the bytes of a code listing to a file"),
    .details =
        Phrase("Turns a code listing (UTF-8) into bytes: spaces and line breaks are dropped\n"
        "and each pair of hex digits becomes one byte. An odd number of digits or any\n"
        "other character rejects the whole listing; the output file is then left as\n"
        "it was. LISTING omitted or \"-\" reads standard input.\n"
        "\n"
        "With --into GAME --at OFFSET the bytes replace GAME's bytes from OFFSET on;\n"
        "GAME keeps its length and every other byte. With --room N a listing of\n"
        "more than N bytes is refused, naming the first pair that does not fit, and\n"
        "--fill XX fills the rest of the room. GAME is replaced atomically, or not\n"
        "at all.\n")};

constexpr std::array kWriteOptions{kOutputNameOption, kIntoOption, kAtOption,
                                   kRoomOption,       kFillOption, kHelpOption};

constexpr Usage kWriteUsage{.options = kWriteOptions,
                            .form = {.positionals = OptionalInput("[LISTING]")}};

// The whole listing is held, to find the pair that overflows the room.
ExitStatus RunWriteInto(const ParsedArgs& args, const IntoTarget& target) {
  const std::string listing_name = InputName(args);
  const Reported<std::string> utf8 = ReadWholeInput(args.language, listing_name);
  if (!utf8) return utf8.error();
  auto listing = DecodeUtf8Text(*utf8);
  if (!listing) {
    return RejectBadUtf8(args.language, ShownName(listing_name), {}, listing.error().offset, *utf8)
        .error();
  }
  auto bytes = ParseListing(listing.value());
  if (!bytes) {
    PrintListingError(listing_name, bytes.error());
    return ExitStatus::kRejected;
  }
  const std::optional<std::uint64_t> room = target.place.room;
  const Reported<> patched =
      PatchInto(args.language, target, std::move(bytes).value(), listing_name, ProblemDetail::kFirstPairPast,
                [&](Problem& problem) {
                  return PlaceFirstPairPastRoom(problem, listing.value(), room.value_or(0));
                });
  return StatusOf(patched);
}

ExitStatus RunWrite(const ParsedArgs& args) {
  if (auto spared = RefuseOutputsOverInputs("write", args); !spared) {
    return spared.error();
  }
  const Reported<std::optional<IntoTarget>> into = ParseInto(args);
  if (!into) return into.error();
  if (*into) return RunWriteInto(args, **into);
  auto opened = OpenOutput(args.language, OutputPathOf(args, OutputDefault::kNameBox),
                           OutputHold::kUntilCommit);
  if (!opened) return ReportOutputError(args.language, opened.error());
  OutputSink& writer = *opened.value();
  ListingParser parser;
  Utf8TextInput input;
  std::vector<std::uint8_t> bytes;
  const std::string listing_name = InputName(args);

  auto feed = [&](std::u16string_view text) { parser.Feed(text, bytes); };
  // The parser has no way straight from UTF-8: every piece is decoded whole.
  auto no_run = [](std::string_view) { return Utf8TextInput::kRunClosed; };
  auto write = [&]() -> Reported<> {
    auto written = writer.Write(Bytes(bytes));
    bytes.clear();
    if (written) return Unit{};
    return Failure(ReportOutputError(args.language, written.error()));
  };
  TextPlaceCounter places;
  auto bad_utf8 = [&](std::string_view chunk) {
    return RejectBadUtf8(args.language, ShownName(listing_name), places, input.error().offset,
                         chunk);
  };
  Reported<> status = ReadBytes(args.language, listing_name, [&](std::string_view chunk) -> Reported<> {
    const bool good = input.Take(chunk, no_run, feed);
    if (auto written = write(); !written) return written;
    if (!good) return bad_utf8(chunk);
    places.Feed(chunk);
    return Unit{};
  });
  if (status && !input.Finish()) status = bad_utf8({});
  if (status) {
    if (std::optional<Problem> error = parser.Finish()) {
      PrintListingError(listing_name, *error);
      status = Failure(ExitStatus::kRejected);
    } else if (auto committed = writer.Commit(); !committed) {
      status = Failure(ReportOutputError(args.language, committed.error()));
    }
  }
  if (!status) writer.Abort();
  return StatusOf(status);
}

}  // namespace

extern const Command kWriteCommand{kWriteText, kWriteUsage, &RunWrite};

}  // namespace binconv::cli
