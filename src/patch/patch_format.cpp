// What both patch formats share: recognising them and checking a new patch.

#include <algorithm>

#include "patch/patch_format.h"

namespace binconv {

std::optional<PatchFormat> DetectPatchFormat(std::span<const std::uint8_t> patch) {
  auto starts = [&](std::string_view magic) {
    return patch.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), patch.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  };
  if (starts("PATCH")) return PatchFormat::kIps;
  if (starts("BPS1")) return PatchFormat::kBps;
  return std::nullopt;
}

std::optional<PatchFormat> PatchFormatFromExtension(std::u16string_view extension) {
  if (extension.size() != 4 || extension[0] != u'.') return std::nullopt;
  std::u16string lower(extension.substr(1));
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  if (lower == u"ips") return PatchFormat::kIps;
  if (lower == u"bps") return PatchFormat::kBps;
  return std::nullopt;
}

namespace {

PatchFileError NotReproduced(std::uint64_t at) {
  return PatchFileError{PatchProblem(ProblemCode::kNotReproduced, at)};
}

// A BPS patch applied to the original with each byte it gives compared with
// the modified file, which also serves the copies from the result so far:
// up to the first difference the two are the same.
class CheckingStreams final : public detail::PatchStreams {
 public:
  CheckingStreams(PatchInput& original, PatchInput& modified)
      : original_(original), modified_(modified) {}
  Result<Unit, IoError> ReadSource(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return original_.ReadAt(offset, bytes);
  }
  Result<Unit, IoError> Begin(std::uint64_t target_size) override {
    if (target_size != modified_.size()) return Differ(std::min(target_size, modified_.size()));
    return Unit{};
  }
  Result<Unit, IoError> Append(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const std::size_t piece = std::min(bytes.size(), kPatchCopyBuffer);
      expected_.resize(piece);
      if (auto read = modified_.ReadAt(written_, expected_); !read) return read;
      const auto differ = std::mismatch(expected_.begin(), expected_.end(), bytes.begin());
      if (differ.first != expected_.end()) return Differ(written_ + (differ.first - expected_.begin()));
      written_ += piece;
      bytes = bytes.subspan(piece);
    }
    return Unit{};
  }
  Result<Unit, IoError> ReadTarget(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return modified_.ReadAt(offset, bytes);
  }
  // Where the result first differs from the modified file, if it does.
  const std::optional<std::uint64_t>& differs_at() const { return differs_at_; }

 private:
  // Stops the applier; the caller reads differs_at().
  Result<Unit, IoError> Differ(std::uint64_t at) {
    differs_at_ = at;
    return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, "", IoDetail::kResultDiffers));
  }

  PatchInput& original_;
  PatchInput& modified_;
  std::vector<std::uint8_t> expected_;
  std::uint64_t written_ = 0;
  std::optional<std::uint64_t> differs_at_;
};

Result<Unit, PatchFileError> CheckBps(std::span<const std::uint8_t> patch, PatchInput& original,
                                      PatchInput& modified) {
  CheckingStreams streams(original, modified);
  auto applied = detail::ApplyBpsThrough(patch, original.size(), streams);
  if (streams.differs_at()) return Unexpected(NotReproduced(*streams.differs_at()));
  if (!applied) {
    // A read that failed is told as it is; any other refusal is a fault here.
    if (std::holds_alternative<IoError>(applied.error())) return Unexpected(applied.error());
    return Unexpected(NotReproduced(0));
  }
  return Unit{};
}

// The first min(size, kIpsReach) bytes of `input`.
Result<std::vector<std::uint8_t>, IoError> IpsHead(PatchInput& input) {
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(input.size(), kIpsReach)));
  if (auto read = input.ReadAt(0, head); !read) return Unexpected(read.error());
  return head;
}

// Where the two inputs first differ at or past kIpsReach, if they do.
Result<std::optional<std::uint64_t>, IoError> DifferencePastIpsReach(PatchInput& a, PatchInput& b) {
  const std::uint64_t common = std::min(a.size(), b.size());
  std::vector<std::uint8_t> x(kPatchCopyBuffer);
  std::vector<std::uint8_t> y(kPatchCopyBuffer);
  for (std::uint64_t at = kIpsReach; at < common;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(x.size(), common - at));
    if (auto read = a.ReadAt(at, std::span(x).first(piece)); !read) return Unexpected(read.error());
    if (auto read = b.ReadAt(at, std::span(y).first(piece)); !read) return Unexpected(read.error());
    const auto differ = std::mismatch(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(piece), y.begin());
    if (differ.first != x.begin() + static_cast<std::ptrdiff_t>(piece)) {
      return std::optional<std::uint64_t>(at + static_cast<std::uint64_t>(differ.first - x.begin()));
    }
    at += piece;
  }
  if (a.size() != b.size() && common >= kIpsReach) return std::optional<std::uint64_t>(common);
  return std::optional<std::uint64_t>();
}

Result<std::vector<std::uint8_t>, PatchFileError> MakeVerifiedIps(PatchInput& original,
                                                                  PatchInput& modified) {
  auto past = DifferencePastIpsReach(original, modified);
  if (!past) return Unexpected(PatchFileError{past.error()});
  if (past.value()) {
    return Unexpected(PatchFileError{PatchProblem(ProblemCode::kIpsOutOfReach, *past.value())});
  }
  // Past the heads the two are the same: the heads' patch is the whole one.
  auto from = IpsHead(original);
  if (!from) return Unexpected(PatchFileError{from.error()});
  auto to = IpsHead(modified);
  if (!to) return Unexpected(PatchFileError{to.error()});
  auto made = MakeIps(from.value(), to.value());
  if (!made) return Unexpected(PatchFileError{made.error()});
  auto applied = ApplyIps(from.value(), made.value());
  if (!applied || applied.value() != to.value()) {
    const auto& got = applied ? applied.value() : std::vector<std::uint8_t>{};
    const auto differ = std::mismatch(got.begin(), got.end(), to.value().begin(), to.value().end());
    return Unexpected(NotReproduced(static_cast<std::uint64_t>(differ.second - to.value().begin())));
  }
  return std::move(made).value();
}

}  // namespace

Result<std::vector<std::uint8_t>, PatchFileError> MakeVerifiedPatchFrom(
    PatchFormat format, PatchInput& original, PatchInput& modified, const PatchMemory& memory) {
  if (format == PatchFormat::kIps) return MakeVerifiedIps(original, modified);
  auto made = MakeBpsFrom(original, modified, memory);
  if (!made) return Unexpected(PatchFileError{made.error()});
  if (auto checked = CheckBps(made.value(), original, modified); !checked) {
    return Unexpected(checked.error());
  }
  return std::move(made).value();
}

Result<std::vector<std::uint8_t>, Problem> MakeVerifiedPatch(
    PatchFormat format, std::span<const std::uint8_t> original,
    std::span<const std::uint8_t> modified) {
  MemoryInput from(original);
  MemoryInput to(modified);
  auto made = MakeVerifiedPatchFrom(format, from, to);
  // Memory reports no IoError.
  if (!made) return Unexpected(std::get<Problem>(made.error()));
  return made.value();
}

Result<std::vector<std::uint8_t>, Problem> ApplyPatch(std::span<const std::uint8_t> source,
                                                      std::span<const std::uint8_t> patch,
                                                      std::uint64_t max_target) {
  switch (DetectPatchFormat(patch).value_or(PatchFormat::kIps)) {
    case PatchFormat::kIps:
      if (patch.size() < 5 && !DetectPatchFormat(patch)) {
        // Too short to tell: name it by what it could still have been.
        const std::string_view ips = "PATCH";
        const std::string_view bps = "BPS1";
        auto prefix_of = [&](std::string_view magic) {
          return patch.size() <= magic.size() &&
                 std::equal(patch.begin(), patch.end(), magic.begin(),
                            [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
        };
        if (prefix_of(ips) || prefix_of(bps))
          return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, patch.size()));
        return Unexpected(PatchProblem(ProblemCode::kNotAPatch, 0));
      }
      return ApplyIps(source, patch);
    case PatchFormat::kBps:
      return ApplyBps(source, patch, max_target);
  }
  return Unexpected(PatchProblem(ProblemCode::kNotAPatch, 0));
}

bool PatchChangesNothing(std::span<const std::uint8_t> patch, std::uint64_t source_size) {
  if (auto ips = detail::ReadIpsRecords(patch)) {
    return ips->records.empty() && (!ips->truncate || *ips->truncate == source_size);
  }
  auto header = ReadBpsHeader(patch);
  if (!header || header->source_size != source_size || header->target_size != source_size) {
    return false;
  }
  const std::span<const std::uint8_t> actions = patch.first(patch.size() - 12);
  std::size_t pos = header->actions_begin;
  while (pos < actions.size()) {
    auto number = detail::ReadBpsNumber(actions, pos);
    if (!number || (number.value() & 3) != detail::kSourceRead) return false;
  }
  return true;
}

Result<PatchWritten, PatchFileError> WriteVerifiedPatchFile(
    PatchFormat format, PatchInput& original, PatchInput& modified,
    const std::filesystem::path& patch_file, FileOps& ops, const PatchMemory& memory) {
  auto patch = MakeVerifiedPatchFrom(format, original, modified, memory);
  if (!patch) return Unexpected(patch.error());
  if (auto written = ReplaceFileAtomically(patch_file, patch.value(), ops); !written) {
    return Unexpected(PatchFileError{written.error()});
  }
  return PatchWritten{patch.value().size(), PatchChangesNothing(patch.value(), original.size())};
}

namespace {

// The original read from its file, the result built in the writer's
// temporary file.
class FileStreams final : public detail::PatchStreams {
 public:
  FileStreams(FileReader& source, AtomicFileWriter& writer, const std::filesystem::path& output)
      : source_(source), writer_(writer), output_(output) {}
  Result<Unit, IoError> ReadSource(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return source_.ReadAt(offset, bytes);
  }
  Result<Unit, IoError> Begin(std::uint64_t) override { return writer_.Open(output_); }
  Result<Unit, IoError> Append(std::span<const std::uint8_t> bytes) override {
    return writer_.Write(bytes);
  }
  Result<Unit, IoError> ReadTarget(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return writer_.ReadBack(offset, bytes);
  }

 private:
  FileReader& source_;
  AtomicFileWriter& writer_;
  const std::filesystem::path& output_;
};

Result<std::uint64_t, PatchFileError> ApplyBpsToFile(const std::filesystem::path& original,
                                                     std::span<const std::uint8_t> patch,
                                                     const std::filesystem::path& output,
                                                     FileOps& ops) {
  FileReader source;
  auto size = source.Open(original);
  if (!size) return Unexpected(PatchFileError{size.error()});
  AtomicFileWriter writer(ops);
  FileStreams streams(source, writer, output);
  auto applied = detail::ApplyBpsThrough(patch, size.value(), streams);
  if (!applied) return Unexpected(applied.error());
  // Closed first: Windows won't replace a file still open (--into).
  source.Close();
  if (auto committed = writer.Commit(); !committed) return Unexpected(PatchFileError{committed.error()});
  return ReadBpsHeader(patch).value().target_size;
}

// A copy of the original made by the system, then the records written over it.
Result<std::uint64_t, PatchFileError> ApplyIpsToFile(const std::filesystem::path& original,
                                                     std::span<const std::uint8_t> patch,
                                                     const std::filesystem::path& output,
                                                     FileOps& ops) {
  auto read = detail::ReadIpsRecords(patch);
  if (!read) return Unexpected(PatchFileError{read.error()});
  const detail::IpsRecords& ips = read.value();
  // Checked against the original before anything is written...
  auto source_size = RegularFileSize(original);
  if (!source_size) return Unexpected(PatchFileError{source_size.error()});
  if (auto size = detail::IpsResultSize(ips, source_size.value()); !size) {
    return Unexpected(PatchFileError{size.error()});
  }
  AtomicFileWriter writer(ops);
  auto copied = writer.OpenCopyOf(original, output);
  if (!copied) return Unexpected(PatchFileError{copied.error()});
  // ...and again against the copy, which is what is patched.
  auto size = detail::IpsResultSize(ips, copied.value());
  if (!size) return Unexpected(PatchFileError{size.error()});
  if (ips.end > copied.value()) {
    if (auto r = writer.Resize(ips.end); !r) return Unexpected(PatchFileError{r.error()});
  }
  std::vector<std::uint8_t> run;
  for (const detail::IpsRecord& r : ips.records) {
    std::span<const std::uint8_t> bytes = patch.subspan(r.data_at, r.size);
    if (r.rle) {
      run.assign(r.size, r.fill);
      bytes = run;
    }
    if (auto w = writer.WriteAt(r.offset, bytes); !w) return Unexpected(PatchFileError{w.error()});
  }
  if (size.value() != std::max(copied.value(), ips.end)) {
    if (auto r = writer.Resize(size.value()); !r) return Unexpected(PatchFileError{r.error()});
  }
  if (auto committed = writer.Commit(); !committed) return Unexpected(PatchFileError{committed.error()});
  return size.value();
}

}  // namespace

Result<std::uint64_t, PatchFileError> ApplyPatchToFile(const std::filesystem::path& original,
                                                       std::span<const std::uint8_t> patch,
                                                       const std::filesystem::path& output,
                                                       FileOps& ops) {
  const auto format = DetectPatchFormat(patch);
  if (!format) {
    // The same refusal as in memory: too short to tell, or neither format.
    // Filled in place: moving a fresh Problem into the variant makes GCC 12
    // at -O3 warn, falsely, that the IoError it does not hold is uninitialized.
    Result<std::uint64_t, PatchFileError> refusal = Unexpected(PatchFileError{});
    if (auto refused = ApplyPatch({}, patch); !refused) {
      std::get<Problem>(refusal.error()) = std::move(refused).error();
    }
    return refusal;
  }
  if (format == PatchFormat::kBps) {
    return ApplyBpsToFile(original, patch, output, ops);
  }
  return ApplyIpsToFile(original, patch, output, ops);
}

}  // namespace binconv
