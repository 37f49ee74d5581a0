#include "runtime/file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "support/bytes.h"
#include "support/faulty_file_ops.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace binconv {
namespace {

// The error as the CLI words it.
std::string EnglishOf(const IoError& error) {
  return messages::Message(messages::Language::kEnglish, error);
}

namespace fs = std::filesystem;

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  return test::RandomByteVector(size, seed);
}
constexpr auto& WriteRaw = test::WriteAll;
constexpr auto& ReadRaw = test::ReadAll;

std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

#ifndef _WIN32
unsigned ModeOf(const fs::path& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
#endif

[[maybe_unused]] void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

// Writes in uneven pieces, some larger than the writer's buffer.
Result<Unit, IoError> WriteInPieces(FileOps& ops, const fs::path& target,
                                    const std::vector<std::uint8_t>& bytes) {
  AtomicFileWriter writer(ops);
  if (auto r = writer.Open(target); !r) return r;
  const std::size_t sizes[] = {1, 7000, 0, 100000, 65536, 333};
  std::size_t pos = 0;
  for (int i = 0; pos < bytes.size(); ++i) {
    const std::size_t n = std::min(sizes[i % 6], bytes.size() - pos);
    if (auto r = writer.Write({bytes.data() + pos, n}); !r) return r;
    pos += n;
  }
  return writer.Commit();
}

class TempDirTest : public ::testing::Test {
 protected:
  std::set<std::string> Entries() const { return scratch_.Names(); }
  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
};

struct ErrnoCase {
  int system_error;
  IoErrorCode code;
};

class IoErrorMapping : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(IoErrorMapping, KeepsPathErrnoAndReason) {
  const IoError e = IoErrorFromErrno("dir/out.bin", GetParam().system_error);
  EXPECT_EQ(e.code, GetParam().code);
  EXPECT_EQ(e.path, "dir/out.bin");
  EXPECT_EQ(e.system_error, GetParam().system_error);
  EXPECT_EQ(EnglishOf(e),
            std::string("dir/out.bin: ") + std::strerror(GetParam().system_error));
}

const ErrnoCase kErrnoCases[] = {ErrnoCase{ENOENT, IoErrorCode::kNotFound},
                                 ErrnoCase{ENOTDIR, IoErrorCode::kNotFound},
                                 ErrnoCase{EACCES, IoErrorCode::kPermissionDenied},
                                 ErrnoCase{EPERM, IoErrorCode::kPermissionDenied},
                                 ErrnoCase{EROFS, IoErrorCode::kPermissionDenied},
                                 ErrnoCase{EISDIR, IoErrorCode::kIsDirectory},
                                 ErrnoCase{ENOSPC, IoErrorCode::kDiskFull},

#ifdef EDQUOT
                                 ErrnoCase{EDQUOT, IoErrorCode::kDiskFull},
#endif

                                 ErrnoCase{ENAMETOOLONG, IoErrorCode::kInvalidName},
                                 ErrnoCase{EINVAL, IoErrorCode::kInvalidName},
                                 ErrnoCase{EILSEQ, IoErrorCode::kInvalidName},
                                 ErrnoCase{EIO, IoErrorCode::kOther},
                                 ErrnoCase{EEXIST, IoErrorCode::kOther}};

INSTANTIATE_TEST_SUITE_P(Errno, IoErrorMapping, ::testing::ValuesIn(kErrnoCases));

using FileServices = TempDirTest;

TEST_F(FileServices, ReadFileBytes) {
  const std::string bytes = AsString(RandomBytes(200000, 1));
  WriteRaw(dir_ / "a", bytes);
  auto r = ReadFileBytes(dir_ / "a");
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  EXPECT_TRUE(r.value() == bytes);
  EXPECT_EQ(ReadFileBytes(dir_ / "missing").error().code, IoErrorCode::kNotFound);
  EXPECT_EQ(ReadFileBytes(dir_).error().code, IoErrorCode::kIsDirectory);
  EXPECT_EQ(ReadFileBytes(dir_).error().path, PathToUtf8(dir_));
}

// A missing file named twice is the same name but no existing file: an input
// that isn't there is told as not found, not as one an output would destroy.
TEST_F(FileServices, SameFileByNameOrAsExistingFile) {
  WriteRaw(dir_ / "a", "a");
  WriteRaw(dir_ / "b", "b");
  fs::create_directory(dir_ / "sub");
  const struct {
    fs::path one, other;
    bool same_name, one_existing;
  } cases[] = {{dir_ / "a", dir_ / "sub" / ".." / "a", true, true},
               {dir_ / "a", dir_ / "b", false, false},
               {dir_ / "m", dir_ / "sub" / ".." / "m", true, false},
               {dir_ / "a", dir_ / "m", false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(NameTheSameFile(c.one, c.other), c.same_name) << c.one << " " << c.other;
    EXPECT_EQ(AreOneExistingFile(c.one, c.other), c.one_existing) << c.one << " " << c.other;
  }
}

TEST_F(FileServices, FileReaderReadsAnywhereAndNoticesACutFile) {
  const auto bytes = RandomBytes(100000, 4);
  WriteRaw(dir_ / "a", AsString(bytes));
  FileReader input;
  auto size = input.Open(dir_ / "a");
  ASSERT_TRUE(size.has_value()) << EnglishOf(size.error());
  EXPECT_EQ(size.value(), bytes.size());
  std::vector<std::uint8_t> piece(1000);
  ASSERT_TRUE(input.ReadAt(99000, piece).has_value());
  EXPECT_TRUE(std::equal(piece.begin(), piece.end(), bytes.begin() + 99000));
  const auto past = input.ReadAt(99001, piece);
  ASSERT_FALSE(past.has_value());
  EXPECT_EQ(past.error().path, PathToUtf8(dir_ / "a"));
  EXPECT_EQ(FileReader().Open(dir_ / "missing").error().code, IoErrorCode::kNotFound);
}

// What applying a patch needs of the writer: the bytes written read back,
// buffered or not, and a copy of another file grown and cut.
TEST_F(FileServices, WriterReadsBackAndResizesItsCopy) {
  const auto bytes = RandomBytes(300000, 5);
  WriteRaw(dir_ / "source", AsString(bytes));
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(dir_ / "out").has_value());
  ASSERT_TRUE(writer.Write({bytes.data(), 10}).has_value());
  std::vector<std::uint8_t> back(10);
  ASSERT_TRUE(writer.ReadBack(0, back).has_value());
  EXPECT_TRUE(std::equal(back.begin(), back.end(), bytes.begin()));
  EXPECT_EQ(writer.ReadBack(1, back).error().code, IoErrorCode::kOutOfRange);
  writer.Abort();

  auto copied = writer.OpenCopyOf(dir_ / "source", dir_ / "out");
  ASSERT_TRUE(copied.has_value()) << EnglishOf(copied.error());
  EXPECT_EQ(copied.value(), bytes.size());
  ASSERT_TRUE(writer.Resize(300010).has_value());
  ASSERT_TRUE(writer.WriteAt(300000, {bytes.data(), 10}).has_value());
  EXPECT_EQ(writer.WriteAt(300001, {bytes.data(), 10}).error().code, IoErrorCode::kOutOfRange);
  ASSERT_TRUE(writer.Resize(5).has_value());
  ASSERT_TRUE(writer.Resize(8).has_value());
  ASSERT_TRUE(writer.Commit().has_value());
  EXPECT_EQ(ReadRaw(dir_ / "out"), AsString(bytes).substr(0, 5) + std::string(3, '\0'));
  EXPECT_EQ(ReadRaw(dir_ / "source"), AsString(bytes));
}

using AtomicWrite = TempDirTest;

#ifndef _WIN32
TEST_F(AtomicWrite, ReplacesContentAndKeepsMode) {
  const fs::path target = dir_ / "out.bin";
  WriteRaw(target, "old contents");
  chmod(target.c_str(), 0640);
  const auto bytes = RandomBytes(300000, 2);
  const auto r = WriteInPieces(SystemFileOps(), target, bytes);
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  EXPECT_TRUE(ReadRaw(target) == AsString(bytes));
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
}
#endif

TEST_F(AtomicWrite, EmptyFileAndRelativeName) {
  const fs::path old_cwd = fs::current_path();
  fs::current_path(dir_);
  const auto r = ReplaceFileAtomically("temp.bin", {});
  fs::current_path(old_cwd);
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  EXPECT_EQ(fs::file_size(dir_ / "temp.bin"), 0u);
  EXPECT_EQ(Entries(), std::set<std::string>{"temp.bin"});
}

TEST_F(AtomicWrite, UncommittedWriterLeavesTargetAlone) {
  const fs::path target = dir_ / "out.bin";
  WriteRaw(target, "old");
  {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(target).has_value());
    ASSERT_TRUE(writer.Write(RandomBytes(100000, 3)).has_value());
    EXPECT_EQ(Entries().size(), 2u);
  }
  EXPECT_EQ(ReadRaw(target), "old");
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
}

TEST_F(AtomicWrite, NamesAreTakenLiterally) {
  const std::vector<std::uint8_t> bytes = {1, 2, 3};
  WriteRaw(dir_ / "ab.bin", "other");
  // Windows forbids wildcards in names; the writer's tests cover that refusal.
  const fs::path names[] = {
#ifdef _WIN32
      dir_ / "a[1].bin", dir_ / "a;b.bin",
#else
      dir_ / "a?.bin", dir_ / "*.bin",
#endif
      dir_ / fs::path(u8"日本語の名前.bin"), dir_ / std::string(250, 'n')};
  for (const fs::path& name : names) {
    const auto r = ReplaceFileAtomically(name, bytes);
    ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
    EXPECT_EQ(ReadRaw(name), "\x01\x02\x03") << name;
  }
  EXPECT_EQ(ReadRaw(dir_ / "ab.bin"), "other");
  EXPECT_EQ(Entries().size(), 5u);
}

struct RealFailure {
  std::string name;
  fs::path (*make)(const fs::path& dir);  // prepares the case, returns the target
  IoErrorCode code;
};

void PrintTo(const RealFailure& c, std::ostream* os) { *os << c.name; }

class AtomicWriteFailure : public TempDirTest, public ::testing::WithParamInterface<RealFailure> {};

TEST_P(AtomicWriteFailure, ReportsTheTargetAndLeavesNoTrace) {
  const fs::path target = GetParam().make(dir_);
  const std::set<std::string> before = Entries();
  std::error_code ignored;
  const bool existed = fs::is_regular_file(target, ignored);
  const std::string old = existed ? ReadRaw(target) : "";
  const std::vector<std::uint8_t> bytes = RandomBytes(1000, 4);
  const FilePatch patch{0, {bytes.data(), 1}};
  // A new file and a patched copy meet the same refusals.
  for (const bool patching : {false, true}) {
    const auto r = patching ? PatchFileAtomically(target, {&patch, 1})
                            : ReplaceFileAtomically(target, bytes);
    ASSERT_FALSE(r.has_value()) << "patching " << patching;
    EXPECT_EQ(r.error().code, GetParam().code) << EnglishOf(r.error());
    EXPECT_EQ(r.error().path, PathToUtf8(target));
    EXPECT_EQ(Entries(), before);
    if (existed) {
      EXPECT_EQ(ReadRaw(target), old);
    }
  }
}

#ifndef _WIN32
TEST_F(AtomicWrite, PatchChangesOnlyItsBytesAndKeepsMode) {
  const fs::path target = dir_ / "game.bin";
  const std::vector<std::uint8_t> old = RandomBytes(3 << 20, 5);
  WriteRaw(target, AsString(old));
  chmod(target.c_str(), 0640);
  const std::vector<std::uint8_t> bytes = RandomBytes(70000, 6);
  const FilePatch patches[] = {{0, {bytes.data(), 3}},
                               {(1 << 20) + 1, bytes},
                               {old.size() - 1, {bytes.data(), 1}},
                               {old.size(), {}}};
  const auto r = PatchFileAtomically(target, patches);
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  std::string expected = AsString(old);
  expected.replace(0, 3, AsString(bytes).substr(0, 3));
  expected.replace((1 << 20) + 1, bytes.size(), AsString(bytes));
  expected.back() = static_cast<char>(bytes[0]);
  EXPECT_TRUE(ReadRaw(target) == expected);
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(Entries(), std::set<std::string>{"game.bin"});
}

TEST_F(AtomicWrite, PatchThroughASymbolicLinkPatchesTheFile) {
  fs::create_directory(dir_ / "data");
  WriteRaw(dir_ / "data" / "game.bin", "0123456789");
  fs::create_symlink("data/game.bin", dir_ / "link.bin");
  const std::uint8_t bytes[] = {'a', 'b'};
  const FilePatch patch{4, bytes};
  const auto r = PatchFileAtomically(dir_ / "link.bin", {&patch, 1});
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.bin"));
  EXPECT_EQ(ReadRaw(dir_ / "data" / "game.bin"), "0123ab6789");
  EXPECT_EQ(fs::directory_iterator(dir_ / "data")->path().filename(), "game.bin");
}

TEST_F(AtomicWrite, PatchPastTheEndOrOfAMissingFileChangesNothing) {
  const fs::path target = dir_ / "game.bin";
  WriteRaw(target, "0123456789");
  const std::vector<std::uint8_t> bytes = RandomBytes(4, 7);
  for (const std::uint64_t offset : {std::uint64_t{7}, std::uint64_t{11}, UINT64_MAX - 1}) {
    const FilePatch patches[] = {{0, {bytes.data(), 2}}, {offset, bytes}};
    const auto r = PatchFileAtomically(target, patches);
    ASSERT_FALSE(r.has_value()) << offset;
    EXPECT_EQ(r.error().code, IoErrorCode::kOutOfRange) << EnglishOf(r.error());
    EXPECT_EQ(ReadRaw(target), "0123456789");
    EXPECT_EQ(Entries(), std::set<std::string>{"game.bin"});
  }
  const auto missing = PatchFileAtomically(dir_ / "none.bin", {});
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().code, IoErrorCode::kNotFound);
  EXPECT_EQ(Entries(), std::set<std::string>{"game.bin"});
}
#endif

#ifdef _WIN32
// What Windows itself can produce here; names Windows forbids are in the
// writer's tests.
const RealFailure kWindowsFailures[] = {
    {"MissingDirectory", [](const fs::path& d) { return d / "nowhere" / "out.bin"; },
     IoErrorCode::kNotFound},
    {"Directory",
     [](const fs::path& d) {
       fs::create_directory(d / "sub");
       return d / "sub";
     },
     IoErrorCode::kIsDirectory},
    {"ReadOnlyFile",
     [](const fs::path& d) {
       WriteRaw(d / "ro.bin", "protected");
       MakeReadOnly(d / "ro.bin");
       return d / "ro.bin";
     },
     IoErrorCode::kPermissionDenied},
    {"NameTooLong", [](const fs::path& d) { return d / std::string(300, 'x'); },
     IoErrorCode::kInvalidName},
    {"EmptyName", [](const fs::path&) { return fs::path(); }, IoErrorCode::kInvalidName},
};
INSTANTIATE_TEST_SUITE_P(Real, AtomicWriteFailure, ::testing::ValuesIn(kWindowsFailures),
                         [](const ::testing::TestParamInfo<RealFailure>& param_info) {
                           return param_info.param.name;
                         });
#else
INSTANTIATE_TEST_SUITE_P(
    Real, AtomicWriteFailure,
    ::testing::Values(RealFailure{"MissingDirectory",
                                  [](const fs::path& d) { return d / "nowhere" / "out.bin"; },
                                  IoErrorCode::kNotFound},
                      RealFailure{"FileAsDirectory",
                                  [](const fs::path& d) {
                                    WriteRaw(d / "f", "x");
                                    return d / "f" / "out.bin";
                                  },
                                  IoErrorCode::kNotFound},
                      RealFailure{"Directory",
                                  [](const fs::path& d) {
                                    fs::create_directory(d / "sub");
                                    return d / "sub";
                                  },
                                  IoErrorCode::kIsDirectory},
                      RealFailure{"ReadOnlyFile",
                                  [](const fs::path& d) {
                                    WriteRaw(d / "ro.bin", "protected");
                                    chmod((d / "ro.bin").c_str(), 0444);
                                    return d / "ro.bin";
                                  },
                                  IoErrorCode::kPermissionDenied},
                      RealFailure{"Fifo",
                                  [](const fs::path& d) {
                                    mkfifo((d / "pipe").c_str(), 0644);
                                    return d / "pipe";
                                  },
                                  IoErrorCode::kNotRegularFile},
                      RealFailure{"NameTooLong",
                                  [](const fs::path& d) { return d / std::string(300, 'x'); },
                                  IoErrorCode::kInvalidName},
                      RealFailure{"EmptyName", [](const fs::path&) { return fs::path(); },
                                  IoErrorCode::kInvalidName},
                      RealFailure{"LinkLoop",
                                  [](const fs::path& d) {
                                    fs::create_symlink("b.bin", d / "a.bin");
                                    fs::create_symlink("a.bin", d / "b.bin");
                                    return d / "a.bin";
                                  },
                                  IoErrorCode::kOther},
                      RealFailure{"LinkToReadOnlyFile",
                                  [](const fs::path& d) {
                                    WriteRaw(d / "ro.bin", "protected");
                                    chmod((d / "ro.bin").c_str(), 0444);
                                    fs::create_symlink("ro.bin", d / "out.bin");
                                    return d / "out.bin";
                                  },
                                  IoErrorCode::kPermissionDenied},
                      RealFailure{"DanglingLinkIntoMissingFolder",
                                  [](const fs::path& d) {
                                    fs::create_symlink("nowhere/real.bin", d / "out.bin");
                                    return d / "out.bin";
                                  },
                                  IoErrorCode::kNotFound}),
    [](const ::testing::TestParamInfo<RealFailure>& param_info) { return param_info.param.name; });

// Every name in the folder and below it, links as links.
std::set<std::string> Tree(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    names.insert(e.path().lexically_relative(dir).string());
  }
  return names;
}

struct LinkCase {
  std::string name;
  // Prepares the links; returns the name written to and the file the bytes
  // must reach.
  std::pair<fs::path, fs::path> (*make)(const fs::path& dir);
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class AtomicWriteThroughLink : public TempDirTest,
                               public ::testing::WithParamInterface<LinkCase> {};

TEST_P(AtomicWriteThroughLink, ReplacesTheRealFileAndKeepsTheLink) {
  const auto [target, real] = GetParam().make(dir_);
  const bool existed = fs::exists(real);
  if (existed) chmod(real.c_str(), 0640);
  std::set<std::string> names = Tree(dir_);
  names.insert(real.lexically_relative(dir_).string());
  const fs::path link = fs::read_symlink(target);
  const auto bytes = RandomBytes(100000, 12);
  const auto r = WriteInPieces(SystemFileOps(), target, bytes);
  ASSERT_TRUE(r.has_value()) << EnglishOf(r.error());
  EXPECT_TRUE(fs::is_symlink(target));
  EXPECT_EQ(fs::read_symlink(target), link);
  EXPECT_TRUE(ReadRaw(real) == AsString(bytes));
  if (existed) {
    EXPECT_EQ(ModeOf(real), 0640u);
  }
  EXPECT_EQ(Tree(dir_), names) << "a temporary file is left, or a link was replaced";
}

INSTANTIATE_TEST_SUITE_P(
    Links, AtomicWriteThroughLink,
    ::testing::Values(LinkCase{"SameFolder",
                               [](const fs::path& d) {
                                 WriteRaw(d / "real.bin", "old");
                                 fs::create_symlink("real.bin", d / "out.bin");
                                 return std::pair(d / "out.bin", d / "real.bin");
                               }},
                      // Each relative link counts from its own folder.
                      LinkCase{"ChainAcrossFolders",
                               [](const fs::path& d) {
                                 fs::create_directory(d / "sub");
                                 fs::create_directory(d / "data");
                                 WriteRaw(d / "data" / "real.bin", "old");
                                 fs::create_symlink("../data/real.bin", d / "sub" / "mid.bin");
                                 fs::create_symlink("sub/mid.bin", d / "out.bin");
                                 return std::pair(d / "out.bin", d / "data" / "real.bin");
                               }},
                      LinkCase{"Absolute",
                               [](const fs::path& d) {
                                 fs::create_directory(d / "data");
                                 WriteRaw(d / "data" / "real.bin", "old");
                                 fs::create_symlink(d / "data" / "real.bin", d / "out.bin");
                                 return std::pair(d / "out.bin", d / "data" / "real.bin");
                               }},
                      // As the shell's "> link" does: the file the link names is made.
                      LinkCase{"DanglingCreatesItsFile",
                               [](const fs::path& d) {
                                 fs::create_directory(d / "data");
                                 fs::create_symlink("data/new.bin", d / "out.bin");
                                 return std::pair(d / "out.bin", d / "data" / "new.bin");
                               }}),
    [](const ::testing::TestParamInfo<LinkCase>& p) { return p.param.name; });

TEST_F(AtomicWrite, ReadOnlyDirectory) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  chmod(dir_.c_str(), 0555);
  const auto r = ReplaceFileAtomically(dir_ / "out.bin", RandomBytes(10, 5));
  chmod(dir_.c_str(), 0755);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().code, IoErrorCode::kPermissionDenied);
  EXPECT_TRUE(Entries().empty());
}
#endif

using Step = test::FileCall;
using FaultyOps = test::FaultyFileOps;

TEST_F(AtomicWrite, WritesInSeveralCallsThroughTheSeam) {
  FaultyOps ops(Step::kNone, 0, 0);
  const auto bytes = RandomBytes(300000, 6);
  ASSERT_TRUE(WriteInPieces(ops, dir_ / "out.bin", bytes).has_value());
  EXPECT_TRUE(ReadRaw(dir_ / "out.bin") == AsString(bytes));
  EXPECT_EQ(ops.writes(), 6);  // the fault cases below rely on this many
  EXPECT_EQ(ops.open(), 0);
}

TEST_F(AtomicWrite, RetriesATakenTemporaryName) {
  FaultyOps ops(Step::kCreate, 1, kNameTakenError);
  ASSERT_TRUE(ReplaceFileAtomically(dir_ / "out.bin", RandomBytes(10, 7), ops).has_value());
  EXPECT_TRUE(ops.fired());
  EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
}

struct Fault {
  Step step;
  int nth;
  int error;
  IoErrorCode code;
  bool existing;  // whether the target exists beforehand
};

void PrintTo(const Fault& f, std::ostream* os) {
  *os << "step " << static_cast<int>(f.step) << " call " << f.nth << " error " << f.error
      << (f.existing ? " over an old file" : " new file");
}

class AtomicWriteFault : public TempDirTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(AtomicWriteFault, LeavesTheOldFileAndNoTemporary) {
  const Fault& f = GetParam();
  const fs::path target = dir_ / "out.bin";
  const std::string old = AsString(RandomBytes(5000, 8));
  if (f.existing) WriteRaw(target, old);
  FaultyOps ops(f.step, f.nth, f.error);
  const auto r = WriteInPieces(ops, target, RandomBytes(300000, 9));
  ASSERT_TRUE(ops.fired()) << "the fault was never reached";
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().code, f.code);
  EXPECT_EQ(r.error().system_error, f.error);
  EXPECT_EQ(r.error().path, PathToUtf8(target));
  EXPECT_EQ(EnglishOf(r.error()).rfind(PathToUtf8(target) + ": ", 0), 0u);
  EXPECT_EQ(ops.open(), 0);
  if (f.existing) {
    EXPECT_TRUE(ReadRaw(target) == old);
    EXPECT_EQ(Entries(), std::set<std::string>{"out.bin"});
  } else {
    EXPECT_TRUE(Entries().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AtomicWriteFault,
    ::testing::Values(
        Fault{Step::kCreate, 1, test::kErrDiskFull, IoErrorCode::kDiskFull, true},
        Fault{Step::kCreate, 1, test::kErrAccess, IoErrorCode::kPermissionDenied, false},
        Fault{Step::kSetMode, 1, test::kErrPrivilege, IoErrorCode::kPermissionDenied, true},
        Fault{Step::kWrite, 1, test::kErrDiskFull, IoErrorCode::kDiskFull, true},
        Fault{Step::kWrite, 2, test::kErrIo, IoErrorCode::kOther, true},
        Fault{Step::kWrite, 3, test::kErrQuota, IoErrorCode::kDiskFull, false},
        Fault{Step::kWrite, 5, test::kErrIo, IoErrorCode::kOther, true},
        Fault{Step::kWrite, 6, test::kErrDiskFull, IoErrorCode::kDiskFull, true},
        Fault{Step::kFlush, 1, test::kErrIo, IoErrorCode::kOther, true},
        Fault{Step::kFlush, 1, test::kErrDiskFull, IoErrorCode::kDiskFull, false},
        Fault{Step::kClose, 1, test::kErrIo, IoErrorCode::kOther, true},
        Fault{Step::kRename, 1, test::kErrAccess, IoErrorCode::kPermissionDenied, true},
        Fault{Step::kRename, 1, test::kErrIo, IoErrorCode::kOther, false}));

// The size of a game file, and a file read whole: a regular file only, each
// other kind named by its own code, a link followed as the writer follows it.
TEST_F(AtomicWrite, RegularFileSizeNamesWhatItFound) {
  WriteRaw(dir_ / "game.bin", "12345");
  fs::create_directory(dir_ / "sub");
  ASSERT_TRUE(RegularFileSize(dir_ / "game.bin").has_value());
  EXPECT_EQ(RegularFileSize(dir_ / "game.bin").value(), 5u);
  EXPECT_EQ(RegularFileSize(dir_ / "none.bin").error().code, IoErrorCode::kNotFound);
  EXPECT_EQ(RegularFileSize(dir_ / "sub").error().code, IoErrorCode::kIsDirectory);
#ifdef _WIN32
  EXPECT_EQ(RegularFileSize(dir_ / "NUL").error().code, IoErrorCode::kReservedName);
#else
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0644), 0);
  const auto fifo = RegularFileSize(dir_ / "pipe");
  EXPECT_EQ(fifo.error().code, IoErrorCode::kNotRegularFile);
  EXPECT_EQ(EnglishOf(fifo.error()),
            PathToUtf8(dir_ / "pipe") + ": Not a regular file (a device, pipe or socket)");
  fs::create_symlink("game.bin", dir_ / "link.bin");
  EXPECT_EQ(RegularFileSize(dir_ / "link.bin").value(), 5u);
  // Read whole, a FIFO would wait for a writer forever and /dev/zero never end.
  EXPECT_EQ(ReadFileBytes(dir_ / "pipe").error().code, IoErrorCode::kNotRegularFile);
  EXPECT_EQ(ReadFileBytes("/dev/zero").error().code, IoErrorCode::kNotRegularFile);
  EXPECT_EQ(ReadFileBytes(dir_ / "link.bin").value(), "12345");
#endif
}

// Files replaced together (a pair of tables, a plan's scripts): a failure at
// any call of the seam, over old files or none, leaves the old files (or
// none) and no temporary file.
TEST_F(AtomicWrite, FilesFailingAtAnyStepLeaveTheOldFiles) {
  const std::vector<fs::path> paths = {dir_ / "a.ini", dir_ / "b.ini", dir_ / "c.txt"};
  const std::vector<std::vector<std::uint8_t>> bytes = {
      RandomBytes(100000, 12), RandomBytes(70000, 13), RandomBytes(300, 14)};
  for (const std::size_t count : {2u, 3u}) {
    std::vector<FileContents> files;
    std::set<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
      files.push_back({paths[i], bytes[i]});
      names.insert(PathToUtf8(paths[i].filename()));
    }
    auto replace = [&](FileOps& ops) {
      return count == 2 ? ReplaceFilePairAtomically(files[0], files[1], ops)
                        : ReplaceFilesAtomically(files, ops);
    };
    auto reset = [&](bool existing) {
      for (std::size_t i = 0; i < count; ++i) {
        fs::remove(paths[i]);
        if (existing) WriteRaw(paths[i], "old " + std::to_string(i));
      }
    };
    for (const bool existing : {true, false}) {
      FaultyOps clean(Step::kNone, 0, 0);
      reset(existing);
      ASSERT_TRUE(replace(clean).has_value());
      for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(ReadRaw(paths[i]), AsString(bytes[i]));
      EXPECT_EQ(Entries(), names);
      std::map<Step, int> seen;
      for (const Step step : clean.calls()) {
        const int nth = ++seen[step];
        SCOPED_TRACE(std::string(test::NameOf(step)) + " " + std::to_string(nth) + " of " +
                     std::to_string(count) + (existing ? " files over old ones" : " new files"));
        reset(existing);
        FaultyOps ops(step, nth, test::kErrIo);
        EXPECT_FALSE(replace(ops).has_value());
        EXPECT_TRUE(ops.fired());
        EXPECT_EQ(ops.open(), 0);
        if (existing) {
          for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(ReadRaw(paths[i]), "old " + std::to_string(i));
          }
          EXPECT_EQ(Entries(), names);
        } else {
          EXPECT_TRUE(Entries().empty());
        }
      }
      reset(false);
    }
  }
}

TEST_F(AtomicWrite, UnusableAfterAFailure) {
  FaultyOps ops(Step::kWrite, 1, test::kErrIo);
  AtomicFileWriter writer(ops);
  ASSERT_TRUE(writer.Open(dir_ / "out.bin").has_value());
  ASSERT_FALSE(writer.Write(RandomBytes(200000, 10)).has_value());
  EXPECT_FALSE(writer.Write(RandomBytes(10, 11)).has_value());
  const auto r = writer.Commit();
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().path, PathToUtf8(dir_ / "out.bin"));
  EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace binconv
