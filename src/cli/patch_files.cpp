#include "cli/patch_files.h"

#include "cli/into.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "messages/messages.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

std::string FormatName(PatchFormat format) { return format == PatchFormat::kIps ? "IPS" : "BPS"; }

}  // namespace

Reported<PatchFormat> ChoosePatchFormat(const std::optional<std::string>& format,
                                        const std::string& patch_name) {
  if (format) {
    if (*format == "ips") return PatchFormat::kIps;
    if (*format == "bps") return PatchFormat::kBps;
    return Failure(UsageError("--format '" + *format + "' is neither ips nor bps"));
  }
  const std::filesystem::path path = PathFromUtf8(patch_name);
  if (auto chosen = PatchFormatFromExtension(path.extension().u16string())) return *chosen;
  return Failure(UsageError("can't tell the patch format from the name " + patch_name +
                            ": name it .ips or .bps, or give --format ips|bps"));
}

std::string DescribePatchError(const Problem& problem, const std::string& patch,
                               const std::string& original, const std::string& modified) {
  Problem named = problem;
  named.file = patch;
  named.what = original;
  named.other_what = modified;
  return messages::Message(messages::Language::kEnglish, named);
}

ExitStatus ReportPatchError(const Problem& error, const std::string& patch,
                            const std::string& original, const std::string& modified) {
  PrintError(DescribePatchError(error, patch, original, modified) + "; nothing written");
  return ExitStatus::kRejected;
}

Reported<> CheckOutputSparesInput(const std::string& output, const std::string& input) {
  if (output == kStdioName) {
    // Binary output on a terminal helps no one, and "-" is no file name.
    PrintError("patches and patched files are written to a named file, not to \"-\"");
    return Failure(ExitStatus::kError);
  }
  // Only an existing input: a missing one is told as a file not found.
  if (!AreOneExistingFile(PathFromUtf8(output), PathFromUtf8(input))) return Unit{};
  PrintError(output + " is " + input + ", which would be lost; write to another name");
  return Failure(ExitStatus::kError);
}

Reported<std::string> ReadInputFile(const std::string& name) {
  auto bytes = ReadFileBytes(PathFromUtf8(name));
  if (!bytes) {
    IoError error = bytes.error();
    error.path = name;
    PrintError(Describe(error));
    return Failure(ExitStatus::kError);
  }
  return std::move(bytes).value();
}

ExitStatus ReportPatchFileError(const PatchFileError& error, const std::string& patch,
                         const std::string& original, const std::string& modified) {
  if (const auto* io = std::get_if<IoError>(&error)) return ReportOutputError(*io);
  return ReportPatchError(std::get<Problem>(error), patch, original, modified);
}

Reported<> OpenInputFile(const std::string& name, FileReader& reader) {
  if (auto opened = reader.Open(PathFromUtf8(name)); !opened) {
    IoError error = opened.error();
    error.path = name;
    PrintError(Describe(error));
    return Failure(ExitStatus::kError);
  }
  return Unit{};
}

void ReportPatchWritten(const std::string& patch_name, PatchFormat format, std::uint64_t size,
                        const std::string& original_name, const std::string& target_name) {
  PrintLine(patch_name + ": " + FormatName(format) + " patch of " + ByteCount(size) + " from " +
            original_name + " to " + target_name + ", checked");
}

}  // namespace binconv::cli
