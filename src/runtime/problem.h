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

#include "runtime/file.h"

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
  kReadsAsOther,     // written here, its bytes and those before it read back as a
                     // longer code (ch: the first character of its text, or 0)
  // A tag of a text (ch: its mark as typed, at line and column).
  kLineBreakInTag,  // a line break before the tag's ">"
  kUnclosedTag,     // its "<" is never closed
  kNestedTag,       // a "<" inside a tag
  kEmptyTag,        // nothing between "<" and ">"
  kStrayTagClose,   // a ">" that closes no tag
  kUnknownLabel,    // with a .tbl of labels: a tag neither hex digits nor a label (what:
                    // the tag as typed; files: the nearest labels)
  // A text as a whole.
  kOddCount,    // the hex digits in its tags do not pair up
  kBadUtf8,     // not UTF-8; line and column of the bad sequence
  kUnreadable,  // can't be read; `io` says why
  kTooLong,     // `bytes` exceed its `room`; ch is the first character past it
  // A line of a plan (line).
  kBadLine,        // can't be read; `detail` says what is wrong
  kRoomPastEnd,    // an entry's room ends at `end`, past the game's `game_size` bytes
  kPastEnd,        // `part` ends at `end`, past the game's `game_size` bytes
  kOverlap,        // `part` shares bytes with `other_part` of line `other_line`
  kSameFile,       // the script file is the plan itself (other_line 0) or that of
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
  kBadHeader,      // a header line can't be read; `detail` says what is wrong
  kGameChanged,    // dumped from another game; `detail` says what differs
  kBadEntryLine,   // an @ line can't be read, or text stands before the first;
                   // `detail` says which
  kUnknownEntry,   // no string of the table has its first pointer at `entry`
  kRepeatedEntry,  // given again; its first is on line `other_line`
  kOriginalEdited, // its ";" lines are not the text the game holds
  kMissingEntry,   // none is given for the string at `at`
  kEndInText,      // the end `byte` stands inside the text (ch: where it comes from)
  kEndsInLead,     // the text ends in a lead byte, which would take the end byte
  kNoRoom,         // needs `bytes`, its room holds `room` and no space has them;
                   // `spaces` are those it may use; `what` names them as its
                   // script does (spaces=...), when not all
  kOutOfReach,     // as kNoRoom, but no space lies within reach of its pointers,
                   // which reach only `at`..`end`
  kAcrossBank,     // as kNoRoom, but the text would cross a bank boundary (of
                   // `number` bytes) in each space with room for it
  kCantPoint,      // `pointer` at `pointer_at` can't point at `at`, for `map_error`
  kTooWide,        // a line shows `bytes` characters, over the script's width= `room`
  kTooManyLines,   // the `bytes`th line of one box, over the script's lines= `room`
  // An entry of a game's .tbl (line; `what` is the entry as written).
  kTblNotAnEntry,     // none of the entry forms, nor a comment or a table id
  kTblBadCode,        // the code's digits are odd in number or not all hex
  kTblEmptyCode,      // no digits before "=" (or after the kind mark)
  kTblCodeTooLong,    // a code of more than 32 bytes
  kTblBadParams,      // a control code's ",N" is missing, not a number or over 8
  kTblNoLabel,        // a control code with nothing before its ",N", which decode
                      // would show as a tag that encode can't tell back
  kTblDuplicateCode,  // a second entry for a code; its first is on `other_line`
  kTblUnreachable,    // its code begins with the control code of `other_line`,
                      // which always wins and takes the bytes after it
  kTblSwitch,         // "!HEX=...": table switching, not supported yet
  kTblBreakInText,    // a line break ("\n") within an entry's text, not at its end
  // Warnings of check-tables about a .tbl that loads (line).
  kTblSameText,   // its text is also that of the code of `other_line`, the same kind
  kTblNeverRead,  // longer codes that begin with its code cover every next byte
  kTblSeveralTexts,  // a second text for the code of `other_line`
  kTblBeginsLonger,  // its bytes begin the longer code of `other_line`
  kTblHexLabel,      // its label is hex digits, which a tag reads as bytes
  kTblNotTypable,    // its text typed back is not this code: decode shows a tag
  kTblNoCodes,    // the whole file (line 0) holds no entry at all
  // An entry of a .tbl that the grid of the two table files can't hold (line,
  // `what`).
  kGridNotAnEntry,    // not HEX=TEXT: an end or control code, a line break with
                      // text, or a line that is no entry at all
  kGridCodeTooLong,   // a code of more than two bytes
  kGridNoLeadByte,    // a two-byte code whose first byte is no page's lead byte
  kGridReservedByte,  // a one-byte code at a lead byte, 24 or 50 (but the line
                      // break *24 and a space at 50)
  kGridOtherBreak,    // a line break at another code than 24, the tables' own
  kGridNotOneChar,    // the text is not exactly one UTF-16 unit
  kGridUnstorable,    // a comma, a space or a line end, which a table file can't hold
  // A word of a pointer format as given (`what`, the `number`th, 1-based; 0
  // when no word is at fault): `detail` (a kFormat... one) says what is wrong.
  kBadFormatWord,
  // Bytes put at a place in a file (file): the place starts at `at`.
  kPlacePastEnd,  // its room, or its bytes, end at `end`, past the file's `game_size` bytes
  kPlaceTooLong,  // `bytes` exceed its `room`; `detail`, when given, says what
                  // first does not fit (at line and column of the text)
  // A scan of a game (file) for the strings its pointers may lead to.
  kTooManyStrings,       // `number` runs of characters or more, of --min `other_number`
  kTooManyEndedStrings,  // as kTooManyStrings, of the runs that end in `byte`
  // A game (file) read again to make the patch of what was put into it.
  kChangedSinceRead,  // it changed while the texts were being laid out
  // A table file of the two (file; line).
  kTableUnreadable,     // can't be read; `io` says why
  kTableFewFields,      // a data line of `number` fields, fewer than `other_number`
  kTableManyLines,      // a data line past the `number` the file may hold
  kTableBadUtf8,        // bad UTF-8 (at column) in a file whose text before is UTF-8
  kTableBadUtf8Marked,  // the same in a file that starts with the UTF-8 mark
  kNoTableFolder,       // no folder holds the main table file (file); `files` are
                        // the folders looked in, in order
  // A code listing, at line and column of the character ch.
  kListingOddCount,  // the hex digits do not pair up; ch is the last of them
  kListingNotHex,    // a character neither a hex digit nor a space
  // A patch (file) made from an original (`what`) and its modified copy
  // (`other_what`), or applied to an original (`what`). `at` is the byte of
  // the patch where reading it goes wrong; `number` is what is expected and
  // `other_number` what was found.
  kIpsOutOfReach,        // a change at `at` of the modified copy is past what IPS reaches
  kNotReproduced,        // the patch made would not give back the modified copy,
                         // which differs from byte `at` on (a fault here)
  kNotAPatch,            // neither "PATCH" nor "BPS1" at the start
  kPatchCutShort,        // it ends inside a header, record, number or footer
  kPatchNoEof,           // an IPS patch without "EOF": it is damaged, not finished
  kPatchTrailing,        // bytes after the end that belong to nothing
  kPatchBadTruncation,   // IPS truncation to `other_number` bytes, past the `number` of the result
  kPatchNumberTooLarge,  // a BPS number that does not fit in 64 bits
  kPatchTargetTooLarge,  // the result would have `other_number` bytes, over `number`
  kPatchPastSource,      // an action reads past the end of the original
  kPatchPastTarget,      // an action writes past the result or copies what isn't there yet
  kPatchIncomplete,      // the actions end after `other_number` of the result's `number` bytes
  kPatchCrc,             // the patch's own CRC-32 is `other_number`; it records `number`
  kPatchSourceSize,      // the original has `other_number` bytes; the patch expects `number`
  kPatchSourceCrc,       // the original's CRC-32 is `other_number`; the patch expects `number`
  kPatchTargetCrc,       // the result's CRC-32 is `other_number`; the patch promises `number`
  // A word of kana to search for by the distances of its kana, in the order
  // `what` ("jis", "gojuon").
  kKanaTooFew,  // fewer than two different kana of the order: every place would match
  kKanaTooFar,  // its kana lie further apart in the order than one byte can step
};
// The last code above, so that a walk over every code misses none.
inline constexpr ProblemCode kLastProblemCode = ProblemCode::kKanaTooFar;

// Why a line of a plan or a script file can't be read, or why a script was
// dumped from another game: the `reason` of kBadLine, kBadHeader,
// kGameChanged and kBadEntryLine. Each names its words and numbers in the
// fields of the problem, as the comment says.
enum class ProblemDetail {
  kNone,
  // A plan's line (what: the word the user wrote, other_line: a first line).
  kUnclosedQuote,       // a quote is not closed
  kQuoteNotFollowed,    // a quoted name runs into the next field
  kNulInName,           // the file name holds a NUL byte
  kEntryFieldCount,     // an entry line of `number` fields, not 3 or 4
  kBadOffset,           // the offset `what` is not a number
  kBadRoom,             // the room `what` is not a number
  kZeroRoom,            // the room is 0
  kBadFill,             // the fill `what` is not a byte
  kEmptyFileName,       // the file name is empty
  kFormatLine,          // a format line of too few fields
  kFormatNoType,        // format NAME without its TYPE
  kFormatUnknownType,   // `what` is not a TYPE
  kFormatUnknownWord,   // `what` is none of the format's words
  kFormatBadNumber,     // `what` needs a number
  kFormatBadValue,      // `what` is not one of map='s or relative='s values
  kFormatRepeated,      // `what` is given twice
  kFormatRelativeWith,  // relative= with header=, base= or map=
  kFormatBadRange,      // `what` is not window=LO..HI nor bank=N above 0
  kFormatNamedTwice,    // the format `what` is named on `other_line` too
  kSpaceLine,           // a space line of the wrong fields
  kBadRange,            // `what` is not a range
  kBadSpaceName,        // `what` is not a space's name
  kSpaceNamedTwice,     // the space `what` is named on `other_line` too
  kBadFillWord,         // `what` is not fill=XX
  kGrowLine,            // a grow line of the wrong fields
  kGrownTwice,          // the game is grown on `other_line` too
  kBadSize,             // the size `what` is not a number
  kGrowCuts,            // grow `number` is below the `game_size` of the game `what`
  kScriptLine,          // a script line without its file
  kUnknownScriptWord,   // `what` is none of a script line's words
  kScriptWordTwice,     // the word `what`= is given twice
  kNoTable,             // neither table= nor both lo= and hi=
  kStrideWithLoHi,      // stride= with lo= and hi=
  kScriptNeeds,         // the word `what`= is missing
  kBadNumberWord,       // `what`=`other_what`, which is not a number
  kBadByteWord,         // `what`=`other_what`, which is not a byte
  kBadRangeWord,        // `what`=`other_what`, which is not a range
  kUnknownFormat,       // no format line names `what`
  kSplitNeeds16,        // lo/hi with the format `what` of `number` bits
  kStrideTooSmall,      // stride= `number` below the pointer's width `other_number`
  kBadLayout,           // layout= `what`, neither slots nor pack
  kPackNeedsText,       // layout=pack without text=
  kBadAlign,            // align= `number`, not 1 to 65536
  kZeroMax,             // max=0
  kZeroLimit,           // `what`=0 (width or lines)
  kBadSkip,             // skip= `what`, not a list of numbers
  kBadSpacesList,       // spaces= `what`, not a list of names
  kUnknownSpace,        // spaces= names `what`, which no space line names
  // A script file's lines.
  kBadEntryIndex,    // an @ line without its decimal index
  kCommentInText,    // a ; line after the text of its entry began
  kEntryLineMissing, // ; lines after a blank line in a text: an @ line seems gone
  kBadGameLine,      // a #game line that can't be read
  kTextBeforeEntry,  // text before the first @ line
  kUnknownPointer,   // ptr= names `what`, no pointer of the table
  kFieldNotNumber,   // the field `what`= without a number
  kUnknownField,     // the field `what` is none of an @ line's
  kAtChanged,        // at= says `value`; the pointer leads to `at`
  kInChanged,        // in= says `value`; the string lies in the one at `at`
  kInChangedNone,    // in= says `value`; the string lies in no other
  kRoomChanged,      // room= says `number`; the string has `other_number` bytes
  kPtrNotOwn,        // ptr= does not start with the entry's own pointer, at `at`
  kPtrOtherString,   // ptr= lists the pointer at `value`, which leads elsewhere than `at`
  kPointerTwice,     // the pointer at `value` is in the entry of `other_line` too
  // A script's #game line.
  kNoGameLine,  // none
  kOtherGame,   // dumped from `what` of `number` bytes and CRC-32 `value`; the game
                // `other_what` has `game_size` bytes and CRC-32 `other_number`
  // What first does not fit the room of kPlaceTooLong.
  kFirstCharPast,  // the character ch
  kFirstPairPast,  // the pair of hex digits `number` of a listing
  // What a text of kBadUtf8 looks like instead.
  kLooksCp932,
  kLooksUtf16,
};
// The last detail above, so that a walk over every one misses none.
inline constexpr ProblemDetail kLastProblemDetail = ProblemDetail::kLooksUtf16;

// A part of a plan or of a script line that takes bytes of the game, as
// kPastEnd and kOverlap name it.
enum class PlanPartKind {
  kNone,
  kRoom,          // an entry's room
  kSpace,         // a space line's range
  kPointerTable,  // a script's pointer table
  kLoTable,       // the lo= table of a split script
  kHiTable,       // its hi= table
  kTextRange,     // a script's text=
  kTextBlock,     // the text= block that layout=pack lays out again
  kStringRoom,    // the room of a script's string, @`entry` at `at`
};
// The last kind above, so that a walk over every one misses none.
inline constexpr PlanPartKind kLastPlanPartKind = PlanPartKind::kStringRoom;

struct PlanPart {
  PlanPartKind kind = PlanPartKind::kNone;
  std::size_t entry = 0;
  std::uint64_t at = 0;
};

// A space a moving text may use, and the bytes it has left.
struct SpaceFree {
  std::string name;  // empty for a space without one
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t free = 0;
  bool across_bank = false;  // it has the bytes, but only across a bank boundary
  bool out_of_reach = false;  // the text's pointers can't lead there
};

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
  PlanPart part{};  // kPastEnd, kOverlap
  PlanPart other_part{};
  // Why, for the codes that say "`detail`", and the numbers it names.
  ProblemDetail detail = ProblemDetail::kNone;
  std::uint64_t number = 0;
  std::uint64_t other_number = 0;
  std::optional<IoError> io{};   // why a file can't be read (kUnreadable)
  std::vector<SpaceFree> spaces{};  // kNoRoom, kAcrossBank
  std::vector<std::string> files{};  // kNoTableFolder, kUnknownLabel; UTF-8
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
