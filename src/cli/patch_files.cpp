#include "cli/patch_files.h"

#include "cli/into.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

std::string Crc(std::uint64_t crc) { return HexNumber(crc, 8); }

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

std::string DescribePatchError(const PatchError& e, const std::string& patch,
                               const std::string& original, const std::string& modified) {
  const std::string at = " at byte " + HexNumber(e.position);
  const std::string damaged = patch + ": damaged: ";
  switch (e.code) {
    case PatchErrorCode::kIpsOffsetTooLarge:
      return modified + ": a change at " + HexNumber(e.position) +
             " is past the 16 MiB an IPS patch can reach; use BPS instead (--format bps or a "
             ".bps name)";
    case PatchErrorCode::kNotReproduced:
      return "the patch made would not give back " + modified + " (it differs from byte " +
             HexNumber(e.position) + " on); it was not written";
    case PatchErrorCode::kUnknownFormat:
      return patch + ": not an IPS or BPS patch (it starts with neither \"PATCH\" nor \"BPS1\")";
    case PatchErrorCode::kTruncated:
      return damaged + "it ends inside the header, record or number" + at;
    case PatchErrorCode::kNoEofMarker:
      return damaged + "no \"EOF\" marker" + at + " (the patch is cut short)";
    case PatchErrorCode::kTrailingBytes:
      return damaged + "bytes that belong to nothing after the \"EOF\" marker" + at;
    case PatchErrorCode::kBadTruncation:
      return damaged + "it truncates the result to " + ByteCount(e.actual) + at +
             ", but the result has only " + ByteCount(e.expected);
    case PatchErrorCode::kNumberTooLarge:
      return damaged + "the number" + at + " does not fit in 64 bits";
    case PatchErrorCode::kTargetTooLarge:
      return patch + ": the result would have " + ByteCount(e.actual) + ", more than the " +
             ByteCount(e.expected) + " binconv builds";
    case PatchErrorCode::kPastSource:
      return damaged + "the action" + at + " reads past the end of the original";
    case PatchErrorCode::kPastTarget:
      return damaged + "the action" + at +
             " writes past the end of the result or copies bytes not yet written";
    case PatchErrorCode::kTargetIncomplete:
      return damaged + "its actions end after " + ByteCount(e.actual) + " of the " +
             ByteCount(e.expected) + " of the result";
    case PatchErrorCode::kPatchCrcMismatch:
      return damaged + "its CRC-32 is " + Crc(e.actual) + " but it records " + Crc(e.expected);
    case PatchErrorCode::kSourceSizeMismatch:
      return original + " is not the file this patch was made for: it has " + ByteCount(e.actual) +
             ", the patch expects " + ByteCount(e.expected);
    case PatchErrorCode::kSourceCrcMismatch:
      return original + " is not the file this patch was made for: its CRC-32 is " + Crc(e.actual) +
             ", the patch expects " + Crc(e.expected);
    case PatchErrorCode::kTargetCrcMismatch:
      return patch + " is damaged: the result's CRC-32 is " + Crc(e.actual) +
             " but the patch promises " + Crc(e.expected) + " (" + original +
             " is the right file: its CRC-32 matched)";
  }
  return patch + ": ?";
}

ExitStatus ReportPatchError(const PatchError& error, const std::string& patch, const std::string& original,
                     const std::string& modified) {
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
  return ReportPatchError(std::get<PatchError>(error), patch, original, modified);
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
