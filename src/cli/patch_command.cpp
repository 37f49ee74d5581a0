// binconv-cli patch: an IPS or BPS patch applied to an original, into a new
// file or in place.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/patch_files.h"
#include "cli/progress.h"

namespace binconv::cli {
namespace {

constexpr CommandText kPatchText{
    .name = "patch",
    .summary = Phrase("apply an IPS or BPS patch"),
    .details =
        Phrase("Applies an IPS or BPS patch (recognised from its first bytes) to ORIGINAL\n"
        "and writes the result to OUTPUT, or with --into FILE replaces FILE with\n"
        "the result. A BPS patch's own CRC-32 and ORIGINAL's CRC-32 and size are\n"
        "checked before anything is built, the result's CRC-32 after; a mismatch\n"
        "names both CRCs and the file to blame. A damaged patch (an IPS patch\n"
        "without its \"EOF\" marker, an action past the end of a file) is\n"
        "refused. The output is written to a temporary file and put in place only\n"
        "when everything went well; otherwise nothing is written. A progress bar\n"
        "is shown on a terminal for an ORIGINAL over 64 MiB. Exit status 1\n"
        "for a damaged or mismatched patch, 2 for a misuse or a file that can't be\n"
        "read or written.\n")};

// Every misuse of patch is told with its two forms.
constexpr std::string_view kPatchNeeds =
    Phrase("patch needs ORIGINAL PATCH -o OUTPUT, or --into FILE PATCH");

constexpr std::array kPatchOptions{
    Required(OutputOption("OUTPUT", Phrase("the patched file to write")), kPatchNeeds),
    OptionSpec{.name = "into",
               .value_name = "FILE",
               .help = Phrase("patch FILE in place instead (atomically)"),
               .required = true,
               .excludes = "output",
               .misuse = kPatchNeeds},
    kHelpOption};

// With --into FILE, FILE is the original.
constexpr Form kPatchIntoForm{
    .when = "into", .positionals = Exactly(1, "PATCH", kPatchNeeds), .apart = " | "};

constexpr Usage kPatchUsage{
    .options = kPatchOptions,
    .form = {.positionals = Exactly(2, "ORIGINAL PATCH", kPatchNeeds), .order = "@ output"},
    .other = &kPatchIntoForm};

// The time goes into writing the result: a BPS patch builds it whole, an IPS
// patch has the original copied and its records (at most the patch's own
// bytes, but for runs) written over the copy.
void PlanPatchProgress(const std::string& original_name, std::span<const std::uint8_t> patch,
                       JobProgress& progress) {
  const std::uint64_t original = RegularFileSize(PathFromUtf8(original_name)).value_or(0);
  std::uint64_t result = original + patch.size();
  if (DetectPatchFormat(patch) == PatchFormat::kBps) {
    if (auto header = ReadBpsHeader(patch)) result = header.value().target_size;
  }
  progress.Plan(original, {{result, Phrase("applying the patch").data()}});
}

ExitStatus RunPatch(const ParsedArgs& args) {
  const messages::Language language = args.language;
  if (auto spared = RefuseOutputsOverInputs("patch", args); !spared) {
    return spared.error();
  }
  const std::optional<std::string> into = args.Value("into");
  const std::string original_name = into ? *into : args.positionals[0];
  const std::string patch_name = args.positionals.back();
  const std::string output_name = into ? *into : *args.Value("output");
  if (output_name.empty()) {
    return UsageError(language, messages::Say(language, "the output name is empty"));
  }
  // Writing over ORIGINAL is what --into does; over the patch, it is lost.
  if (auto spared = CheckOutputSparesInput(language, output_name, patch_name); !spared) {
    return spared.error();
  }
  const Reported<std::string> patch = ReadInputFile(language, patch_name);
  if (!patch) return patch.error();
  // The original is read where the patch needs it, never whole.
  JobProgress progress(language);
  PlanPatchProgress(original_name, Bytes(*patch), progress);
  ProgressFileOps ops(progress.Step(0));
  auto written =
      ApplyPatchToFile(PathFromUtf8(original_name), Bytes(*patch), PathFromUtf8(output_name), ops);
  progress.Finish();
  if (!written) {
    return ReportPatchFileError(language, written.error(), patch_name, original_name, output_name);
  }
  PrintLine(output_name + ": " +
            messages::Say(language, "{patch} applied to {original} ({size})",
                          {{"patch", patch_name},
                           {"original", original_name},
                           {"size", messages::CountBytes(language, written.value())}}));
  return ExitStatus::kOk;
}

}  // namespace

extern const Command kPatchCommand{kPatchText, kPatchUsage, &RunPatch};

}  // namespace binconv::cli
