#include "chartable/game_table.h"

#include <algorithm>
#include <bit>

#include "chartable/text_index.h"

namespace binconv {

namespace {

// The bytes as one number, the first byte highest.
std::uint32_t Packed(std::span<const std::uint8_t> bytes) {
  std::uint32_t key = 0;
  for (const std::uint8_t b : bytes) key = key << 8 | b;
  return key;
}

}  // namespace

namespace detail {

bool CodeBytesBefore(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return std::ranges::lexicographical_compare(a, b);
}

GameCodeKeys::GameCodeKeys(std::span<const GameCode> codes) : codes_(codes) {
  for (std::uint32_t i = 0; i < codes_.size(); ++i) {
    const CodeBytes& bytes = codes_[i].bytes;
    if (bytes.size() <= kPackedBytes) {
      keys_[bytes.size() - 1].push_back({Packed(bytes), i});
    } else {
      long_keys_[bytes.size() - kPackedBytes - 1].push_back(i);
    }
    lengths_[bytes[0]] |= 1u << (bytes.size() - 1);
  }
  for (std::vector<Key>& keys : keys_) {
    std::sort(keys.begin(), keys.end(), [](Key a, Key b) { return a.bytes < b.bytes; });
  }
  for (std::vector<std::uint32_t>& keys : long_keys_) {
    std::sort(keys.begin(), keys.end(), [&](std::uint32_t a, std::uint32_t b) {
      return std::ranges::lexicographical_compare(codes_[a].bytes, codes_[b].bytes);
    });
  }
}

std::vector<std::uint32_t>::const_iterator GameCodeKeys::LowerLong(
    std::span<const std::uint8_t> bytes, std::size_t length) const {
  const std::vector<std::uint32_t>& keys = long_keys_[length - kPackedBytes - 1];
  return std::lower_bound(keys.begin(), keys.end(), bytes,
                          [&](std::uint32_t key, std::span<const std::uint8_t> value) {
                            return std::ranges::lexicographical_compare(codes_[key].bytes, value);
                          });
}

std::uint32_t GameCodeKeys::Find(std::span<const std::uint8_t> bytes) const {
  if (bytes.size() > kPackedBytes) {
    const auto it = LowerLong(bytes, bytes.size());
    const bool found = it != long_keys_[bytes.size() - kPackedBytes - 1].end() &&
                       std::ranges::equal(codes_[*it].bytes, bytes);
    return found ? *it : kNone;
  }
  const std::vector<Key>& keys = keys_[bytes.size() - 1];
  const std::uint32_t wanted = Packed(bytes);
  const auto it = std::lower_bound(keys.begin(), keys.end(), wanted,
                                   [](Key key, std::uint32_t value) { return key.bytes < value; });
  return it != keys.end() && it->bytes == wanted ? it->code : kNone;
}

bool GameCodeKeys::Continues(std::span<const std::uint8_t> bytes, std::size_t length) const {
  if (length > kPackedBytes) {
    // The codes that begin with `bytes` come first of those not before it.
    const auto it = LowerLong(bytes, length);
    return it != long_keys_[length - kPackedBytes - 1].end() &&
           std::ranges::equal(std::span(codes_[*it].bytes).first(bytes.size()), bytes);
  }
  const std::vector<Key>& keys = keys_[length - 1];
  // The keys that begin with `bytes` lie from `bytes` with zeros after it.
  const int shift = static_cast<int>(8 * (length - bytes.size()));
  const std::uint32_t prefix = Packed(bytes);
  const std::uint32_t low = static_cast<std::uint32_t>(std::uint64_t{prefix} << shift);
  const auto it = std::lower_bound(keys.begin(), keys.end(), low,
                                   [](Key key, std::uint32_t value) { return key.bytes < value; });
  return it != keys.end() && (std::uint64_t{it->bytes} >> shift) == prefix;
}

GameTableUnit GameCodeKeys::ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const {
  const GameTableUnit cut{GameUnitKind::kCut, 0, static_cast<std::uint8_t>(bytes.size())};
  // The lengths of the codes that begin with the first byte, longest first.
  for (std::uint32_t lengths = lengths_[bytes[0]]; lengths != 0;) {
    const auto length = static_cast<std::size_t>(std::bit_width(lengths));
    lengths ^= 1u << (length - 1);
    if (bytes.size() < length) {
      // The bytes so far may be the start of a longer code.
      if (!at_end && Continues(bytes, length)) return cut;
      continue;
    }
    const std::uint32_t code = Find(bytes.first(length));
    if (code == kNone) continue;
    std::size_t size = length + codes_[code].params;
    if (size > bytes.size()) {
      if (!at_end) return cut;
      size = bytes.size();  // a control cut short by the end keeps what there is
    }
    return {GameUnitKind::kCode, code, static_cast<std::uint8_t>(size)};
  }
  return {GameUnitKind::kNoCode, 0, 1};
}

}  // namespace detail

GameUnitReader::GameUnitReader(const detail::GameCodeKeys& keys) : keys_(keys) {
  for (std::size_t b = 0; b < 256; ++b) {
    const std::uint8_t first[] = {static_cast<std::uint8_t>(b)};
    first_[b] = keys.ReadUnit(first, false);
    rows_of_[b] = kNoRow;
    if (first_[b].kind != GameUnitKind::kCut) continue;
    rows_of_[b] = static_cast<std::uint32_t>(rows_.size());
    for (std::size_t next = 0; next < 256; ++next) {
      const std::uint8_t pair[] = {first[0], static_cast<std::uint8_t>(next)};
      rows_.push_back(keys.ReadUnit(pair, false));
    }
  }
}

// Made in place and never moved: the keys, the reader and the index point
// into the codes and at each other.
struct GameTable::Model {
  Model(std::vector<GameCode> all, std::vector<GameTextAlias> other_texts)
      : codes(std::move(all)),
        aliases(std::move(other_texts)),
        keys(codes),
        reader(keys),
        index(codes, aliases) {
    for (const GameCode& code : codes) {
      if (code.kind == GameCodeKind::kEnd && (first_end == nullptr || code.line < first_end->line)) {
        first_end = &code;
      }
    }
  }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  const std::vector<GameCode> codes;
  const std::vector<GameTextAlias> aliases;
  const detail::GameCodeKeys keys;
  const GameUnitReader reader;
  const GameTextIndex index;
  const GameCode* first_end = nullptr;
};

GameTable::GameTable(std::vector<GameCode> codes, std::vector<GameTextAlias> aliases)
    : model_(std::make_shared<const Model>(std::move(codes), std::move(aliases))) {}

std::span<const GameCode> GameTable::codes() const { return model_->codes; }

std::span<const GameTextAlias> GameTable::aliases() const { return model_->aliases; }

GameTableUnit GameTable::ReadUnit(std::span<const std::uint8_t> bytes, bool at_end) const {
  return model_->keys.ReadUnit(bytes, at_end);
}

const GameUnitReader& GameTable::reader() const { return model_->reader; }

const GameTextIndex& GameTable::text_index() const { return model_->index; }

const GameCode* GameTable::first_end() const { return model_->first_end; }

}  // namespace binconv
