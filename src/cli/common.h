#pragma once
// What the commands share: their common options, loading the tables, the
// input and output names, and how positions and problems are printed.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chartable/char_table.h"
#include "cli/args.h"
#include "cli/io.h"
#include "cli/tables.h"
#include "codec/convert.h"
#include "codec/encode.h"
#include "codec/listing.h"
#include "runtime/file.h"
#include "runtime/text_file.h"

namespace binconv::cli {

inline constexpr OptionSpec kHelpOption{"help", 'h', "", Phrase("show this help and exit")};
inline constexpr OptionSpec kExactOption{
    "exact", 0, "", Phrase("only CR LF is a line break (default: lone CR and LF are too)")};
// -o, with what it names (FILE, DIR, ...) and says in --help.
constexpr OptionSpec OutputOption(std::string_view value_name, std::string_view help) {
  return {.name = "output", .alias = 'o', .value_name = value_name, .help = help};
}
inline constexpr OptionSpec kOutputNameOption =
    OutputOption("NAME", Phrase("output file, trimmed of spaces (default: temp.bin)"));

inline std::span<const std::uint8_t> Bytes(const std::vector<std::uint8_t>& bytes) { return bytes; }
inline std::span<const std::uint8_t> Bytes(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The first positional argument, or "-" for standard input.
std::string InputName(const ParsedArgs& args);
LineBreaks LineBreaksOf(const ParsedArgs& args);

// What -o means when it is not given, and how its name is taken.
enum class OutputDefault {
  kStandardOutput,  // absent: standard output
  kNameBox,         // as the window's name box: trimmed of spaces, temp.bin when empty
  kCurrentFolder,   // absent: "." (import-tbl's folder)
};

// The path -o names, converted once: UTF-8 on Windows (whose arguments arrive
// as UTF-16), bytes as they are on POSIX, so any name the system allows is
// taken. "-" stands for standard output.
std::filesystem::path OutputPathOf(const ParsedArgs& args, OutputDefault fallback);

// A file named on the command line (an argument or an option's value) as a path.
inline std::filesystem::path PathOfArg(std::string_view arg) { return PathFromUtf8(arg); }

// The whole of the file `name` ("-": standard input).
Reported<std::string> ReadWholeInput(messages::Language language, const std::string& name);

// "FILE:LINE:COLUMN: "
std::string Position(const std::string& file, std::size_t line, std::size_t column);

void PrintListingError(const std::string& listing_name, const Problem& error);
// The odd-count message as the window would show it, and where.
void PrintOddCount(messages::Language language, const std::string& input_name);
// Reports that the text `input_name` read in chunks is not UTF-8 from the byte
// at `offset` on, found in `chunk`, the bytes after those `places` has counted.
Unexpected<ExitStatus> RejectBadUtf8(messages::Language language, const std::string& input_name,
                                     const TextPlaceCounter& places, std::size_t offset,
                                     std::string_view chunk);

// Streams the input through `step` into the output named by -o (standard
// output by default): `step(chunk, out)` appends what a chunk gives and
// `finish(out)` what is left at the end; what they appended is written even
// when they fail, which then stops the run. The output is made final only
// when everything went well.
Reported<> StreamToOutput(const ParsedArgs& args,
                          const std::function<Reported<>(std::string_view, std::string&)>& step,
                          const std::function<Reported<>(std::string&)>& finish);

// "page 2 (21)"; page 0 has no lead byte.
std::string PageName(messages::Language language, int page);
std::string Padded(std::string text, std::size_t width);

}  // namespace binconv::cli
