#include "cli/outputs.h"

#include <map>
#include <optional>
#include <system_error>

#include "chartable/load.h"
#include "chartable/table_folders.h"
#include "runtime/file.h"

namespace binconv::cli {
namespace {

// The names an option gives: its value, the positionals it stands for, or
// what it stands for when absent.
std::vector<std::string> NamesOf(const FileOption& row, const ParsedArgs& args) {
  if (row.option == "@") return args.positionals;
  if (row.option == "@1") {
    if (args.positionals.empty()) return {};
    return {args.positionals.front()};
  }
  if (std::optional<std::string> value = args.Value(row.option)) return {*value};
  if (!row.absent.empty()) return {std::string(row.absent)};
  // The tables read when no folder is named, unless a .tbl stands for them.
  if (row.option == "tables" && !args.Has("tbl")) {
    if (auto found = FindTableFolder(TableSearchPlaceOfThisProcess())) {
      return {PathToUtf8(found.value())};
    }
  }
  return {};
}

// Standard input or output, or a device, pipe or folder: never replaced.
bool IsReplaceable(const std::string& name) {
  if (name.empty() || name == kStdioName) return false;
  std::error_code error;
  const auto status = std::filesystem::status(PathFromUtf8(name), error);
  return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

bool Writes(const NamedFile& file) { return file.use != FileUse::kRead; }

// Whether two names of one file are a clash: one of them is written, and it
// is not GAME updated in place, named once.
bool Clash(const NamedFile& a, const NamedFile& b) {
  return (Writes(a) || Writes(b)) && !(a.use == FileUse::kUpdated && b.use == FileUse::kUpdated);
}

Reported<> Refuse(const NamedFile& output, const NamedFile& other) {
  if (!Writes(other)) {
    PrintError(std::string(output.role) + ": " + output.name + " is " + other.name +
               ", which would be lost (" + std::string(other.role) + "); write to another name");
  } else {
    PrintError(std::string(other.role) + " and " + std::string(output.role) +
               " name the same file: " + output.name);
  }
  return Failure(ExitStatus::kError);
}

}  // namespace

std::vector<NamedFile> FilesOfCommand(std::string_view command, const ParsedArgs& args) {
  std::vector<NamedFile> files;
  for (const FileOption& row : kFileOptions) {
    if (row.command != command) continue;
    for (const std::string& name : NamesOf(row, args)) {
      if (!row.table_folder) {
        files.push_back({name, row.shown, row.use});
        continue;
      }
      for (const char* table : {kMainTableFile, kExtendedTableFile}) {
        files.push_back({PathToUtf8(PathFromUtf8(name) / table), row.shown, row.use});
      }
    }
  }
  return files;
}

void AddScriptFiles(const Plan& plan, FileUse use, std::vector<NamedFile>& files) {
  for (const ScriptSpec& def : plan.scripts) {
    files.push_back({PathToUtf8(def.path), "a script FILE of the plan", use, true});
  }
}

Reported<> RefuseOutputsOverInputs(std::span<const NamedFile> files) {
  std::vector<const NamedFile*> named;
  // A long list (a plan's scripts) is compared by full name through a map,
  // so that thousands of scripts cost no more than sorting them.
  std::map<std::filesystem::path, const NamedFile*> by_full_name;
  for (const NamedFile& file : files) {
    if (!IsReplaceable(file.name)) continue;
    const std::filesystem::path full = FullFileName(PathFromUtf8(file.name));
    if (const auto [at, added] = by_full_name.emplace(full, &file); !added) {
      const NamedFile& other = *at->second;
      if (Clash(file, other)) return Writes(file) ? Refuse(file, other) : Refuse(other, file);
    }
    if (!file.from_list) named.push_back(&file);
  }
  // Hard links and other names of one existing file, among the few files
  // the command line names.
  for (std::size_t i = 0; i < named.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const NamedFile& a = *named[i];
      const NamedFile& b = *named[j];
      if (Clash(a, b) && AreOneExistingFile(PathFromUtf8(a.name), PathFromUtf8(b.name))) {
        return Writes(a) ? Refuse(a, b) : Refuse(b, a);
      }
    }
  }
  return Unit{};
}

Reported<> RefuseOutputsOverInputs(std::string_view command, const ParsedArgs& args) {
  return RefuseOutputsOverInputs(FilesOfCommand(command, args));
}

}  // namespace binconv::cli
