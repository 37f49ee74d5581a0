// Every call through the file seam fails once, in turn: each create, mode
// change, write, flush, close and rename of a whole write. Whatever fails, the
// old target stays byte for byte, no temporary file is left and no descriptor
// stays open.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "conversion/write.h"
#include "runtime/file.h"
#include "support.h"

namespace binconv::hostile {
namespace {

enum class Call { kCreate, kSetMode, kWrite, kFlush, kClose, kRename };

const char* NameOf(Call call) {
  switch (call) {
    case Call::kCreate:
      return "create";
    case Call::kSetMode:
      return "set mode";
    case Call::kWrite:
      return "write";
    case Call::kFlush:
      return "flush";
    case Call::kClose:
      return "close";
    case Call::kRename:
      return "rename";
  }
  return "?";
}

// The error a real system gives for a failure of that call.
int ErrorFor(Call call) {
  switch (call) {
    case Call::kCreate:
      return EACCES;
    case Call::kSetMode:
      return EPERM;
    case Call::kWrite:
      return ENOSPC;
    case Call::kFlush:
      return EIO;
    case Call::kClose:
      return EDQUOT;  // NFS reports a full quota only on close
    case Call::kRename:
      return EXDEV;
  }
  return EIO;
}

// Forwards to the real file system, records every call, and fails the call
// with the given index (counting from 0; -1 fails none). A failing write
// writes half of its bytes first, as a full disk does.
class FailingOps final : public FileOps {
 public:
  explicit FailingOps(int fail_at) : fail_at_(fail_at) {}

  int CreateExclusive(const fs::path& path, FileHandle& fd) override {
    if (Fails(Call::kCreate)) return ErrorFor(Call::kCreate);
    const int r = real_.CreateExclusive(path, fd);
    if (r == 0) ++open_;
    return r;
  }
  int SetMode(const fs::path& path, unsigned mode) override {
    return Fails(Call::kSetMode) ? ErrorFor(Call::kSetMode) : real_.SetMode(path, mode);
  }
  int Write(FileHandle fd, const std::uint8_t* data, std::size_t size) override {
    if (Fails(Call::kWrite)) {
      real_.Write(fd, data, size / 2);
      return ErrorFor(Call::kWrite);
    }
    return real_.Write(fd, data, size);
  }
  int Flush(FileHandle fd) override {
    return Fails(Call::kFlush) ? ErrorFor(Call::kFlush) : real_.Flush(fd);
  }
  int Close(FileHandle fd) override {
    // The descriptor is gone even when close reports an error.
    const bool fails = Fails(Call::kClose);
    const int r = real_.Close(fd);
    if (r == 0) --open_;
    return fails ? ErrorFor(Call::kClose) : r;
  }
  int Rename(const fs::path& from, const fs::path& to) override {
    return Fails(Call::kRename) ? ErrorFor(Call::kRename) : real_.Rename(from, to);
  }
  int Remove(const fs::path& path) override { return real_.Remove(path); }

  const std::vector<Call>& calls() const { return calls_; }
  bool failed() const { return failed_; }
  int open() const { return open_; }

 private:
  bool Fails(Call call) {
    calls_.push_back(call);
    if (static_cast<int>(calls_.size()) - 1 != fail_at_) return false;
    failed_ = true;
    return true;
  }

  FileOps& real_ = SystemFileOps();
  int fail_at_;
  std::vector<Call> calls_;
  bool failed_ = false;
  int open_ = 0;
};

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(rng() & 0xFF);
  return bytes;
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
  return std::get<IoError>(result.error());
}

struct FaultCase {
  const char* name;
  Writer write;
  std::size_t size;  // bytes written
  bool existing;     // whether the target exists beforehand
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
  const std::string old = RandomBytes(5000, 1);
  const std::string fresh = RandomBytes(c.size, 2);

  // A clean run gives the calls to fail, one at a time.
  if (c.existing) WriteAll(target, old);
  FailingOps clean(-1);
  ASSERT_TRUE(c.write(clean, target, fresh).ok());
  ASSERT_EQ(Hex(ReadAll(target)), Hex(fresh));
  const std::vector<Call> calls = clean.calls();
  ASSERT_GE(calls.size(), 4u);

  for (std::size_t i = 0; i < calls.size(); ++i) {
    const std::string context = std::string("call ") + std::to_string(i) + " (" + NameOf(calls[i]) +
                                ") of " + std::to_string(calls.size());
    fs::remove(target);
    if (c.existing) WriteAll(target, old);
    const std::set<std::string> before = scratch.Names();

    FailingOps ops(static_cast<int>(i));
    const auto result = c.write(ops, target, fresh);
    ASSERT_TRUE(ops.failed()) << context << " was never made";
    ++injected_;
    ASSERT_FALSE(result.ok()) << context;
    EXPECT_EQ(result.error().system_error, ErrorFor(calls[i])) << context;
    EXPECT_EQ(result.error().path, target.string()) << context;
    EXPECT_EQ(ops.open(), 0) << context << ": a descriptor stays open";
    EXPECT_EQ(scratch.Names(), before) << context << ": a temporary file is left";
    if (c.existing) {
      EXPECT_EQ(Hex(ReadAll(target)), Hex(old)) << context << ": the old file changed";
    } else {
      EXPECT_FALSE(fs::exists(target)) << context;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FaultSweepTest,
    testing::Values(FaultCase{"PiecesOverAnOldFile", InPieces, 700000, true},
                    FaultCase{"PiecesToANewFile", InPieces, 700000, false},
                    FaultCase{"EmptyOverAnOldFile", InPieces, 0, true},
                    FaultCase{"WriteBinaryOverAnOldFile", ThroughWriteBinary, 300000, true},
                    FaultCase{"WriteBinaryToANewFile", ThroughWriteBinary, 10, false}),
    CaseName<FaultCase>);

}  // namespace
}  // namespace binconv::hostile
