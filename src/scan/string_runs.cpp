#include "scan/string_runs.h"

#include <algorithm>

#include "runtime/utf16.h"

namespace binconv {

bool IsCharacterUnit(const ProducibleCells& cells, const GameUnit& unit) {
  if (unit.kind == UnitKind::kLineBreak || unit.kind == UnitKind::kSpace) return true;
  if (unit.kind == UnitKind::kCut) return false;
  const std::optional<char16_t> ch = cells.CharAt(unit.code);
  return ch && !IsSurrogate(*ch) && *ch != u'\uFEFF';
}

namespace detail {

ByteClasses DeriveByteClasses(const ProducibleCells& cells, std::optional<std::uint8_t> end) {
  ByteClasses classes;
  for (int b = 0; b < 256; ++b) {
    const std::array<std::uint8_t, 1> alone{static_cast<std::uint8_t>(b)};
    const GameUnit unit = ReadUnit(alone);
    if (end && *end == alone[0]) {
      classes.first[b] = ByteClass::kEnd;
    } else if (unit.kind == UnitKind::kCut) {
      classes.first[b] = ByteClass::kLead;
    } else {
      classes.first[b] = IsCharacterUnit(cells, unit) ? ByteClass::kCharacter : ByteClass::kNone;
    }
    if (unit.kind != UnitKind::kCut) continue;
    // A byte that needs the next one: which of those make a character.
    for (int t = 0; t < 256; ++t) {
      const std::array<std::uint8_t, 2> pair{alone[0], static_cast<std::uint8_t>(t)};
      const GameUnit whole = ReadUnit(pair);
      classes.page_of_lead[b] = whole.code.page;
      classes.trail[whole.code.page][t] = IsCharacterUnit(cells, whole);
    }
  }
  for (int b = 0; b < 256; ++b) {
    const ByteClass first = classes.first[b];
    const std::array<bool, 256>& trail = classes.trail[classes.page_of_lead[b]];
    const bool dead = std::none_of(trail.begin(), trail.end(), [](bool c) { return c; });
    classes.skip[b] = first == ByteClass::kCharacter ? kSkipCharacter
                      : first == ByteClass::kLead    ? (dead ? kSkipDeadLead : kSkipStop)
                                                     : kSkipNone;
  }
  return classes;
}

}  // namespace detail

StringRunFinder::StringRunFinder(const CharTable& table, StringRunOptions options)
    : options_(options), classes_(detail::DeriveByteClasses(ProducibleCells(table), options.end)) {}

void StringRunFinder::Keep(const std::uint8_t* from, const std::uint8_t* to) {
  const std::size_t room = options_.keep_bytes - std::min(options_.keep_bytes, kept_.size());
  const auto size = static_cast<std::size_t>(to - from);
  kept_.insert(kept_.end(), from, from + std::min(size, room));
}

void StringRunFinder::Close(std::uint64_t end, bool with_end_byte, const Found& found) {
  if (!in_run_) return;
  in_run_ = false;
  const std::uint64_t length = end - run_start_;
  // A run cut back to before a lead byte of the previous chunk already kept it.
  const std::uint64_t text_length = with_end_byte ? length - 1 : length;
  if (kept_.size() > text_length) kept_.resize(static_cast<std::size_t>(text_length));
  if (chars_ >= options_.min_chars && (!options_.end || with_end_byte)) {
    found(StringRun{run_start_, length, chars_, kept_, kept_.size() < text_length});
  }
  kept_.clear();
  chars_ = 0;
}

std::size_t StringRunFinder::SkipToRun(const std::uint8_t* data, std::size_t i,
                                       std::size_t n) const {
  // A run of no characters at all begins at any end byte: the walk finds it.
  if (options_.min_chars == 0) return i;
  const std::size_t need = options_.min_chars;
  std::size_t row = 0;  // characters in a row before byte i
  for (; i < n; ++i) {
    const std::uint8_t c = classes_.skip[data[i]];
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

void StringRunFinder::Feed(std::span<const std::uint8_t> bytes, const Found& found) {
  using detail::ByteClass;
  const std::uint8_t* const data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t kept_from = 0;  // the run's bytes in this chunk begin here
  // Ends the run at byte `i` of this chunk (which may be 0 while the run's
  // last unit ends in an earlier one).
  auto close_at = [&](std::size_t i, bool with_end_byte) {
    if (!in_run_) return;
    const std::size_t text_end = with_end_byte ? i - 1 : i;
    if (text_end > kept_from) Keep(data + kept_from, data + text_end);
    Close(position_ + i, with_end_byte, found);
  };
  std::size_t i = 0;
  std::size_t walk_until = 0;  // the walk goes on at least to here
  while (i < n) {
    if (!in_run_ && pending_page_ == 0 && i >= walk_until) {
      i = SkipToRun(data, i, n);
      // The walk reads at least the byte the skip stopped at.
      walk_until = i + 1;
      if (i == n) break;
    }
    if (pending_page_ != 0) {
      const int page = pending_page_;
      pending_page_ = 0;
      if (classes_.trail[page][data[i]]) {
        ++chars_;
        ++i;
        continue;
      }
      // Decode writes the pair as a tag: the run ends before its lead byte,
      // which may be the last byte of the previous chunk.
      if (i == 0) {
        Close(position_ - 1, false, found);
      } else {
        close_at(i - 1, false);
      }
      ++i;
      continue;
    }
    if (!in_run_) {
      while (i < n && classes_.first[data[i]] == ByteClass::kNone) ++i;
      if (i == n) break;
      in_run_ = true;
      run_start_ = position_ + i;
      kept_from = i;
    }
    // The common case, one-byte characters in a row, without the switch.
    while (i < n && classes_.first[data[i]] == ByteClass::kCharacter) {
      ++chars_;
      ++i;
    }
    if (i == n) break;
    const std::uint8_t b = data[i];
    switch (classes_.first[b]) {
      case ByteClass::kNone:
        close_at(i, false);
        break;
      case ByteClass::kCharacter:
        ++chars_;
        break;
      case ByteClass::kLead:
        pending_page_ = classes_.page_of_lead[b];
        break;
      case ByteClass::kEnd:
        close_at(i + 1, true);
        break;
    }
    ++i;
  }
  if (in_run_ && n > kept_from) Keep(data + kept_from, data + n);
  position_ += n;
}

void StringRunFinder::Finish(const Found& found) {
  // A lead byte at the very end is a tag for decode.
  const std::uint64_t end = pending_page_ != 0 ? position_ - 1 : position_;
  pending_page_ = 0;
  Close(end, false, found);
}

GameStringRunFinder::GameStringRunFinder(const GameTable& table, StringRunOptions options)
    : table_(table), reader_(table.reader()), options_(options) {}

void GameStringRunFinder::Feed(std::span<const std::uint8_t> bytes, const Found& found) {
  while (!held_.empty() && !bytes.empty()) {
    // The cut unit is read with the next bytes, a few at a time, so that a
    // chunk is read where it stands rather than copied.
    const std::size_t before = held_.size();
    const std::size_t add = std::min(bytes.size(), std::max<std::size_t>(before, 16));
    held_.insert(held_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(add));
    const std::size_t read = ReadUnits(held_, held_at_, false, found);
    held_at_ += read;
    if (read >= before) {
      held_.clear();
      bytes = bytes.subspan(read - before);
      break;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(read));
    bytes = bytes.subspan(add);
  }
  if (!held_.empty()) return;
  const std::size_t read = ReadUnits(bytes, held_at_, false, found);
  held_at_ += read;
  held_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(read), bytes.end());
}

void GameStringRunFinder::Finish(const Found& found) {
  held_at_ += ReadUnits(held_, held_at_, true, found);
  held_.clear();
  Close(held_at_, 0, found);
}

std::size_t GameStringRunFinder::ReadUnits(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                           bool at_end, const Found& found) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const GameTableUnit unit = reader_.ReadUnit(bytes.subspan(i), at_end);
    if (unit.kind == GameUnitKind::kCut) break;
    const bool is_end =
        (unit.kind == GameUnitKind::kCode && table_.codes()[unit.code].kind == GameCodeKind::kEnd) ||
        (options_.end && unit.size == 1 && bytes[i] == *options_.end);
    if (is_end) {
      Close(at + i + unit.size, unit.size, found);
    } else if (unit.kind == GameUnitKind::kNoCode) {
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

void GameStringRunFinder::Close(std::uint64_t end, std::size_t end_size, const Found& found) {
  if (!in_run_) return;
  in_run_ = false;
  const std::uint64_t length = end - run_start_;
  if (chars_ >= options_.min_chars && (!options_.end || end_size != 0)) {
    found(StringRun{run_start_, length, chars_, kept_, kept_.size() < length - end_size});
  }
  kept_.clear();
  chars_ = 0;
}

namespace {

std::variant<StringRunFinder, GameStringRunFinder> FinderOf(const TextCodec& encoding,
                                                           const StringRunOptions& options) {
  if (encoding.table() == nullptr) {
    return std::variant<StringRunFinder, GameStringRunFinder>(
        std::in_place_type<GameStringRunFinder>, encoding.game(), options);
  }
  return std::variant<StringRunFinder, GameStringRunFinder>(std::in_place_type<StringRunFinder>,
                                                           *encoding.table(), options);
}

}  // namespace

AnyStringRunFinder::AnyStringRunFinder(const TextCodec& encoding, const StringRunOptions& options)
    : finder_(FinderOf(encoding, options)) {}

void AnyStringRunFinder::Feed(std::span<const std::uint8_t> bytes,
                              const StringRunFinder::Found& found) {
  std::visit([&](auto& f) { f.Feed(bytes, found); }, finder_);
}

void AnyStringRunFinder::Finish(const StringRunFinder::Found& found) {
  std::visit([&](auto& f) { f.Finish(found); }, finder_);
}

}  // namespace binconv
