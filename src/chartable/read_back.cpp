#include "chartable/read_back.h"

#include <algorithm>
#include <ranges>

namespace binconv {

ReadBackRule::ReadBackRule(std::span<const GameCode> codes)
    : codes_(codes), by_bytes_(codes.size()) {
  for (std::uint32_t i = 0; i < by_bytes_.size(); ++i) by_bytes_[i] = i;
  std::sort(by_bytes_.begin(), by_bytes_.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::ranges::lexicographical_compare(codes[a].bytes, codes[b].bytes);
  });
  for (std::size_t k = 0; k + 1 < by_bytes_.size() && none_open_; ++k) {
    const CodeBytes& shorter = codes[by_bytes_[k]].bytes;
    const CodeBytes& next = codes[by_bytes_[k + 1]].bytes;
    none_open_ = !(next.size() > shorter.size() &&
                   std::equal(shorter.begin(), shorter.end(), next.begin()));
  }
}

std::vector<std::uint32_t>::const_iterator ReadBackRule::Lower(
    std::span<const std::uint8_t> bytes) const {
  return std::lower_bound(by_bytes_.begin(), by_bytes_.end(), bytes,
                          [&](std::uint32_t code, std::span<const std::uint8_t> value) {
                            return std::ranges::lexicographical_compare(codes_[code].bytes, value);
                          });
}

bool ReadBackRule::BeginsLonger(std::span<const std::uint8_t> bytes) const {
  // In order of bytes, the codes that begin with `bytes` come right after
  // them (after the code of exactly them, if there is one).
  auto at = Lower(bytes);
  if (at != by_bytes_.end() && std::ranges::equal(codes_[*at].bytes, bytes)) ++at;
  if (at == by_bytes_.end()) return false;
  const CodeBytes& next = codes_[*at].bytes;
  return next.size() > bytes.size() && std::equal(bytes.begin(), bytes.end(), next.begin());
}

const GameCode* ReadBackRule::CodeOf(std::span<const std::uint8_t> bytes) const {
  const auto at = Lower(bytes);
  if (at == by_bytes_.end() || !std::ranges::equal(codes_[*at].bytes, bytes)) return nullptr;
  return &codes_[*at];
}

ReadBack::Step ReadBack::Extend(const ReadBackRule& rule, Open& open,
                                std::span<const std::uint8_t> bytes, const GameCode* code,
                                bool typed) {
  const bool text_code = code != nullptr && code->kind == GameCodeKind::kText;
  open.plain = open.plain && text_code;
  open.typed = open.typed && typed;
  if (open.plain) open.text += code->text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (open.size == kMaxGameCodeBytes) return Step::kSettled;
    open.bytes[open.size++] = bytes[i];
    const std::span<const std::uint8_t> so_far(open.bytes.data(), open.size);
    if (open.size > open.chosen) {
      if (const GameCode* longer = rule.CodeOf(so_far)) {
        // Decode takes the longer code here: harmless only if it shows
        // the same text and ends where the unit does.
        const bool same = open.plain && i + 1 == bytes.size() &&
                          longer->kind == GameCodeKind::kText && longer->text == open.text;
        if (!same && !open.typed) return Step::kMisread;
        open.chosen = open.size;
        // Typed bytes read as the longer code now, whatever it shows.
        open.plain = open.plain && same;
      }
    }
    if (!rule.BeginsLonger(so_far)) return Step::kSettled;
  }
  return Step::kOpen;
}

bool ReadBack::AddBytes(const ReadBackRule& rule, std::span<const std::uint8_t> bytes) {
  return AddUnit(rule, bytes, 0, nullptr, false);
}

bool ReadBack::AddUnit(const ReadBackRule& rule, std::span<const std::uint8_t> unit,
                       std::size_t chosen, const GameCode* code, bool typed) {
  // Parameter bytes (`chosen` 0) start no unit of their own.
  const GameCode* text_code = chosen == unit.size() ? code : nullptr;
  bool good = true;
  std::erase_if(open_, [&](Open& open) {
    const Step step = Extend(rule, open, unit, text_code, typed);
    good = good && step != Step::kMisread;
    return step != Step::kOpen;
  });
  if (chosen == 0 || !rule.BeginsLonger(unit.first(chosen))) return good;
  Open open;
  std::copy_n(unit.begin(), chosen, open.bytes.begin());
  open.size = open.chosen = static_cast<std::uint8_t>(chosen);
  open.plain = text_code != nullptr && text_code->kind == GameCodeKind::kText;
  if (open.plain) open.text = text_code->text;
  open.typed = typed;
  // A control's parameters go on from its code.
  const Step step = chosen < unit.size() ? Extend(rule, open, unit.subspan(chosen), nullptr, typed)
                                         : Step::kOpen;
  if (step == Step::kOpen) open_.push_back(std::move(open));
  return good && step != Step::kMisread;
}

}  // namespace binconv
