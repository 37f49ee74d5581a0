#pragma once
// Every problem the programs tell a user, worded in English and in Japanese
// from one catalogue, ja.po, keyed by code. The caller chooses the language:
// nothing here keeps one.

#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "chartable/check.h"
#include "runtime/file.h"
#include "runtime/problem.h"
#include "runtime/text_file.h"
#include "scan/byte_scan.h"

namespace binconv::messages {

enum class Language { kEnglish, kJapanese };

// One message of the catalogue: its key (msgctxt), English (msgid) and
// Japanese (msgstr), UTF-8 with {name} placeholders.
struct Entry {
  std::string_view key;
  std::string_view english;
  std::string_view japanese;
};
// Every message, in key order.
std::span<const Entry> Catalogue();

// The value of the placeholder {name}, UTF-8, or nullopt for a name it does
// not know.
using Values = std::function<std::optional<std::string>(std::string_view name)>;

// The text of `key` with each {name} replaced by its value; a placeholder
// without one stays as it stands. A key the catalogue lacks gives the key.
std::string Format(Language language, std::string_view key, const Values& values);
// The same in UTF-16. A value that is not UTF-8 (a name from the system) is
// shown byte by byte rather than spoiling the rest.
std::u16string FormatUtf16(Language language, std::string_view key, const Values& values);

// The programs' own texts (help, summaries, progress) are keyed by their
// English, as gettext keys them, so that the code reads as what it says.
// Phrase marks a literal kept for later (an option's help) and Say words it
// in a language; tools/gen_messages.py finds both, as xgettext does, and
// refuses a catalogue that lacks the Japanese of one.
constexpr std::string_view Phrase(std::string_view english) { return english; }
std::string Say(Language language, std::string_view english);
// With {name} placeholders filled from `values`.
std::string Say(Language language, std::string_view english,
                std::initializer_list<std::pair<std::string_view, std::string>> values);

// The language a locale name asks for ("ja", "ja_JP.UTF-8", "en_GB"; "C"
// and "POSIX" are English); nullopt for one binconv doesn't speak.
std::optional<Language> LanguageOfLocale(std::string_view locale);
// The language the environment asks for, as gettext reads it: the first of
// LANGUAGE (a colon-separated list of preferences), LC_ALL, LC_MESSAGES and
// LANG that is set; nullopt when none is. `variable` gives a variable's
// value, or nullopt when it is unset.
std::optional<Language> LanguageOfEnvironment(
    const std::function<std::optional<std::string>(std::string_view)>& variable);

// "1 byte", "2 bytes".
std::string CountBytes(Language language, std::uint64_t n);

// A problem: its key is its code's name as ja.po spells it ("kTblBadCode");
// some take another form of it as their values say ("kSameFile.plan").
std::string_view KeyOf(ProblemCode code);
// A detail's key, "ProblemDetail.kBadRange"; empty for kNone.
std::string_view KeyOf(ProblemDetail detail);
std::string_view KeyOf(const Problem& problem);
Values ValuesOf(Language language, const Problem& problem);
// A part of a plan, "the pointer table".
std::string Word(Language language, const PlanPart& part);
// What is wrong, without where.
std::string Message(Language language, const Problem& problem);
std::u16string MessageUtf16(Language language, const Problem& problem);
// Where, then what: "FILE:LINE:COLUMN: message", "FILE:LINE: message" or
// "FILE: message"; a script's entry leads the message ("@N: ") unless it
// names the entry itself, and the plan's line follows.
std::string Describe(Language language, const Problem& problem);

// A finding of check-tables, "FILE:LINE:COLUMN: message" on one line.
// `file_names` is indexed by CellOrigin::file; a cell set by code is named
// by its code only.
std::string Message(Language language, const TableFinding& finding,
                    const std::array<std::string, 2>& file_names);

// Why a file could not be read or written: the system's own words when it
// has them in the language (English on POSIX, the user's language on
// Windows), else the catalogue's for the kind of failure.
std::string_view KeyOf(IoErrorCode code);
std::string_view KeyOf(IoDetail detail);
// {first}, {last}, {size}; {file} and {reason}: the file not put back, and why.
Values ValuesOf(Language language, const IoError& error);
std::string IoReason(Language language, const IoError& error);
std::u16string IoReasonUtf16(Language language, const IoError& error);
// "PATH: reason"
std::string Message(Language language, const IoError& error);

// Why no pointer of a format can lead to an offset.
std::string Message(Language language, PointerMapErrorCode code);
// Why pointers-to finds no pointer to `target` of the game named `game`.
std::string Message(Language language, const UnreachableTarget& target, std::string_view game);

// That the game named `game` is left as it was, after a problem that stopped
// bytes going into it.
std::string UnchangedMessage(Language language, std::string_view game);

// A file's problems are listed up to this many, then counted: a file in
// another format may have thousands, which would say no more.
inline constexpr std::size_t kMostProblemsListed = 20;
// "… and 3 more problems".
std::string MoreProblems(Language language, std::size_t n);

// Where the two table files are looked for, for the programs' --help: lines
// of at most 80 characters, ending in a line break.
std::string TableSearchHelp(Language language);
// "code page 932", "UTF-8".
std::string EncodingName(Language language, TextEncoding encoding);

}  // namespace binconv::messages
