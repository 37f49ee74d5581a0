// Every call through the file seam fails once, in turn: each create, mode
// change, copy, write, flush, close and rename of a whole write or patch. Whatever fails, the
// old target stays byte for byte, no temporary file is left and no descriptor
// stays open.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/write.h"
#include "patch/patch_format.h"
#include "runtime/file.h"
#include "script/insert.h"
#include "script/plan.h"
#include "support/bytes.h"
#include "support/faulty_file_ops.h"
#include "support/files.h"
#include "support/gtest_support.h"

namespace binconv::hostile {
namespace {

using namespace binconv::test;

using Call = FileCall;

// The error a real system gives for a failure of that call.
int ErrorFor(Call call) {
  switch (call) {
    case Call::kCreate:
      return EACCES;
    case Call::kSetMode:
      return EPERM;
    case Call::kCopy:
      return ENOSPC;
    case Call::kWrite:
      return ENOSPC;
    case Call::kWriteAt:
      return EIO;
    case Call::kSetLength:
      return EFBIG;
    case Call::kFlush:
      return EIO;
    case Call::kClose:
      return EDQUOT;  // NFS reports a full quota only on close
    case Call::kRename:
      return EXDEV;
    case Call::kNone:
      break;
  }
  return EIO;
}

std::string ListingOf(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string listing;
  for (const unsigned char b : bytes) {
    listing += kDigits[b >> 4];
    listing += kDigits[b & 0xF];
    listing += ' ';
  }
  return listing;
}

using Writer = std::function<Result<Unit, IoError>(FileOps&, const fs::path&, const std::string&)>;

// Pieces of uneven sizes, some larger than the writer's buffer.
Result<Unit, IoError> InPieces(FileOps& ops, const fs::path& target, const std::string& bytes) {
  AtomicFileWriter writer(ops);
  if (auto opened = writer.Open(target); !opened) return opened;
  static constexpr std::size_t kSizes[] = {1, 70000, 0, 4000, 65536, 333, 200000};
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
    const std::size_t n = std::min(kSizes[i % std::size(kSizes)], bytes.size() - at);
    if (auto written = writer.Write({data + at, n}); !written) return written;
    at += n;
  }
  return writer.Commit();
}

// The window's output step: the listing is checked, then written in one go.
Result<Unit, IoError> ThroughWriteBinary(FileOps& ops, const fs::path& target,
                                         const std::string& bytes) {
  const std::string listing = ListingOf(bytes);
  const std::u16string listing16(listing.begin(), listing.end());
  const std::string name = target.string();
  const std::u16string name16(name.begin(), name.end());
  auto result = WriteBinary(listing16, name16, ops);
  if (result) return Unit{};
  return Unexpected(std::get<IoError>(result.error()));
}

// Two patches into the old file: the fresh bytes at 1000 and their first 7
// bytes at its end.
std::string Patched(const std::string& old, const std::string& fresh) {
  std::string file = old;
  file.replace(1000, fresh.size(), fresh);
  file.replace(old.size() - 7, 7, fresh.substr(0, 7));
  return file;
}

Result<Unit, IoError> ThroughPatch(FileOps& ops, const fs::path& target, const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const FilePatch patches[] = {{1000, {data, bytes.size()}}, {5000 - 7, {data, 7}}};
  return PatchFileAtomically(target, patches, ops);
}

// insert's write as the CLI makes it: a plan of two entries, each text the
// tag of its bytes, through the job and its one replacement of the game.
Result<Unit, IoError> ThroughPlan(FileOps& ops, const fs::path& target, const std::string& bytes) {
  auto tag = [](std::string_view part) { return "<" + ListingOf(part) + ">"; };
  const std::map<std::string, std::string> texts = {{"fresh.txt", tag(bytes)},
                                                    {"end.txt", tag(bytes.substr(0, 7))}};
  const std::string plan_text = "1000 " + std::to_string(bytes.size()) + " fresh.txt\n" +
                                std::to_string(5000 - 7) + " 7 end.txt 00\n";
  const std::string plan_name = "plan.txt";
  auto plan = ParsePlan(plan_text, plan_name);
  FileReader game;
  if (!plan || !game.Open(target)) {
    return Unexpected(IoError{IoErrorCode::kOther, "the plan was not read", 0, ""});
  }
  auto read = [&](const fs::path& path) -> Result<std::string, IoError> {
    return texts.at(path.string());
  };
  const std::string game_name = "game.bin";
  auto inserted = InsertPlan(
      {{plan.value(), plan_name, DefaultEncoding(), game, game_name}, LineBreaks::kAny, read});
  if (!inserted) return Unexpected(IoError{IoErrorCode::kOther, "the plan was refused", 0, ""});
  return WriteInserted(inserted.value().writes, target, nullptr, ops);
}

// The fresh bytes with their first half twice, as ThroughPatchFile writes them.
std::string Repeated(const std::string&, const std::string& fresh) {
  return fresh.substr(0, fresh.size() / 2) + fresh.substr(0, fresh.size() / 2) +
         fresh.substr(fresh.size() / 2 * 2);
}

std::span<const std::uint8_t> Span(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// patch -o and --into: a patch from the old bytes (as the sweep writes them)
// to the fresh ones, applied to a file of them beside the target (-o) or to
// the target itself (--into). The fresh bytes repeat, so that BPS copies
// from the result it is building.
template <PatchFormat kFormat, bool kInto>
Result<Unit, IoError> ThroughPatchFile(FileOps& ops, const fs::path& target,
                                       const std::string& bytes) {
  const std::string old = RandomBytes(5000, 1);
  const std::string fresh = Repeated(old, bytes);
  const fs::path original = kInto ? target : target.parent_path() / "original.bin";
  if (!kInto && !fs::exists(original)) WriteAll(original, old);
  auto patch = MakeVerifiedPatch(kFormat, Span(old), Span(fresh));
  if (!patch) return Unexpected(IoError{IoErrorCode::kOther, "the patch was not made", 0, ""});
  auto applied = ApplyPatchToFile(original, patch.value(), target, ops);
  if (applied) return Unit{};
  if (const auto* io = std::get_if<IoError>(&applied.error())) return Unexpected(*io);
  return Unexpected(IoError{IoErrorCode::kOther, "the patch was refused", 0, ""});
}

// insert --from ORIGINAL -o OUTPUT: a patched copy of another file, which
// holds what the old target would, so that Patched gives the result too.
Result<Unit, IoError> ThroughCopy(FileOps& ops, const fs::path& target, const std::string& bytes) {
  const fs::path original = target.parent_path() / "original.bin";
  if (!fs::exists(original)) WriteAll(original, RandomBytes(5000, 1));
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const FilePatch patches[] = {{1000, {data, bytes.size()}}, {5000 - 7, {data, 7}}};
  return PatchCopyAtomically(original, target, patches, ops);
}

struct FaultCase {
  const char* name;
  Writer write;
  std::size_t size;   // bytes written
  bool existing;      // whether the target exists beforehand
  bool link = false;  // the name is a link to real.bin, which gets the bytes
  // What the target holds after a clean run; none: the fresh bytes.
  std::string (*expected)(const std::string& old, const std::string& fresh) = nullptr;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultSweepTest : public testing::TestWithParam<FaultCase> {
 protected:
  static int injected_;
  static void TearDownTestSuite() {
    std::printf("faults injected: %d\n", injected_);
    RecordProperty("faults_injected", injected_);
  }
};

int FaultSweepTest::injected_ = 0;

TEST_P(FaultSweepTest, EveryCallFailsInTurnAndNothingIsLost) {
  const FaultCase& c = GetParam();
  Scratch scratch;
  const fs::path target = scratch.work() / "game.bin";
  const fs::path real = c.link ? scratch.work() / "real.bin" : target;
  if (c.link) fs::create_symlink("real.bin", target);
  const std::string old = RandomBytes(5000, 1);
  const std::string fresh = RandomBytes(c.size, 2);

  // A clean run gives the calls to fail, one at a time.
  if (c.existing) WriteAll(real, old);
  FaultyFileOps clean;
  ASSERT_TRUE(c.write(clean, target, fresh).has_value());
  const std::string expected = c.expected != nullptr ? c.expected(old, fresh) : fresh;
  ASSERT_TRUE(ReadAll(real) == expected) << Hex(ReadAll(real), 64);
  ASSERT_EQ(fs::is_symlink(target), c.link);
  const std::vector<Call> calls = clean.calls();
  ASSERT_GE(calls.size(), 4u);

  for (std::size_t i = 0; i < calls.size(); ++i) {
    const std::string context = std::string("call ") + std::to_string(i) + " (" + NameOf(calls[i]) +
                                ") of " + std::to_string(calls.size());
    fs::remove(real);
    if (c.existing) WriteAll(real, old);
    const std::set<std::string> before = scratch.Names();

    // The call's place among the calls of its kind.
    const int nth = static_cast<int>(std::count(calls.begin(), calls.begin() + i + 1, calls[i]));
    FaultyFileOps ops(calls[i], nth, ErrorFor(calls[i]));
    const auto result = c.write(ops, target, fresh);
    ASSERT_TRUE(ops.fired()) << context << " was never made";
    ++injected_;
    ASSERT_FALSE(result.has_value()) << context;
    EXPECT_EQ(result.error().system_error, ErrorFor(calls[i])) << context;
    EXPECT_EQ(result.error().path, target.string()) << context;
    EXPECT_EQ(ops.open(), 0) << context << ": a descriptor stays open";
    EXPECT_EQ(scratch.Names(), before) << context << ": a temporary file is left";
    EXPECT_EQ(fs::is_symlink(target), c.link) << context;
    if (c.existing) {
      EXPECT_EQ(Hex(ReadAll(real), 64), Hex(old, 64)) << context << ": the old file changed";
    } else {
      EXPECT_FALSE(fs::exists(real)) << context;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FaultSweepTest,
    testing::Values(FaultCase{"PiecesOverAnOldFile", InPieces, 700000, true},
                    FaultCase{"PiecesToANewFile", InPieces, 700000, false},
                    FaultCase{"EmptyOverAnOldFile", InPieces, 0, true},
                    FaultCase{"WriteBinaryOverAnOldFile", ThroughWriteBinary, 300000, true},
                    FaultCase{"WriteBinaryToANewFile", ThroughWriteBinary, 10, false},
                    FaultCase{"PiecesThroughALink", InPieces, 700000, true, true},
                    FaultCase{"WriteBinaryThroughADanglingLink", ThroughWriteBinary, 10, false,
                              true},
                    FaultCase{"PatchAnOldFile", ThroughPatch, 3000, true, false, Patched},
                    FaultCase{"PatchThroughALink", ThroughPatch, 3000, true, true, Patched},
                    FaultCase{"InsertPlan", ThroughPlan, 3000, true, false, Patched},
                    FaultCase{"BpsPatchOverAnOldFile", ThroughPatchFile<PatchFormat::kBps, false>,
                              300000, true, false, Repeated},
                    FaultCase{"BpsPatchInto", ThroughPatchFile<PatchFormat::kBps, true>, 300000,
                              true, false, Repeated},
                    FaultCase{"IpsPatchLonger", ThroughPatchFile<PatchFormat::kIps, false>, 9000,
                              true, false, Repeated},
                    FaultCase{"IpsPatchShorterInto", ThroughPatchFile<PatchFormat::kIps, true>,
                              3001, true, false, Repeated},
                    FaultCase{"CopyOverAnOldOutput", ThroughCopy, 3000, true, false, Patched},
                    FaultCase{"CopyToANewOutput", ThroughCopy, 3000, false, false, Patched}),
    CaseName<FaultCase>);

}  // namespace
}  // namespace binconv::hostile
