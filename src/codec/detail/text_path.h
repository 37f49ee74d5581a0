#pragma once
// The codes a run of text (the units between tags) is written as: of every
// way the table's texts cover it, the one of the fewest bytes whose codes
// read back as written, found as a shortest path over the units. Ties go to
// the longer text first, as a reader would split the text. Fed a unit at a
// time; a part of the run is settled as soon as no later unit can change
// it, so a long run keeps only the units still open.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "chartable/game_table.h"
#include "chartable/read_back.h"
#include "chartable/text_index.h"

namespace binconv::detail {

class TextPath {
 public:
  // The table must outlive the path.
  explicit TextPath(const GameTable& table);

  bool empty() const { return units_.empty(); }
  // Adds the next unit of the run (a UTF-16 unit or kBreakUnit); `before`
  // is what is unsettled of the bytes before the run, read at its first unit.
  void Push(char32_t unit, const ReadBack& before);

  // A unit of a tag's bytes as decode reads them: its code (nullptr for a
  // byte of none), the first `chosen` bytes being the code.
  struct TagUnit {
    std::span<const std::uint8_t> bytes;
    std::size_t chosen = 0;
    const GameCode* code = nullptr;
    bool typed = true;  // hex digits typed; else a label's code
  };
  // Ends the run with the bytes of the tag after it, so that its codes are
  // chosen with them in sight; settle it then, at its end.
  void PushTag(std::span<const TagUnit> units);

  struct Step {
    enum class Kind : std::uint8_t {
      kCode,    // the code `code` for the units
      kNoCode,  // no code takes the units (one, or a surrogate pair)
      kTag,     // the tag after the run, one unit of no text
    };
    Kind kind = Kind::kCode;
    std::uint32_t code = 0;
    std::size_t first = 0;  // its first unit, from the first unit settled
    std::size_t units = 0;
  };
  struct Settled {
    std::span<const Step> steps;
    std::size_t units = 0;  // how many units of the run they take
  };
  // The steps no later unit can change; all of them `at_end`, after which
  // the path is empty. Valid until the next call.
  Settled Settle(bool at_end);

 private:
  // A way of writing the run so far up to a unit, with what is unsettled.
  struct Node {
    std::size_t pos;
    ReadBack back;
    std::uint64_t cost = 0;
    std::uint32_t next = 0;  // on the best way on from it: an index into edges_
  };
  struct Edge {
    std::uint32_t from;
    std::uint32_t to;
    std::uint32_t code;
    std::uint32_t units;
    Step::Kind kind;
    std::uint64_t cost;
  };
  void AddEdges(std::size_t from, std::uint32_t code, std::size_t units, Step::Kind kind,
                std::uint64_t extra = 0);
  std::uint32_t NodeAt(std::size_t pos, const ReadBack& back);
  std::size_t NodesAt(std::size_t pos) const;
  void Commit(std::size_t cut, bool at_end);

  const GameTextIndex& index_;
  std::span<const GameCode> codes_;
  std::vector<char32_t> units_;  // of the run, from the last unit settled
  GameTextIndex::TextState state_ = 0;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> first_node_;  // per position: its nodes run from here
  std::vector<Edge> edges_;                // in order of the position they reach
  std::vector<std::size_t> far_;           // per position: the farthest an edge from it reaches
  // Positions looked at for a cut so far, and the farthest any edge from
  // before them reaches.
  std::size_t scan_ = 0;
  std::size_t scan_far_ = 0;
  std::vector<Step> steps_;
};

}  // namespace binconv::detail
