// binconv-cli diff: an IPS or BPS patch from an original to its modified copy.

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/io.h"
#include "cli/outputs.h"
#include "cli/patch_files.h"
#include "cli/progress.h"

namespace binconv::cli {
namespace {

constexpr CommandText kDiffText{
    .name = "diff",
    .summary = Phrase("make an IPS or BPS patch from ORIGINAL to MODIFIED"),
    .details =
        Phrase("Writes a patch that turns ORIGINAL into MODIFIED, to share a translation\n"
        "without sharing the game file. The format is IPS or BPS, from --format or\n"
        "from PATCH's extension (.ips, .bps).\n"
        "  BPS  records the CRC-32 of ORIGINAL, MODIFIED and the patch itself, so a\n"
        "       player learns at once that their copy is the wrong one; any size.\n"
        "  IPS  older and simpler; it can't reach changes at or past 16 MiB\n"
        "       (0x1000000), which are refused with a word to use BPS.\n"
        "Neither file is held in memory whole. Before PATCH is written the patch is\n"
        "applied to ORIGINAL and the result compared with MODIFIED; PATCH is then\n"
        "replaced atomically. A progress bar is shown on a terminal for a MODIFIED\n"
        "over 64 MiB. Exit status 1 when no patch can be made, 2 for a misuse or a\n"
        "file that can't be read or written.\n")};

constexpr std::string_view kDiffNeeds = Phrase("diff needs ORIGINAL, MODIFIED and -o PATCH");

constexpr std::array kDiffOptions{
    Required(OutputOption("PATCH", Phrase("the patch file to write (required)")), kDiffNeeds),
    kPatchFormatOption, kHelpOption};

constexpr Usage kDiffUsage{.options = kDiffOptions,
                           .form = {.positionals = Exactly(2, "ORIGINAL MODIFIED", kDiffNeeds),
                                    .order = "@ output format"}};

ExitStatus RunDiff(const ParsedArgs& args) {
  const messages::Language language = args.language;
  if (auto spared = RefuseOutputsOverInputs("diff", args); !spared) {
    return spared.error();
  }
  const std::optional<std::string> patch_name = args.Value("output");
  if (patch_name->empty()) return UsageError(language, messages::Say(language, kDiffNeeds));
  const Reported<PatchFormat> format = ChoosePatchFormat(language, args.Value("format"), *patch_name);
  if (!format) return format.error();
  const std::string& original_name = args.positionals[0];
  const std::string& modified_name = args.positionals[1];
  for (const std::string* input : {&original_name, &modified_name}) {
    if (auto spared = CheckOutputSparesInput(language, *patch_name, *input); !spared) {
      return spared.error();
    }
  }
  // Both are read where the patch needs them, never whole.
  FileReader original;
  FileReader modified;
  if (auto opened = OpenInputFile(language, original_name, original); !opened) return opened.error();
  if (auto opened = OpenInputFile(language, modified_name, modified); !opened) return opened.error();
  FileInput from(original);
  FileInput modified_input(modified);
  // The patch follows the modified file from its start to its end, more
  // than once.
  JobProgress progress(language);
  progress.Plan(modified.size(),
                {{PassesOverModified(*format) * modified.size(), Phrase("making the patch").data()}});
  ProgressInput to(modified_input, progress.Step(0));
  auto written = WriteVerifiedPatchFile(*format, from, to, PathFromUtf8(*patch_name));
  progress.Finish();
  if (!written) {
    return ReportPatchFileError(language, written.error(), *patch_name, original_name, modified_name);
  }
  ReportPatchWritten(language, *patch_name, *format, written->size, original_name, modified_name);
  // An empty patch is a patch, but most likely not the one meant.
  if (written->changes_nothing) {
    PrintLine(messages::Say(language,
                            "the two files are the same: the patch changes nothing (was "
                            "{modified} saved after the changes?)",
                            {{"modified", modified_name}}));
  }
  return ExitStatus::kOk;
}

}  // namespace

extern const Command kDiffCommand{kDiffText, kDiffUsage, &RunDiff};

}  // namespace binconv::cli
