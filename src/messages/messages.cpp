#include "messages/messages.h"

#include <algorithm>
#include <array>
#include <utility>

#include "chartable/encoding.h"
#include "runtime/describe.h"
#include "runtime/hex.h"
#include "runtime/utf8.h"

namespace binconv::messages {
namespace {

constexpr Entry kCatalogue[] = {
#include "messages/catalogue.inc"
};

#include "messages/keys.inc"
static_assert(std::size(kProblemCodeKeys) == static_cast<std::size_t>(kLastProblemCode) + 1);
static_assert(std::size(kProblemDetailKeys) == static_cast<std::size_t>(kLastProblemDetail) + 1);

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

// "1 field", "2 fields": `noun` counted as the catalogue's count.NOUN and
// count.NOUNs word it.
std::string Count(Language language, std::string_view noun, std::uint64_t n) {
  std::string key = "count." + std::string(noun);
  if (n != 1) key += 's';
  return Format(language, key, [n](std::string_view name) -> std::optional<std::string> {
    if (name == "n") return Decimal(n);
    return std::nullopt;
  });
}

// "NAME 0x40..0x4F: 16 free, ...": the spaces, or of them those that have
// the bytes only across a bank boundary.
std::string SpaceList(Language language, const std::vector<SpaceFree>& spaces, bool across_only) {
  std::string list;
  for (const SpaceFree& space : spaces) {
    if (across_only && !space.across_bank) continue;
    if (!list.empty()) list += TextOf(language, "list.joint");
    const std::string range = HexNumber(space.first) + ".." + HexNumber(space.last);
    list += Format(language, space.out_of_reach ? "SpaceFree.out_of_reach" : "SpaceFree", [&](std::string_view name) -> std::optional<std::string> {
      if (name == "space") return space.name.empty() ? range : space.name + " " + range;
      if (name == "free") return Decimal(space.free);
      return std::nullopt;
    });
  }
  return list;
}

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

std::string Say(Language language, std::string_view english) {
  return std::string(TextOf(language, english));
}

std::string Say(Language language, std::string_view english,
                std::initializer_list<std::pair<std::string_view, std::string>> values) {
  return Format(language, english, [&values](std::string_view name) -> std::optional<std::string> {
    for (const auto& [key, value] : values) {
      if (key == name) return value;
    }
    return std::nullopt;
  });
}

std::optional<Language> LanguageOfLocale(std::string_view locale) {
  // "ja_JP.UTF-8@variant": the language is what comes before _ . @
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
  if (language == "ja") return Language::kJapanese;
  if (language == "en" || language == "C" || language == "POSIX") return Language::kEnglish;
  return std::nullopt;
}

std::optional<Language> LanguageOfEnvironment(
    const std::function<std::optional<std::string>(std::string_view)>& variable) {
  for (const std::string_view name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::optional<std::string> value = variable(name);
    if (!value || value->empty()) continue;
    // A list of preferences: the first one spoken. One set but naming no
    // language spoken here gives English, as gettext gives its untranslated
    // texts, rather than a later variable's.
    std::string_view list = *value;
    while (!list.empty()) {
      const std::size_t end = std::min(list.find(':'), list.size());
      if (const auto language = LanguageOfLocale(list.substr(0, end))) return language;
      list.remove_prefix(std::min(end + 1, list.size()));
    }
    return Language::kEnglish;
  }
  return std::nullopt;
}

std::string CountBytes(Language language, std::uint64_t n) { return Count(language, "byte", n); }

// Problems.

std::string_view KeyOf(ProblemCode code) {
  const auto n = static_cast<std::size_t>(code);
  return n < std::size(kProblemCodeKeys) ? kProblemCodeKeys[n] : std::string_view();
}

std::string_view KeyOf(ProblemDetail detail) {
  const auto n = static_cast<std::size_t>(detail);
  return n < std::size(kProblemDetailKeys) ? kProblemDetailKeys[n] : std::string_view();
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
      if (p.what.empty()) return p.spaces.empty() ? "kNoRoom.no_spaces" : "kNoRoom";
      return p.spaces.empty() ? "kNoRoom.named.no_spaces" : "kNoRoom.named";
    case ProblemCode::kOutOfReach:
      return p.what.empty() ? "kOutOfReach" : "kOutOfReach.named";
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
    case ProblemCode::kBadFormatWord:
      switch (p.detail) {
        case ProblemDetail::kFormatNoType:
          return "kBadFormatWord.no_type";
        case ProblemDetail::kFormatUnknownType:
          return "kBadFormatWord.unknown_type";
        case ProblemDetail::kFormatBadNumber:
          return "kBadFormatWord.bad_number";
        case ProblemDetail::kFormatBadValue:
          return "kBadFormatWord.bad_value";
        case ProblemDetail::kFormatRepeated:
          return "kBadFormatWord.repeated";
        case ProblemDetail::kFormatRelativeWith:
          return "kBadFormatWord.relative_with";
        case ProblemDetail::kFormatBadRange:
          return "kBadFormatWord.bad_range";
        default:
          return "kBadFormatWord";
      }
    case ProblemCode::kNoParams:
      // `what`: the one tag its parameters make, typed as tags of their own.
      return p.what.empty() ? "kNoParams" : "kNoParams.one_tag";
    case ProblemCode::kBadUtf8:
      return p.detail == ProblemDetail::kNone ? "kBadUtf8" : "kBadUtf8.looks";
    case ProblemCode::kPlaceTooLong:
      return p.detail == ProblemDetail::kNone ? "kPlaceTooLong" : "kPlaceTooLong.located";
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
    if (name == "what") return p.part.kind != PlanPartKind::kNone ? Word(language, p.part) : p.what;
    if (name == "other_what") {
      return p.other_part.kind != PlanPartKind::kNone ? Word(language, p.other_part) : p.other_what;
    }
    if (name == "reason") {
      if (p.io) return IoReason(language, *p.io);
      return Format(language, KeyOf(p.detail), ValuesOf(language, p));
    }
    if (name == "number") return Decimal(p.number);
    if (name == "other_number") return Decimal(p.other_number);
    if (name == "number_hex") return HexNumber(p.number);
    if (name == "number_bytes") return CountBytes(language, p.number);
    if (name == "field_count") return Count(language, "field", p.number);
    if (name == "crc") return HexText(p.value, 8, HexCase::kLower);
    if (name == "other_crc") return HexText(p.other_number, 8, HexCase::kLower);
    if (name == "free_spaces") return SpaceList(language, p.spaces, false);
    if (name == "across_spaces") return SpaceList(language, p.spaces, true);
    if (name == "game_bytes") return CountBytes(language, p.game_size);
    if (name == "span_bytes") return CountBytes(language, p.end - p.at);
    if (name == "over_bytes") return CountBytes(language, p.bytes - p.room);
    if (name == "room_bytes") return CountBytes(language, p.room);
    if (name == "size_bytes") return CountBytes(language, p.bytes);
    if (name == "other_number_bytes") return CountBytes(language, p.other_number);
    if (name == "number_crc") return HexNumber(p.number, 8);
    if (name == "other_number_crc") return HexNumber(p.other_number, 8);
    if (name == "byte_digits") return HexText(p.byte, 2);
    if (name == "labels") {
      std::string list;
      for (const std::string& label : p.files) {
        if (!list.empty()) list += TextOf(language, "list.joint");
        list += label;
      }
      return list;
    }
    if (name == "files_lines") {
      std::string lines;
      for (const std::string& file : p.files) lines += "\n  " + file;
      return lines;
    }
    return std::nullopt;
  };
}

std::string Word(Language language, const PlanPart& part) {
  static constexpr std::string_view kKeys[] = {
      "",
      "PlanPart.kRoom",
      "PlanPart.kSpace",
      "PlanPart.kPointerTable",
      "PlanPart.kLoTable",
      "PlanPart.kHiTable",
      "PlanPart.kTextRange",
      "PlanPart.kTextBlock",
      "PlanPart.kStringRoom",
  };
  static_assert(std::size(kKeys) == static_cast<std::size_t>(kLastPlanPartKind) + 1);
  const auto n = static_cast<std::size_t>(part.kind);
  if (n == 0 || n >= std::size(kKeys)) return {};
  return Format(language, kKeys[n], [&part](std::string_view name) -> std::optional<std::string> {
    if (name == "entry") return Decimal(part.entry);
    if (name == "at") return HexNumber(part.at);
    return std::nullopt;
  });
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

// Findings of check-tables.

namespace {

std::string PlaceOf(Language language, const CellOrigin& origin,
                    const std::array<std::string, 2>& file_names) {
  if (origin.line == 0) return std::string(TextOf(language, "TableFinding.set_by_code"));
  return file_names[origin.file] + ":" + Decimal(origin.line) + ":" + Decimal(origin.column);
}

// What conversion turns a character into, for a cell it never produces.
std::string_view MadeKey(char16_t ch) {
  switch (detail::ClassifySpecial(ch)) {
    case detail::Special::kTagOpen:
      return "TableFinding.made.tag_open";
    case detail::Special::kTagClose:
      return "TableFinding.made.tag_close";
    case detail::Special::kLineBreak:
      return "TableFinding.made.line_break";
    case detail::Special::kSpace:
      return "TableFinding.made.space";
    case detail::Special::kNone:
      break;
  }
  return "TableFinding.made.part_of_break";
}

// What a game reads a page 0 byte as.
std::string ReadAs(Language language, std::uint8_t byte) {
  if (const int page = PageOfLeadByte(byte); page != 0) {
    return Format(language, "TableFinding.read.lead_byte",
                  [page](std::string_view name) -> std::optional<std::string> {
                    if (name == "page") return Decimal(static_cast<std::uint64_t>(page));
                    return std::nullopt;
                  });
  }
  return std::string(TextOf(language, byte == kLineBreakByte ? "TableFinding.read.line_break"
                                                             : "TableFinding.read.space"));
}

std::string_view KeyOf(TableFindingKind kind) {
  switch (kind) {
    case TableFindingKind::kMultiChar:
      return "TableFinding.kMultiChar";
    case TableFindingKind::kShadowed:
      return "TableFinding.kShadowed";
    case TableFindingKind::kIntercepted:
      return "TableFinding.kIntercepted";
    case TableFindingKind::kReservedByte:
      return "TableFinding.kReservedByte";
  }
  return {};
}

}  // namespace

std::string Message(Language language, const TableFinding& finding,
                    const std::array<std::string, 2>& file_names) {
  const Values values = [&](std::string_view name) -> std::optional<std::string> {
    if (name == "cell") return DescribeText(finding.text);
    if (name == "code") return DescribeCode(finding.code);
    if (name == "count") return Decimal(finding.text.size());
    if (name == "winner") return DescribeCode(finding.winner);
    if (name == "winner_place") return PlaceOf(language, finding.winner_origin, file_names);
    if (name == "made") {
      return std::string(TextOf(language, MadeKey(finding.text.empty() ? u'\0' : finding.text[0])));
    }
    if (name == "byte") return HexByte(finding.code.byte());
    if (name == "read") return ReadAs(language, finding.code.byte());
    return std::nullopt;
  };
  std::string line;
  if (finding.origin.line != 0) line = PlaceOf(language, finding.origin, file_names) + ": ";
  return line + Format(language, KeyOf(finding.kind), values);
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

std::string_view KeyOf(IoDetail detail) {
  switch (detail) {
    case IoDetail::kNone:
      return {};
    case IoDetail::kNotWrittenYet:
      return "IoDetail.kNotWrittenYet";
    case IoDetail::kPastFileEnd:
      return "IoDetail.kPastFileEnd";
    case IoDetail::kCutShort:
      return "IoDetail.kCutShort";
    case IoDetail::kFileEnded:
      return "IoDetail.kFileEnded";
    case IoDetail::kEmptyName:
      return "IoDetail.kEmptyName";
    case IoDetail::kNotAFileName:
      return "IoDetail.kNotAFileName";
    case IoDetail::kReadPastEnd:
      return "IoDetail.kReadPastEnd";
    case IoDetail::kReadPastGame:
      return "IoDetail.kReadPastGame";
    case IoDetail::kResultDiffers:
      return "IoDetail.kResultDiffers";
    case IoDetail::kADirectory:
      return "IoDetail.kADirectory";
    case IoDetail::kBadNameCharacter:
      return "IoDetail.kBadNameCharacter";
    case IoDetail::kEndsInDotOrSpace:
      return "IoDetail.kEndsInDotOrSpace";
    case IoDetail::kNameTooLong:
      return "IoDetail.kNameTooLong";
    case IoDetail::kDeviceName:
      return "IoDetail.kDeviceName";
  }
  return {};
}

Values ValuesOf(Language language, const IoError& error) {
  return [language, &error](std::string_view name) -> std::optional<std::string> {
    if (name == "first") return Decimal(error.first);
    if (name == "last") return Decimal(error.last);
    if (name == "size") return Decimal(error.size);
    if (name == "file") return error.not_put_back;
    if (name == "part") return error.part;
    if (name == "reason") {
      return IoReason(language, IoErrorFromSystem(error.not_put_back, error.put_back_error));
    }
    return std::nullopt;
  };
}

std::string IoReason(Language language, const IoError& error) {
  std::string reason;
  if (error.detail != IoDetail::kNone) {
    reason = Format(language, KeyOf(error.detail), ValuesOf(language, error));
  } else if (language == Language::kEnglish && !error.reason.empty()) {
    reason = error.reason;
  } else if (const std::u16string system = language == Language::kJapanese
                                                ? LocalizedSystemReason(error.system_error)
                                                : std::u16string();
             !system.empty()) {
    reason = EncodeUtf8(system);
  } else {
    reason = TextOf(language, KeyOf(error.code));
  }
  if (error.read_only) reason += TextOf(language, "IoError.read_only");
  if (!error.not_put_back.empty()) {
    reason += Format(language, "IoError.not_put_back", ValuesOf(language, error));
    if (!error.kept_as.empty()) {
      reason += Format(language, "IoError.kept_as", [&error](std::string_view name) {
        return name == "file" ? std::optional<std::string>(error.kept_as) : std::nullopt;
      });
    }
  }
  return reason;
}

std::u16string IoReasonUtf16(Language language, const IoError& error) {
  return Utf16Of(IoReason(language, error));
}

std::string Message(Language language, const IoError& error) {
  return error.path + ": " + IoReason(language, error);
}

// Pointers-to and --into.

namespace {

constexpr std::string_view kMapErrorKeys[] = {
    "PointerMapErrorCode.kBelowHeader",   "PointerMapErrorCode.kDoesNotFit",
    "PointerMapErrorCode.kNotMappedBack", "PointerMapErrorCode.kNotAnAddress",
    "PointerMapErrorCode.kBeforeStart",   "PointerMapErrorCode.kPastLastOffset",
    "PointerMapErrorCode.kOutsideWindow",
};
static_assert(std::size(kMapErrorKeys) ==
              static_cast<std::size_t>(PointerMapErrorCode::kOutsideWindow) + 1);

std::string_view KeyIn(std::span<const std::string_view> keys, std::size_t n) {
  return n < keys.size() ? keys[n] : std::string_view();
}

}  // namespace

std::string Message(Language language, PointerMapErrorCode code) {
  return std::string(TextOf(language, KeyIn(kMapErrorKeys, static_cast<std::size_t>(code))));
}

std::string Message(Language language, const UnreachableTarget& target, std::string_view game) {
  return Format(language, target.why ? "UnreachableTarget" : "UnreachableTarget.past_end",
                [&](std::string_view name) -> std::optional<std::string> {
                  if (name == "offset") return OffsetHex(target.offset);
                  if (name == "game") return std::string(game);
                  if (name == "why" && target.why) return Message(language, *target.why);
                  return std::nullopt;
                });
}

std::string UnchangedMessage(Language language, std::string_view game) {
  return Format(language, "Problem.unchanged",
                [&](std::string_view name) -> std::optional<std::string> {
                  if (name == "file") return std::string(game);
                  return std::nullopt;
                });
}

namespace {
// A message without placeholders.
std::string Plain(Language language, std::string_view key) {
  return Format(language, key, [](std::string_view) { return std::optional<std::string>(); });
}
}  // namespace

std::string MoreProblems(Language language, std::size_t n) {
  return Format(language, "count.more_problems",
                [&](std::string_view name) -> std::optional<std::string> {
                  if (name == "n") return std::to_string(n);
                  return std::nullopt;
                });
}

std::string TableSearchHelp(Language language) { return Plain(language, "help.tables"); }

std::string EncodingName(Language language, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kCp932:
      return Plain(language, "TextEncoding.kCp932");
    case TextEncoding::kUtf8:
      return Plain(language, "TextEncoding.kUtf8");
    case TextEncoding::kUtf8Bom:
      return Plain(language, "TextEncoding.kUtf8Bom");
  }
  return std::to_string(static_cast<int>(encoding));
}

}  // namespace binconv::messages
