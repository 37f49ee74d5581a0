#pragma once
// The command-line tool's raw streams, one implementation per system:
// standard input or a named file read in pieces, standard output and error
// written as bytes (or, on a Windows console, as text the console shows).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "messages/messages.h"
#include "runtime/file.h"
#include "runtime/result.h"

namespace binconv::cli {

// Standard input for "-" or an empty name, otherwise the named file.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // `name` is UTF-8. Fails on a directory.
  Result<Unit, IoError> Open(const std::string& name);
  // 0 at the end of the input.
  Result<std::size_t, IoError> Read(std::span<char> buffer);

 private:
  FileHandle handle_ = kNoFile;
  bool owned_ = false;
  std::string name_;
};

// All of `bytes` on standard output, or the error.
Result<Unit, IoError> WriteStdout(std::span<const std::uint8_t> bytes);

// UTF-8 text on standard error, at once.
void WriteStderr(std::string_view text);

// Whether the error says that the reader of standard output has gone away (a
// closed pipe), which ends the program quietly.
bool ReaderHasGone(const IoError& error);

// The language the user asks for: the locale's variables, else (on Windows)
// the language of the system's own texts; English when nothing says.
messages::Language LanguageOfUser();

}  // namespace binconv::cli
