#include "chartable/read_back.h"

#include <algorithm>

namespace binconv {

ReadBackRule::ReadBackRule(std::span<const GameCode> codes) : codes_(codes) {
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    const std::span<const std::uint8_t> bytes(codes[i].bytes);
    by_bytes_.emplace(Key(bytes), i);
    for (std::size_t length = 1; length < bytes.size(); ++length) {
      starts_.insert(Key(bytes.first(length)));
    }
  }
}

bool ReadBackRule::BeginsLonger(std::span<const std::uint8_t> bytes) const {
  return !starts_.empty() && starts_.contains(Key(bytes));
}

const GameCode* ReadBackRule::CodeOf(std::span<const std::uint8_t> bytes) const {
  const auto found = by_bytes_.find(Key(bytes));
  return found == by_bytes_.end() ? nullptr : &codes_[found->second];
}

ReadBack::Step ReadBack::Extend(const ReadBackRule& rule, Open& open,
                                std::span<const std::uint8_t> bytes, const GameCode* code) {
  const bool text_code = code != nullptr && code->kind == GameCodeKind::kText;
  open.plain = open.plain && text_code;
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
        if (!same) return Step::kMisread;
        open.chosen = open.size;
      }
    }
    if (!rule.BeginsLonger(so_far)) return Step::kSettled;
  }
  return Step::kOpen;
}

bool ReadBack::AddBytes(const ReadBackRule& rule, std::span<const std::uint8_t> bytes) {
  return AddUnit(rule, bytes, 0, nullptr);
}

bool ReadBack::AddUnit(const ReadBackRule& rule, std::span<const std::uint8_t> unit,
                       std::size_t chosen, const GameCode* code) {
  // Parameter bytes (`chosen` 0) start no unit of their own.
  const GameCode* text_code = chosen == unit.size() ? code : nullptr;
  bool good = true;
  std::erase_if(open_, [&](Open& open) {
    const Step step = Extend(rule, open, unit, text_code);
    good = good && step != Step::kMisread;
    return step != Step::kOpen;
  });
  if (chosen == 0 || !rule.BeginsLonger(unit.first(chosen))) return good;
  Open open;
  std::copy_n(unit.begin(), chosen, open.bytes.begin());
  open.size = open.chosen = static_cast<std::uint8_t>(chosen);
  open.plain = text_code != nullptr && text_code->kind == GameCodeKind::kText;
  if (open.plain) open.text = text_code->text;
  // A control's parameters go on from its code.
  const Step step =
      chosen < unit.size() ? Extend(rule, open, unit.subspan(chosen), nullptr) : Step::kOpen;
  if (step == Step::kOpen) open_.push_back(std::move(open));
  return good && step != Step::kMisread;
}

}  // namespace binconv
