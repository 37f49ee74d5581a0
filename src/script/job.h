#pragma once
// What the dump and insert jobs share: how they read the files a plan names,
// and how they fail.

#include <filesystem>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "codec/string_end.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/result.h"
#include "script/plan.h"

namespace binconv {

// What a job is given: the plan read and the game open.
struct JobInput {
  const Plan& plan;
  const std::string& plan_name;  // as messages name it
  const GameTable& encoding;
  FileReader& game;
  const std::string& game_name;  // insert: as messages name it; dump: its file name
};

// Reads a file a plan names (a text or a script file) whole.
using FileSource = std::function<Result<std::string, IoError>(const std::filesystem::path&)>;

// Why a job gives nothing: the problems of what it was given, every one
// found, or the game that could not be read.
using JobError = std::variant<std::vector<Problem>, IoError>;

}  // namespace binconv
