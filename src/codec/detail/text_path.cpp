#include "codec/detail/text_path.h"

#include <algorithm>
#include <limits>

#include "runtime/utf16.h"

namespace binconv::detail {
namespace {

constexpr char32_t kBreak = GameTextIndex::kBreakUnit;
// A code that reads back as another is worse than any number of bytes, and
// leaving a character out worse still: both are problems, and the first says
// more of what is wrong.
constexpr std::uint64_t kMisread = std::uint64_t{1} << 32;
// Another text of a code reads back as the code's own: taken only where the
// text can't be written otherwise.
constexpr std::uint64_t kOtherText = std::uint64_t{1} << 24;
constexpr std::uint64_t kLeftOut = std::uint64_t{1} << 40;
constexpr std::uint64_t kUnreached = std::numeric_limits<std::uint64_t>::max();

}  // namespace

TextPath::TextPath(const GameTable& table) : index_(table.text_index()), codes_(table.codes()) {
  index_.PrepareTextStates();
}

void TextPath::Push(char32_t unit, const ReadBack& before) {
  if (units_.empty()) {
    // A run starts afresh: no text goes on across a tag.
    nodes_.assign(1, Node{0, before});
    first_node_.assign(1, 0);
    edges_.clear();
    far_.assign(1, 0);
    state_ = 0;
    scan_ = scan_far_ = 0;
  }
  units_.push_back(unit);
  const std::size_t pos = units_.size();
  first_node_.push_back(static_cast<std::uint32_t>(nodes_.size()));
  far_.push_back(pos);
  state_ = index_.NextState(state_, unit);
  index_.ForEachTextEnding(state_, [&](std::size_t units, std::uint32_t code, bool other) {
    if (units <= pos) AddEdges(pos - units, code, units, Step::Kind::kCode, other ? kOtherText : 0);
  });
  if (unit == kBreak) {
    if (const auto code = index_.break_code()) AddEdges(pos - 1, *code, 1, Step::Kind::kCode);
  }
  AddEdges(pos - 1, 0, 1, Step::Kind::kNoCode);
  // A pair neither of whose units has a code is one character left out.
  const auto alone = [&](char32_t u) { return index_.CodeOfText({&u, 1}).has_value(); };
  if (pos >= 2 && IsLowSurrogate(static_cast<char16_t>(unit)) &&
      IsHighSurrogate(static_cast<char16_t>(units_[pos - 2])) && !alone(unit) &&
      !alone(units_[pos - 2])) {
    AddEdges(pos - 2, 0, 2, Step::Kind::kNoCode);
  }
}

void TextPath::PushTag(std::span<const TagUnit> units) {
  units_.push_back(kBreak + 1);  // no unit of text: the automaton never sees it
  const std::size_t pos = units_.size();
  first_node_.push_back(static_cast<std::uint32_t>(nodes_.size()));
  far_.push_back(pos);
  for (std::uint32_t n = first_node_[pos - 1]; n < first_node_[pos]; ++n) {
    ReadBack back = nodes_[n].back;
    bool good = true;
    for (const TagUnit& unit : units) {
      good = back.AddUnit(index_.read_back(), unit.bytes, unit.chosen, unit.code, unit.typed) &&
             good;
    }
    const std::uint32_t node = NodeAt(pos, back);
    edges_.push_back({n, node, 0, 1, Step::Kind::kTag, good ? 0 : kMisread});
  }
  far_[pos - 1] = pos;
}

void TextPath::AddEdges(std::size_t from, std::uint32_t code, std::size_t units, Step::Kind kind,
                        std::uint64_t extra) {
  const std::size_t to = from + units;
  for (std::uint32_t n = first_node_[from]; n < first_node_[from + 1]; ++n) {
    ReadBack back = nodes_[n].back;
    std::uint64_t cost = kLeftOut;
    if (kind == Step::Kind::kCode) {
      const GameCode& c = codes_[code];
      cost = c.bytes.size() + extra;
      if ((!back.empty() || index_.Open(code)) &&
          !back.AddUnit(index_.read_back(), c.bytes, c.bytes.size(), &c)) {
        cost += kMisread;
      }
    }
    const std::uint32_t node = NodeAt(to, back);
    edges_.push_back({n, node, code, static_cast<std::uint32_t>(units), kind, cost});
    far_[from] = std::max(far_[from], to);
  }
}

std::uint32_t TextPath::NodeAt(std::size_t pos, const ReadBack& back) {
  // Only the newest position gains nodes, so its nodes are the last.
  for (auto n = static_cast<std::uint32_t>(first_node_[pos]); n < nodes_.size(); ++n) {
    if (nodes_[n].back == back) return n;
  }
  nodes_.push_back({pos, back});
  return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::size_t TextPath::NodesAt(std::size_t pos) const {
  const std::size_t end = pos + 1 < first_node_.size() ? first_node_[pos + 1] : nodes_.size();
  return end - first_node_[pos];
}

TextPath::Settled TextPath::Settle(bool at_end) {
  steps_.clear();
  if (units_.empty()) return {};
  const std::size_t pos = units_.size();
  if (at_end) {
    Commit(pos, true);
    return {steps_, pos};
  }
  // A cut is a position no edge goes across, now or later, with one way of
  // standing there: every way on passes it, so the best way to it is final.
  // No text found later begins before the automaton's depth.
  // A high surrogate waits for its low unit, which may leave the pair out whole.
  const std::size_t depth = std::max<std::size_t>(
      index_.StateDepth(state_), IsHighSurrogate(static_cast<char16_t>(units_.back())) ? 1 : 0);
  const std::size_t limit = depth >= pos ? 0 : pos - depth;
  std::size_t cut = 0;
  while (scan_ < limit) {
    scan_far_ = std::max(scan_far_, far_[scan_]);
    ++scan_;
    if (scan_far_ <= scan_ && NodesAt(scan_) == 1) cut = scan_;
  }
  if (cut == 0) return {};
  Commit(cut, false);
  return {steps_, cut};
}

void TextPath::Commit(std::size_t cut, bool at_end) {
  // Best ways on, from the cut back: an edge's end is settled before its start.
  const std::uint32_t reached = first_node_[cut];
  const auto past_cut = static_cast<std::uint32_t>(reached + NodesAt(cut));
  for (std::uint32_t n = 0; n < past_cut; ++n) nodes_[n].cost = n >= reached ? 0 : kUnreached;
  const auto edges_end = std::partition_point(edges_.begin(), edges_.end(), [&](const Edge& e) {
    return nodes_[e.to].pos <= cut;
  });
  for (auto e = std::make_reverse_iterator(edges_end); e != edges_.rend(); ++e) {
    const std::uint64_t on = nodes_[e->to].cost;
    if (on == kUnreached) continue;
    Node& from = nodes_[e->from];
    const std::uint64_t cost = on + e->cost;
    const bool longer = cost == from.cost && e->units > edges_[from.next].units;
    if (cost < from.cost || longer) {
      from.cost = cost;
      from.next = static_cast<std::uint32_t>(&*e - edges_.data());
    }
  }
  for (std::uint32_t n = 0; nodes_[n].pos < cut;) {
    const Edge& e = edges_[nodes_[n].next];
    steps_.push_back({e.kind, e.code, nodes_[n].pos, e.units});
    n = e.to;
  }
  if (at_end) {
    units_.clear();
    return;
  }
  // What stays: the one node at the cut and everything after it.
  edges_.erase(edges_.begin(), edges_end);
  for (Edge& e : edges_) {
    e.from -= reached;
    e.to -= reached;
  }
  nodes_.erase(nodes_.begin(), nodes_.begin() + reached);
  for (Node& n : nodes_) n.pos -= cut;
  first_node_.erase(first_node_.begin(), first_node_.begin() + static_cast<std::ptrdiff_t>(cut));
  for (std::uint32_t& n : first_node_) n -= reached;
  far_.erase(far_.begin(), far_.begin() + static_cast<std::ptrdiff_t>(cut));
  for (std::size_t& f : far_) f -= cut;
  units_.erase(units_.begin(), units_.begin() + static_cast<std::ptrdiff_t>(cut));
  scan_ -= cut;
  scan_far_ = 0;
  for (std::size_t s = 0; s < scan_; ++s) scan_far_ = std::max(scan_far_, far_[s]);
}

}  // namespace binconv::detail
