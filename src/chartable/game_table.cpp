#include "chartable/game_table.h"

#include <algorithm>

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

GameCodeKeys::GameCodeKeys(std::span<const GameCode> codes) : codes_(codes) {
  for (std::uint32_t i = 0; i < codes_.size(); ++i) {
    const std::vector<std::uint8_t>& bytes = codes_[i].bytes;
    keys_[bytes.size() - 1].push_back({Packed(bytes), i});
    lengths_[bytes[0]] |= static_cast<std::uint8_t>(1u << (bytes.size() - 1));
  }
  for (std::vector<Key>& keys : keys_) {
    std::sort(keys.begin(), keys.end(), [](Key a, Key b) { return a.bytes < b.bytes; });
  }
}

const GameCodeKeys::Key* GameCodeKeys::Find(std::span<const std::uint8_t> bytes) const {
  const std::vector<Key>& keys = keys_[bytes.size() - 1];
  const std::uint32_t wanted = Packed(bytes);
  const auto it = std::lower_bound(keys.begin(), keys.end(), wanted,
                                   [](Key key, std::uint32_t value) { return key.bytes < value; });
  return it != keys.end() && it->bytes == wanted ? &*it : nullptr;
}

bool GameCodeKeys::Continues(std::span<const std::uint8_t> bytes, std::size_t length) const {
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
  const std::uint8_t lengths = lengths_[bytes[0]];
  for (std::size_t length = kMaxGameCodeBytes; length >= 1; --length) {
    if ((lengths >> (length - 1) & 1) == 0) continue;
    if (bytes.size() < length) {
      // The bytes so far may be the start of a longer code.
      if (!at_end && Continues(bytes, length)) return cut;
      continue;
    }
    const Key* key = Find(bytes.first(length));
    if (key == nullptr) continue;
    std::size_t size = length + codes_[key->code].params;
    if (size > bytes.size()) {
      if (!at_end) return cut;
      size = bytes.size();  // a control cut short by the end keeps what there is
    }
    return {GameUnitKind::kCode, key->code, static_cast<std::uint8_t>(size)};
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
