#pragma once
// Outputs that must not be inputs: every file a command writes is checked,
// before anything is read or written, against every file it reads and every
// other file it writes. One table says which option of which command names
// what; a command adds only the files its inputs name (a plan's scripts).

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/io.h"
#include "script/plan.h"

namespace binconv::cli {

enum class FileUse {
  kRead,
  kWritten,
  kUpdated,  // read and replaced (--into GAME): it may be itself, never another file
};

// One file option of one command.
struct FileOption {
  std::string_view command;
  std::string_view option;  // the long name; "@" every positional, "@1" the first
  FileUse use;
  std::string_view shown;  // how a message names it: "--map FILE"
  // The option names a folder of the two table files (read), or where
  // import-tbl writes them; "tables" absent is the folder the search finds.
  bool table_folder = false;
  std::string_view absent = {};  // the name it stands for when not given ("-": standard output)
};

// Every file option of every command that writes a file or standard output.
inline constexpr FileOption kFileOptions[] = {
    {"convert", "@", FileUse::kRead, "INPUT"},
    {"convert", "tables", FileUse::kRead, "--tables DIR", true},
    {"convert", "tbl", FileUse::kRead, "--tbl FILE"},
    {"convert", "output", FileUse::kWritten, "-o FILE", false, "-"},
    {"write", "@", FileUse::kRead, "LISTING"},
    {"write", "output", FileUse::kWritten, "-o NAME"},
    {"write", "into", FileUse::kUpdated, "--into GAME"},
    {"encode", "@", FileUse::kRead, "INPUT"},
    {"encode", "tables", FileUse::kRead, "--tables DIR", true},
    {"encode", "tbl", FileUse::kRead, "--tbl FILE"},
    {"encode", "output", FileUse::kWritten, "-o NAME"},
    {"encode", "into", FileUse::kUpdated, "--into GAME"},
    {"decode", "@", FileUse::kRead, "BINARY"},
    {"decode", "tables", FileUse::kRead, "--tables DIR", true},
    {"decode", "tbl", FileUse::kRead, "--tbl FILE"},
    {"decode", "output", FileUse::kWritten, "-o FILE", false, "-"},
    {"export-tbl", "tables", FileUse::kRead, "--tables DIR", true},
    {"export-tbl", "tbl", FileUse::kRead, "--tbl FILE"},
    {"export-tbl", "output", FileUse::kWritten, "-o FILE", false, "-"},
    {"import-tbl", "@", FileUse::kRead, "TBL"},
    {"import-tbl", "output", FileUse::kWritten, "-o DIR", true, "."},
    {"insert", "@", FileUse::kRead, "PLAN"},
    {"insert", "from", FileUse::kRead, "--from ORIGINAL"},
    {"insert", "into", FileUse::kUpdated, "--into GAME"},
    {"insert", "tables", FileUse::kRead, "--tables DIR", true},
    {"insert", "tbl", FileUse::kRead, "--tbl FILE"},
    {"insert", "output", FileUse::kWritten, "-o OUTPUT"},
    {"insert", "patch", FileUse::kWritten, "--patch PATCH"},
    {"insert", "map", FileUse::kWritten, "--map FILE"},
    {"dump", "@", FileUse::kRead, "PLAN"},
    {"dump", "from", FileUse::kRead, "--from GAME"},
    {"dump", "tables", FileUse::kRead, "--tables DIR", true},
    {"dump", "tbl", FileUse::kRead, "--tbl FILE"},
    {"diff", "@", FileUse::kRead, "ORIGINAL MODIFIED"},
    {"diff", "output", FileUse::kWritten, "-o PATCH"},
    {"patch", "@", FileUse::kRead, "ORIGINAL PATCH"},
    {"patch", "into", FileUse::kUpdated, "--into FILE"},
    {"patch", "output", FileUse::kWritten, "-o OUTPUT"},
    {"search", "@1", FileUse::kRead, "GAME"},
    {"search", "tables", FileUse::kRead, "--tables DIR", true},
    {"search", "tbl", FileUse::kRead, "--tbl FILE"},
    {"search", "save-tbl", FileUse::kWritten, "--save-tbl FILE"},
    {"strings", "@1", FileUse::kRead, "GAME"},
    {"strings", "tables", FileUse::kRead, "--tables DIR", true},
    {"strings", "tbl", FileUse::kRead, "--tbl FILE"},
    {"check-tables", "tables", FileUse::kRead, "--tables DIR", true},
    {"check-tables", "tbl", FileUse::kRead, "--tbl FILE"},
    // GAME stands among the format's words: the command adds it.
    {"pointers-to", "tables", FileUse::kRead, "--tables DIR", true},
};

// The commands whose results always go to standard output.
inline constexpr std::string_view kStandardOutputCommands[] = {"search", "strings", "check-tables",
                                                               "pointers-to"};

// One file a command reads or writes, by the name given.
struct NamedFile {
  std::string name;
  std::string_view role;  // "--map FILE", "a script FILE"
  FileUse use;
};

// The files the options of `command` name in `args`, as the table says.
std::vector<NamedFile> FilesOfCommand(std::string_view command, const ParsedArgs& args);

// The script files of `plan`, read by insert or written by dump.
void AddScriptFiles(const Plan& plan, FileUse use, std::vector<NamedFile>& files);

// Refuses, naming both, an output that is one of the inputs or another
// output: the same name, through a link or "./", or the same existing file,
// hard links too. Standard output ("-" written) is refused when it is
// redirected to an input, which it would otherwise grow without end; names of
// devices and pipes are never replaced and are left alone.
Reported<> RefuseOutputsOverInputs(messages::Language language, std::span<const NamedFile> files);

// The check for the files the options name.
Reported<> RefuseOutputsOverInputs(std::string_view command, const ParsedArgs& args);

}  // namespace binconv::cli
