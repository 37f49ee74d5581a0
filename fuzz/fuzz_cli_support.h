#pragma once
// For targets that run binconv-cli's commands in process: one scratch folder
// for their files, and standard output and error captured in memory files so
// that a run prints nothing and its words can be checked.

#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fuzz_support.h"

namespace binconv::fuzz {

struct CliFolder {
  std::filesystem::path path;
  int out = -1;
  int err = -1;
  int real_stdout = -1;
  int real_stderr = -1;
};

inline CliFolder& TheCliFolder() {
  static CliFolder folder;
  return folder;
}

// For LLVMFuzzerInitialize: the folder (removed when the process ends, see
// ScratchFolder) and the capture files; reports go to the real standard error.
inline void SetUpCliFolder(const char* prefix) {
  CliFolder& folder = TheCliFolder();
  folder.path = ScratchFolder(prefix);
  folder.out = memfd_create("binconv-fuzz-stdout", MFD_CLOEXEC);
  folder.err = memfd_create("binconv-fuzz-stderr", MFD_CLOEXEC);
  folder.real_stdout = dup(1);
  folder.real_stderr = dup(2);
  if (folder.out < 0 || folder.err < 0 || folder.real_stdout < 0 || folder.real_stderr < 0) {
    std::abort();
  }
  ReportFd() = folder.real_stderr;
  __sanitizer_set_report_fd(
      reinterpret_cast<void*>(static_cast<std::intptr_t>(folder.real_stderr)));
}

// Empties the folder for the next input.
inline void ClearCliFolder() {
  for (const auto& entry : std::filesystem::directory_iterator(TheCliFolder().path)) {
    std::filesystem::remove_all(entry.path());
  }
}

// One command, its output captured; the exit status.
inline cli::ExitStatus RunCaptured(const std::vector<std::string>& args) {
  CliFolder& folder = TheCliFolder();
  for (const int fd : {folder.out, folder.err}) {
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "truncate");
  }
  FUZZ_CHECK(dup2(folder.out, 1) == 1 && dup2(folder.err, 2) == 2, "dup2");
  const cli::ExitStatus status = cli::RunCli(args);
  FUZZ_CHECK(dup2(folder.real_stdout, 1) == 1 && dup2(folder.real_stderr, 2) == 2, "dup2");
  return status;
}

// What the last run wrote to standard error.
inline std::string CapturedErr() {
  const int fd = TheCliFolder().err;
  std::string text(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
  if (pread(fd, text.data(), text.size(), 0) < 0) return "";
  return text;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::set<std::string> Names(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename());
  }
  return names;
}

}  // namespace binconv::fuzz
