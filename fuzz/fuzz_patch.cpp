// IPS and BPS. The first byte picks what the rest is:
//   0: two files, split where the next two bytes say; for both formats
//      patch(original, diff(original, modified)) must give back modified;
//   1: a patch of any bytes, applied to a fixed original;
//   2: BPS actions, wrapped with a header and right CRCs so that the
//      actions themselves are reached.
// Applying may refuse, never crash, read out of bounds or build more than
// the target it names.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "patch/patch_format.h"
#include "fuzz_support.h"
#include "runtime/crc32.h"

namespace binconv::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& FixedOriginal() {
  static const Bytes original = [] {
    Bytes bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 / 3);
    return bytes;
  }();
  return original;
}

// Small enough that a hostile copy can't exhaust memory.
constexpr std::uint64_t kMaxTarget = std::uint64_t{1} << 20;

void RoundTrip(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::size_t split = (data[0] | data[1] << 8) % (size - 1);
  const Bytes original(data + 2, data + 2 + split);
  const Bytes modified(data + 2 + split, data + size);
  for (const PatchFormat format : {PatchFormat::kIps, PatchFormat::kBps}) {
    auto patch = MakeVerifiedPatch(format, original, modified);
    FUZZ_CHECK(patch.has_value(),
               "no patch made: code " + std::to_string(static_cast<int>(patch.error().code)));
    auto applied = ApplyPatch(original, patch.value());
    FUZZ_CHECK(applied.has_value() && applied.value() == modified,
               "the patch doesn't give back modified");
  }
}

void Apply(std::span<const std::uint8_t> patch) {
  auto applied = ApplyPatch(FixedOriginal(), patch, kMaxTarget);
  if (applied.has_value() && DetectPatchFormat(patch) == PatchFormat::kBps) {
    FUZZ_CHECK(applied.value().size() == ReadBpsHeader(patch).value().target_size,
               "a result of another size than the patch names");
  }
}

void Actions(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  Bytes patch{'B', 'P', 'S', '1'};
  detail::AppendBpsNumber(patch, FixedOriginal().size());
  detail::AppendBpsNumber(patch, data[0] | data[1] << 8);
  detail::AppendBpsNumber(patch, 0);
  patch.insert(patch.end(), data + 2, data + size);
  for (const std::uint32_t crc : {Crc32(FixedOriginal()), 0u}) {
    for (int k = 0; k < 4; ++k) patch.push_back(static_cast<std::uint8_t>(crc >> (8 * k)));
  }
  const std::uint32_t crc = Crc32(patch);
  for (int k = 0; k < 4; ++k) patch.push_back(static_cast<std::uint8_t>(crc >> (8 * k)));
  Apply(patch);
}

}  // namespace
}  // namespace binconv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0:
      binconv::fuzz::RoundTrip(data + 1, size - 1);
      break;
    case 1:
      binconv::fuzz::Apply({data + 1, size - 1});
      break;
    default:
      binconv::fuzz::Actions(data + 1, size - 1);
  }
  return 0;
}
