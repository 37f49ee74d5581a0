#pragma once
// --into GAME --at OFFSET [--room N] [--fill XX]: what write and encode share
// to put their bytes into an existing file instead of writing a new one.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/io.h"
#include "script/insert.h"
#include "script/placement.h"

namespace binconv::cli {

// The bytes go into GAME instead of -o's file, and then need --at.
inline constexpr OptionSpec kIntoOption{
    .name = "into",
    .value_name = "GAME",
    .help = Phrase("put the bytes into the existing file GAME instead of a new file"),
    .excludes = "output",
    .needs = "at"};
inline constexpr OptionSpec kAtOption{.name = "at",
                                      .value_name = "OFFSET",
                                      .help = Phrase("with --into: where the bytes go (decimal or 0x hex)"),
                                      .needs = "into"};
inline constexpr OptionSpec kRoomOption{
    .name = "room",
    .value_name = "N",
    .help = Phrase("with --into: the bytes may take N bytes at most; refuse a longer text"),
    .needs = "into"};
inline constexpr OptionSpec kFillOption{
    .name = "fill",
    .value_name = "XX",
    .help = Phrase("with --room: fill the rest of the room with the byte XX (hex)"),
    .needs = "into room"};

struct IntoTarget {
  std::filesystem::path game;
  Placement place;
  std::uint64_t game_size = 0;
};

// "1 byte", "2 bytes"
std::string ByteCount(messages::Language language, std::uint64_t n);

// The summary: each entry's bytes used and left, each script's texts that
// stayed, moved and are unchanged, and each space's bytes used and free.
std::vector<std::string> InsertSummaryLines(messages::Language language,
                                            const std::string& plan_name,
                                            const InsertResult& result);
// A place past the end of the file named `file` (kPlacePastEnd): "GAME:
// bytes 0x10 to 0x20 reach past its end (16 bytes)".
std::string DescribePastEnd(messages::Language language, const std::string& file,
                            Problem problem);

// The number (decimal or 0x hex) given with --NAME, if any.
Reported<std::optional<std::uint64_t>> NumberOption(const ParsedArgs& args, std::string_view name);

// What the options ask for: nullopt without --into. A bad number or byte, or
// a GAME that is not an existing regular file, is reported; a room that
// doesn't lie inside GAME too, before any input is read.
Reported<std::optional<IntoTarget>> ParseInto(const ParsedArgs& args);

// Checks the bytes against the room, fills it and replaces GAME with the
// patched copy. When the bytes are too long, `locate` names in the problem
// the first character (or pair) that doesn't fit, which `what` says:
// kFirstCharPast or kFirstPairPast.
Reported<> PatchInto(messages::Language language, const IntoTarget& target, std::vector<std::uint8_t> bytes,
                     const std::string& input_name, ProblemDetail what,
                     const std::function<bool(Problem&)>& locate);

}  // namespace binconv::cli
