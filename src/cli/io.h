#pragma once
// Console and file plumbing of the command-line tool: chunked input,
// streamed output to standard output or to a file replaced atomically, and
// the messages on standard error.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "messages/messages.h"
#include "runtime/block_size.h"
#include "runtime/file.h"
#include "runtime/result.h"

namespace binconv::cli {

// "1 byte", "2 bytes", "2 entries": a number and the word that goes with it,
// `one` for one and `many` for more, both marked for the catalogue.
// `more` fills the texts' other placeholders.
std::string Counted(messages::Language language, std::uint64_t n, std::string_view one,
                    std::string_view many,
                    std::initializer_list<std::pair<std::string_view, std::string>> more = {});

// How a run ends, as the process's exit status: the one form a status has
// inside the CLI, made a number only where the process returns it. A failure
// is reported on standard error where it is found, and all that goes up is
// the status it calls for. A helper that can fail returns Reported<T>
// (Reported<> when it gives no value); a command returns the status.
enum class ExitStatus {
  kOk = 0,
  kRejected = 1,  // the text or listing can't be written
  kError = 2,     // usage, input, table or output trouble
};
template <class T = Unit>
using Reported = Result<T, ExitStatus>;
// The status of a run that ends with `status`.
inline ExitStatus StatusOf(const Reported<>& status) {
  return status ? ExitStatus::kOk : status.error();
}
// What a helper gives up with once it has reported its trouble.
inline Unexpected<ExitStatus> Failure(ExitStatus status) { return Unexpected(status); }

inline constexpr std::size_t kChunkSize = kReadChunk;
inline constexpr char kStdioName[] = "-";
inline constexpr char kStdoutName[] = "<stdout>";

// "binconv-cli: message" on standard error.
void PrintError(std::string_view message);
// `message` with an aside after it, "(see …)": a Japanese aside, in full-width
// parentheses, takes the sentence's place of its full stop.
std::string WithAside(std::string message, std::string_view aside);
// A command used the wrong way: the message with a pointer to --help, and
// the exit status for it.
ExitStatus UsageError(messages::Language language, std::string_view message);
// The line as it is, on standard error.
void PrintLine(std::string_view line);

// Reads the file `name` ("-" or empty: standard input) in chunks as they come
// and hands each to `consume`. A failure of `consume` stops the reading and
// is returned; a read error is reported.
Reported<> ReadBytes(messages::Language language, const std::string& name,
                     const std::function<Reported<>(std::string_view)>& consume);

// The name a file is shown by in messages.
inline std::string ShownName(const std::string& name) { return name.empty() ? kStdioName : name; }

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual Result<Unit, IoError> Write(std::span<const std::uint8_t> bytes) = 0;
  // Makes the output final: for a file, puts it in place of the old one.
  virtual Result<Unit, IoError> Commit() = 0;
  // Drops a file's output; the old file stays as it was.
  virtual void Abort() = 0;
};

// Whether the bytes written to standard output (or another open descriptor)
// go out as they come, or only on Commit: a command that may still refuse
// its whole input then writes nothing.
enum class OutputHold { kStream, kUntilCommit };

// Standard output for "-" or an empty name, the open descriptor for a name
// such as /dev/stdout or /dev/fd/N, otherwise the file `path` written through
// AtomicFileWriter.
// A file that could not keep its owner is warned of in `language`.
Result<std::unique_ptr<OutputSink>, IoError> OpenOutput(messages::Language language,
                                                        const std::filesystem::path& path,
                                                        OutputHold hold = OutputHold::kStream);

// Whether `path` names standard output or an open descriptor, which
// OpenOutput writes through and never replaces.
bool NamesOpenStream(const std::filesystem::path& path);

// Writes `bytes` whole to the output `path` names, as OpenOutput does, and
// makes it final. A failure is reported, and a file then keeps its old bytes.
Reported<> WriteOutput(messages::Language language, const std::filesystem::path& path,
                       std::span<const std::uint8_t> bytes);

// The output `path` names, held until Commit with `bytes` written to it: an
// output put in place only once everything else is. A failure is reported.
Reported<std::unique_ptr<OutputSink>> StageOutput(messages::Language language,
                                                  const std::filesystem::path& path,
                                                  std::span<const std::uint8_t> bytes);

// Says on standard error that the replaced file `name` could not keep its
// owner and group.
void WarnOwnerChanged(messages::Language language, const std::string& name);

// Reports an output error and returns ExitStatus::kError. A reader that has gone
// away (a closed pipe) ends the program quietly.
ExitStatus ReportOutputError(messages::Language language, const IoError& error);

}  // namespace binconv::cli
