#pragma once
// The one way tests run binconv-cli: in a Scratch's work/ folder, with its
// standard streams captured, a time limit after which the child is killed,
// and its peak memory measured. The program is this build's binconv-cli, or
// the one the environment variable BINCONV_CLI names.

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/files.h"

namespace binconv::test {

enum class Stdin {
  kFile,    // io/stdin, written from `input`
  kClosed,  // no descriptor 0 at all
  kPipe,    // fed by `feed` while the child runs
  kFolder,  // the program's own current folder
};

enum class Stdout {
  kFile,        // captured into Outcome::out
  kClosed,      // no descriptor 1 at all
  kUnreadPipe,  // a pipe whose reader has gone
};

// The program the runs start: absolute, so that it is found from any folder.
const std::string& ProgramUnderTest();

struct RunOptions {
  std::string input = {};
  Stdin stdin_kind = Stdin::kFile;
  // Called for the next piece to send; returns false when there is no more.
  std::function<bool(std::string&)> feed = {};
  Stdout stdout_kind = Stdout::kFile;
  bool close_stderr = false;
  std::chrono::seconds timeout{60};
  // The child's locale: "NAME=VALUE" entries such as "LANGUAGE=ja". The
  // locale's own variables of the tests' environment are left out, and
  // LC_ALL is C.UTF-8 unless given, so that a run speaks English unless a
  // test says otherwise.
  std::vector<std::string> locale = {};
};

struct Outcome {
  int exit_code = -1;  // -1 when killed by a signal or never started
  int signal = 0;
  bool timed_out = false;
  long max_rss_kb = 0;
  std::string out;
  std::string err;
  std::string spawn_error;  // why the program could not be started
};

std::ostream& operator<<(std::ostream& os, const Outcome& o);

Outcome RunCli(const Scratch& scratch, const std::vector<std::string>& args,
               const RunOptions& options = {});

// What binconv-cli takes in memory before it reads anything: the program and
// its libraries, much larger under the address sanitizer. Memory bounds are
// on what a command takes beyond it.
long StartRssKb();

}  // namespace binconv::test
