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

Result<std::vector<std::uint8_t>, PatchError> MakeVerifiedPatch(
    PatchFormat format, std::span<const std::uint8_t> original,
    std::span<const std::uint8_t> modified) {
  std::vector<std::uint8_t> patch;
  if (format == PatchFormat::kIps) {
    auto made = MakeIps(original, modified);
    if (!made) return Unexpected(made.error());
    patch = std::move(made).value();
  } else {
    patch = MakeBps(original, modified);
  }
  auto applied = ApplyPatch(original, patch);
  if (!applied || !std::equal(applied.value().begin(), applied.value().end(), modified.begin(),
                              modified.end())) {
    const auto& got = applied ? applied.value() : std::vector<std::uint8_t>{};
    const auto mismatch = std::mismatch(got.begin(), got.end(), modified.begin(), modified.end());
    return Unexpected(PatchError{PatchErrorCode::kNotReproduced,
                      static_cast<std::uint64_t>(mismatch.second - modified.begin())});
  }
  return patch;
}

Result<std::vector<std::uint8_t>, PatchError> ApplyPatch(std::span<const std::uint8_t> source,
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
        if (prefix_of(ips) || prefix_of(bps)) return Unexpected(PatchError{PatchErrorCode::kTruncated, patch.size()});
        return Unexpected(PatchError{PatchErrorCode::kUnknownFormat, 0});
      }
      return ApplyIps(source, patch);
    case PatchFormat::kBps:
      return ApplyBps(source, patch, max_target);
  }
  return Unexpected(PatchError{PatchErrorCode::kUnknownFormat, 0});
}

Result<std::uint64_t, PatchFileError> WriteVerifiedPatchFile(
    PatchFormat format, std::span<const std::uint8_t> original,
    std::span<const std::uint8_t> modified, const std::filesystem::path& patch_file,
    FileOps& ops) {
  auto patch = MakeVerifiedPatch(format, original, modified);
  if (!patch) return Unexpected(PatchFileError{patch.error()});
  if (auto written = ReplaceFileAtomically(patch_file, patch.value(), ops); !written) {
    return Unexpected(PatchFileError{written.error()});
  }
  return std::uint64_t{patch.value().size()};
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
  if (!DetectPatchFormat(patch)) {
    // The same refusal as in memory: too short to tell, or neither format.
    auto refused = ApplyPatch({}, patch);
    if (!refused) return Unexpected(PatchFileError{refused.error()});
  }
  if (DetectPatchFormat(patch) == PatchFormat::kBps) {
    return ApplyBpsToFile(original, patch, output, ops);
  }
  return ApplyIpsToFile(original, patch, output, ops);
}

}  // namespace binconv
