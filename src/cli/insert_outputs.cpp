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

std::string ResultName(messages::Language language, const InsertTarget& target) {
  if (target.output) return *target.output;
  if (!target.in_place) return messages::Say(language, "the result");
  return messages::Say(language, "{game} with the texts", {{"game", target.game}});
}

Reported<InsertTarget> ParseInsertTarget(const ParsedArgs& args) {
  const std::optional<std::string> into = args.Value("into");
  const std::optional<std::string> output = args.Value("output");
  const std::optional<std::string> patch = args.Value("patch");
  const messages::Language language = args.language;
  auto misuse = [language](std::string_view message) {
    return Failure(UsageError(language, messages::Say(language, message)));
  };
  InsertTarget target{into ? *into : *args.Value("from"), into.has_value(), output, patch};
  if (patch) {
    if (patch->empty()) return misuse(Phrase("the --patch name is empty"));
    const Reported<PatchFormat> format = ChoosePatchFormat(language, args.Value("format"), *patch);
    if (!format) return Unexpected(format.error());
    if (auto spared = CheckOutputSparesInput(language, *patch, target.game); !spared) {
      return Unexpected(spared.error());
    }
    if (output && NameTheSameFile(PathFromUtf8(*patch), PathFromUtf8(*output))) {
      return misuse(Phrase("--patch PATCH and -o OUTPUT name the same file"));
    }
    target.patch_format = *format;
  }
  // Only an existing ORIGINAL: a missing one is told as a file not found.
  if (output && AreOneExistingFile(PathFromUtf8(target.game), PathFromUtf8(*output))) {
    return misuse(Phrase("-o OUTPUT is ORIGINAL itself; use --into to patch it in place"));
  }
  return target;
}

void PlanInsertProgress(const InsertTarget& target, bool dry_run, std::uint64_t game,
                        std::uint64_t result, JobProgress& progress) {
  const std::uint64_t patch = target.patch ? PassesOverModified(target.patch_format) : 0;
  const std::uint64_t write = target.writes_game() && !dry_run ? 1 : 0;
  progress.Plan(game, {{game, Phrase("reading the game").data()},
                       {patch * result, Phrase("making the patch").data()},
                       {write * result, Phrase("writing").data()}});
}

// The patch from the original, read again now, to the result; none without --patch.
Reported<std::optional<std::vector<std::uint8_t>>> MakeInsertPatchFile(messages::Language language,
                                                                       const InsertTarget& target,
                                                                       const InsertResult& inserted,
                                                                       JobProgress& progress) {
  if (!target.patch) return std::optional<std::vector<std::uint8_t>>();
  FileReader original;
  if (auto opened = OpenInputFile(language, target.game, original); !opened) {
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
    PrintError(messages::Message(language, named) + messages::Say(language, "; nothing written"));
    return Unexpected(ExitStatus::kError);
  }
  return Failure(
      ReportPatchFileError(language, made.error(), *target.patch, target.game,
                           ResultName(language, target)));
}

Reported<std::unique_ptr<OutputSink>> StageInsertMap(const ParsedArgs& args, bool dry_run,
                                                     const std::vector<MapRow>& rows) {
  const std::optional<std::string> name = args.Value("map");
  if (!name || (dry_run && !NamesOpenStream(PathFromUtf8(*name)))) {
    return std::unique_ptr<OutputSink>();
  }
  return StageOutput(args.language, PathFromUtf8(*name), Bytes(InsertMapCsv(rows)));
}

namespace {

// -o -: the original read with the writes laid over it, straight to standard
// output, which can't be taken back; so it goes before the patch is put in place.
Reported<> StreamInserted(messages::Language language, const InsertTarget& target,
                          const InsertResult& inserted,
                          const std::function<void(std::uint64_t)>& told) {
  FileReader original;
  if (auto opened = OpenInputFile(language, target.game, original); !opened) return opened;
  const std::vector<FilePatch> patches = PatchesOf(inserted.writes);
  if (inserted.size < original.size() || !FilePatchesFit(inserted.size, patches)) {
    PrintError(messages::Say(language,
                             "{game} changed while the texts were being laid out; nothing written",
                             {{"game", target.game}}));
    return Failure(ExitStatus::kError);
  }
  FileInput result(original, patches, inserted.size);
  auto opened = OpenOutput(language, PathFromUtf8(kStdioName));
  if (!opened) return Failure(ReportOutputError(language, opened.error()));
  OutputSink& sink = *opened.value();
  std::vector<std::uint8_t> chunk(kChunkSize);
  for (std::uint64_t at = 0; at < result.size();) {
    const auto piece = std::span(chunk).first(
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), result.size() - at)));
    if (auto read = result.ReadAt(at, piece); !read) {
      PrintError(Describe(language, read.error()));
      return Failure(ExitStatus::kError);
    }
    if (auto written = sink.Write(piece); !written) {
      return Failure(ReportOutputError(language, written.error()));
    }
    at += piece.size();
    told(at);
  }
  if (auto committed = sink.Commit(); !committed) {
    return Failure(ReportOutputError(language, committed.error()));
  }
  return Unit{};
}

}  // namespace

Reported<> WriteInsertOutputs(messages::Language language, const InsertTarget& target, const InsertResult& inserted,
                              const std::optional<std::vector<std::uint8_t>>& patch,
                              JobProgress& progress) {
  if (target.output == kStdioName) {
    if (auto streamed = StreamInserted(language, target, inserted, progress.Step(kWriteStep)); !streamed) {
      progress.Clear();
      return streamed;
    }
    if (!patch) return Unit{};
    InsertTarget patch_only = target;
    patch_only.output.reset();
    return WriteInsertOutputs(language, patch_only, inserted, patch, progress);
  }
  bool owner_kept = true;
  ProgressFileOps ops(progress.Step(kWriteStep));
  auto written = WriteInsert(target, inserted.writes, inserted.size, patch, ops, &owner_kept);
  if (!owner_kept) {
    // The warning first: a patch that then can't be put in place fails after it.
    progress.Finish();
    WarnOwnerChanged(language, target.written_name());
  }
  if (written) return Unit{};
  progress.Clear();
  return Failure(ReportOutputError(language, written.error()));
}

}  // namespace binconv::cli
