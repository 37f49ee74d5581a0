#include "window/logic/uncoded_marks.h"

#include <algorithm>
#include <utility>

namespace binconv::window::logic {

void UncodedMarks::Set(std::u16string_view listing, std::span<const UncodedChar> uncoded) {
  marks_.clear();
  held_.clear();
  held_text_.clear();
  marks_.reserve(uncoded.size());
  // A CR LF of the listing is one unit in the box.
  std::size_t pairs = 0;
  std::size_t scanned = 0;
  for (const UncodedChar& u : uncoded) {
    for (; scanned < u.offset; ++scanned) {
      if (listing[scanned] == u'\r' && scanned + 1 < listing.size() &&
          listing[scanned + 1] == u'\n') {
        ++pairs;
        ++scanned;
      }
    }
    marks_.push_back({u.offset - pairs, u.length});
  }
}

void UncodedMarks::Edit(std::size_t position, std::size_t removed, std::size_t added) {
  if (marks_.empty()) return;
  const std::size_t end = position + removed;
  std::vector<UncodedMark> kept;
  kept.reserve(marks_.size());
  for (const UncodedMark& mark : marks_) {
    // An insertion right before a mark moves it; one right after leaves it.
    if (removed == 0 ? position <= mark.start : end <= mark.start) {
      kept.push_back({mark.start - removed + added, mark.length});
    } else if (position >= mark.start + mark.length) {
      kept.push_back(mark);
    }
    // Anything else touches the mark, which is gone.
  }
  marks_ = std::move(kept);
}

void UncodedMarks::Edit(std::u16string_view before, std::u16string_view after) {
  if (marks_.empty()) return;
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t start = 0;
  while (start < shorter && before[start] == after[start]) ++start;
  std::size_t tail = 0;
  while (tail < shorter - start && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  if (start == before.size() && start == after.size()) return;
  Edit(start, before.size() - start - tail, after.size() - start - tail);
}

void UncodedMarks::HoldFor(std::u16string_view core_text) {
  held_text_.assign(core_text);
  held_ = marks_;
}

bool UncodedMarks::RestoreIf(std::u16string_view core_text) {
  if (held_.empty() || !marks_.empty() || core_text != held_text_) return false;
  marks_ = std::move(held_);
  held_.clear();
  held_text_.clear();
  return true;
}

std::span<const UncodedMark> UncodedMarks::Within(std::size_t start, std::size_t end) const {
  const auto by_start = [](const UncodedMark& mark, std::size_t at) { return mark.start < at; };
  const auto first = std::lower_bound(marks_.begin(), marks_.end(), start, by_start);
  const auto last = std::lower_bound(first, marks_.end(), end, by_start);
  return {first, last};
}

}  // namespace binconv::window::logic
