#include "scan/string_runs.h"

#include <algorithm>
#include <utility>

#include "chartable/text_index.h"
#include "runtime/utf16.h"

namespace binconv {

bool IsCharacterUnit(const GameTable& table, const GameTableUnit& unit) {
  if (unit.kind != GameUnitKind::kCode || !table.text_index().Shows(unit.code)) return false;
  const std::u16string& text = table.codes()[unit.code].text;
  return Utf8FileKeeps(text, true);
}

namespace {

// Whether the unit ends a string: an end token, or the end byte alone.
bool IsEndUnit(const GameTable& table, const GameTableUnit& unit, std::uint8_t first,
               std::optional<std::uint8_t> end) {
  return (unit.kind == GameUnitKind::kCode &&
          table.codes()[unit.code].kind == GameCodeKind::kEnd) ||
         (end && unit.size == 1 && first == *end);
}

}  // namespace

namespace detail {

std::optional<ByteClasses> DeriveByteClasses(const GameTable& table,
                                             std::optional<std::uint8_t> end) {
  auto class_of = [&](const GameTableUnit& unit, std::uint8_t first) {
    if (IsEndUnit(table, unit, first, end)) return ByteClass::kEnd;
    return IsCharacterUnit(table, unit) ? ByteClass::kCharacter : ByteClass::kNone;
  };
  ByteClasses classes;
  for (int b = 0; b < 256; ++b) {
    const std::array<std::uint8_t, 2> pair{static_cast<std::uint8_t>(b), 0};
    const GameTableUnit alone = table.ReadUnit(std::span(pair).first(1), false);
    if (alone.kind != GameUnitKind::kCut) {
      classes.first[b] = class_of(alone, pair[0]);
      continue;
    }
    // A byte that needs the next one: every pair must be a unit of two.
    classes.first[b] = ByteClass::kLead;
    classes.row_of[b] = static_cast<std::uint16_t>(classes.trail.size());
    std::array<ByteClass, 256>& row = classes.trail.emplace_back();
    for (int t = 0; t < 256; ++t) {
      const std::array<std::uint8_t, 2> both{pair[0], static_cast<std::uint8_t>(t)};
      const GameTableUnit unit = table.ReadUnit(both, false);
      if (unit.kind == GameUnitKind::kCut || unit.size != 2) return std::nullopt;
      row[t] = class_of(unit, both[0]);
    }
  }
  for (int b = 0; b < 256; ++b) {
    const ByteClass first = classes.first[b];
    bool dead = true;
    if (first == ByteClass::kLead) {
      const std::array<ByteClass, 256>& row = classes.trail[classes.row_of[b]];
      dead = std::all_of(row.begin(), row.end(), [](ByteClass c) { return c == ByteClass::kNone; });
    }
    classes.skip[b] = first == ByteClass::kCharacter ? kSkipCharacter
                      : first == ByteClass::kLead    ? (dead ? kSkipDeadLead : kSkipStop)
                                                     : kSkipNone;
  }
  return classes;
}

}  // namespace detail

StringRunFinder::StringRunFinder(GameTable table, StringRunOptions options)
    : table_(std::move(table)),
      options_(options),
      classes_(detail::DeriveByteClasses(table_, options.end)) {}

void StringRunFinder::Keep(const std::uint8_t* from, const std::uint8_t* to) {
  const std::size_t room = options_.keep_bytes - std::min(options_.keep_bytes, kept_.size());
  const auto size = static_cast<std::size_t>(to - from);
  kept_.insert(kept_.end(), from, from + std::min(size, room));
}

void StringRunFinder::Close(std::uint64_t end, std::size_t end_size, const Found& found) {
  if (!in_run_) return;
  in_run_ = false;
  const std::uint64_t length = end - run_start_;
  // A run cut back to before a lead byte of the previous chunk already kept it.
  const std::uint64_t text_length = length - end_size;
  if (kept_.size() > text_length) kept_.resize(static_cast<std::size_t>(text_length));
  if (chars_ >= options_.min_chars && (!options_.end || end_size != 0)) {
    found(StringRun{run_start_, length, chars_, kept_, kept_.size() < text_length});
  }
  kept_.clear();
  chars_ = 0;
}

void StringRunFinder::Feed(std::span<const std::uint8_t> bytes, const Found& found) {
  if (classes_) {
    FeedByClass(bytes, found);
  } else {
    FeedByRule(bytes, found);
  }
}

void StringRunFinder::Finish(const Found& found) {
  if (classes_) {
    // A lead byte at the very end is a unit alone: an end, or a tag.
    if (const std::optional<std::uint8_t> lead = std::exchange(pending_lead_, std::nullopt)) {
      const bool is_end = options_.end == *lead;
      Close(is_end ? position_ : position_ - 1, is_end ? 1 : 0, found);
    }
    Close(position_, 0, found);
    return;
  }
  read_at_ += ReadUnits(held_, read_at_, true, found);
  held_.clear();
  Close(read_at_, 0, found);
}

std::size_t StringRunFinder::SkipToRun(const std::uint8_t* data, std::size_t i,
                                       std::size_t n) const {
  // A run of no characters at all begins at any end: the walk finds it.
  if (options_.min_chars == 0) return i;
  const std::size_t need = options_.min_chars;
  const std::array<std::uint8_t, 256>& skip = classes_->skip;
  std::size_t row = 0;  // characters in a row before byte i
  for (; i < n; ++i) {
    const std::uint8_t c = skip[data[i]];
    if (c <= detail::kSkipCharacter) {
      // Without a branch: a quarter of the bytes may be characters, at random.
      row = (row + 1) & (std::size_t{0} - c);
      if (row == need) return i + 1 - need;
      continue;
    }
    // The lead byte's tag ends the row; a lead byte at the chunk's end
    // waits for its second byte in the walk.
    if (c != detail::kSkipDeadLead || i + 1 == n) return i - row;
    row = 0;
    ++i;
  }
  return n - row;
}

void StringRunFinder::FeedByClass(std::span<const std::uint8_t> bytes, const Found& found) {
  using detail::ByteClass;
  const detail::ByteClasses& classes = *classes_;
  const std::uint8_t* const data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t kept_from = 0;  // the run's bytes in this chunk begin here
  // Ends the run before byte `end` of this chunk, with an end of `end_size`
  // bytes before it (the run's last unit may have begun in an earlier one).
  auto close_at = [&](std::size_t end, std::size_t end_size) {
    if (!in_run_) return;
    if (end >= end_size && end - end_size > kept_from) {
      Keep(data + kept_from, data + end - end_size);
    }
    Close(position_ + end, end_size, found);
  };
  std::size_t i = 0;
  std::size_t walk_until = 0;  // the walk goes on at least to here
  while (i < n) {
    if (!in_run_ && !pending_lead_ && i >= walk_until) {
      i = SkipToRun(data, i, n);
      // The walk reads at least the byte the skip stopped at.
      walk_until = i + 1;
      if (i == n) break;
    }
    if (pending_lead_) {
      const std::uint8_t lead = *std::exchange(pending_lead_, std::nullopt);
      switch (classes.trail[classes.row_of[lead]][data[i]]) {
        case ByteClass::kCharacter:
          ++chars_;
          break;
        case ByteClass::kEnd:
          close_at(i + 1, 2);
          break;
        default:
          // Decode writes the pair as a tag: the run ends before its lead
          // byte, which may be the last byte of the previous chunk.
          if (i == 0) {
            Close(position_ - 1, 0, found);
          } else {
            close_at(i - 1, 0);
          }
      }
      ++i;
      continue;
    }
    if (!in_run_) {
      while (i < n && classes.first[data[i]] == ByteClass::kNone) ++i;
      if (i == n) break;
      in_run_ = true;
      run_start_ = position_ + i;
      kept_from = i;
    }
    // The common case, one-byte characters in a row, without the switch.
    while (i < n && classes.first[data[i]] == ByteClass::kCharacter) {
      ++chars_;
      ++i;
    }
    if (i == n) break;
    const std::uint8_t b = data[i];
    switch (classes.first[b]) {
      case ByteClass::kNone:
        close_at(i, 0);
        break;
      case ByteClass::kCharacter:
        ++chars_;
        break;
      case ByteClass::kLead:
        pending_lead_ = b;
        break;
      case ByteClass::kEnd:
        close_at(i + 1, 1);
        break;
    }
    ++i;
  }
  if (in_run_ && n > kept_from) Keep(data + kept_from, data + n);
  position_ += n;
}

void StringRunFinder::FeedByRule(std::span<const std::uint8_t> bytes, const Found& found) {
  while (!held_.empty() && !bytes.empty()) {
    // The cut unit is read with the next bytes, a few at a time, so that a
    // chunk is read where it stands rather than copied.
    const std::size_t before = held_.size();
    const std::size_t add = std::min(bytes.size(), std::max<std::size_t>(before, 16));
    held_.insert(held_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(add));
    const std::size_t read = ReadUnits(held_, read_at_, false, found);
    read_at_ += read;
    if (read >= before) {
      held_.clear();
      bytes = bytes.subspan(read - before);
      break;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(read));
    bytes = bytes.subspan(add);
  }
  if (!held_.empty()) return;
  const std::size_t read = ReadUnits(bytes, read_at_, false, found);
  read_at_ += read;
  held_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(read), bytes.end());
}

std::size_t StringRunFinder::ReadUnits(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                       bool at_end, const Found& found) {
  const GameUnitReader& reader = table_.reader();
  std::size_t i = 0;
  while (i < bytes.size()) {
    const GameTableUnit unit = reader.ReadUnit(bytes.subspan(i), at_end);
    if (unit.kind == GameUnitKind::kCut) break;
    if (IsEndUnit(table_, unit, bytes[i], options_.end)) {
      if (!in_run_) {
        in_run_ = true;
        run_start_ = at + i;
      }
      Close(at + i + unit.size, unit.size, found);
    } else if (!IsCharacterUnit(table_, unit)) {
      Close(at + i, 0, found);
    } else {
      if (!in_run_) {
        in_run_ = true;
        run_start_ = at + i;
      }
      ++chars_;
      const std::size_t room = options_.keep_bytes - std::min(options_.keep_bytes, kept_.size());
      const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(i);
      kept_.insert(kept_.end(), from,
                   from + static_cast<std::ptrdiff_t>(std::min<std::size_t>(unit.size, room)));
    }
    i += unit.size;
  }
  return i;
}

}  // namespace binconv
