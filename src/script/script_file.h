#pragma once
// The script file that dump writes and insert reads, UTF-8, read with or
// without a byte order mark and with LF or CR LF:
//
//   #binconv script 1
//   #game NAME size=N crc32=XXXXXXXX
//   #plan PLAN FILE
//
//   @N ptr=0x2810,0x2840 at=0x2010 room=14      (split tables: ptr=LO/HI)
//   ;each line of the original text
//   the text, its lines joined by line breaks (24)
//
// Lines before the first @ that start with "#" are the header. The ";" lines
// of an entry come before its text and are ignored by insert; one after a
// text line is refused, so that no line of a translation is lost unseen. Empty lines at the end of an entry are not part of
// it. A text that ends in a line break ends in the tag <24>; a text line
// whose first character would be ";", "@" or "#" starts with that
// character's tag instead; a code whose character would not come back the
// same is a tag, as decode writes it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chartable/char_table.h"
#include "codec/decode.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/result.h"
#include "script/script_plan.h"

namespace binconv {

struct ScriptGame {
  std::string name;  // the game's file name
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
};

// The CRC-32 of the whole game, read in pieces, as the #game line records it.
Result<std::uint32_t, IoError> GameCrc32(FileReader& game);

// The header of a script file.
std::string ScriptHeaderText(const ScriptGame& game, std::string_view plan_name,
                             std::string_view file);

// One entry as dump writes it: its @ line, the ";" lines of the original
// text, the text lines and a blank line.
// The decoder is made once for all entries: it works out from the table
// which codes come back the same.
void AppendScriptEntry(const ScriptSpec& def, const ScriptString& string,
                       const GameTable& encoding, Decoder& decoder, std::string& out);

// The text lines of `string` as AppendScriptEntry writes them.
std::vector<std::u16string> DumpedLinesOf(const ScriptSpec& def, const ScriptString& string,
                                          const GameTable& encoding, Decoder& decoder);

// The lines of the text of `bytes` (a string without its end byte), escaped
// as above; none for an empty text.
std::vector<std::u16string> ScriptLinesOf(std::span<const std::uint8_t> bytes,
                                          const GameTable& encoding, Decoder& decoder);

struct ScriptTextLine {
  std::size_t line = 0;  // 1-based, in the script file
  std::string_view text;
};

struct ScriptFileEntry {
  std::size_t index = 0;  // @N
  std::size_t line = 0;   // of its @ line
  std::vector<ScriptTextLine> lines;
  std::string_view fields{};  // the @ line after @N: ptr=, at=, room=
  // Its ";" lines, without the ";": the text the game held when it was dumped.
  std::vector<ScriptTextLine> original{};
};

struct ScriptFileContents {
  std::optional<ScriptGame> game;
  std::size_t game_line = 0;  // of the #game line
  std::size_t last_line = 0;
  std::vector<ScriptFileEntry> entries;  // in the file's order
};

// Reads a script file's entries from `bytes`, which must outlive the result.
// Problems are added with `shown` as the file's name.
ScriptFileContents ParseScriptFile(std::string_view bytes, const std::string& shown,
                                   std::vector<Problem>& problems);

// What an @ line's fields say: the pointers its text goes to, and where and
// how much room dump found. A field the line leaves out is nullopt.
struct EntryFields {
  std::optional<std::vector<std::size_t>> pointers;  // ptr=, as pointer indexes
  std::optional<std::uint64_t> at;
  std::optional<std::uint64_t> room;
  std::optional<std::uint64_t> inside;  // in=
  bool operator==(const EntryFields&) const = default;
};

// The fields dump writes for `string`: in= only for a tail.
EntryFields FieldsOf(const ScriptString& string);

// The @ line of entry `index`, without its line break:
// "@N ptr=... at=... room=... in=...", each field only when given.
std::string EntryLineOf(const ScriptSpec& def, std::size_t index, const EntryFields& fields);

// The fields of an entry's @ line, or nothing with a problem at its line.
std::optional<EntryFields> ReadEntryFields(const ScriptFileEntry& entry, const ScriptSpec& def,
                                           std::vector<Problem>& problems);

// Where every pointer of `string` stands, `separator` between them, as ptr=
// names them (with ','): OFFSET, or LO/HI for a split table.
std::string PointerListOf(const ScriptSpec& def, const ScriptString& string, char separator);

// The index of the pointer one ptr= item names; nothing when it names none.
std::optional<std::size_t> PointerNamed(const ScriptSpec& def, std::string_view item);

// Whether at=, in= and room= can stand for `string`: they say what dump
// found and are checked, not taken. False with why in `refused`.
bool FieldsAgainstString(const EntryFields& fields, const ScriptString& string,
                         Problem& refused);

// The bytes of an entry's text with the encoding's end for `end` after it
// (with a .tbl, none when the text ends with an end token), or nothing with
// the problems of its lines added (`shown` names the script file). The lines
// are joined by CR LF under LineBreaks::kCrLf (--exact), so that a lone CR
// or LF inside a line is looked up as a character there too.
std::optional<std::vector<std::uint8_t>> EncodeScriptEntry(const ScriptFileEntry& entry,
                                                           const GameTable& encoding,
                                                           std::optional<std::uint8_t> end,
                                                           const std::string& shown,
                                                           std::vector<Problem>& problems,
                                                           LineBreaks line_breaks = LineBreaks::kAny);

}  // namespace binconv
