#include "script/script_file.h"

#include <algorithm>

#include "chartable/encoding.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/string_end.h"
#include "runtime/crc32.h"
#include "runtime/hex.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "script/placement.h"

namespace binconv {
namespace {

constexpr std::string_view kMagic = "#binconv script 1";

// 1-based line and byte column of `offset`.
std::pair<std::size_t, std::size_t> LineAndByteColumnOf(std::string_view bytes,
                                                        std::size_t offset) {
  std::size_t line = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  return {line, offset - start + 1};
}

// A name on one header line: a control byte, and the backslash that marks
// them, as \xNN, which NameFromHeader reads back.
std::string NameOnHeader(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F && c != '\\') {
      out += c;
      continue;
    }
    out += "\\x";
    out += HexText(byte, 2);
  }
  return out;
}

std::string NameFromHeader(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::optional<std::uint8_t> byte =
        text.substr(i).starts_with("\\x") ? ParseByte(text.substr(i + 2, 2)) : std::nullopt;
    if (!byte) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(*byte);
    i += 3;
  }
  return out;
}

}  // namespace

Result<std::uint32_t, IoError> GameCrc32(FileReader& game) {
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  std::uint32_t crc = 0;
  for (std::uint64_t at = 0; at < game.size();) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), game.size() - at));
    if (auto read = game.ReadAt(at, std::span(buffer.data(), n)); !read) {
      return Unexpected(read.error());
    }
    crc = UpdateCrc32(crc, std::span(buffer.data(), n));
    at += n;
  }
  return crc;
}

std::string ScriptHeaderText(const ScriptGame& game, std::string_view plan_name,
                             std::string_view file) {
  const std::string crc = HexText(game.crc32, 8, HexCase::kLower);
  return std::string(kMagic) + "\n#game " + NameOnHeader(game.name) +
         " size=" + std::to_string(game.size) + " crc32=" + crc + "\n#plan " +
         NameOnHeader(plan_name) + " " + NameOnHeader(file) + "\n\n";
}

namespace {

// One unit of a string as a script line shows it: a line break, or the text
// the decoder gives for it.
struct ShownUnit {
  std::size_t size = 0;
  bool line_break = false;
};

// The unit at `bytes`' start, its text (for a line break, the text before
// the break) appended to `piece`.
ShownUnit ShowUnit(std::span<const std::uint8_t> bytes, const GameTable& encoding,
                   Decoder& decoder, std::u16string& piece) {
  const GameTable& game = encoding;
  const GameTableUnit unit = game.ReadUnit(bytes, true);
  ShownUnit shown;
  shown.size = unit.size;
  shown.line_break =
      unit.kind == GameUnitKind::kCode && game.codes()[unit.code].kind == GameCodeKind::kLineBreak;
  decoder.Feed(bytes.first(unit.size), piece);
  decoder.Flush(piece);
  if (shown.line_break && piece.ends_with(u'\n')) piece.pop_back();
  return shown;
}

// Whether `piece` can't stand as it is at the end of `line`: it would break
// the line, or start it as a comment, an entry or a header.
bool NeedsTag(std::u16string_view line, std::u16string_view piece) {
  const bool breaks_line = piece.find_first_of(u"\r\n") != std::u16string::npos;
  const bool marks_line =
      line.empty() && !piece.empty() && (piece[0] == u';' || piece[0] == u'@' || piece[0] == u'#');
  return breaks_line || marks_line;
}

}  // namespace

std::vector<std::u16string> ScriptLinesOf(std::span<const std::uint8_t> bytes,
                                          const GameTable& encoding, Decoder& decoder) {
  std::vector<std::u16string> lines;
  if (bytes.empty()) return lines;
  lines.emplace_back();
  std::u16string piece;
  for (std::size_t i = 0; i < bytes.size();) {
    piece.clear();
    const ShownUnit read = ShowUnit(bytes.subspan(i), encoding, decoder, piece);
    const std::span<const std::uint8_t> unit = bytes.subspan(i, read.size);
    i += read.size;
    std::u16string& line = lines.back();
    // A break at the very end would leave an empty last line, which is not
    // part of an entry: it is written as its tag.
    if (read.line_break && i != bytes.size() && !NeedsTag(line, piece)) {
      line += piece;
      lines.emplace_back();
      continue;
    }
    if (read.line_break || NeedsTag(line, piece)) {
      piece.clear();
      AppendHexTag(unit, piece);
    }
    line += piece;
  }
  std::u16string rest;
  decoder.Finish(rest);  // ready for the next string
  return lines;
}

std::vector<std::u16string> DumpedLinesOf(const ScriptSpec& def, const ScriptString& string,
                                          const GameTable& encoding, Decoder& decoder) {
  std::vector<std::u16string> lines = ScriptLinesOf(string.bytes, encoding, decoder);
  // An end other than the one insert adds stays in the text, which ends there.
  if (!string.end.empty() && EndBytesOf(encoding, def.end) != string.end) {
    if (lines.empty()) lines.emplace_back();
    std::u16string piece;
    decoder.Feed(string.end, piece);
    decoder.Finish(piece);
    if (piece.empty() || NeedsTag(lines.back(), piece)) {
      piece.clear();
      AppendHexTag(string.end, piece);
    }
    lines.back() += piece;
  }
  return lines;
}

namespace {

// Pointer `i` as ptr= names it.
std::string PointerName(const ScriptSpec& def, std::size_t i) {
  return def.split ? HexNumber(def.table + i) + "/" + HexNumber(def.hi + i)
                   : HexNumber(SiteOf(def, i).offset);
}

}  // namespace

std::string PointerListOf(const ScriptSpec& def, const ScriptString& string, char separator) {
  std::string list;
  for (const std::size_t i : string.pointers) {
    if (!list.empty()) list += separator;
    list += PointerName(def, i);
  }
  return list;
}

std::optional<std::size_t> PointerNamed(const ScriptSpec& def, std::string_view item) {
  const std::size_t slash = item.find('/');
  if (def.split != (slash != std::string_view::npos)) return std::nullopt;
  const std::optional<std::uint64_t> offset = ParseNumber(item.substr(0, slash));
  if (!offset || *offset < def.table) return std::nullopt;
  const std::uint64_t i = def.split ? *offset - def.table : (*offset - def.table) / def.stride;
  if (i >= def.count || SiteOf(def, i).offset != *offset) return std::nullopt;
  if (def.split && ParseNumber(item.substr(slash + 1)) != def.hi + i) return std::nullopt;
  return static_cast<std::size_t>(i);
}

EntryFields FieldsOf(const ScriptString& string) {
  return {string.pointers, string.at, string.room, string.inside};
}

std::string EntryLineOf(const ScriptSpec& def, std::size_t index, const EntryFields& fields) {
  std::string line = "@" + std::to_string(index);
  if (fields.pointers) {
    line += " ptr=";
    for (std::size_t k = 0; k < fields.pointers->size(); ++k) {
      line += (k == 0 ? "" : ",") + PointerName(def, (*fields.pointers)[k]);
    }
  }
  if (fields.at) line += " at=" + HexNumber(*fields.at);
  if (fields.room) line += " room=" + std::to_string(*fields.room);
  if (fields.inside) line += " in=" + HexNumber(*fields.inside);
  return line;
}

std::optional<EntryFields> ReadEntryFields(const ScriptFileEntry& entry, const ScriptSpec& def,
                                           std::vector<Problem>& problems) {
  EntryFields fields;
  std::string_view rest = entry.fields;
  while (true) {
    const std::size_t first = rest.find_first_not_of(" \t");
    if (first == std::string_view::npos) return fields;
    rest.remove_prefix(first);
    const std::string_view word = rest.substr(0, std::min(rest.find_first_of(" \t"), rest.size()));
    rest.remove_prefix(word.size());
    const std::string_view name = word.substr(0, word.find('='));
    const std::string_view value = word.substr(std::min(name.size() + 1, word.size()));
    Problem p{ProblemCode::kBadEntryLine, def.shown, entry.line};
    if (name == "ptr") {
      fields.pointers.emplace();
      for (std::size_t from = 0; from <= value.size() && p.detail == ProblemDetail::kNone;) {
        const std::size_t comma = std::min(value.find(',', from), value.size());
        const std::string_view item = value.substr(from, comma - from);
        if (const std::optional<std::size_t> i = PointerNamed(def, item)) {
          fields.pointers->push_back(*i);
        } else {
          p.detail = ProblemDetail::kUnknownPointer;
          p.what = item;
        }
        from = comma + 1;
      }
    } else if (name == "at" || name == "room" || name == "in") {
      (name == "at" ? fields.at : name == "room" ? fields.room : fields.inside) = ParseNumber(value);
      if (!ParseNumber(value)) {
        p.detail = ProblemDetail::kFieldNotNumber;
        p.what = name;
      }
    } else {
      p.detail = ProblemDetail::kUnknownField;
      p.what = word;
    }
    if (p.detail != ProblemDetail::kNone) {
      problems.push_back(std::move(p));
      return std::nullopt;
    }
  }
}

bool FieldsAgainstString(const EntryFields& fields, const ScriptString& string,
                         Problem& refused) {
  if (fields.at && *fields.at != string.at) {
    refused.detail = ProblemDetail::kAtChanged;
    refused.value = *fields.at;
    refused.at = string.at;
    return false;
  }
  if (fields.inside && fields.inside != string.inside) {
    refused.detail = string.inside ? ProblemDetail::kInChanged : ProblemDetail::kInChangedNone;
    refused.value = *fields.inside;
    refused.at = string.inside.value_or(0);
    return false;
  }
  if (fields.room && *fields.room != string.room) {
    refused.detail = ProblemDetail::kRoomChanged;
    refused.number = *fields.room;
    refused.other_number = string.room;
    return false;
  }
  return true;
}

void AppendScriptEntry(const ScriptSpec& def, const ScriptString& string,
                       const GameTable& encoding, Decoder& decoder, std::string& out) {
  out += EntryLineOf(def, string.index, FieldsOf(string)) + "\n";
  const std::vector<std::u16string> lines = DumpedLinesOf(def, string, encoding, decoder);
  for (const std::u16string& line : lines) {
    out += ';';
    AppendUtf8(line, out);
    out += '\n';
  }
  for (const std::u16string& line : lines) {
    AppendUtf8(line, out);
    out += '\n';
  }
  out += '\n';
}

namespace {

// NAME size=N crc32=XXXXXXXX of a #game line; nothing when it can't be read.
std::optional<ScriptGame> ReadGameLine(std::string_view rest) {
  ScriptGame game;
  // NAME may hold spaces: size= and crc32= are the last two words.
  const std::size_t crc_at = rest.rfind(" crc32=");
  const std::size_t size_at = rest.rfind(" size=", crc_at);
  std::optional<std::uint64_t> size;
  std::optional<std::uint64_t> crc;
  if (crc_at != std::string_view::npos && size_at != std::string_view::npos) {
    game.name = NameFromHeader(rest.substr(0, size_at));
    size = ParseNumber(rest.substr(size_at + 6, crc_at - size_at - 6));
    const std::string_view crc_text = rest.substr(crc_at + 7);
    if (crc_text.size() == 8) crc = ParseNumber("0x" + std::string(crc_text));
  }
  if (!size || !crc) return std::nullopt;
  game.size = *size;
  game.crc32 = static_cast<std::uint32_t>(*crc);
  return game;
}

// The index of an @ line; nothing when it isn't one.
std::optional<std::size_t> EntryIndexOf(std::string_view line) {
  const std::size_t digits_end = std::min(line.find_first_of(" \t"), line.size());
  const std::string_view digits = line.substr(1, digits_end - 1);
  // At most 19 digits, so that every index fits a std::size_t.
  const std::optional<std::uint64_t> index =
      digits.size() <= 19 ? ParseDecimal(digits) : std::nullopt;
  if (!index) return std::nullopt;
  return static_cast<std::size_t>(*index);
}

}  // namespace

ScriptFileContents ParseScriptFile(std::string_view bytes, const std::string& shown,
                                   std::vector<Problem>& problems) {
  ScriptFileContents contents;
  if (auto decoded = DecodeUtf8Text(bytes); !decoded) {
    Problem p{ProblemCode::kBadUtf8, shown};
    std::tie(p.line, p.column) = LineAndByteColumnOf(bytes, decoded.error().offset);
    p.detail = NotUtf8Detail(bytes, decoded.error().offset, true);
    problems.push_back(std::move(p));
    return contents;
  }
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  auto problem = [&](ProblemCode code, std::size_t line, ProblemDetail why = ProblemDetail::kNone) {
    Problem p{code, shown, line};
    p.detail = why;
    problems.push_back(std::move(p));
  };
  std::size_t line_number = 0;
  std::size_t at = 0;
  bool in_header = true;
  bool told_missing = false;  // the ; lines after a blank line, of an @ line gone
  while (at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    ++line_number;
    if (line_number == 1 && line != kMagic) {
      problem(ProblemCode::kNotScript, 1);
      return contents;
    }
    if (line.starts_with('@')) {
      in_header = false;
      if (const std::optional<std::size_t> index = EntryIndexOf(line)) {
        const std::size_t words = std::min(line.find_first_of(" \t"), line.size());
        contents.entries.push_back({*index, line_number, {}, line.substr(words)});
      } else {
        problem(ProblemCode::kBadEntryLine, line_number, ProblemDetail::kBadEntryIndex);
      }
    } else if (!in_header) {
      // After an @ line that can't be read there is no entry to add to.
      if (contents.entries.empty()) continue;
      std::vector<ScriptTextLine>& text = contents.entries.back().lines;
      if (!line.starts_with(';')) {
        text.push_back({line_number, line});
        told_missing = false;
      } else if (text.empty()) {
        contents.entries.back().original.push_back({line_number, line.substr(1)});
      } else if (text.back().text.empty()) {
        // After a blank line, ; lines start the next entry, whose @ line is
        // gone: said once, at the first of them.
        if (!told_missing) {
          problem(ProblemCode::kBadEntryLine, line_number, ProblemDetail::kEntryLineMissing);
        }
        told_missing = true;
      } else {
        problem(ProblemCode::kBadEntryLine, line_number, ProblemDetail::kCommentInText);
      }
    } else if (line.starts_with("#game ")) {
      if (const std::optional<ScriptGame> game = ReadGameLine(line.substr(6))) {
        contents.game = game;
        contents.game_line = line_number;
      } else {
        problem(ProblemCode::kBadHeader, line_number, ProblemDetail::kBadGameLine);
      }
    } else if (!line.empty() && !line.starts_with('#')) {
      problem(ProblemCode::kBadEntryLine, line_number, ProblemDetail::kTextBeforeEntry);
    }
  }
  if (line_number == 0) problem(ProblemCode::kNotScript, 0);
  contents.last_line = line_number;
  for (ScriptFileEntry& entry : contents.entries) {
    while (!entry.lines.empty() && entry.lines.back().text.empty()) entry.lines.pop_back();
  }
  return contents;
}

namespace {

// Where the game ends a string of `bytes`: the offsets of its end unit's
// first byte and of the byte after it; nullopt when nothing ends it.
std::optional<std::pair<std::size_t, std::size_t>> EndUnitIn(std::span<const std::uint8_t> bytes,
                                                             const GameTable& encoding,
                                                             std::optional<std::uint8_t> end) {
  StringEndReader ends(encoding, end);
  std::optional<StringEndReader::Ended> ended;
  std::size_t i = 0;
  while (i < bytes.size() && !ended) ended = ends.Feed(bytes[i++]);
  if (!ended) ended = ends.Finish();
  if (!ended) return std::nullopt;
  const std::size_t after = i - ended->past;
  return std::pair{after - ended->size, after};
}

// The entry's text bytes, and where each unit went in `offsets`: the lines
// are read as one text, since a line-break code may have a text of its own
// before the break.
std::vector<std::uint8_t> EncodeLines(const ScriptFileEntry& entry, const GameTable& encoding,
                                      LineBreaks line_breaks, const std::string& shown,
                                      std::vector<UnitOffset>& offsets,
                                      std::vector<Problem>& problems) {
  std::vector<std::uint8_t> bytes;
  const std::u16string_view joint = line_breaks == LineBreaks::kCrLf ? u"\r\n" : u"\n";
  Encoder encoder(encoding, line_breaks);
  encoder.set_offsets(&offsets);
  for (std::size_t k = 0; k < entry.lines.size(); ++k) {
    if (k != 0) encoder.Feed(joint, bytes);
    // Read as units, not as a file: a U+FEFF that starts a line is a
    // character like any other, never a byte order mark to drop. The file
    // was checked as UTF-8 when read.
    if (const auto units = DecodeUtf8(entry.lines[k].text)) encoder.Feed(units.value(), bytes);
  }
  encoder.Finish(bytes);
  for (const EncodeProblem& found : encoder.problems()) {
    Problem p = ToProblem(found, shown);
    p.line = entry.lines[std::min(found.line, entry.lines.size()) - 1].line;
    p.entry = entry.index;
    problems.push_back(std::move(p));
  }
  return bytes;
}

// Where in the entry's lines the unit that holds byte `byte` stands, named in
// `problem`: the line of the script file and the place there (the column
// after the line when it is the line break after it, with no character named).
void PlaceInLines(Problem& problem, const ScriptFileEntry& entry, LineBreaks line_breaks,
                  std::span<const UnitOffset> offsets, std::size_t byte) {
  const std::u16string_view joint = line_breaks == LineBreaks::kCrLf ? u"\r\n" : u"\n";
  std::u16string text;
  for (std::size_t k = 0; k < entry.lines.size(); ++k) {
    if (k != 0) text += joint;
    text += DecodeUtf8(entry.lines[k].text).value();
  }
  if (!PlaceByte(problem, text, offsets, byte)) {
    problem.line = 1;
    problem.column = 1;
    problem.ch = 0;
  }
  if (problem.ch == u'\r' || problem.ch == u'\n') problem.ch = 0;
  problem.line = entry.lines[std::min(problem.line, entry.lines.size()) - 1].line;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeScriptEntry(const ScriptFileEntry& entry,
                                                           const GameTable& encoding,
                                                           std::optional<std::uint8_t> end,
                                                           const std::string& shown,
                                                           std::vector<Problem>& problems,
                                                           LineBreaks line_breaks) {
  const std::size_t before = problems.size();
  std::vector<UnitOffset> offsets;
  std::vector<std::uint8_t> bytes =
      EncodeLines(entry, encoding, line_breaks, shown, offsets, problems);
  if (problems.size() != before) return std::nullopt;
  Problem p{ProblemCode::kEndsInLead, shown, entry.lines.empty() ? entry.line : entry.lines.back().line};
  p.entry = entry.index;
  auto found = EndUnitIn(bytes, encoding, end);
  // A text may end with an end of its own.
  if (!found || found->second != bytes.size()) {
    if (found) {
      // The game would stop at this end, inside the text.
      p.code = ProblemCode::kEndInText;
      p.byte = bytes[found->first];
      PlaceInLines(p, entry, line_breaks, offsets, found->first);
      problems.push_back(std::move(p));
      return std::nullopt;
    }
    const std::optional<std::vector<std::uint8_t>> end_bytes = EndBytesOf(encoding, end);
    bytes.insert(bytes.end(), end_bytes->begin(), end_bytes->end());
    // A lead byte or a control's parameters at the end would take the end.
    found = EndUnitIn(bytes, encoding, end);
    if (!found || found->second != bytes.size()) {
      problems.push_back(std::move(p));
      return std::nullopt;
    }
  }
  return bytes;
}

}  // namespace binconv
