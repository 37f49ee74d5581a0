#pragma once
// How the CLI tells every problem of a text, a plan or a script: in the
// words of the messages' catalogue, in English.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/io.h"
#include "messages/messages.h"
#include "runtime/problem.h"
#include "scan/byte_scan.h"
#include "scan/table_plan.h"
#include "script/job.h"

namespace binconv::cli {

// A problem "FILE:LINE:COLUMN: message" is messages::Describe.
using messages::Describe;
// "PATH: reason"
std::string Describe(messages::Language language, const IoError& error);
// The message alone, in English: for a command that puts its own words
// before it.
std::string MessageOf(messages::Language language, const Problem& problem);
// "'WORD': message" for a problem of a pointer format's words, the word
// left out where the problem is of them all.
std::string FormatWordsMessage(messages::Language language, const Problem& problem);

// The one way a command tells a problem of what the user gave: "binconv-cli:
// FILE:LINE:COLUMN: message", `more` added after it.
void ReportProblem(messages::Language language, const Problem& problem,
                   std::string_view more = {});
// Many problems as a reader takes them, one line each: file by file, in the
// order the files first come, each file's by line and column; the same
// problem at one place once; and a character without a code once, with how
// often it occurs and its next places.
std::vector<std::string> ProblemLinesInFileOrder(messages::Language language,
                                                 const std::vector<Problem>& problems);

// Reports why a job gave nothing: the game's read error, or its problems
// through `reject`. Always a failure.
Reported<> ReportJobError(messages::Language language, const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject);

// Why no pointer of a format can lead to an offset.
std::string DescribeMapError(messages::Language language, PointerMapErrorCode code);

// Why pointers-to finds no pointer to a target of a game named `game`.
std::string DescribeUnreachable(messages::Language language, const UnreachableTarget& target,
                                const std::string& game);

}  // namespace binconv::cli
