// Arbitrary bytes as the command-line tool's standard input, read by the
// tool's own reader in reads of arbitrary sizes: the text is either handed on
// whole, or the reading stops with a message that gives the byte offset of the
// first bad sequence, after handing on exactly the text before it. The text
// read is then converted and encoded in the pieces the reader gave. The same
// bytes, after a long start, also go one of the direct ways of the convert and
// encode commands, straight from UTF-8 to a listing or to bytes, which must
// give what decoding first gives.

#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cli/io.h"
#include "conversion/convert.h"
#include "conversion/encode.h"
#include "fuzz_support.h"
#include "runtime/utf8.h"

namespace binconv::fuzz {
namespace {

// Line breaks sent ahead of the input in a read of their own: the direct way
// is offered only from the second read on, and taken only past the length at
// which the encoder switches to its table-driven path.
constexpr std::size_t kLeadLines = 8200;
static_assert(2 * kLeadLines >= detail::kUnitActionsAfter);

struct Files {
  int captured = -1;  // standard error while the reader runs
  int real_stdin = -1;
  int real_stderr = -1;
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

// Cuts the input into non-empty reads, at places the input itself chooses:
// four at most, unless one would not fit the reader's buffer.
std::vector<std::string_view> Reads(std::string_view input) {
  std::vector<std::string_view> reads;
  std::uint32_t state = 2166136261u;
  for (const char c : input) state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
  while (!input.empty()) {
    const std::size_t size =
        std::min(cli::kChunkSize, reads.size() >= 3 ? input.size() : 1 + state % input.size());
    reads.push_back(input.substr(0, size));
    input.remove_prefix(size);
    state = state * 1103515245u + 12345u;
  }
  return reads;
}

struct Read {
  int status = 0;
  std::string message;  // standard error
};

// Runs the tool's reader on standard input made of exactly these reads (a
// socket that keeps message boundaries), with standard error captured.
Read ReadAsTheTool(const std::vector<std::string_view>& reads,
                   const std::function<int(std::u16string_view)>& consume,
                   const cli::DirectBytes& direct = {}) {
  Files& files = TheFiles();
  int ends[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0, "socketpair");
  for (const std::string_view read : reads) {
    FUZZ_CHECK(send(ends[1], read.data(), read.size(), 0) == static_cast<ssize_t>(read.size()),
               "send");
  }
  close(ends[1]);
  FUZZ_CHECK(ftruncate(files.captured, 0) == 0 && lseek(files.captured, 0, SEEK_SET) == 0,
             "truncate");
  FUZZ_CHECK(dup2(ends[0], 0) == 0 && dup2(files.captured, 2) == 2, "dup2");
  Read result;
  result.status = cli::ReadText(cli::kStdioName, consume, direct);
  FUZZ_CHECK(dup2(files.real_stdin, 0) == 0 && dup2(files.real_stderr, 2) == 2, "dup2");
  close(ends[0]);
  result.message = ReadBack(files.captured);
  return result;
}

std::string OffsetMessage(std::size_t offset) {
  return "binconv-cli: -: invalid UTF-8 at byte offset " + std::to_string(offset) + "\n";
}

std::u16string WithoutMark(std::u16string text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  return text;
}

std::string Describe(const std::vector<EncodeProblem>& problems) {
  std::string text;
  for (const EncodeProblem& p : problems) {
    text += std::to_string(static_cast<int>(p.kind)) + "@" + std::to_string(p.line) + ":" +
            std::to_string(p.column) + "=" + std::to_string(p.ch) + " ";
  }
  return text;
}

void CheckReadAndConvert(std::string_view input) {
  const std::string shown = "input " + Hex(input);
  const std::vector<std::string_view> reads = Reads(input);
  std::vector<std::u16string> pieces;
  const Read read = ReadAsTheTool(reads, [&](std::u16string_view text) {
    pieces.emplace_back(text);
    return cli::kExitOk;
  });

  std::u16string text;
  for (const std::u16string& piece : pieces) text += piece;
  const auto decoded = DecodeUtf8(input);
  if (decoded.ok()) {
    FUZZ_CHECK(read.status == cli::kExitOk && read.message.empty(),
               shown + "\nstatus " + std::to_string(read.status) + " message " + read.message);
    FUZZ_CHECK(text == WithoutMark(decoded.value()),
               shown + "\nread    " + Hex(text) + "\ndecoded " + Hex(decoded.value()));
  } else {
    const std::size_t offset = decoded.error().offset;
    FUZZ_CHECK(read.status == cli::kExitError && read.message == OffsetMessage(offset),
               shown + "\nstatus " + std::to_string(read.status) + "\nmessage  " + read.message +
                   "expected " + OffsetMessage(offset));
    const auto before = DecodeUtf8(input.substr(0, offset));
    FUZZ_CHECK(before.ok() && text == WithoutMark(before.value()), shown + "\nread " + Hex(text));
  }

  // The listing and the bytes do not depend on where the reader cut the text.
  for (const LineBreaks breaks : {LineBreaks::kAny, LineBreaks::kCrLf}) {
    CodeConverter converter(DefaultTables(), breaks);
    Encoder encoder(DefaultTables(), breaks);
    std::u16string listing;
    std::vector<std::uint8_t> bytes;
    for (const std::u16string& piece : pieces) {
      converter.Feed(piece, listing);
      encoder.Feed(piece, bytes);
    }
    converter.Finish(listing);
    encoder.Finish(bytes);
    FUZZ_CHECK(listing == ConvertToCode(text, DefaultTables(), breaks),
               shown + "\nlisting " + Hex(listing));
    Encoder whole(DefaultTables(), breaks);
    std::vector<std::uint8_t> whole_bytes;
    whole.Feed(text, whole_bytes);
    whole.Finish(whole_bytes);
    FUZZ_CHECK(bytes == whole_bytes && Describe(encoder.problems()) == Describe(whole.problems()) &&
                   encoder.odd_count() == whole.odd_count(),
               shown + "\nbytes " + Hex(bytes) + "\nwhole " + Hex(whole_bytes));
  }
}

// The long start in a read of its own, then the input's reads.
std::vector<std::string_view> ReadsAfterALongStart(std::string_view input) {
  static const std::string lead = [] {
    std::string breaks;
    for (std::size_t i = 0; i < kLeadLines; ++i) breaks += "\r\n";
    return breaks;
  }();
  std::vector<std::string_view> reads = Reads(input);
  reads.insert(reads.begin(), lead);
  return reads;
}

// The listing as the convert command writes it to a file.
class MemorySink final : public cli::OutputSink {
 public:
  Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) override {
    text.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Unit{};
  }
  Result<Unit, IoError> Commit() override { return Unit{}; }
  void Abort() override {}
  std::string text;
};

// Reads as the convert command does, both ways in, and compares with the
// listing of the decoded text in one piece.
void CheckDirectListing(std::string_view input, LineBreaks breaks) {
  const std::vector<std::string_view> reads = ReadsAfterALongStart(input);
  const auto shown = [&] { return "input after the long start " + Hex(input); };
  CodeConverter converter(DefaultTables(), breaks);
  MemorySink sink;
  cli::Utf8Output output(sink);
  std::u16string listing;
  std::string listing_utf8;
  const Read read = ReadAsTheTool(
      reads,
      [&](std::u16string_view text) {
        listing.clear();
        converter.Feed(text, listing);
        FUZZ_CHECK(output.Write(listing).ok(), shown());
        return cli::kExitOk;
      },
      [&](std::string_view utf8, std::size_t& taken) {
        listing_utf8.clear();
        taken = converter.FeedUtf8Run(utf8, listing_utf8);
        FUZZ_CHECK(taken <= utf8.size(), shown());
        FUZZ_CHECK(output.WriteUtf8(listing_utf8).ok(), shown());
        return cli::kExitOk;
      });

  std::string file;
  for (const std::string_view piece : reads) file += piece;
  const auto decoded = DecodeUtf8(file);
  if (!decoded.ok()) {
    FUZZ_CHECK(
        read.status == cli::kExitError && read.message == OffsetMessage(decoded.error().offset),
        shown() + "\nmessage " + read.message);
    return;
  }
  FUZZ_CHECK(read.status == cli::kExitOk && read.message.empty(),
             shown() + "\nmessage " + read.message);
  listing.clear();
  converter.Finish(listing);
  FUZZ_CHECK(output.Write(listing).ok() && output.Finish().ok(), shown());
  const std::string expected = EncodeUtf8(ConvertToCode(decoded.value(), DefaultTables(), breaks));
  FUZZ_CHECK(sink.text == expected,
             shown() + "\nwritten  " + Hex(std::string_view(sink.text).substr(4 * kLeadLines)) +
                 "\nexpected " + Hex(std::string_view(expected).substr(4 * kLeadLines)));
}

// Reads as the encode command does, both ways in, and compares with encoding
// the decoded text in one piece.
void CheckDirectBytes(std::string_view input, LineBreaks breaks) {
  const std::vector<std::string_view> reads = ReadsAfterALongStart(input);
  const auto shown = [&] { return "input after the long start " + Hex(input); };

  Encoder encoder(DefaultTables(), breaks);
  std::vector<std::uint8_t> bytes;
  std::size_t taken_directly = 0;
  const Read read = ReadAsTheTool(
      reads,
      [&](std::u16string_view text) {
        encoder.Feed(text, bytes);
        return cli::kExitOk;
      },
      [&](std::string_view utf8, std::size_t& taken) {
        taken = encoder.FeedUtf8Run(utf8, bytes);
        FUZZ_CHECK(taken <= utf8.size(), shown());
        taken_directly += taken;
        return cli::kExitOk;
      });

  std::string file;
  for (const std::string_view piece : reads) file += piece;
  const auto decoded = DecodeUtf8(file);
  if (!decoded.ok()) {
    FUZZ_CHECK(
        read.status == cli::kExitError && read.message == OffsetMessage(decoded.error().offset),
        shown() + "\nmessage " + read.message);
    return;
  }
  FUZZ_CHECK(read.status == cli::kExitOk && read.message.empty(),
             shown() + "\nmessage " + read.message);
  encoder.Finish(bytes);
  Encoder whole(DefaultTables(), breaks);
  std::vector<std::uint8_t> whole_bytes;
  whole.Feed(decoded.value(), whole_bytes);
  whole.Finish(whole_bytes);
  const std::string problems = Describe(encoder.problems());
  const std::string whole_problems = Describe(whole.problems());
  FUZZ_CHECK(bytes == whole_bytes && problems == whole_problems &&
                 encoder.odd_count() == whole.odd_count(),
             shown() + "\n" + std::to_string(taken_directly) + " bytes taken directly" +
                 "\ndirect bytes " + Hex(bytes) + "\nwhole bytes  " + Hex(whole_bytes) +
                 "\ndirect problems " + problems + "\nwhole problems  " + whole_problems);
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace binconv::fuzz;
  DefaultTables();
  Files& files = TheFiles();
  files.captured = memfd_create("binconv-fuzz-stderr", MFD_CLOEXEC);
  files.real_stdin = dup(0);
  files.real_stderr = dup(2);
  if (files.captured < 0 || files.real_stdin < 0 || files.real_stderr < 0) std::abort();
  // Reports must reach the terminal even while standard error is captured.
  ReportFd() = files.real_stderr;
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(files.real_stderr)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  // The socket must hold all of it before the reader starts.
  if (size > 100000) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckReadAndConvert(input);
  // One of the two direct ways, in one of the two line-break modes.
  const LineBreaks breaks = size != 0 && data[0] % 2 == 0 ? LineBreaks::kAny : LineBreaks::kCrLf;
  if (size != 0 && data[0] % 4 >= 2) {
    CheckDirectListing(input, breaks);
  } else {
    CheckDirectBytes(input, breaks);
  }

  // The decoder itself, cut at arbitrary places.
  const auto decoded = DecodeUtf8(input);
  const std::string shown = "input " + Hex(input);
  Utf8Decoder decoder;
  std::u16string streamed;
  bool good = true;
  std::size_t from = 0;
  for (const std::size_t to : ChunkEnds(size, size != 0 ? data[0] : 0u)) {
    if (good) good = decoder.Feed(input.substr(from, to - from), streamed);
    from = to;
  }
  if (good) good = decoder.Finish();
  FUZZ_CHECK(good == decoded.ok(), shown);
  if (good) {
    FUZZ_CHECK(streamed == decoded.value(), shown + "\nstreamed " + Hex(streamed));
  } else {
    FUZZ_CHECK(decoder.error().offset == decoded.error().offset,
               shown + "\nstreamed offset " + std::to_string(decoder.error().offset) + " whole " +
                   std::to_string(decoded.error().offset));
  }
  return 0;
}
