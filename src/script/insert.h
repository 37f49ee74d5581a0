#pragma once
// The insert job: every text of a plan into its room and every script laid
// out again, all or nothing. The whole plan is read, every text encoded and
// every room checked before anything is written; the game is then replaced
// once with all of it (WriteInserted).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "codec/convert.h"
#include "patch/patch_format.h"
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

// Where an insert's result goes, the files named as given (UTF-8): GAME
// replaced in place, or ORIGINAL read and OUTPUT written as its patched copy;
// and a patch from the game to the result.
struct InsertTarget {
  std::string game;  // the game read: GAME or ORIGINAL
  bool in_place = false;
  std::optional<std::string> output;
  std::optional<std::string> patch;
  PatchFormat patch_format = PatchFormat::kBps;

  // False for ORIGINAL with PATCH alone, which writes only the patch.
  bool writes_game() const { return in_place || output.has_value(); }
  // What the texts are put into, as the last line names it.
  const std::string& written_name() const;
};

// The problem of a grow line past the largest result the patch `target`
// asks for can give back, told before any work; nullopt when there is none.
std::optional<Problem> GrowPastPatch(const Plan& plan, const std::string& plan_name,
                                     const InsertTarget& target);

// Everything checked, encoded and laid out; or every problem found (the
// entries' first, then the scripts'), or the game's read error.
Result<InsertResult, JobError> InsertPlan(const InsertInput& input);

// The writes as patches; they point into `writes`.
std::vector<FilePatch> PatchesOf(std::span<const GameWrite> writes);

// Whether `result` changes nothing of a game of `game_size` bytes patched in
// place without a patch: the file is then not even copied.
bool ChangesNothing(const InsertTarget& target, const InsertResult& result,
                    std::uint64_t game_size);

// The patch from the game, as `original` reads now, to it with `writes` over
// it and `size` bytes long, made and checked; `progress` hears how far the
// result has been read over every pass. kChangedSinceRead when the game is no
// longer what the writes were laid out over: shorter than the result, or too
// short for a write.
Result<std::vector<std::uint8_t>, PatchFileError> MakeInsertPatch(
    PatchFormat format, FileReader& original, std::span<const GameWrite> writes, std::uint64_t size,
    std::function<void(std::uint64_t)> progress = {});

// The patch (when there is one) staged, the game written as `target` says
// through `ops`, and only then the patch put in place, so that a failure
// leaves neither. `owner_kept` as WriteInserted tells it.
Result<Unit, IoError> WriteInsert(const InsertTarget& target, std::span<const GameWrite> writes,
                                  std::uint64_t size,
                                  const std::optional<std::vector<std::uint8_t>>& patch,
                                  FileOps& ops, bool* owner_kept);

// The --map CSV: a header, then one line per row.
std::string InsertMapCsv(std::span<const MapRow> rows);

// Replaces `game` once, atomically, with every write applied; or, with an
// `output`, writes it as the patched copy of `game`. `owner_kept` as
// PatchFileAtomically tells it; `size` past the game's end grows it.
Result<Unit, IoError> WriteInserted(std::span<const GameWrite> writes,
                                    const std::filesystem::path& game,
                                    const std::filesystem::path* output,
                                    FileOps& ops = SystemFileOps(), bool* owner_kept = nullptr,
                                    std::uint64_t size = 0);

}  // namespace binconv
