#pragma once
// Scratch folders and a runner for binconv-cli that never waits forever: the
// child is killed once its time is up, and its peak memory is measured.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace binconv::hostile {

namespace fs = std::filesystem;

inline std::string Hex(std::string_view bytes, std::size_t limit = 64) {
  std::string text;
  char buffer[4];
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X ", static_cast<unsigned char>(bytes[i]));
    text += buffer;
  }
  if (bytes.size() > limit) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder for one test, removed afterwards: work/ holds the default
// tables and is the program's current folder; io/ holds captured streams.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "binconv-hostile-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
      return;
    }
    root_ = pattern;
    fs::create_directory(work());
    fs::create_directory(root_ / "io");
    for (const char* name : {"Zezovar.ini", "Zezovar_ex.ini"}) {
      fs::copy_file(fs::path(BINCONV_SOURCE_DIR) / "tables" / name, work() / name);
    }
  }
  ~Scratch() {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  fs::path work() const { return root_ / "work"; }
  fs::path io() const { return root_ / "io"; }

  // Names in work/, the tables included.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(work())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  fs::path root_;
};

enum class Stdin {
  kFile,    // io/stdin, written from `input`
  kClosed,  // no descriptor 0 at all
  kPipe,    // fed by `feed` while the child runs
  kFolder,  // the program's own current folder
};

struct RunOptions {
  Stdin stdin_kind = Stdin::kFile;
  std::string input;
  // Called for the next piece to send; returns false when there is no more.
  std::function<bool(std::string&)> feed;
  bool close_stdout = false;
  bool close_stderr = false;
  std::chrono::seconds timeout{60};
};

struct Outcome {
  int exit_code = -1;  // -1 when killed by a signal
  int signal = 0;
  bool timed_out = false;
  long max_rss_kb = 0;
  std::string out;
  std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "exit " << o.exit_code << " signal " << o.signal
            << (o.timed_out ? " (killed after the time limit)" : "") << "\nstderr: " << o.err;
}

// Sends everything `feed` gives, without ever blocking past the deadline.
inline void Feed(int fd, const std::function<bool(std::string&)>& feed,
                 std::chrono::steady_clock::time_point deadline) {
  std::string piece;
  while (feed(piece)) {
    std::string_view rest = piece;
    while (!rest.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 200))) <= 0) continue;
      const ssize_t n = ::write(fd, rest.data(), rest.size());
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) continue;
        return;  // the reader has gone
      }
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
  }
}

inline Outcome RunCli(const Scratch& scratch, const std::vector<std::string>& args,
                      const RunOptions& options = {}) {
  ::signal(SIGPIPE, SIG_IGN);
  const fs::path in_path = scratch.io() / "stdin";
  const fs::path out_path = scratch.io() / "stdout";
  const fs::path err_path = scratch.io() / "stderr";

  std::vector<std::string> argv_storage{BINCONV_CLI_PATH};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_storage) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, scratch.work().c_str());
  int pipe_fds[2] = {-1, -1};
  switch (options.stdin_kind) {
    case Stdin::kFile:
      WriteAll(in_path, options.input);
      posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
      break;
    case Stdin::kClosed:
      posix_spawn_file_actions_addclose(&actions, 0);
      break;
    case Stdin::kPipe:
      if (::pipe2(pipe_fds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe: " << std::strerror(errno);
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
      break;
    case Stdin::kFolder:
      posix_spawn_file_actions_addopen(&actions, 0, ".", O_RDONLY, 0);
      break;
  }
  if (options.close_stdout) {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  if (options.close_stderr) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);

  Outcome outcome;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  if (pipe_fds[0] >= 0) ::close(pipe_fds[0]);
  if (spawned != 0) {
    ADD_FAILURE() << "can't start " << argv[0] << ": " << std::strerror(spawned);
    if (pipe_fds[1] >= 0) ::close(pipe_fds[1]);
    return outcome;
  }
  if (pipe_fds[1] >= 0) {
    ::fcntl(pipe_fds[1], F_SETFL, O_NONBLOCK);
    if (options.feed) Feed(pipe_fds[1], options.feed, deadline);
    ::close(pipe_fds[1]);
  }

  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      outcome.timed_out = true;
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.max_rss_kb = usage.ru_maxrss;
  if (!options.close_stdout) outcome.out = ReadAll(out_path);
  if (!options.close_stderr) outcome.err = ReadAll(err_path);
  return outcome;
}

template <class Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

}  // namespace binconv::hostile
