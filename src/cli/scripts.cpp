#include "cli/scripts.h"

#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "runtime/crc32.h"
#include "runtime/describe.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

std::string Where(const ScriptProblem& p) {
  if (p.line == 0) return p.file + ": ";
  if (p.column == 0) return p.file + ":" + std::to_string(p.line) + ": ";
  return Position(p.file, p.line, p.column);
}

std::string Pointer(const ScriptProblem& p) {
  return "pointer " + std::to_string(p.index) + " at " + HexNumber(p.offset);
}

std::string Message(const ScriptProblem& p) {
  const std::string entry = "@" + std::to_string(p.index) + ": ";
  switch (p.code) {
    case ScriptProblemCode::kBadLine:
      return p.reason;
    case ScriptProblemCode::kSameFile:
      return p.other_line == 0
                 ? "the script file is the plan itself"
                 : "the script file is also that of line " + std::to_string(p.other_line);
    case ScriptProblemCode::kPastEnd:
      return p.reason + " ends at " + HexNumber(p.amount) + ", past the end of the game (" +
             ByteCount(p.limit) + ")";
    case ScriptProblemCode::kPointerUnmapped:
      return Pointer(p) + " holds " + HexNumber(p.amount) +
             ", which maps to no file offset: " + p.reason;
    case ScriptProblemCode::kPointerOutside:
      return Pointer(p) + " leads to " + HexNumber(p.amount) + ", " + p.reason;
    case ScriptProblemCode::kNoTerminator:
      return Pointer(p) + " leads to a string at " + HexNumber(p.amount) +
             " with no end byte before " + HexNumber(p.limit);
    case ScriptProblemCode::kStringsOverlap:
      return Pointer(p) + " leads to a string at " + HexNumber(p.amount) +
             " that runs into the string at " + HexNumber(p.limit) +
             "; strings that share bytes can't be dumped";
    case ScriptProblemCode::kIntoTable:
      return Pointer(p) + " leads to a string at " + HexNumber(p.amount) +
             " that lies over a pointer table";
    case ScriptProblemCode::kOverlap:
      return p.reason;
    case ScriptProblemCode::kUnreadable:
      return p.reason;
    case ScriptProblemCode::kBadUtf8:
      return "not valid UTF-8";
    case ScriptProblemCode::kNotScript:
      return "not a script file: its first line must be \"#binconv script 1\"";
    case ScriptProblemCode::kBadHeader:
    case ScriptProblemCode::kBadEntryLine:
      return p.reason;
    case ScriptProblemCode::kGameChanged:
      return p.reason;
    case ScriptProblemCode::kUnknownEntry:
      return entry + "no string of the table has its first pointer at index " +
             std::to_string(p.index);
    case ScriptProblemCode::kRepeatedEntry:
      return entry + "given again; its first entry is on line " + std::to_string(p.other_line);
    case ScriptProblemCode::kMissingEntry:
      return entry + "missing: the table has a string there (at " + HexNumber(p.amount) + ")";
    case ScriptProblemCode::kNoCode:
      return entry + "no code for " + DescribeChar(p.ch);
    case ScriptProblemCode::kNotHexInTag:
      return entry + "not a hex digit in a tag " + DescribeChar(p.ch);
    case ScriptProblemCode::kOddCount:
      return entry + "the hex digits in tags do not pair up";
    case ScriptProblemCode::kEndInText:
      return entry + "the end byte " + HexNumber(p.amount).substr(2) + " stands inside the text" +
             (p.ch != 0 ? " (from " + DescribeChar(p.ch) + ")" : "") +
             "; the game would stop there";
    case ScriptProblemCode::kEndsInLead:
      return entry + "the text ends in a lead byte, which would take the end byte";
    case ScriptProblemCode::kNoRoom:
      return entry.substr(0, entry.size() - 2) + " needs " + std::to_string(p.amount) +
             " bytes; its room holds " + std::to_string(p.limit) + " and no space has " +
             std::to_string(p.amount) + " bytes left" +
             (p.reason.empty() ? " (the plan has no space line)" : " (" + p.reason + ")");
    case ScriptProblemCode::kCantPoint:
      return entry + Pointer(p) + " can't point at " + HexNumber(p.amount) + ": " + p.reason;
  }
  return "?";
}

}  // namespace

std::string DescribeScriptProblem(const ScriptProblem& problem) {
  return Where(problem) + Message(problem);
}

std::size_t PrintScriptProblems(const std::vector<ScriptProblem>& problems) {
  for (const ScriptProblem& problem : problems) PrintError(DescribeScriptProblem(problem));
  return problems.size();
}

Reported<std::uint32_t> GameCrc32(FileReader& game) {
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  std::uint32_t crc = 0;
  for (std::uint64_t at = 0; at < game.size();) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), game.size() - at));
    if (auto read = game.ReadAt(at, std::span(buffer.data(), n)); !read) {
      PrintError(DescribeIoError(read.error()));
      return Failure(kExitError);
    }
    crc = UpdateCrc32(crc, std::span(buffer.data(), n));
    at += n;
  }
  return crc;
}

Reported<std::string> ReadPlanText(const std::string& plan_name) {
  Reported<std::string> read = ReadWholeInput(plan_name);
  if (!read) return read;
  std::string& bytes = *read;
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.erase(0, kUtf8ByteOrderMark.size());
  if (auto decoded = DecodeUtf8(bytes); !decoded) {
    std::size_t line = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i < decoded.error().offset; ++i) {
      if (bytes[i] == '\n') {
        ++line;
        start = i + 1;
      }
    }
    PrintError(Position(ShownName(plan_name), line, decoded.error().offset - start + 1) +
               "not valid UTF-8");
    return Failure(kExitRejected);
  }
  return read;
}

}  // namespace binconv::cli
