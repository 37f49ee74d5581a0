#include "cli/problems.h"

#include "cli/common.h"
#include "cli/into.h"
#include "cli/io.h"
#include "runtime/describe.h"
#include "runtime/hex.h"

namespace binconv::cli {
namespace {

std::string Where(const Problem& p) {
  if (p.line == 0) return p.file + ": ";
  if (p.column == 0) return p.file + ":" + std::to_string(p.line) + ": ";
  return Position(p.file, p.line, p.column);
}

std::string Pointer(const Problem& p) {
  return "pointer " + std::to_string(p.pointer) + " at " + HexNumber(p.pointer_at);
}

// What is wrong with an entry of a game's .tbl.
std::string TblMessage(const Problem& p) {
  switch (p.code) {
    case ProblemCode::kTblNotAnEntry:
      return "not an entry: HEX=TEXT, /HEX, *HEX, $HEX=LABEL,N, a comment or @NAME";
    case ProblemCode::kTblBadCode:
      return "the code is not hex digit pairs";
    case ProblemCode::kTblEmptyCode:
      return "the entry has no code";
    case ProblemCode::kTblCodeTooLong:
      return "a code of more than 4 bytes";
    case ProblemCode::kTblNoText:
      return "the entry has no text after \"=\"";
    case ProblemCode::kTblBadParams:
      return "a control code needs LABEL,N with N from 0 to 8 parameter bytes";
    case ProblemCode::kTblDuplicateCode:
      return "a second entry for the code of line " + std::to_string(p.other_line);
    case ProblemCode::kTblUnreachable:
      return "never read: its code begins with the control code of line " +
             std::to_string(p.other_line) + ", which takes the bytes after it";
    case ProblemCode::kTblSwitch:
      return "table switching (!HEX) is not supported yet";
    case ProblemCode::kTblSameText:
      return "the same text as the code of line " + std::to_string(p.other_line) +
             "; a text can be written with one code only";
    case ProblemCode::kTblNeverRead:
      return "never read before the end of the bytes: longer codes that begin with its "
             "code cover every byte that can follow it";
    case ProblemCode::kGridNotAnEntry:
      return "not an entry CODE=VALUE with a code of hex byte pairs";
    case ProblemCode::kGridCodeTooLong:
      return "a code of more than two bytes";
    case ProblemCode::kGridNoLeadByte:
      return "the code's first byte is not a lead byte (20, 21, 22, 23, 18)";
    case ProblemCode::kGridReservedByte:
      return "a page 0 code at 18, 20-24 or 50 (lead bytes, line break, space)";
    case ProblemCode::kGridOtherBreak:
      // The table files fix the line break at 24; a game's .tbl keeps its own.
      return "a page 0 code as the line break, which is 24 in binconv's tables; give the "
             ".tbl with --tbl to dump, insert, decode or encode with the game's own";
    case ProblemCode::kGridNotOneChar:
      return "the value is not one character";
    case ProblemCode::kGridUnstorable:
      return "a comma, space or line end can't stand in a table file";
    default:
      return p.reason;  // kUnreadable, kBadLine, kBadHeader, kBadEntryLine, kGameChanged
  }
}

// What is wrong with a text or one of its characters.
std::string TextMessage(const Problem& p) {
  switch (p.code) {
    case ProblemCode::kNoCode:
      return "no code for " + DescribeChar(p.ch);
    case ProblemCode::kNotHexInTag:
      return "not a hex digit in a tag " + DescribeChar(p.ch);
    case ProblemCode::kOddCount:
      return "the hex digits in tags do not pair up";
    case ProblemCode::kNoParams:
      return "the control code here needs a tag of exactly its parameter bytes right after it";
    case ProblemCode::kNoLineBreakCode:
      return "a line break, and the .tbl has no line-break code without text (*HEX)";
    case ProblemCode::kBadUtf8:
      return "not valid UTF-8";
    case ProblemCode::kTooLong:
      return DescribeTooLong(p.bytes, p.room) + "; " + DescribeChar(p.ch) +
             " is the first character that does not fit";
    case ProblemCode::kNotScript:
      return "not a script file: its first line must be \"#binconv script 1\"";
    case ProblemCode::kEndInText:
      return "the end byte " + HexNumber(p.byte).substr(2) + " stands inside the text" +
             (p.ch != 0 ? " (from " + DescribeChar(p.ch) + ")" : "") +
             "; the game would stop there";
    case ProblemCode::kEndsInLead:
      return "the text ends in a lead byte, which would take the end byte";
    default:
      return TblMessage(p);
  }
}

// How a text that found no room begins its message, before the reason.
std::string NeedsRoom(const Problem& p) {
  return "@" + std::to_string(p.entry.value_or(0)) + " needs " + std::to_string(p.bytes) +
         " bytes; its room holds " + std::to_string(p.room) + " and ";
}

// What is wrong with what a plan names in the game.
std::string GameMessage(const Problem& p) {
  switch (p.code) {
    case ProblemCode::kRoomPastEnd:
      return "the room ends at " + HexNumber(p.end) + ", past the end of the game file (" +
             ByteCount(p.game_size) + ")";
    case ProblemCode::kPastEnd:
      return p.what + " ends at " + HexNumber(p.end) + ", past the end of the game (" +
             ByteCount(p.game_size) + ")";
    case ProblemCode::kOverlap:
      return p.what + " overlaps " + p.other_what + " of line " + std::to_string(p.other_line);
    case ProblemCode::kSameFile:
      return p.other_line == 0
                 ? "the script file is the plan itself"
                 : "the script file is also that of line " + std::to_string(p.other_line);
    case ProblemCode::kPointerUnmapped:
      return Pointer(p) + " holds " + HexNumber(p.value) +
             ", which maps to no file offset: " + p.reason;
    case ProblemCode::kPointerOutside:
      return Pointer(p) + " leads to " + HexNumber(p.at) + ", " + p.reason;
    case ProblemCode::kNoTerminator:
      return Pointer(p) + " leads to a string at " + HexNumber(p.at) + " with no end byte before " +
             HexNumber(p.end);
    case ProblemCode::kStringTooLong:
      return Pointer(p) + " leads to a string at " + HexNumber(p.at) + " with no end byte before " +
             HexNumber(p.end) + ", the most one string may take (" +
             ByteCount(p.end - p.at) + "; max= in the plan allows more)";
    case ProblemCode::kStringsOverlap:
      return Pointer(p) + " leads to a string at " + HexNumber(p.at) +
             " that runs into the string at " + HexNumber(p.end) +
             " without ending where it ends; a string may share only its tail with another";
    case ProblemCode::kIntoTable:
      return Pointer(p) + " leads to a string at " + HexNumber(p.at) +
             " that lies over a pointer table";
    case ProblemCode::kUnknownEntry:
      return "no string of the table has its first pointer at index " + std::to_string(*p.entry);
    case ProblemCode::kRepeatedEntry:
      return "given again; its first entry is on line " + std::to_string(p.other_line);
    case ProblemCode::kMissingEntry:
      return "missing: the table has a string there (at " + HexNumber(p.at) + ")";
    case ProblemCode::kNoRoom:
      return NeedsRoom(p) + (p.what.empty() ? "no space" : "none of " + p.what) + " has " +
             std::to_string(p.bytes) + " bytes left" +
             (p.reason.empty() ? " (the plan has no space line)" : " (" + p.reason + ")");
    case ProblemCode::kOutOfReach:
    case ProblemCode::kAcrossBank:
      return NeedsRoom(p) + p.reason;
    case ProblemCode::kCantPoint:
      return Pointer(p) + " can't point at " + HexNumber(p.at) + ": " + p.reason;
    case ProblemCode::kTooWide:
      return "the line shows " + std::to_string(p.bytes) + " characters; width=" +
             std::to_string(p.room) + " allows no more";
    case ProblemCode::kTooManyLines:
      return "line " + std::to_string(p.bytes) + " of one text box; lines=" +
             std::to_string(p.room) + " allows no more";
    default:
      return TextMessage(p);
  }
}

}  // namespace

std::string Describe(const Problem& p) {
  // An entry of a script file leads its message; a text with no room names
  // it in its own words.
  std::string entry;
  if (p.entry && !FoundNoRoom(p.code)) entry = "@" + std::to_string(*p.entry) + ": ";
  const std::string plan_line =
      p.plan_line != 0 ? " (plan line " + std::to_string(p.plan_line) + ")" : "";
  return Where(p) + entry + GameMessage(p) + plan_line;
}

Reported<> ReportJobError(const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject) {
  if (const auto* io = std::get_if<IoError>(&error)) {
    PrintError(DescribeIoError(*io));
    return Failure(kExitError);
  }
  return reject(std::get<std::vector<Problem>>(error));
}

std::string DescribeFormatOptionError(FormatWordErrorCode code) {
  switch (code) {
    case FormatWordErrorCode::kNoType:
      return "no TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownType:
      return "not a TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownWord:
      return "not header=N, base=N, map=…, relative=…, window=LO..HI or bank=N";
    case FormatWordErrorCode::kBadNumber:
      return "not a decimal or 0x hex number";
    case FormatWordErrorCode::kBadValue:
      return "map= takes linear, lorom or hirom; relative= takes self or table";
    case FormatWordErrorCode::kRepeated:
      return "given twice";
    case FormatWordErrorCode::kRelativeWith:
      return "relative= counts from a pointer, so header=, base= and map= don't apply";
    case FormatWordErrorCode::kBadRange:
      return "window= takes LO..HI with LO <= HI; bank= takes a size above 0";
  }
  return "?";
}

std::string DescribeMapError(PointerMapErrorCode code) {
  switch (code) {
    case PointerMapErrorCode::kBelowHeader:
      return "it lies inside the header";
    case PointerMapErrorCode::kDoesNotFit:
      return "its value doesn't fit the type";
    case PointerMapErrorCode::kNotMappedBack:
    case PointerMapErrorCode::kNotAnAddress:
      return "the map has no address for it";
    case PointerMapErrorCode::kBeforeStart:
      return "it lies before the start of the file";
    case PointerMapErrorCode::kPastLastOffset:
      return "it lies past the last offset a file can have";
    case PointerMapErrorCode::kOutsideWindow:
      return "its value lies outside the format's window";
  }
  return "?";
}

std::string DescribeUnreachable(const UnreachableTarget& target, const std::string& game) {
  const std::string offset = OffsetHex(target.offset);
  if (!target.why) return "OFFSET " + offset + " lies past the end of " + game;
  return "no pointer of this format can point at " + offset + ": " + DescribeMapError(*target.why);
}

}  // namespace binconv::cli
