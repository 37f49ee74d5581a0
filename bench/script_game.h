#pragma once
// A big game for the script benchmarks: STRINGS texts of kana behind a
// table of u32le pointers (base 0x08000000) in a game of MEGABYTES, with the
// plan that dumps and inserts them. Written in blocks so that memory stays
// small.

#include <cstddef>
#include <filesystem>

namespace binconv::bench {

// Writes game.bin and plan.txt (script dialog.txt) into `dir`; false on an
// I/O error.
bool WriteBigScriptGame(const std::filesystem::path& dir, std::size_t megabytes,
                        std::size_t strings);

}  // namespace binconv::bench
