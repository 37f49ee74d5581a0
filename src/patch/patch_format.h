#pragma once
// Patches that share a translation without sharing the game file: IPS and
// BPS, made from an original and its modified copy and applied to an
// original. Both making and applying work on bytes in memory or, holding
// neither file whole, on files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "patch/patch_input.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/result.h"

namespace binconv {

enum class PatchFormat {
  kIps,  // "PATCH", records of 24-bit offsets, "EOF"
  kBps,  // "BPS1", copy actions, CRC-32 of source, target and patch
};

// A problem of a patch (ProblemCode::kIpsOutOfReach to kPatchTargetCrc): where
// it goes wrong, what was expected there and what was found.
inline Problem PatchProblem(ProblemCode code, std::uint64_t position, std::uint64_t expected = 0,
                            std::uint64_t actual = 0) {
  Problem problem{code};
  problem.at = position;
  problem.number = expected;
  problem.other_number = actual;
  return problem;
}

// What goes wrong when a patch is made or applied and the result written.
using PatchFileError = std::variant<Problem, IoError>;

// Larger targets are refused when applying, before anything is allocated.
inline constexpr std::uint64_t kMaxPatchTarget = std::uint64_t{1} << 32;
// IPS offsets have 24 bits.
inline constexpr std::uint64_t kIpsOffsetLimit = 0x1000000;
// IPS reaches no further than a record starting just below 16 MiB.
inline constexpr std::uint64_t kIpsReach = kIpsOffsetLimit + 0x10000;
// The largest result a patch of `format` can give back.
constexpr std::uint64_t LargestPatchTarget(PatchFormat format) {
  return format == PatchFormat::kIps ? kIpsReach : kMaxPatchTarget;
}

// The format a patch's first bytes announce.
std::optional<PatchFormat> DetectPatchFormat(std::span<const std::uint8_t> patch);
// ".ips" and ".bps", in any case; nullopt for anything else.
std::optional<PatchFormat> PatchFormatFromExtension(std::u16string_view extension);

// An IPS patch from `original` to `modified`: records of at most 65,535 bytes,
// runs of one byte as RLE records where that is shorter, none starting at
// 0x454F46 ("EOF"), a truncation size after "EOF" for a shorter `modified`.
Result<std::vector<std::uint8_t>, Problem> MakeIps(std::span<const std::uint8_t> original,
                                                   std::span<const std::uint8_t> modified);

// A BPS patch (beat format) whose metadata names this program and version.
std::vector<std::uint8_t> MakeBps(std::span<const std::uint8_t> original,
                                  std::span<const std::uint8_t> modified);

// The same, from inputs read through caches of blocks in at most `memory`.
Result<std::vector<std::uint8_t>, IoError> MakeBpsFrom(PatchInput& original, PatchInput& modified,
                                                      const PatchMemory& memory);

// Either, then applied to `original` and compared with `modified`: a patch
// that wouldn't reproduce it is never returned.
Result<std::vector<std::uint8_t>, Problem> MakeVerifiedPatch(
    PatchFormat format, std::span<const std::uint8_t> original,
    std::span<const std::uint8_t> modified);
// The same from inputs, holding neither: BPS reads them through `memory`'s
// caches and checks the patch by applying it to `original` while comparing
// each byte it gives with `modified`; IPS, which reaches only 16 MiB, holds
// the first 16 MiB and a record's length of each and checks that the rest
// are the same.
Result<std::vector<std::uint8_t>, PatchFileError> MakeVerifiedPatchFrom(
    PatchFormat format, PatchInput& original, PatchInput& modified,
    const PatchMemory& memory = {});
// How many times MakeVerifiedPatchFrom reads `modified` from its start to
// its end, for a progress bar that follows it: BPS for its CRC-32, its
// matches and its check; IPS once, from 16 MiB on and then its head.
constexpr std::uint64_t PassesOverModified(PatchFormat format) {
  return format == PatchFormat::kBps ? 3 : 1;
}

// The result of applying a patch to `source`; the format is recognised from
// the patch. A BPS patch's own CRC, then the source's CRC and size are checked
// before anything is built, the target's CRC after.
Result<std::vector<std::uint8_t>, Problem> ApplyPatch(std::span<const std::uint8_t> source,
                                                      std::span<const std::uint8_t> patch,
                                                      std::uint64_t max_target = kMaxPatchTarget);
Result<std::vector<std::uint8_t>, Problem> ApplyIps(std::span<const std::uint8_t> source,
                                                    std::span<const std::uint8_t> patch);
Result<std::vector<std::uint8_t>, Problem> ApplyBps(std::span<const std::uint8_t> source,
                                                    std::span<const std::uint8_t> patch,
                                                    std::uint64_t max_target = kMaxPatchTarget);

// Whether a patch, applied to a file of `source_size` bytes, gives the file
// back unchanged: an IPS patch of no records and no truncation, a BPS patch
// of the source's size that only reads the source where it stands.
bool PatchChangesNothing(std::span<const std::uint8_t> patch, std::uint64_t source_size);

struct PatchWritten {
  std::uint64_t size = 0;
  bool changes_nothing = false;  // the two files were the same
};
// MakeVerifiedPatchFrom, then the patch put in place of `patch_file`
// atomically through `ops`.
Result<PatchWritten, PatchFileError> WriteVerifiedPatchFile(
    PatchFormat format, PatchInput& original, PatchInput& modified,
    const std::filesystem::path& patch_file, FileOps& ops = SystemFileOps(),
    const PatchMemory& memory = {});

// The patch applied to the file `original`, the result put in place of
// `output` (which may be `original`) atomically through `ops`. Neither file
// is held in memory: the original is read where the patch needs it and the
// result is built in the temporary file, so memory stays bounded by the
// patch and a copy buffer. A BPS patch's own CRC and the original's CRC and
// size are checked before anything is written, the result's CRC before it
// is put in place; nothing is written unless every check passes. Returns the
// result's size.
Result<std::uint64_t, PatchFileError> ApplyPatchToFile(const std::filesystem::path& original,
                                                       std::span<const std::uint8_t> patch,
                                                       const std::filesystem::path& output,
                                                       FileOps& ops = SystemFileOps());

// The most bytes of the original or the result that applying holds at once.
inline constexpr std::size_t kPatchCopyBuffer = std::size_t{1} << 20;

// What a BPS patch says of itself, read from its header and footer alone.
struct BpsHeader {
  std::uint64_t source_size = 0;
  std::uint64_t target_size = 0;
  std::string metadata;
  std::uint32_t source_crc = 0;
  std::uint32_t target_crc = 0;
  std::uint32_t patch_crc = 0;
  std::size_t actions_begin = 0;  // where the actions start in the patch
};
Result<BpsHeader, Problem> ReadBpsHeader(std::span<const std::uint8_t> patch);

namespace detail {

inline constexpr std::uint8_t kBpsMagic[4] = {'B', 'P', 'S', '1'};
// The kind of a BPS action, in the low two bits of its number.
enum BpsAction : std::uint64_t { kSourceRead = 0, kTargetRead = 1, kSourceCopy = 2, kTargetCopy = 3 };

// BPS numbers: seven bits a byte, the last byte flagged with 0x80, each
// further byte adding one so that every number has a single spelling.
void AppendBpsNumber(std::vector<std::uint8_t>& out, std::uint64_t value);
// Reads a number at `pos` and moves past it.
Result<std::uint64_t, Problem> ReadBpsNumber(std::span<const std::uint8_t> patch, std::size_t& pos);

// Where a BPS patch being applied reads its source and puts its result.
class PatchStreams {
 public:
  virtual ~PatchStreams() = default;
  virtual Result<Unit, IoError> ReadSource(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
  // Called once, when every check that comes before building has passed.
  virtual Result<Unit, IoError> Begin(std::uint64_t target_size) = 0;
  virtual Result<Unit, IoError> Append(std::span<const std::uint8_t> bytes) = 0;
  // Bytes of the result appended earlier.
  virtual Result<Unit, IoError> ReadTarget(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
};

// The one BPS applier: checks, actions and CRCs, over any streams, reading
// at most kPatchCopyBuffer bytes at a time.
Result<Unit, PatchFileError> ApplyBpsThrough(std::span<const std::uint8_t> patch,
                                             std::uint64_t source_size, PatchStreams& io,
                                             std::uint64_t max_target = kMaxPatchTarget);

// An IPS patch read through: its records in order and the length to cut
// the result to. Records point into the patch.
struct IpsRecord {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  bool rle = false;
  std::uint8_t fill = 0;         // the byte an RLE record repeats
  std::size_t data_at = 0;       // where a plain record's bytes are in the patch
};
struct IpsRecords {
  std::vector<IpsRecord> records;
  std::uint64_t end = 0;         // the furthest byte any record writes
  std::optional<std::uint64_t> truncate;
  std::size_t truncate_at = 0;   // where the truncation size is in the patch
};
Result<IpsRecords, Problem> ReadIpsRecords(std::span<const std::uint8_t> patch);
// The length of the result for a source of `source_size` bytes, or
// kBadTruncation.
Result<std::uint64_t, Problem> IpsResultSize(const IpsRecords& ips, std::uint64_t source_size);

}  // namespace detail

}  // namespace binconv
