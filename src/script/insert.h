#pragma once
// The insert job: every text of a plan into its room and every script laid
// out again, all or nothing. The whole plan is read, every text encoded and
// every room checked before anything is written; the game is then replaced
// once with all of it (WriteInserted).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "codec/convert.h"
#include "runtime/file.h"
#include "script/job.h"

namespace binconv {

struct InsertInput : JobInput {
  LineBreaks line_breaks;  // of the entries' texts; script files take any
  FileSource read_file = ReadFileBytes;
};

// One write over the game: its bytes, then `fill_count` times `fill`.
struct GameWrite {
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> bytes{};
  std::uint64_t fill_count = 0;
  std::uint8_t fill = 0;
};

// What the summary says of an OFFSET ROOM FILE entry.
struct InsertedEntry {
  std::size_t line = 0;
  std::string file{};
  std::uint64_t offset = 0;
  std::uint64_t used = 0;
  std::uint64_t room = 0;
  bool filled = false;
};

struct InsertedScript {
  std::string shown{};
  std::size_t strings = 0;
  std::size_t moved = 0;
  std::size_t shared = 0;  // moved onto an identical text
  std::size_t unchanged = 0;  // whose bytes are those the game had
};

struct SpaceUsed {
  std::string name{};  // empty: unnamed
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t used = 0;
  std::uint64_t free = 0;
};

// Where one string of a script went.
struct MapRow {
  std::string script{};  // as the plan names its file
  std::size_t index = 0;
  std::string pointers{};  // PointerListOf, ';' between them
  std::uint64_t old_offset = 0;
  std::uint64_t new_offset = 0;
  std::size_t bytes = 0;
};

struct InsertResult {
  // Fills first, then texts, then pointers and the entries' texts.
  std::vector<GameWrite> writes{};
  std::vector<InsertedEntry> entries{};
  std::vector<InsertedScript> scripts{};
  std::vector<SpaceUsed> spaces{};
  std::vector<MapRow> map{};
  std::size_t texts = 0;  // entries and the strings of every script
  std::uint64_t size = 0;  // of the game written: past the game's, a grow line's
};

// Everything checked, encoded and laid out; or every problem found (the
// entries' first, then the scripts'), or the game's read error.
Result<InsertResult, JobError> InsertPlan(const InsertInput& input);

// The writes as patches; they point into `writes`.
std::vector<FilePatch> PatchesOf(std::span<const GameWrite> writes);

// Replaces `game` once, atomically, with every write applied; or, with an
// `output`, writes it as the patched copy of `game`. `owner_kept` as
// PatchFileAtomically tells it; `size` past the game's end grows it.
Result<Unit, IoError> WriteInserted(std::span<const GameWrite> writes,
                                    const std::filesystem::path& game,
                                    const std::filesystem::path* output,
                                    FileOps& ops = SystemFileOps(), bool* owner_kept = nullptr,
                                    std::uint64_t size = 0);

}  // namespace binconv
