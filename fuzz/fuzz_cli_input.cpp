// Arbitrary bytes as the standard input of the real convert and encode
// commands, run through the command-line tool's library, in reads of
// arbitrary sizes after a long start (so that the UTF-8 fast paths are
// taken): convert writes exactly the listing of the decoded text, encode
// writes exactly its bytes or, when it has problems, touches nothing; input
// that is not UTF-8 gives exactly "invalid UTF-8 at byte offset N" for the
// first bad sequence. The decoder itself is checked cut at arbitrary places.

#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/io.h"
#include "codec/convert.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/listing.h"
#include "fuzz_support.h"
#include "runtime/block_size.h"
#include "runtime/file.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "support/encoded.h"
#include "support/reference.h"

namespace binconv::fuzz {
namespace {

// Line breaks sent ahead of the input in a read of their own, past a block
// of the encoder's fast path, so that the input starts anywhere in one.
constexpr std::size_t kLeadLines = kEncodeBlock / 2 + 8;
constexpr char kOldBytes[] = "old";

struct Files {
  int out = -1;  // standard output while a command runs
  int err = -1;  // standard error while a command runs
  int real_stdin = -1;
  int real_stdout = -1;
  int real_stderr = -1;
  std::filesystem::path folder;  // for encode's output file
};

Files& TheFiles() {
  static Files files;
  return files;
}

std::string ReadBack(int fd) {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
}

// The long start, then the input cut into non-empty reads at places the input
// itself chooses: four at most, unless one would not fit the reader's buffer.
std::vector<std::string_view> Reads(std::string_view input) {
  static const std::string lead = [] {
    std::string breaks;
    for (std::size_t i = 0; i < kLeadLines; ++i) breaks += "\r\n";
    return breaks;
  }();
  std::vector<std::string_view> reads{lead};
  std::uint32_t state = 2166136261u;
  for (const char c : input) state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
  while (!input.empty()) {
    // A read larger than the reader's chunk would be cut short on a socket
    // that keeps boundaries; small blocks take a stream instead.
    const std::size_t most = kSmallBlocks ? input.size() : cli::kChunkSize;
    const std::size_t size =
        std::min(most, reads.size() >= 4 ? input.size() : 1 + state % input.size());
    reads.push_back(input.substr(0, size));
    input.remove_prefix(size);
    state = state * 1103515245u + 12345u;
  }
  return reads;
}

struct Run {
  cli::ExitStatus status = cli::ExitStatus::kOk;
  std::string out;
  std::string err;
};

// Runs the command line with standard input made of exactly these reads (a
// socket that keeps message boundaries; with small blocks, where the reader
// cuts them itself, a stream) and both outputs captured.
Run RunAsTheTool(const std::vector<std::string>& args,
                 const std::vector<std::string_view>& reads) {
  Files& files = TheFiles();
  int ends[2];
  FUZZ_CHECK(socketpair(AF_UNIX, (kSmallBlocks ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_CLOEXEC, 0,
                        ends) == 0,
             "socketpair");
  for (const std::string_view read : reads) {
    FUZZ_CHECK(send(ends[1], read.data(), read.size(), 0) == static_cast<ssize_t>(read.size()),
               "send");
  }
  close(ends[1]);
  for (const int fd : {files.out, files.err}) {
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "truncate");
  }
  FUZZ_CHECK(dup2(ends[0], 0) == 0 && dup2(files.out, 1) == 1 && dup2(files.err, 2) == 2, "dup2");
  Run run;
  run.status = cli::RunCli(args);
  FUZZ_CHECK(dup2(files.real_stdin, 0) == 0 && dup2(files.real_stdout, 1) == 1 &&
                 dup2(files.real_stderr, 2) == 2,
             "dup2");
  close(ends[0]);
  run.out = ReadBack(files.out);
  run.err = ReadBack(files.err);
  return run;
}

// The bad sequence at `offset` of `file`, placed as in the whole text,
// however the reads cut it.
std::string BadUtf8Message(const std::string& file, std::size_t offset) {
  const auto [line, column] = LineAndColumnOf(file, offset);
  return "binconv-cli: -:" + std::to_string(line) + ":" + std::to_string(column) +
         ": not valid UTF-8\n";
}

std::u16string WithoutMark(std::u16string text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  return text;
}

std::vector<std::string> CommandLine(const char* command, LineBreaks breaks) {
  const char* dir = std::getenv("BINCONV_TABLES");
  std::vector<std::string> args{command, "--tables",
                                dir != nullptr ? dir : BINCONV_SOURCE_DIR "/tables"};
  if (breaks == LineBreaks::kCrLf) args.push_back("--exact");
  return args;
}

// convert: the listing of the decoded text, or of the text before the first
// bad sequence followed by the message.
void CheckConvert(const std::string& file, const std::vector<std::string_view>& reads,
                  LineBreaks breaks, const std::string& shown) {
  const Run run = RunAsTheTool(CommandLine("convert", breaks), reads);
  const auto decoded = DecodeUtf8(file);
  if (decoded.has_value()) {
    // Each uncoded character is told on a line of its own, then their count.
    std::vector<UncodedChar> uncoded;
    const std::string expected = EncodeUtf8(
        ConvertToCode(WithoutMark(decoded.value()), DefaultEncoding(), breaks, &uncoded));
    const std::size_t lines = uncoded.empty() ? 0 : uncoded.size() + 1;
    FUZZ_CHECK(run.status == (uncoded.empty() ? cli::ExitStatus::kOk : cli::ExitStatus::kRejected) &&
                   static_cast<std::size_t>(std::count(run.err.begin(), run.err.end(), '\n')) ==
                       lines &&
                   run.out == expected,
               shown + "\nstatus " + std::to_string(static_cast<int>(run.status)) + " " + run.err + "\nwritten  " +
                   Hex(std::string_view(run.out).substr(std::min(run.out.size(), 4 * kLeadLines))) +
                   "\nexpected " + Hex(std::string_view(expected).substr(4 * kLeadLines)));
    return;
  }
  const std::size_t offset = decoded.error().offset;
  // Uncoded characters before the bad sequence are told before it.
  FUZZ_CHECK(run.status == cli::ExitStatus::kRejected &&
                 run.err.ends_with(BadUtf8Message(file, offset)),
             shown + "\nmessage  " + run.err + "expected " + BadUtf8Message(file, offset));
  // What came before the bad sequence is listed, as far as it is settled.
  CodeConverter converter(DefaultEncoding(), breaks);
  std::u16string listing;
  converter.Feed(WithoutMark(DecodeUtf8(file.substr(0, offset)).value()), listing);
  FUZZ_CHECK(run.out == EncodeUtf8(listing), shown + "\nwritten " + Hex(run.out));
}

// encode: exactly the bytes of the decoded text, or the old file untouched.
void CheckEncode(const std::string& file, const std::vector<std::string_view>& reads,
                 LineBreaks breaks, const std::string& shown) {
  const std::filesystem::path target = TheFiles().folder / "out.bin";
  {
    std::ofstream old(target, std::ios::binary | std::ios::trunc);
    old << kOldBytes;
  }
  std::vector<std::string> args = CommandLine("encode", breaks);
  args.insert(args.end(), {"-o", target.string()});
  const Run run = RunAsTheTool(args, reads);
  const auto read_back = ReadFileBytes(target);
  const std::string written = read_back ? read_back.value() : "(missing)";
  const auto decoded = DecodeUtf8(file);
  if (!decoded.has_value()) {
    const std::string message = BadUtf8Message(file, decoded.error().offset);
    FUZZ_CHECK(run.status == cli::ExitStatus::kRejected && run.err.ends_with(message) &&
                   written == kOldBytes,
               shown + "\nmessage  " + run.err + "expected " + message);
    return;
  }
  Encoder whole(DefaultEncoding(), breaks);
  std::vector<std::uint8_t> bytes;
  whole.Feed(WithoutMark(decoded.value()), bytes);
  whole.Finish(bytes);
  if (whole.problems().empty()) {
    FUZZ_CHECK(run.status == cli::ExitStatus::kOk && run.err.empty() &&
                   written == std::string(bytes.begin(), bytes.end()),
               shown + "\n" + run.err + "written  " + Hex(written) + "\nexpected " + Hex(bytes));
    // The bytes are those the listing of the rules written out plainly gives.
    const auto listed = ParseListing(
        test::ReferenceConvert(WithoutMark(decoded.value()), DefaultTables(), breaks));
    FUZZ_CHECK(listed.has_value() && listed.value() == bytes,
               shown + "\nencoded " + Hex(bytes) + "\nlisted  " +
                   (listed ? Hex(listed.value()) : std::string("(refused)")));
  } else {
    FUZZ_CHECK(run.status == cli::ExitStatus::kRejected && !run.err.empty() && written == kOldBytes,
               shown + "\nstatus " + std::to_string(static_cast<int>(run.status)) + "\n" + run.err);
  }
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace binconv::fuzz;
  DefaultTables();
  Files& files = TheFiles();
  files.out = memfd_create("binconv-fuzz-stdout", MFD_CLOEXEC);
  files.err = memfd_create("binconv-fuzz-stderr", MFD_CLOEXEC);
  files.real_stdin = dup(0);
  files.real_stdout = dup(1);
  files.real_stderr = dup(2);
  files.folder = ScratchFolder("binconv-fuzz-");
  if (files.out < 0 || files.err < 0 || files.real_stdin < 0 || files.real_stdout < 0 ||
      files.real_stderr < 0) {
    std::abort();
  }
  // Reports must reach the terminal even while standard error is captured.
  ReportFd() = files.real_stderr;
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(files.real_stderr)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  // The socket must hold all of it before the command starts reading.
  if (size > 100000) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> reads = Reads(input);
  std::string file;
  for (const std::string_view read : reads) file += read;
  const std::string shown = "input after the long start " + Hex(input);
  // One of the two commands, in one of the two line-break modes.
  const LineBreaks breaks = size != 0 && data[0] % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
  if (size != 0 && data[0] % 4 >= 2) {
    CheckConvert(file, reads, breaks, shown);
  } else {
    CheckEncode(file, reads, breaks, shown);
  }

  // The decoder itself, cut at arbitrary places.
  const auto decoded = DecodeUtf8(input);
  Utf8Decoder decoder;
  std::u16string streamed;
  bool good = true;
  std::size_t from = 0;
  for (const std::size_t to : ChunkEnds(size, size != 0 ? data[0] : 0u)) {
    if (good) good = decoder.Feed(input.substr(from, to - from), streamed);
    from = to;
  }
  if (good) good = decoder.Finish();
  FUZZ_CHECK(good == decoded.has_value(), "input " + Hex(input));
  if (good) {
    FUZZ_CHECK(streamed == decoded.value(), "input " + Hex(input) + "\nstreamed " + Hex(streamed));
  } else {
    FUZZ_CHECK(decoder.error().offset == decoded.error().offset,
               "input " + Hex(input) + "\nstreamed offset " +
                   std::to_string(decoder.error().offset) + " whole " +
                   std::to_string(decoded.error().offset));
  }
  return 0;
}
