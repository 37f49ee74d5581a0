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

Reported<> Refuse(messages::Language language, const NamedFile& output, const NamedFile& other) {
  using messages::Say;
  const std::string output_role = Say(language, output.role);
  const std::string other_role = Say(language, other.role);
  if (output.name == kStdioName && !Writes(other)) {
    // As cat says it: the output would be appended to what is still being read.
    const std::string input = other.name == kStdioName ? Say(language, "standard input")
                                                       : other_role + " " + other.name;
    PrintError(Say(language,
                   "{input}: input file is output file (standard output); write to another file",
                   {{"input", input}}));
  } else if (!Writes(other)) {
    PrintError(Say(language,
                   "{role}: {file} is {other}, which would be lost ({other_role}); write to "
                   "another name",
                   {{"role", output_role},
                    {"file", output.name},
                    {"other", other.name},
                    {"other_role", other_role}}));
  } else {
    PrintError(Say(language, "{other_role} and {role} name the same file: {file}",
                   {{"other_role", other_role}, {"role", output_role}, {"file", output.name}}));
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
    if (writer == command) files.push_back({kStdioName, Phrase("standard output"), FileUse::kWritten});
  }
  return files;
}

void AddScriptFiles(const Plan& plan, FileUse use, std::vector<NamedFile>& files) {
  for (const ScriptSpec& def : plan.scripts) {
    files.push_back({PathToUtf8(def.path), Phrase("a script FILE of the plan"), use});
  }
}

Reported<> RefuseOutputsOverInputs(messages::Language language, std::span<const NamedFile> files) {
  // Each file is compared by full name (one not made yet has no other) and
  // by which existing file it is (hard links), through maps, so that a plan's
  // thousands of scripts cost no more than sorting them. The first file of a
  // name stands for the rest: any later one that writes clashes with it.
  std::map<std::filesystem::path, const NamedFile*> by_full_name;
  std::map<FileIdentity, const NamedFile*> by_identity;
  const NamedFile* standard_output = nullptr;
  auto clash = [language](const NamedFile& file, const NamedFile& other) -> Reported<> {
    if (!Clash(file, other)) return Unit{};
    // Standard output is told as such, whichever came first.
    const bool file_writes = other.name == kStdioName && Writes(other) ? false : Writes(file);
    return file_writes ? Refuse(language, file, other) : Refuse(language, other, file);
  };
  for (const NamedFile& file : files) {
    std::optional<FileIdentity> identity;
    if (file.name == kStdioName) {
      if (Writes(file) && standard_output != nullptr) {
        return Refuse(language, file, *standard_output);
      }
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
  return RefuseOutputsOverInputs(args.language, FilesOfCommand(command, args));
}

}  // namespace binconv::cli
