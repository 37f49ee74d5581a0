#pragma once
// How the CLI tells every problem of a text, a plan or a script: in the
// words of the messages' catalogue, in English.

#include <functional>
#include <string>
#include <vector>

#include "cli/io.h"
#include "runtime/problem.h"
#include "script/job.h"

namespace binconv::cli {

// "FILE:LINE:COLUMN: message", "FILE:LINE: message" or "FILE: message".
std::string Describe(const Problem& problem);
// "PATH: reason"
std::string Describe(const IoError& error);

// Reports why a job gave nothing: the game's read error, or its problems
// through `reject`. Always a failure.
Reported<> ReportJobError(const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject);

}  // namespace binconv::cli
