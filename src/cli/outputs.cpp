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
  // No positional: standard input is read.
  if (row.option == "@") {
    return args.positionals.empty() ? std::vector<std::string>{kStdioName} : args.positionals;
  }
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

// The regular file that "-" reads or writes through a redirection, if any.
std::optional<FileIdentity> IdentityOfStdio(const NamedFile& file) {
  return Writes(file) ? IdentityOfStandardOutput() : IdentityOfStandardInput();
}

Reported<> Refuse(const NamedFile& output, const NamedFile& other) {
  if (output.name == kStdioName && !Writes(other)) {
    // As cat says it: the output would be appended to what is still being read.
    const std::string input =
        other.name == kStdioName ? "standard input" : std::string(other.role) + " " + other.name;
    PrintError(input + ": input file is output file (standard output); write to another file");
  } else if (!Writes(other)) {
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
  for (const std::string_view writer : kStandardOutputCommands) {
    if (writer == command) files.push_back({kStdioName, "standard output", FileUse::kWritten});
  }
  return files;
}

void AddScriptFiles(const Plan& plan, FileUse use, std::vector<NamedFile>& files) {
  for (const ScriptSpec& def : plan.scripts) {
    files.push_back({PathToUtf8(def.path), "a script FILE of the plan", use});
  }
}

Reported<> RefuseOutputsOverInputs(std::span<const NamedFile> files) {
  // Each file is compared by full name (one not made yet has no other) and
  // by which existing file it is (hard links), through maps, so that a plan's
  // thousands of scripts cost no more than sorting them. The first file of a
  // name stands for the rest: any later one that writes clashes with it.
  std::map<std::filesystem::path, const NamedFile*> by_full_name;
  std::map<FileIdentity, const NamedFile*> by_identity;
  const NamedFile* standard_output = nullptr;
  auto clash = [](const NamedFile& file, const NamedFile& other) -> Reported<> {
    if (!Clash(file, other)) return Unit{};
    // Standard output is told as such, whichever came first.
    const bool file_writes = other.name == kStdioName && Writes(other) ? false : Writes(file);
    return file_writes ? Refuse(file, other) : Refuse(other, file);
  };
  for (const NamedFile& file : files) {
    std::optional<FileIdentity> identity;
    if (file.name == kStdioName) {
      if (Writes(file) && standard_output != nullptr) return Refuse(file, *standard_output);
      if (Writes(file)) standard_output = &file;
      identity = IdentityOfStdio(file);
    } else if (IsReplaceable(file.name)) {
      const std::filesystem::path path = PathFromUtf8(file.name);
      if (const auto [at, added] = by_full_name.emplace(FullFileName(path), &file); !added) {
        if (auto fine = clash(file, *at->second); !fine) return fine;
      }
      identity = IdentityOfFile(path);
    }
    if (!identity) continue;
    if (const auto [at, added] = by_identity.emplace(*identity, &file); !added) {
      if (auto fine = clash(file, *at->second); !fine) return fine;
    }
  }
  return Unit{};
}

Reported<> RefuseOutputsOverInputs(std::string_view command, const ParsedArgs& args) {
  return RefuseOutputsOverInputs(FilesOfCommand(command, args));
}

}  // namespace binconv::cli
