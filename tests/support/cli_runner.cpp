#include "support/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace binconv::test {
namespace {

// Sends everything `feed` gives, without ever blocking past the deadline.
void Feed(int fd, const std::function<bool(std::string&)>& feed,
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

}  // namespace

// BINCONV_CLI names another program taking binconv-cli's arguments (such as
// tools/wine-cli.sh for the Windows build), so one build of the tests checks
// either. Made absolute here: the child starts in the scratch folder.
const std::string& ProgramUnderTest() {
  static const std::string program = [] {
    const char* chosen = std::getenv("BINCONV_CLI");
    const std::string name = chosen != nullptr && *chosen != '\0' ? chosen : BINCONV_CLI_PATH;
    return fs::absolute(name).string();
  }();
  return program;
}

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  if (!o.spawn_error.empty()) return os << "not started: " << o.spawn_error;
  return os << "exit " << o.exit_code << " signal " << o.signal
            << (o.timed_out ? " (killed after the time limit)" : "") << "\nstderr: " << o.err;
}

Outcome RunCli(const Scratch& scratch, const std::vector<std::string>& args,
               const RunOptions& options) {
  ::signal(SIGPIPE, SIG_IGN);
  const fs::path in_path = scratch.io() / "stdin";
  const fs::path out_path = scratch.io() / "stdout";
  const fs::path err_path = scratch.io() / "stderr";

  std::vector<std::string> argv_storage{ProgramUnderTest()};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_storage) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment_storage;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable = *entry;
    const std::string_view name = variable.substr(0, variable.find('='));
    if (name != "LANGUAGE" && name != "LC_ALL" && name != "LC_MESSAGES" && name != "LANG") {
      environment_storage.emplace_back(variable);
    }
  }
  environment_storage.insert(environment_storage.end(), options.locale.begin(),
                             options.locale.end());
  // A UTF-8 locale all the same, which speaks English: Wine reads the
  // arguments and names through it.
  if (std::none_of(options.locale.begin(), options.locale.end(),
                   [](const std::string& entry) { return entry.starts_with("LC_ALL="); })) {
    environment_storage.emplace_back("LC_ALL=C.UTF-8");
  }
  std::vector<char*> environment;
  for (std::string& entry : environment_storage) environment.push_back(entry.data());
  environment.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, scratch.work().c_str());
  Outcome outcome;
  int in_pipe[2] = {-1, -1};
  int out_pipe[2] = {-1, -1};
  switch (options.stdin_kind) {
    case Stdin::kFile:
      WriteAll(in_path, options.input);
      posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
      break;
    case Stdin::kClosed:
      posix_spawn_file_actions_addclose(&actions, 0);
      break;
    case Stdin::kPipe:
      if (::pipe2(in_pipe, O_CLOEXEC) != 0) outcome.spawn_error = std::strerror(errno);
      posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
      break;
    case Stdin::kFolder:
      posix_spawn_file_actions_addopen(&actions, 0, ".", O_RDONLY, 0);
      break;
  }
  switch (options.stdout_kind) {
    case Stdout::kFile:
      posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
      break;
    case Stdout::kClosed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case Stdout::kUnreadPipe:
      if (::pipe2(out_pipe, O_CLOEXEC) != 0) outcome.spawn_error = std::strerror(errno);
      posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
      break;
  }
  if (options.close_stderr) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  pid_t pid = 0;
  const int spawned = outcome.spawn_error.empty()
                          ? posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment.data())
                          : EPIPE;
  posix_spawn_file_actions_destroy(&actions);
  for (const int fd : {in_pipe[0], out_pipe[0], out_pipe[1]}) {
    if (fd >= 0) ::close(fd);
  }
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  if (spawned != 0) {
    if (outcome.spawn_error.empty()) {
      outcome.spawn_error = std::string(argv[0]) + ": " + std::strerror(spawned);
    }
    if (in_pipe[1] >= 0) ::close(in_pipe[1]);
    return outcome;
  }
  if (in_pipe[1] >= 0) {
    ::fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
    if (options.feed) Feed(in_pipe[1], options.feed, deadline);
    ::close(in_pipe[1]);
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
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.max_rss_kb = usage.ru_maxrss;
  if (options.stdout_kind == Stdout::kFile) outcome.out = ReadAll(out_path);
  if (!options.close_stderr) outcome.err = ReadAll(err_path);
  return outcome;
}

long StartRssKb() {
  static const long start = [] {
    Scratch scratch;
    return RunCli(scratch, {"--version"}).max_rss_kb;
  }();
  return start;
}

}  // namespace binconv::test
