// Arbitrary bytes as the command-line tool's input file, read by the tool's
// own reader: the text is either handed on whole, or the reading stops with a
// message that gives the byte offset of the first bad sequence, after handing
// on exactly the text before it. The text read is then converted and encoded
// in the pieces the reader gave, as the convert and encode commands do.

#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/io.h"
#include "conversion/convert.h"
#include "conversion/encode.h"
#include "fuzz_support.h"
#include "runtime/utf8.h"

namespace binconv::fuzz {
namespace {

struct Files {
  int input = -1;     // what the reader opens, through /proc/self/fd
  int captured = -1;  // standard error while the reader runs
  int real_stderr = -1;
  std::string input_name;
};

Files& TheFiles() {
  static Files files;
  return files;
}

// Also rewinds: a descriptor dup'ed from `fd` writes at the shared offset.
void Replace(int fd, std::string_view bytes) {
  FUZZ_CHECK(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "truncate");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    FUZZ_CHECK(n > 0, "pwrite");
    done += static_cast<std::size_t>(n);
  }
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

std::u16string WithoutMark(std::u16string text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
  return text;
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace binconv::fuzz;
  DefaultTables();
  Files& files = TheFiles();
  files.input = memfd_create("binconv-fuzz-input", MFD_CLOEXEC);
  files.captured = memfd_create("binconv-fuzz-stderr", MFD_CLOEXEC);
  files.real_stderr = dup(2);
  if (files.input < 0 || files.captured < 0 || files.real_stderr < 0) std::abort();
  files.input_name = "/proc/self/fd/" + std::to_string(files.input);
  // Reports must reach the terminal even while standard error is captured.
  ReportFd() = files.real_stderr;
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(files.real_stderr)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace binconv;
  using namespace binconv::fuzz;
  Files& files = TheFiles();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string shown = "input " + Hex(input);
  Replace(files.input, input);
  Replace(files.captured, {});

  std::vector<std::u16string> pieces;
  FUZZ_CHECK(dup2(files.captured, 2) == 2, "dup2");
  const int status = cli::ReadText(files.input_name, [&](std::u16string_view text) {
    pieces.emplace_back(text);
    return cli::kExitOk;
  });
  FUZZ_CHECK(dup2(files.real_stderr, 2) == 2, "dup2");
  const std::string message = ReadBack(files.captured);

  std::u16string read;
  for (const std::u16string& piece : pieces) read += piece;
  const auto decoded = DecodeUtf8(input);
  if (decoded.ok()) {
    FUZZ_CHECK(status == cli::kExitOk && message.empty(),
               shown + "\nstatus " + std::to_string(status) + " message " + message);
    FUZZ_CHECK(read == WithoutMark(decoded.value()),
               shown + "\nread    " + Hex(read) + "\ndecoded " + Hex(decoded.value()));
  } else {
    const std::size_t offset = decoded.error().offset;
    const std::string expected_message = "binconv-cli: " + files.input_name +
                                         ": invalid UTF-8 at byte offset " +
                                         std::to_string(offset) + "\n";
    FUZZ_CHECK(status == cli::kExitError && message == expected_message,
               shown + "\nstatus " + std::to_string(status) + "\nmessage  " + message +
                   "expected " + expected_message);
    const auto before = DecodeUtf8(input.substr(0, offset));
    FUZZ_CHECK(before.ok() && read == WithoutMark(before.value()), shown + "\nread " + Hex(read));
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
    FUZZ_CHECK(listing == ConvertToCode(read, DefaultTables(), breaks),
               shown + "\nlisting " + Hex(listing));
    Encoder whole(DefaultTables(), breaks);
    std::vector<std::uint8_t> whole_bytes;
    whole.Feed(read, whole_bytes);
    whole.Finish(whole_bytes);
    FUZZ_CHECK(bytes == whole_bytes && encoder.problems().size() == whole.problems().size() &&
                   encoder.odd_count() == whole.odd_count(),
               shown + "\nbytes " + Hex(bytes) + "\nwhole " + Hex(whole_bytes));
  }

  // The decoder itself, cut at arbitrary places.
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
