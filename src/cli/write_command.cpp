// binconv-cli write: code listing to bytes.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

constexpr std::array kWriteOptions{kOutputNameOption, kHelpOption};

constexpr std::string_view kWriteDetails =
    "Turns a code listing (UTF-8) into bytes: spaces and line breaks are dropped\n"
    "and each pair of hex digits becomes one byte. An odd number of digits or any\n"
    "other character rejects the whole listing; the output file is then left as\n"
    "it was. LISTING omitted or \"-\" reads standard input.\n";

int RunWrite(const ParsedArgs& args) {
  std::optional<std::filesystem::path> path = OutputPath(args);
  if (!path) return kExitError;
  AtomicFileWriter writer;
  if (auto opened = writer.Open(*path); !opened) return ReportOutputError(opened.error());
  ListingParser parser;
  Utf8TextInput input;
  std::vector<std::uint8_t> bytes;
  const std::string listing_name = InputName(args);

  auto feed = [&](std::u16string_view text) { parser.Feed(text, bytes); };
  auto no_run = [](std::string_view) { return std::size_t{0}; };
  auto write = [&]() -> int {
    auto written = writer.Write(Bytes(bytes));
    bytes.clear();
    return written ? kExitOk : ReportOutputError(written.error());
  };
  int status = ReadBytes(listing_name, [&](std::string_view chunk) {
    const bool good = input.Take(chunk, no_run, feed);
    if (int written = write(); written != kExitOk) return written;
    return good ? kExitOk : ReportInvalidUtf8(ShownName(listing_name), input.error().offset);
  });
  if (status == kExitOk && !input.Finish()) {
    status = ReportInvalidUtf8(ShownName(listing_name), input.error().offset);
  }
  if (status == kExitOk) {
    if (std::optional<ListingError> error = parser.Finish()) {
      PrintListingError(listing_name, *error);
      status = kExitRejected;
    } else if (auto committed = writer.Commit(); !committed) {
      status = ReportOutputError(committed.error());
    }
  }
  if (status != kExitOk) writer.Abort();
  return status;
}

}  // namespace

extern const Command kWriteCommand{
    "write",       "[-o NAME] [LISTING]", "write the bytes of a code listing to a file",
    kWriteDetails, kWriteOptions,         1,
    &RunWrite};

}  // namespace binconv::cli
