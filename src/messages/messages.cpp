#include "messages/messages.h"

#include <algorithm>
#include <array>
#include <utility>

#include "runtime/describe.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::messages {
namespace {

constexpr Entry kCatalogue[] = {
#include "messages/catalogue.inc"
};

std::string_view TextOf(Language language, std::string_view key) {
  const auto* found =
      std::lower_bound(std::begin(kCatalogue), std::end(kCatalogue), key,
                       [](const Entry& e, std::string_view k) { return e.key < k; });
  if (found == std::end(kCatalogue) || found->key != key) return key;
  return language == Language::kJapanese ? found->japanese : found->english;
}

// Calls `text` for each run of the template's own text and `value` for each
// placeholder's value (or its braces, when it has none).
template <class Text, class Value>
void Fill(std::string_view source, const Values& values, Text&& text, Value&& value) {
  while (!source.empty()) {
    const std::size_t open = source.find('{');
    const std::size_t close = open == std::string_view::npos ? open : source.find('}', open);
    if (close == std::string_view::npos) {
      text(source);
      return;
    }
    text(source.substr(0, open));
    const std::string_view name = source.substr(open + 1, close - open - 1);
    if (std::optional<std::string> filled = values(name)) {
      value(*filled);
    } else {
      text(source.substr(open, close - open + 1));
    }
    source.remove_prefix(close + 1);
  }
}

// Line by line, so that one folder's name that is not UTF-8 leaves the
// others of a list as they are.
std::u16string Utf16Of(std::string_view utf8) {
  std::u16string out;
  for (;;) {
    const std::size_t end = std::min(utf8.find('\n'), utf8.size());
    const std::string_view line = utf8.substr(0, end);
    auto decoded = DecodeUtf8(line);
    out += decoded ? std::move(decoded).value() : std::u16string(line.begin(), line.end());
    if (end == utf8.size()) return out;
    out += u'\n';
    utf8.remove_prefix(end + 1);
  }
}

std::string Decimal(std::uint64_t n) { return std::to_string(n); }

}  // namespace

std::span<const Entry> Catalogue() { return kCatalogue; }

std::string Format(Language language, std::string_view key, const Values& values) {
  std::string out;
  const auto append = [&out](std::string_view part) { out += part; };
  Fill(TextOf(language, key), values, append, append);
  return out;
}

std::u16string FormatUtf16(Language language, std::string_view key, const Values& values) {
  std::u16string out;
  // The catalogue's own text is UTF-8 (gen_messages.py reads it as such).
  Fill(
      TextOf(language, key), values, [&out](std::string_view part) { out += Utf16Of(part); },
      [&out](std::string_view part) { out += Utf16Of(part); });
  return out;
}

std::string CountBytes(Language language, std::uint64_t n) {
  return Format(language, n == 1 ? "count.byte" : "count.bytes",
                [n](std::string_view name) -> std::optional<std::string> {
                  if (name == "n") return Decimal(n);
                  return std::nullopt;
                });
}

// Problems.

std::string_view KeyOf(ProblemCode code) {
  switch (code) {
    case ProblemCode::kNoCode:
      return "kNoCode";
    case ProblemCode::kNotHexInTag:
      return "kNotHexInTag";
    case ProblemCode::kNoParams:
      return "kNoParams";
    case ProblemCode::kNoLineBreakCode:
      return "kNoLineBreakCode";
    case ProblemCode::kOddCount:
      return "kOddCount";
    case ProblemCode::kBadUtf8:
      return "kBadUtf8";
    case ProblemCode::kUnreadable:
      return "kUnreadable";
    case ProblemCode::kTooLong:
      return "kTooLong";
    case ProblemCode::kBadLine:
      return "kBadLine";
    case ProblemCode::kRoomPastEnd:
      return "kRoomPastEnd";
    case ProblemCode::kPastEnd:
      return "kPastEnd";
    case ProblemCode::kOverlap:
      return "kOverlap";
    case ProblemCode::kSameFile:
      return "kSameFile";
    case ProblemCode::kGrowPastPatch:
      return "kGrowPastPatch";
    case ProblemCode::kPointerUnmapped:
      return "kPointerUnmapped";
    case ProblemCode::kPointerOutside:
      return "kPointerOutside";
    case ProblemCode::kNoTerminator:
      return "kNoTerminator";
    case ProblemCode::kStringTooLong:
      return "kStringTooLong";
    case ProblemCode::kStringsOverlap:
      return "kStringsOverlap";
    case ProblemCode::kIntoTable:
      return "kIntoTable";
    case ProblemCode::kNotScript:
      return "kNotScript";
    case ProblemCode::kBadHeader:
      return "kBadHeader";
    case ProblemCode::kGameChanged:
      return "kGameChanged";
    case ProblemCode::kBadEntryLine:
      return "kBadEntryLine";
    case ProblemCode::kUnknownEntry:
      return "kUnknownEntry";
    case ProblemCode::kRepeatedEntry:
      return "kRepeatedEntry";
    case ProblemCode::kMissingEntry:
      return "kMissingEntry";
    case ProblemCode::kEndInText:
      return "kEndInText";
    case ProblemCode::kEndsInLead:
      return "kEndsInLead";
    case ProblemCode::kNoRoom:
      return "kNoRoom";
    case ProblemCode::kOutOfReach:
      return "kOutOfReach";
    case ProblemCode::kAcrossBank:
      return "kAcrossBank";
    case ProblemCode::kCantPoint:
      return "kCantPoint";
    case ProblemCode::kTooWide:
      return "kTooWide";
    case ProblemCode::kTooManyLines:
      return "kTooManyLines";
    case ProblemCode::kTblNotAnEntry:
      return "kTblNotAnEntry";
    case ProblemCode::kTblBadCode:
      return "kTblBadCode";
    case ProblemCode::kTblEmptyCode:
      return "kTblEmptyCode";
    case ProblemCode::kTblCodeTooLong:
      return "kTblCodeTooLong";
    case ProblemCode::kTblNoText:
      return "kTblNoText";
    case ProblemCode::kTblBadParams:
      return "kTblBadParams";
    case ProblemCode::kTblNoLabel:
      return "kTblNoLabel";
    case ProblemCode::kTblDuplicateCode:
      return "kTblDuplicateCode";
    case ProblemCode::kTblUnreachable:
      return "kTblUnreachable";
    case ProblemCode::kTblSwitch:
      return "kTblSwitch";
    case ProblemCode::kTblSameText:
      return "kTblSameText";
    case ProblemCode::kTblNeverRead:
      return "kTblNeverRead";
    case ProblemCode::kTblNoCodes:
      return "kTblNoCodes";
    case ProblemCode::kGridNotAnEntry:
      return "kGridNotAnEntry";
    case ProblemCode::kGridCodeTooLong:
      return "kGridCodeTooLong";
    case ProblemCode::kGridNoLeadByte:
      return "kGridNoLeadByte";
    case ProblemCode::kGridReservedByte:
      return "kGridReservedByte";
    case ProblemCode::kGridOtherBreak:
      return "kGridOtherBreak";
    case ProblemCode::kGridNotOneChar:
      return "kGridNotOneChar";
    case ProblemCode::kGridUnstorable:
      return "kGridUnstorable";
  }
  return {};
}

std::string_view KeyOf(const Problem& p) {
  switch (p.code) {
    case ProblemCode::kSameFile:
      return p.other_line == 0 ? "kSameFile.plan" : "kSameFile";
    case ProblemCode::kGrowPastPatch:
      return p.what == "IPS" ? "kGrowPastPatch.ips" : "kGrowPastPatch";
    case ProblemCode::kEndInText:
      return p.ch != 0 ? "kEndInText.from" : "kEndInText";
    case ProblemCode::kNoRoom:
      // `what` names the spaces the script may use; no reason: no space line.
      if (p.what.empty()) return p.reason.empty() ? "kNoRoom.no_spaces" : "kNoRoom";
      return p.reason.empty() ? "kNoRoom.named.no_spaces" : "kNoRoom.named";
    case ProblemCode::kPointerUnmapped:
      switch (p.map_error) {
        case PointerMapErrorCode::kBeforeStart:
          return "kPointerUnmapped.before_start";
        case PointerMapErrorCode::kPastLastOffset:
          return "kPointerUnmapped.past_last_offset";
        case PointerMapErrorCode::kOutsideWindow:
          return "kPointerUnmapped.outside_window";
        default:
          return "kPointerUnmapped";
      }
    case ProblemCode::kPointerOutside:
      return p.at >= p.game_size ? "kPointerOutside.past_end" : "kPointerOutside";
    case ProblemCode::kCantPoint:
      switch (p.map_error) {
        case PointerMapErrorCode::kDoesNotFit:
          return "kCantPoint.does_not_fit";
        case PointerMapErrorCode::kBelowHeader:
          return "kCantPoint.below_header";
        case PointerMapErrorCode::kOutsideWindow:
          return "kCantPoint.outside_window";
        default:
          return "kCantPoint";
      }
    default:
      return KeyOf(p.code);
  }
}

Values ValuesOf(Language language, const Problem& p) {
  return [language, &p](std::string_view name) -> std::optional<std::string> {
    if (name == "file") return p.file;
    if (name == "line") return Decimal(p.line);
    if (name == "column") return Decimal(p.column);
    if (name == "plan_line") return Decimal(p.plan_line);
    if (name == "other_line") return Decimal(p.other_line);
    if (name == "entry") return Decimal(p.entry.value_or(0));
    if (name == "pointer") return Decimal(p.pointer);
    if (name == "bytes") return Decimal(p.bytes);
    if (name == "room") return Decimal(p.room);
    if (name == "ch") return DescribeChar(p.ch);
    if (name == "pointer_at") return HexNumber(p.pointer_at);
    if (name == "value") return HexNumber(p.value);
    if (name == "at") return HexNumber(p.at);
    if (name == "end") return HexNumber(p.end);
    if (name == "byte") return HexNumber(p.byte).substr(2);  // as it stands in a tag
    if (name == "what") return p.what;
    if (name == "other_what") return p.other_what;
    if (name == "reason") return p.reason;
    if (name == "game_bytes") return CountBytes(language, p.game_size);
    if (name == "span_bytes") return CountBytes(language, p.end - p.at);
    if (name == "over_bytes") return CountBytes(language, p.bytes - p.room);
    if (name == "room_bytes") return CountBytes(language, p.room);
    if (name == "size_bytes") return CountBytes(language, p.bytes);
    return std::nullopt;
  };
}

std::string Message(Language language, const Problem& problem) {
  return Format(language, KeyOf(problem), ValuesOf(language, problem));
}

std::u16string MessageUtf16(Language language, const Problem& problem) {
  return FormatUtf16(language, KeyOf(problem), ValuesOf(language, problem));
}

std::string Describe(Language language, const Problem& p) {
  std::string where = p.file;
  if (p.line != 0) where += ":" + Decimal(p.line);
  if (p.line != 0 && p.column != 0) where += ":" + Decimal(p.column);
  where += ": ";
  if (p.entry && !FoundNoRoom(p.code)) where += "@" + Decimal(*p.entry) + ": ";
  std::string text = where + Message(language, p);
  if (p.plan_line != 0) text += Format(language, "Problem.plan_line", ValuesOf(language, p));
  return text;
}

// Table files.

std::string_view KeyOf(const TableError& error) {
  switch (error.code) {
    case TableErrorCode::kCannotOpen:
      return "TableError.kCannotOpen";
    case TableErrorCode::kTooFewFields:
      return "TableError.kTooFewFields";
    case TableErrorCode::kTooManyDataLines:
      return "TableError.kTooManyDataLines";
    case TableErrorCode::kInvalidUtf8:
      // Why the file was taken for UTF-8: its mark, or the valid text before.
      return error.encoding == TextEncoding::kUtf8Bom ? "TableError.kInvalidUtf8.bom"
                                                      : "TableError.kInvalidUtf8";
  }
  return {};
}

Values ValuesOf(Language language, const TableError& error) {
  return [language, &error](std::string_view name) -> std::optional<std::string> {
    if (name == "file") return error.file;
    if (name == "line") return Decimal(error.line);
    if (name == "column") return Decimal(error.column);
    if (name == "fields") return Decimal(error.fields);
    if (name == "limit") return Decimal(error.limit);
    if (name == "min") return Decimal(kMinFields);
    if (name == "reason") {
      return IoReason(language,
                      IoError{error.io_code, error.file, error.system_error, error.reason});
    }
    return std::nullopt;
  };
}

std::string Message(Language language, const TableError& error) {
  return Format(language, KeyOf(error), ValuesOf(language, error));
}

std::u16string MessageUtf16(Language language, const TableError& error) {
  return FormatUtf16(language, KeyOf(error), ValuesOf(language, error));
}

Values ValuesOf(Language, const TableFolderError& error) {
  return [&error](std::string_view name) -> std::optional<std::string> {
    if (name == "file") return std::string(kMainTableFile);
    if (name == "folders") {
      std::string folders;
      for (const std::filesystem::path& folder : error.tried)
        folders += "\n  " + PathToUtf8(folder);
      return folders;
    }
    return std::nullopt;
  };
}

std::string Message(Language language, const TableFolderError& error) {
  return Format(language, "TableFolderError.kNotFound", ValuesOf(language, error));
}

std::u16string MessageUtf16(Language language, const TableFolderError& error) {
  return FormatUtf16(language, "TableFolderError.kNotFound", ValuesOf(language, error));
}

// Files.

std::string_view KeyOf(IoErrorCode code) {
  switch (code) {
    case IoErrorCode::kNotFound:
      return "IoErrorCode.kNotFound";
    case IoErrorCode::kPermissionDenied:
      return "IoErrorCode.kPermissionDenied";
    case IoErrorCode::kIsDirectory:
      return "IoErrorCode.kIsDirectory";
    case IoErrorCode::kDiskFull:
      return "IoErrorCode.kDiskFull";
    case IoErrorCode::kInvalidName:
      return "IoErrorCode.kInvalidName";
    case IoErrorCode::kInUse:
      return "IoErrorCode.kInUse";
    case IoErrorCode::kReservedName:
      return "IoErrorCode.kReservedName";
    case IoErrorCode::kOutOfRange:
      return "IoErrorCode.kOutOfRange";
    case IoErrorCode::kNotRegularFile:
      return "IoErrorCode.kNotRegularFile";
    case IoErrorCode::kOther:
      return "IoErrorCode.kOther";
  }
  return {};
}

std::string IoReason(Language language, const IoError& error) {
  if (language == Language::kEnglish && !error.reason.empty()) return error.reason;
  if (language == Language::kJapanese) {
    const std::u16string reason = LocalizedSystemReason(error.system_error);
    if (!reason.empty()) return EncodeUtf8(reason);
  }
  return std::string(TextOf(language, KeyOf(error.code)));
}

std::u16string IoReasonUtf16(Language language, const IoError& error) {
  return Utf16Of(IoReason(language, error));
}

std::string Message(Language language, const IoError& error) {
  return error.path + ": " + IoReason(language, error);
}

}  // namespace binconv::messages
