// What both patch formats share: recognising them and checking a new patch.

#include <algorithm>

#include "conversion/patch_format.h"

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
        if (prefix_of(ips) || prefix_of(bps))
          return Unexpected(PatchError{PatchErrorCode::kTruncated, patch.size()});
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

Result<std::uint64_t, PatchFileError> ApplyPatchToFile(std::span<const std::uint8_t> original,
                                                       std::span<const std::uint8_t> patch,
                                                       const std::filesystem::path& output,
                                                       FileOps& ops) {
  auto result = ApplyPatch(original, patch);
  if (!result) return Unexpected(PatchFileError{result.error()});
  if (auto written = ReplaceFileAtomically(output, result.value(), ops); !written) {
    return Unexpected(PatchFileError{written.error()});
  }
  return std::uint64_t{result.value().size()};
}

}  // namespace binconv
