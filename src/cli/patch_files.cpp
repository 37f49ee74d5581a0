#include "cli/patch_files.h"

#include "cli/into.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "messages/messages.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

using messages::Language;
using messages::Say;

std::string FormatName(PatchFormat format) { return format == PatchFormat::kIps ? "IPS" : "BPS"; }

}  // namespace

Reported<PatchFormat> ChoosePatchFormat(Language language, const std::optional<std::string>& format,
                                        const std::string& patch_name) {
  if (format) {
    if (*format == "ips") return PatchFormat::kIps;
    if (*format == "bps") return PatchFormat::kBps;
    return Failure(UsageError(language, Say(language, "--format '{value}' is neither ips nor bps",
                                            {{"value", *format}})));
  }
  const std::filesystem::path path = PathFromUtf8(patch_name);
  if (auto chosen = PatchFormatFromExtension(path.extension().u16string())) return *chosen;
  return Failure(UsageError(language, Say(language,
                                          "can't tell the patch format from the name {file}: "
                                          "name it .ips or .bps, or give --format ips|bps",
                                          {{"file", patch_name}})));
}

std::string DescribePatchError(Language language, const Problem& problem, const std::string& patch,
                               const std::string& original, const std::string& modified) {
  Problem named = problem;
  named.file = patch;
  named.what = original;
  named.other_what = modified;
  return messages::Message(language, named);
}

ExitStatus ReportPatchError(Language language, const Problem& error, const std::string& patch,
                            const std::string& original, const std::string& modified) {
  PrintError(DescribePatchError(language, error, patch, original, modified) +
             Say(language, "; nothing written"));
  return ExitStatus::kRejected;
}

Reported<> CheckOutputSparesInput(Language language, const std::string& output,
                                  const std::string& input) {
  if (output == kStdioName) {
    // Binary output on a terminal helps no one, and "-" is no file name.
    PrintError(Say(language, "patches and patched files are written to a named file, not to \"-\""));
    return Failure(ExitStatus::kError);
  }
  // Only an existing input: a missing one is told as a file not found.
  if (!AreOneExistingFile(PathFromUtf8(output), PathFromUtf8(input))) return Unit{};
  PrintError(Say(language, "{output} is {input}, which would be lost; write to another name",
                 {{"output", output}, {"input", input}}));
  return Failure(ExitStatus::kError);
}

Reported<std::string> ReadInputFile(Language language, const std::string& name) {
  auto bytes = ReadFileBytes(PathFromUtf8(name));
  if (!bytes) {
    IoError error = bytes.error();
    error.path = name;
    PrintError(Describe(language, error));
    return Failure(ExitStatus::kError);
  }
  return std::move(bytes).value();
}

ExitStatus ReportPatchFileError(Language language, const PatchFileError& error,
                                const std::string& patch, const std::string& original,
                                const std::string& modified) {
  if (const auto* io = std::get_if<IoError>(&error)) return ReportOutputError(language, *io);
  return ReportPatchError(language, std::get<Problem>(error), patch, original, modified);
}

Reported<> OpenInputFile(Language language, const std::string& name, FileReader& reader) {
  if (auto opened = reader.Open(PathFromUtf8(name)); !opened) {
    IoError error = opened.error();
    error.path = name;
    PrintError(Describe(language, error));
    return Failure(ExitStatus::kError);
  }
  return Unit{};
}

void ReportPatchWritten(Language language, const std::string& patch_name, PatchFormat format,
                        std::uint64_t size, const std::string& original_name,
                        const std::string& target_name) {
  PrintLine(patch_name + ": " +
            Say(language, "{format} patch of {size} from {original} to {target}, checked",
                {{"format", FormatName(format)},
                 {"size", ByteCount(language, size)},
                 {"original", original_name},
                 {"target", target_name}}));
}

}  // namespace binconv::cli
