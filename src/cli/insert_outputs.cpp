#include "cli/insert_outputs.h"

#include <algorithm>
#include <functional>
#include <span>
#include <variant>

#include "cli/common.h"
#include "cli/patch_files.h"
#include "cli/problems.h"
#include "messages/messages.h"
#include "patch/patch_input.h"
#include "runtime/file.h"

namespace binconv::cli {

std::string ResultName(const InsertTarget& target) {
  if (target.output) return *target.output;
  return target.in_place ? target.game + " with the texts" : "the result";
}

Reported<InsertTarget> ParseInsertTarget(const ParsedArgs& args) {
  const std::optional<std::string> into = args.Value("into");
  const std::optional<std::string> output = args.Value("output");
  const std::optional<std::string> patch = args.Value("patch");
  auto misuse = [](const std::string& message) { return Failure(UsageError(message)); };
  InsertTarget target{into ? *into : *args.Value("from"), into.has_value(), output, patch};
  if (patch) {
    if (patch->empty()) return misuse("the --patch name is empty");
    const Reported<PatchFormat> format = ChoosePatchFormat(args.Value("format"), *patch);
    if (!format) return Unexpected(format.error());
    if (auto spared = CheckOutputSparesInput(*patch, target.game); !spared) {
      return Unexpected(spared.error());
    }
    if (output && NameTheSameFile(PathFromUtf8(*patch), PathFromUtf8(*output))) {
      return misuse("--patch PATCH and -o OUTPUT name the same file");
    }
    target.patch_format = *format;
  }
  // Only an existing ORIGINAL: a missing one is told as a file not found.
  if (output && AreOneExistingFile(PathFromUtf8(target.game), PathFromUtf8(*output))) {
    return misuse("-o OUTPUT is ORIGINAL itself; use --into to patch it in place");
  }
  return target;
}

void PlanInsertProgress(const InsertTarget& target, bool dry_run, std::uint64_t game,
                        std::uint64_t result, JobProgress& progress) {
  const std::uint64_t patch = target.patch ? PassesOverModified(target.patch_format) : 0;
  const std::uint64_t write = target.writes_game() && !dry_run ? 1 : 0;
  progress.Plan(game, {{game, "reading the game"},
                       {patch * result, "making the patch"},
                       {write * result, "writing"}});
}

// The patch from the original, read again now, to the result; none without --patch.
Reported<std::optional<std::vector<std::uint8_t>>> MakeInsertPatchFile(const InsertTarget& target,
                                                                       const InsertResult& inserted,
                                                                       JobProgress& progress) {
  if (!target.patch) return std::optional<std::vector<std::uint8_t>>();
  FileReader original;
  if (auto opened = OpenInputFile(target.game, original); !opened) {
    return Unexpected(opened.error());
  }
  auto made = MakeInsertPatch(target.patch_format, original, inserted.writes, inserted.size,
                              progress.Step(kPatchStep));
  if (made) return std::optional(std::move(made).value());
  progress.Clear();
  if (const auto* problem = std::get_if<Problem>(&made.error());
      problem && problem->code == ProblemCode::kChangedSinceRead) {
    Problem named = *problem;
    named.file = target.game;
    PrintError(messages::Message(messages::Language::kEnglish, named) + "; nothing written");
    return Unexpected(ExitStatus::kError);
  }
  return Failure(
      ReportPatchFileError(made.error(), *target.patch, target.game, ResultName(target)));
}

Reported<std::unique_ptr<OutputSink>> StageInsertMap(const ParsedArgs& args, bool dry_run,
                                                     const std::vector<MapRow>& rows) {
  const std::optional<std::string> name = args.Value("map");
  if (!name || (dry_run && !NamesOpenStream(PathFromUtf8(*name)))) {
    return std::unique_ptr<OutputSink>();
  }
  return StageOutput(PathFromUtf8(*name), Bytes(InsertMapCsv(rows)));
}

namespace {

// -o -: the original read with the writes laid over it, straight to standard
// output, which can't be taken back; so it goes before the patch is put in place.
Reported<> StreamInserted(const InsertTarget& target, const InsertResult& inserted,
                          const std::function<void(std::uint64_t)>& told) {
  FileReader original;
  if (auto opened = OpenInputFile(target.game, original); !opened) return opened;
  const std::vector<FilePatch> patches = PatchesOf(inserted.writes);
  if (inserted.size < original.size() || !FilePatchesFit(inserted.size, patches)) {
    PrintError(target.game + " changed while the texts were being laid out; nothing written");
    return Failure(ExitStatus::kError);
  }
  FileInput result(original, patches, inserted.size);
  auto opened = OpenOutput(PathFromUtf8(kStdioName));
  if (!opened) return Failure(ReportOutputError(opened.error()));
  OutputSink& sink = *opened.value();
  std::vector<std::uint8_t> chunk(kChunkSize);
  for (std::uint64_t at = 0; at < result.size();) {
    const auto piece = std::span(chunk).first(
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), result.size() - at)));
    if (auto read = result.ReadAt(at, piece); !read) {
      PrintError(Describe(read.error()));
      return Failure(ExitStatus::kError);
    }
    if (auto written = sink.Write(piece); !written) {
      return Failure(ReportOutputError(written.error()));
    }
    at += piece.size();
    told(at);
  }
  if (auto committed = sink.Commit(); !committed) {
    return Failure(ReportOutputError(committed.error()));
  }
  return Unit{};
}

}  // namespace

Reported<> WriteInsertOutputs(const InsertTarget& target, const InsertResult& inserted,
                              const std::optional<std::vector<std::uint8_t>>& patch,
                              JobProgress& progress) {
  if (target.output == kStdioName) {
    if (auto streamed = StreamInserted(target, inserted, progress.Step(kWriteStep)); !streamed) {
      progress.Clear();
      return streamed;
    }
    if (!patch) return Unit{};
    InsertTarget patch_only = target;
    patch_only.output.reset();
    return WriteInsertOutputs(patch_only, inserted, patch, progress);
  }
  bool owner_kept = true;
  ProgressFileOps ops(progress.Step(kWriteStep));
  auto written = WriteInsert(target, inserted.writes, inserted.size, patch, ops, &owner_kept);
  if (!owner_kept) {
    // The warning first: a patch that then can't be put in place fails after it.
    progress.Finish();
    WarnOwnerChanged(target.written_name());
  }
  if (written) return Unit{};
  progress.Clear();
  return Failure(ReportOutputError(written.error()));
}

}  // namespace binconv::cli
