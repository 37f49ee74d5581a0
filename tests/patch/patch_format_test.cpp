// IPS and BPS: what diff makes, patch gives back, for both formats and every
// kind of pair; hostile patches are refused with the right error.

#include "patch/patch_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "runtime/crc32.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/patch_pairs.h"

namespace binconv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PatchPair;
using test::RandomByteVector;

constexpr std::size_t kEofOffset = 0x454F46;

struct PairCase {
  std::string name;
  std::function<PatchPair()> make;
};
void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

// Noise, or zeros with seed 0, and a copy edited.
PatchPair Edited(std::size_t size, const std::function<void(Bytes&)>& edit, unsigned seed = 1) {
  PatchPair pair{seed == 0 ? Bytes(size) : RandomByteVector(size, seed), {}};
  pair.modified = pair.original;
  edit(pair.modified);
  return pair;
}

// Random pairs with changes, insertions and deletions at random places.
PatchPair RandomPair(unsigned seed) {
  std::mt19937 rng(seed);
  PatchPair pair{RandomByteVector(rng() % 5000, seed), {}};
  pair.modified = pair.original;
  for (unsigned k = rng() % 8; k > 0; --k) {
    const std::size_t at = pair.modified.empty() ? 0 : rng() % pair.modified.size();
    const Bytes piece = RandomByteVector(rng() % 300, seed + k);
    auto where = pair.modified.begin() + static_cast<std::ptrdiff_t>(at);
    switch (rng() % 4) {
      case 0:
        pair.modified.insert(where, piece.begin(), piece.end());
        break;
      case 1:
        pair.modified.erase(where, where + static_cast<std::ptrdiff_t>(
                                               std::min(piece.size(), pair.modified.size() - at)));
        break;
      case 2:
        pair.modified.insert(where, piece.size(), static_cast<std::uint8_t>(k));
        break;
      default:
        for (std::size_t i = 0; i < piece.size() && at + i < pair.modified.size(); ++i) {
          pair.modified[at + i] = piece[i];
        }
    }
  }
  return pair;
}

std::vector<PairCase> PairCases() {
  std::vector<PairCase> cases{
      {"BothEmpty", [] { return PatchPair{}; }},
      {"FromEmpty",
       [] {
         return PatchPair{{}, RandomByteVector(100, 2)};
       }},
      {"ToEmpty",
       [] {
         return PatchPair{RandomByteVector(100, 2), {}};
       }},
      {"Same", [] { return Edited(1000, [](Bytes&) {}); }},
      {"ChangeAtZero", [] { return Edited(1000, [](Bytes& m) { m[0] ^= 1; }); }},
      {"ChangeAtEnd", [] { return Edited(1000, [](Bytes& m) { m.back() ^= 1; }); }},
      {"ChangeAtEofOffset",
       [] { return Edited(kEofOffset + 100, [](Bytes& m) { m[kEofOffset] ^= 1; }); }},
      {"RunAtEofOffset",
       [] {
         return Edited(kEofOffset + 100, [](Bytes& m) {
           std::fill_n(m.begin() + kEofOffset, 40, std::uint8_t{0x55});
         });
       }},
      {"RecordEndsAtEofOffset",
       [] {
         return Edited(kEofOffset + 100, [](Bytes& m) {
           for (std::size_t i = kEofOffset - 0xFFFF; i < kEofOffset + 3; ++i) m[i] ^= 0xA5;
         });
       }},
      {"LongerTarget",
       [] {
         return Edited(1000, [](Bytes& m) {
           const Bytes tail = RandomByteVector(70000, 3);
           m.insert(m.end(), tail.begin(), tail.end());
           m.insert(m.end(), 100, 0);
         });
       }},
      {"ShorterTarget",
       [] {
         return Edited(5000, [](Bytes& m) {
           m.resize(3766);
           m[10] ^= 1;
         });
       }},
      {"LongRuns",
       [] {
         return Edited(300000, [](Bytes& m) {
           std::fill_n(m.begin() + 7, 200000, std::uint8_t{0xFF});
           std::fill_n(m.begin() + 250000, 11, std::uint8_t{0});
         });
       }},
      {"Translated", [] { return test::TranslatedPair(std::size_t{1} << 18, 400, 5); }},
      // New bytes repeated further back than applying holds in memory.
      {"FarRepeat",
       [] {
         PatchPair pair{RandomByteVector(1000, 4), RandomByteVector(kPatchCopyBuffer + 4096, 5)};
         pair.modified.insert(pair.modified.end(), pair.modified.begin(), pair.modified.end());
         return pair;
       }},
  };
  for (unsigned seed = 1; seed <= 40; ++seed) {
    cases.push_back({"Random" + std::to_string(seed), [seed] { return RandomPair(seed); }});
  }
  return cases;
}

// Walks an IPS patch's records: every record must start below 16 MiB and
// never at the offset that reads as "EOF".
void ExpectSaneIpsRecords(const Bytes& patch) {
  std::size_t pos = 5;
  while (pos + 3 <= patch.size() && !(patch[pos] == 'E' && patch[pos + 1] == 'O' && patch[pos + 2] == 'F')) {
    const std::size_t offset = patch[pos] << 16 | patch[pos + 1] << 8 | patch[pos + 2];
    const std::size_t size = patch[pos + 3] << 8 | patch[pos + 4];
    EXPECT_NE(offset, kEofOffset);
    pos += 5 + (size == 0 ? 3 : size);
  }
}

// The patch applied from file to file; on an error, nothing may be written.
Result<Bytes, PatchFileError> ApplyThroughFiles(const Bytes& original, const Bytes& patch) {
  test::ScratchDir scratch;
  const auto in = scratch.path() / "original.bin";
  const auto out = scratch.path() / "out.bin";
  test::WriteAll(in, {reinterpret_cast<const char*>(original.data()), original.size()});
  auto applied = ApplyPatchToFile(in, patch, out);
  if (!applied) {
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"original.bin"}));
    return Unexpected(applied.error());
  }
  const std::string bytes = test::ReadAll(out);
  EXPECT_EQ(applied.value(), bytes.size());
  return Bytes(bytes.begin(), bytes.end());
}

// The patch made from the pair written to files, read in `memory`.
Result<Bytes, PatchFileError> MakeThroughFiles(PatchFormat format, const PatchPair& pair,
                                               const PatchMemory& memory) {
  test::ScratchDir scratch;
  FileReader readers[2];
  const Bytes* bytes[2] = {&pair.original, &pair.modified};
  for (int k = 0; k < 2; ++k) {
    const auto path = scratch.path() / (k == 0 ? "original.bin" : "modified.bin");
    test::WriteAll(path, {reinterpret_cast<const char*>(bytes[k]->data()), bytes[k]->size()});
    EXPECT_TRUE(readers[k].Open(path).has_value());
  }
  FileInput original(readers[0]);
  FileInput modified(readers[1]);
  return MakeVerifiedPatchFrom(format, original, modified, memory);
}

class PatchRoundTripTest : public testing::TestWithParam<PairCase> {};

TEST_P(PatchRoundTripTest, PatchOfDiffGivesBackTheModifiedFile) {
  const PatchPair pair = GetParam().make();
  for (const PatchFormat format : {PatchFormat::kIps, PatchFormat::kBps}) {
    SCOPED_TRACE(format == PatchFormat::kIps ? "IPS" : "BPS");
    auto patch = MakeVerifiedPatch(format, pair.original, pair.modified);
    ASSERT_TRUE(patch.has_value()) << static_cast<int>(patch.error().code);
    EXPECT_EQ(DetectPatchFormat(patch.value()), format);
    EXPECT_EQ(PatchChangesNothing(patch.value(), pair.original.size()),
              pair.original == pair.modified);
    auto applied = ApplyPatch(pair.original, patch.value());
    ASSERT_TRUE(applied.has_value()) << static_cast<int>(applied.error().code);
    EXPECT_TRUE(applied.value() == pair.modified);
    auto from_file = ApplyThroughFiles(pair.original, patch.value());
    ASSERT_TRUE(from_file.has_value());
    EXPECT_TRUE(from_file.value() == pair.modified);
    if (format == PatchFormat::kIps) ExpectSaneIpsRecords(patch.value());
    // Made again from the files, through caches of a few small blocks and an
    // index of 4,096 places: it may be larger, never wrong.
    auto bounded = MakeThroughFiles(format, pair, {.index_bits = 12, .block_bytes = 512, .source_blocks = 4, .target_blocks = 4});
    ASSERT_TRUE(bounded.has_value());
    auto reapplied = ApplyPatch(pair.original, bounded.value());
    ASSERT_TRUE(reapplied.has_value());
    EXPECT_TRUE(reapplied.value() == pair.modified);
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, PatchRoundTripTest, testing::ValuesIn(PairCases()),
                         test::CaseName<PairCase>);

TEST(PatchFormatTest, BpsOfTranslationCostsLittleMoreThanTheChangedBytes) {
  const PatchPair pair = test::TranslatedPair(std::size_t{1} << 20, 1000, 9);
  std::size_t changed = 0;
  std::size_t stretches = 0;
  for (std::size_t i = 0; i < pair.original.size(); ++i) {
    if (pair.original[i] == pair.modified[i]) continue;
    changed++;
    stretches += i == 0 || pair.original[i - 1] == pair.modified[i - 1];
  }
  const std::size_t size = MakeBps(pair.original, pair.modified).size();
  EXPECT_LE(size, changed + 5 * stretches + 64) << changed << " bytes changed in " << stretches;
  // Text repeated later in the file costs a copy, not its bytes.
  Bytes doubled = pair.modified;
  doubled.insert(doubled.end(), pair.modified.begin(), pair.modified.end());
  EXPECT_LE(MakeBps(pair.original, doubled).size(), size + 64);
}

// A block of noise where every sixteenth byte starts the same key: each
// place of it tries the earlier ones in vain until the block stops trying.
// Its bytes are still indexed, and the next block tries again, so a stretch
// of it repeated two blocks on costs one copy.
TEST(PatchFormatTest, BpsFindsRepeatsOfABlockThatStoppedTrying) {
  Bytes modified = RandomByteVector(std::size_t{1} << 17, 6);
  for (std::size_t at = 0; at < (std::size_t{1} << 16); at += 16) {
    std::memcpy(&modified[at], "KEY!", 4);
  }
  const Bytes repeated(modified.begin() + 1000, modified.begin() + 41000);
  modified.insert(modified.end(), repeated.begin(), repeated.end());
  const Bytes original = RandomByteVector(1000, 7);
  const Bytes patch = MakeBps(original, modified);
  EXPECT_LE(patch.size(), (std::size_t{1} << 17) + 100);
  auto applied = ApplyPatch(original, patch);
  ASSERT_TRUE(applied.has_value());
  EXPECT_TRUE(applied.value() == modified);
}

// Growing a game with fill and wiping a block cost a few actions whatever
// their length: one overlapping target copy in BPS, RLE records in IPS.
struct RunCase {
  std::string name;
  std::function<PatchPair()> make;
  std::size_t max_bps;
  std::size_t max_ips;
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class PatchOfRunsTest : public testing::TestWithParam<RunCase> {};

TEST_P(PatchOfRunsTest, StaysSmallWhateverTheRunsLength) {
  const PatchPair pair = GetParam().make();
  for (const PatchFormat format : {PatchFormat::kBps, PatchFormat::kIps}) {
    auto patch = MakeVerifiedPatch(format, pair.original, pair.modified);
    ASSERT_TRUE(patch.has_value());
    EXPECT_LE(patch.value().size(), format == PatchFormat::kBps ? GetParam().max_bps : GetParam().max_ips)
        << (format == PatchFormat::kBps ? "BPS" : "IPS");
  }
}

// Noise with a short run of 0xFF near its start and at its end, as games
// have: the source then offers 0xFF eight bytes at a time.
PatchPair GameWithFill(const std::function<void(Bytes&)>& edit) {
  return Edited(65536, [&](Bytes& m) {
    std::fill_n(m.begin() + 100, 16, std::uint8_t{0xFF});
    std::fill_n(m.end() - 16, 16, std::uint8_t{0xFF});
    edit(m);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PatchOfRunsTest,
    testing::Values(
        // The 16 bytes of 0xFF the original ends with, then 1 MiB more.
        RunCase{"GrownWithFill",
                [] {
                  PatchPair pair = test::TranslatedPair(65536, 0, 3);
                  pair.original.insert(pair.original.end(), 16, 0xFF);
                  pair.modified = pair.original;
                  pair.modified.insert(pair.modified.end(), 1 << 20, 0xFF);
                  return pair;
                },
                100, 200},
        RunCase{"WipedBlock",
                [] {
                  PatchPair pair = GameWithFill([](Bytes& m) { m.resize(1 << 20); });
                  pair.original = pair.modified;
                  std::fill_n(pair.modified.begin() + 4096, 512 << 10, std::uint8_t{0xFF});
                  return pair;
                },
                100, 100},
        RunCase{"ManyWipes",
                [] {
                  return GameWithFill([](Bytes& m) {
                    for (std::size_t at = 1000; at + 5000 < m.size(); at += 10000) {
                      std::fill_n(m.begin() + static_cast<std::ptrdiff_t>(at), 5000, std::uint8_t{0xFF});
                    }
                  });
                },
                200, 200}),
    test::CaseName<RunCase>);

// A file that changes while its patch is made: every read after the first
// pass gives its bytes with one of them flipped.
class ChangingInput final : public PatchInput {
 public:
  explicit ChangingInput(const Bytes& bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    if (offset + out.size() >= bytes_.size() && !changed_) {
      changed_ = true;
      bytes_[bytes_.size() / 2] ^= 1;
    }
    return Unit{};
  }

 private:
  Bytes bytes_;
  bool changed_ = false;
};

TEST(PatchFormatTest, BpsOfAFileThatChangesWhileReadIsNotReturned) {
  const PatchPair pair = test::TranslatedPair(std::size_t{1} << 16, 20, 3);
  MemoryInput original(pair.original);
  ChangingInput modified(pair.modified);
  auto patch = MakeVerifiedPatchFrom(PatchFormat::kBps, original, modified);
  ASSERT_FALSE(patch.has_value());
  ASSERT_TRUE(std::holds_alternative<Problem>(patch.error()));
  EXPECT_EQ(std::get<Problem>(patch.error()).code, ProblemCode::kNotReproduced);
}

TEST(PatchFormatTest, IpsRefusesChangesPast16MiB) {
  // Past 16 MiB and a record's length, the two are compared, not held.
  const std::size_t size = kIpsOffsetLimit + 0x10000 + 10;
  const PatchPair reachable = Edited(size, [](Bytes& m) { m[kIpsOffsetLimit - 1] ^= 1; }, 0);
  EXPECT_TRUE(
      MakeVerifiedPatch(PatchFormat::kIps, reachable.original, reachable.modified).has_value());
  for (const auto& edit : std::vector<std::function<void(Bytes&)>>{
           [](Bytes& m) { m[kIpsOffsetLimit + 2] ^= 1; },
           [](Bytes& m) { m.resize(kIpsOffsetLimit + 1); },  // can't truncate to 24 bits
           [](Bytes& m) { m.back() ^= 1; },
           [](Bytes& m) { m.push_back(0); },
       }) {
    const PatchPair pair = Edited(size, edit, 0);
    auto patch = MakeVerifiedPatch(PatchFormat::kIps, pair.original, pair.modified);
    ASSERT_FALSE(patch.has_value());
    EXPECT_EQ(patch.error().code, ProblemCode::kIpsOutOfReach);
    EXPECT_TRUE(MakeVerifiedPatch(PatchFormat::kBps, pair.original, pair.modified).has_value());
  }
}

TEST(PatchFormatTest, BpsNumbersRoundTripAtEveryByteBoundary) {
  for (const std::uint64_t value :
       {std::uint64_t{0}, std::uint64_t{127}, std::uint64_t{128}, std::uint64_t{16511},
        std::uint64_t{16512}, std::uint64_t{1} << 63, ~std::uint64_t{0}}) {
    Bytes bytes;
    detail::AppendBpsNumber(bytes, value);
    std::size_t pos = 0;
    auto read = detail::ReadBpsNumber(bytes, pos);
    ASSERT_TRUE(read.has_value()) << value;
    EXPECT_EQ(read.value(), value);
    EXPECT_EQ(pos, bytes.size());
  }
}

// A BPS patch with the given header and actions; its own CRC is right.
Bytes Bps(std::uint64_t source_size, std::uint64_t target_size, const Bytes& actions,
          std::uint32_t source_crc, std::uint32_t target_crc) {
  Bytes patch{'B', 'P', 'S', '1'};
  detail::AppendBpsNumber(patch, source_size);
  detail::AppendBpsNumber(patch, target_size);
  detail::AppendBpsNumber(patch, 0);
  patch.insert(patch.end(), actions.begin(), actions.end());
  for (const std::uint32_t crc : {source_crc, target_crc}) {
    for (int k = 0; k < 4; ++k) patch.push_back(static_cast<std::uint8_t>(crc >> (8 * k)));
  }
  const std::uint32_t crc = Crc32(patch);
  for (int k = 0; k < 4; ++k) patch.push_back(static_cast<std::uint8_t>(crc >> (8 * k)));
  return patch;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kSource = Text("abcdefgh");
const std::uint32_t kSourceCrc = Crc32(kSource);

struct HostileCase {
  const char* name;
  Bytes patch;
  ProblemCode code;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

std::vector<HostileCase> HostileCases() {
  const Bytes good = Bps(8, 8, {0x80 | (7 << 2)}, kSourceCrc, Crc32(kSource));
  Bytes flipped = good;
  flipped[4] ^= 1;
  Bytes overflow = Text("BPS1");
  overflow.insert(overflow.end(), 11, 0x7F);
  overflow.push_back(0x80);
  overflow.insert(overflow.end(), 12, 0);
  return {
      {"Empty", {}, ProblemCode::kPatchCutShort},
      {"IpsHeaderCut", Text("PATC"), ProblemCode::kPatchCutShort},
      {"NeitherFormat", Text("hello world"), ProblemCode::kNotAPatch},
      {"IpsWithoutEof", Text("PATCH"), ProblemCode::kPatchNoEof},
      {"IpsRecordsWithoutEof", Cat(Text("PATCH"), {0, 0, 1, 0, 1, 'x'}), ProblemCode::kPatchNoEof},
      {"IpsRecordCut", Cat(Text("PATCH"), {0, 0, 1, 0, 9, 'x', 'y', 'E', 'O', 'F'}),
       ProblemCode::kPatchCutShort},
      {"IpsRecordPastAnySaneSize", Cat(Text("PATCH"), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}),
       ProblemCode::kPatchCutShort},
      {"IpsRleCut", Cat(Text("PATCH"), {0, 0, 1, 0, 0, 0}), ProblemCode::kPatchCutShort},
      {"IpsTrailingBytes", Text("PATCHEOFxy"), ProblemCode::kPatchTrailing},
      {"IpsTruncatesToLonger", Cat(Text("PATCHEOF"), {0, 0, 9}), ProblemCode::kPatchBadTruncation},
      {"BpsHeaderCut", Text("BPS1\x80\x80"), ProblemCode::kPatchCutShort},
      {"BpsNumberOverflows64Bits", overflow, ProblemCode::kPatchNumberTooLarge},
      {"BpsNoActions", Bps(8, 8, {}, kSourceCrc, 0), ProblemCode::kPatchIncomplete},
      {"BpsTargetOf2To60", Bps(8, std::uint64_t{1} << 60, {0x80 | (7 << 2)}, kSourceCrc, 0),
       ProblemCode::kPatchTargetTooLarge},
      {"BpsSourceReadPastSource", Bps(8, 16, {0x80 | (15 << 2)}, kSourceCrc, 0),
       ProblemCode::kPatchPastSource},
      {"BpsSourceCopyBeforeStart", Bps(8, 8, {0x80 | (1 << 2) | 2, 0x80 | 3}, kSourceCrc, 0),
       ProblemCode::kPatchPastSource},
      {"BpsSourceCopyPastEnd", Bps(8, 8, {0x80 | (3 << 2) | 2, 0x80 | 12}, kSourceCrc, 0),
       ProblemCode::kPatchPastSource},
      {"BpsActionPastTarget", Bps(8, 4, {0x80 | (4 << 2) | 1, 1, 2, 3, 4, 5}, kSourceCrc, 0),
       ProblemCode::kPatchPastTarget},
      {"BpsTargetCopyOfNothing", Bps(8, 4, {0x80 | (3 << 2) | 3, 0x80}, kSourceCrc, 0),
       ProblemCode::kPatchPastTarget},
      {"BpsTargetReadCut", Bps(8, 8, {0x80 | (7 << 2) | 1, 'x'}, kSourceCrc, 0),
       ProblemCode::kPatchCutShort},
      {"BpsEndsEarly", Bps(8, 8, {0x80 | (3 << 2)}, kSourceCrc, 0), ProblemCode::kPatchIncomplete},
      {"BpsBadPatchCrc", flipped, ProblemCode::kPatchCrc},
      {"BpsWrongSourceSize", Bps(9, 8, {0x80 | (7 << 2)}, kSourceCrc, 0),
       ProblemCode::kPatchSourceSize},
      {"BpsWrongSourceOfAnotherSize", Bps(9, 8, {0x80 | (7 << 2)}, kSourceCrc ^ 1, 0),
       ProblemCode::kPatchSourceCrc},
      {"BpsWrongSource", Bps(8, 8, {0x80 | (7 << 2)}, kSourceCrc ^ 1, 0),
       ProblemCode::kPatchSourceCrc},
      {"BpsBadTargetCrc", Bps(8, 8, {0x80 | (7 << 2)}, kSourceCrc, Crc32(kSource) ^ 1),
       ProblemCode::kPatchTargetCrc},
  };
}

class HostilePatchTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostilePatchTest, IsRefusedWithItsError) {
  auto applied = ApplyPatch(kSource, GetParam().patch);
  ASSERT_FALSE(applied.has_value());
  EXPECT_EQ(applied.error().code, GetParam().code) << applied.error().at;
  auto from_file = ApplyThroughFiles(kSource, GetParam().patch);
  ASSERT_FALSE(from_file.has_value());
  ASSERT_TRUE(std::holds_alternative<Problem>(from_file.error()));
  EXPECT_EQ(std::get<Problem>(from_file.error()).code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Patches, HostilePatchTest, testing::ValuesIn(HostileCases()),
                         test::CaseName<HostileCase>);

}  // namespace
}  // namespace binconv
