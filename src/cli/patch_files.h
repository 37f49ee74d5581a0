#pragma once
// Patch files for the commands: reading the inputs, describing what goes
// wrong, and the line telling of a patch that has been checked and written.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/io.h"
#include "patch/patch_format.h"
#include "runtime/file.h"

namespace binconv::cli {

// The option that names a patch's format, for every command that writes one.
inline constexpr OptionSpec kPatchFormatOption{
    "format", 0, "ips|bps", Phrase("the patch format (default: from PATCH's extension)")};

// "--format ips|bps", or else PATCH's extension; a misuse when neither tells.
Reported<PatchFormat> ChoosePatchFormat(messages::Language language,
                                        const std::optional<std::string>& format,
                                        const std::string& patch_name);

// One line, without the program's name, saying what is wrong and which file
// is to blame. `patch` and `original` are the names as given.
std::string DescribePatchError(messages::Language language, const Problem& error, const std::string& patch,
                               const std::string& original, const std::string& modified);

// The exit status for a patch error: ExitStatus::kRejected for a problem with the
// inputs.
ExitStatus ReportPatchError(messages::Language language, const Problem& error, const std::string& patch,
                            const std::string& original, const std::string& modified);

// Either kind of error, reported; the exit status as ReportPatchError's or
// ReportOutputError's.
ExitStatus ReportPatchFileError(messages::Language language, const PatchFileError& error, const std::string& patch,
                         const std::string& original, const std::string& modified);

// Refuses an `output` that is "-" or names the same existing file as
// `input`, saying why it can't be written.
Reported<> CheckOutputSparesInput(messages::Language language, const std::string& output, const std::string& input);

// The whole file named `name` (UTF-8).
Reported<std::string> ReadInputFile(messages::Language language, const std::string& name);

// `reader` opened on the file named `name` (UTF-8), any trouble reported.
Reported<> OpenInputFile(messages::Language language, const std::string& name,
                         FileReader& reader);

// The line saying a checked patch of `size` bytes was written.
void ReportPatchWritten(messages::Language language, const std::string& patch_name, PatchFormat format, std::uint64_t size,
                        const std::string& original_name, const std::string& target_name);

}  // namespace binconv::cli
