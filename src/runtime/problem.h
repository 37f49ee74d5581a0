#pragma once
// What is wrong with something a user gave: a text, a plan, a script file.
// The encoder, the plans and the scripts all report in this one type, so one
// place can word every problem (src/messages) and none is worded twice.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace binconv {

// Why a pointer's value and a file offset do not map onto each other
// (script/pointer_format.h); a problem of a pointer says which.
enum class PointerMapErrorCode {
  kBelowHeader,    // the target lies inside the header, which has no address
  kDoesNotFit,     // the value needs more bits than the type has
  kNotMappedBack,  // the value would not map back to the same offset
  kNotAnAddress,   // the value is not one the format's map can produce
  kBeforeStart,    // a relative value that points before the start of the file
  kPastLastOffset, // the offset would pass 2^64 - 1: a sum that would wrap
  kOutsideWindow,  // the value lies outside the format's window
};

enum class ProblemCode {
  // A character of a text (ch, at line and column).
  kNoCode,       // no cell holds it
  kNotHexInTag,  // inside a tag, and not a hex digit
  // Of a text written through a game's .tbl (at line and column).
  kNoParams,         // a control code not followed by a tag of exactly its parameter bytes
  kNoLineBreakCode,  // a line break alone, and the .tbl has no *HEX without text
  // A text as a whole.
  kOddCount,    // the hex digits in its tags do not pair up
  kBadUtf8,     // not UTF-8; line and column of the bad sequence
  kUnreadable,  // can't be read; reason is the system's
  kTooLong,     // `bytes` exceed its `room`; ch is the first character past it
  // A line of a plan (line).
  kBadLine,      // can't be read; reason says what is wrong
  kRoomPastEnd,  // an entry's room ends at `end`, past the game's `game_size` bytes
  kPastEnd,      // `what` ends at `end`, past the game's `game_size` bytes
  kOverlap,      // `what` shares bytes with `other_what` of line `other_line`
  kSameFile,     // the script file is the plan itself (other_line 0) or that of
                 // the script on line `other_line`
  kGrowPastPatch,  // grows the game to `bytes`, past the `room` bytes a patch of
                   // the format `what` ("BPS", "IPS") can give back
  // A pointer of a script's table (`pointer`, standing at `pointer_at`).
  kPointerUnmapped,  // its `value` maps to no file offset, for `map_error`
  kPointerOutside,   // it leads to `at`: at or past the game's `game_size` bytes,
                     // or outside the script's text=
  kNoTerminator,     // its string at `at` has no end byte before `end`
  kStringTooLong,    // its string at `at` has no end byte before `end`, where the
                     // plan's max= (64 KiB unless given) stops it
  kStringsOverlap,   // its string at `at` runs into the string at `end`
  kIntoTable,        // its string at `at` lies over a pointer table
  // A script file, and its entries (`entry`, the N of @N).
  kNotScript,      // the first line is not the script file's mark
  kBadHeader,      // a header line can't be read; reason says what is wrong
  kGameChanged,    // dumped from another game; reason says what differs
  kBadEntryLine,   // an @ line can't be read, or text stands before the first
  kUnknownEntry,   // no string of the table has its first pointer at `entry`
  kRepeatedEntry,  // given again; its first is on line `other_line`
  kMissingEntry,   // none is given for the string at `at`
  kEndInText,      // the end `byte` stands inside the text (ch: where it comes from)
  kEndsInLead,     // the text ends in a lead byte, which would take the end byte
  kNoRoom,         // needs `bytes`, its room holds `room` and no space has them;
                   // reason lists the spaces' free bytes; `what` names the spaces
                   // its script may use (spaces=...), when not all
  kOutOfReach,     // as kNoRoom, but no space lies within reach of its pointers;
                   // reason says what they reach
  kAcrossBank,     // as kNoRoom, but the text would cross a bank boundary in each
                   // space with room for it; reason names the banks and spaces
  kCantPoint,      // `pointer` at `pointer_at` can't point at `at`, for `map_error`
  kTooWide,        // a line shows `bytes` characters, over the script's width= `room`
  kTooManyLines,   // the `bytes`th line of one box, over the script's lines= `room`
  // An entry of a game's .tbl (line; `what` is the entry as written).
  kTblNotAnEntry,     // none of the entry forms, nor a comment or a table id
  kTblBadCode,        // the code's digits are odd in number or not all hex
  kTblEmptyCode,      // no digits before "=" (or after the kind mark)
  kTblCodeTooLong,    // a code of more than 4 bytes
  kTblNoText,         // HEX= with no text after it
  kTblBadParams,      // a control code's ",N" is missing, not a number or over 8
  kTblNoLabel,        // a control code with nothing before its ",N", which decode
                      // would show as a tag that encode can't tell back
  kTblDuplicateCode,  // a second entry for a code; its first is on `other_line`
  kTblUnreachable,    // its code begins with the control code of `other_line`,
                      // which always wins and takes the bytes after it
  kTblSwitch,         // "!HEX=...": table switching, not supported yet
  // Warnings of check-tables about a .tbl that loads (line).
  kTblSameText,  // its text is also that of the code of `other_line`, the same kind
  kTblNeverRead,  // longer codes that begin with its code cover every next byte
  kTblNoCodes,    // the whole file (line 0) holds no entry at all
  // An entry of a .tbl that the grid of the two table files can't hold (line,
  // `what`).
  kGridNotAnEntry,     // not HEX=TEXT: an end or control code, a line break with
                       // text, or a line that is no entry at all
  kGridCodeTooLong,    // a code of more than two bytes
  kGridNoLeadByte,     // a two-byte code whose first byte is no page's lead byte
  kGridReservedByte,   // a one-byte code at a lead byte, 24 or 50 (but the line
                       // break *24 and a space at 50)
  kGridOtherBreak,     // a line break at another code than 24, the tables' own
  kGridNotOneChar,     // the text is not exactly one UTF-16 unit
  kGridUnstorable,     // a comma, a space or a line end, which a table file can't hold
};
// The last code above, so that a walk over every code misses none.
inline constexpr ProblemCode kLastProblemCode = ProblemCode::kGridUnstorable;

struct Problem {
  ProblemCode code;
  // Where: a file as messages name it, its 1-based line (0: the whole file)
  // and column (0: the whole line).
  std::string file{};
  std::size_t line = 0;
  std::size_t column = 0;
  // For a problem in a text an entry of the plan names: that entry's line.
  std::size_t plan_line = 0;
  // What, each number meaning one thing whatever the code (see ProblemCode).
  char32_t ch = 0;
  std::optional<std::size_t> entry{};  // the @N of a script's entry
  std::size_t pointer = 0;
  std::uint64_t pointer_at = 0;
  std::uint64_t value = 0;
  std::uint64_t at = 0;
  std::uint64_t end = 0;
  std::uint64_t game_size = 0;
  std::uint64_t bytes = 0;
  std::uint64_t room = 0;
  std::uint8_t byte = 0;
  PointerMapErrorCode map_error = PointerMapErrorCode::kNotAnAddress;
  std::size_t other_line = 0;
  std::string what{};
  std::string other_what{};
  std::string reason{};
};

// Whether a moving text found no space, for any of the reasons.
inline bool FoundNoRoom(ProblemCode code) {
  return code == ProblemCode::kNoRoom || code == ProblemCode::kOutOfReach ||
         code == ProblemCode::kAcrossBank;
}

// In line order; problems of one line keep the order they were found in.
inline void SortByLine(std::vector<Problem>& problems) {
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Problem& a, const Problem& b) { return a.line < b.line; });
}

}  // namespace binconv
