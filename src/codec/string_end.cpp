#include "codec/string_end.h"

#include <utility>

namespace binconv {

std::optional<std::vector<std::uint8_t>> EndBytesOf(const GameTable& encoding,
                                                    std::optional<std::uint8_t> end) {
  if (end) return std::vector<std::uint8_t>{*end};
  if (const GameCode* token = encoding.first_end()) {
    return std::vector<std::uint8_t>(token->bytes.begin(), token->bytes.end());
  }
  return std::nullopt;
}


StringEndReader::StringEndReader(const GameTable& encoding, std::optional<std::uint8_t> end)
    : game_(encoding), end_(end) {}

std::optional<StringEndReader::Ended> StringEndReader::Feed(std::uint8_t byte) {
  held_.push_back(byte);
  return Read(false);
}

std::optional<StringEndReader::Ended> StringEndReader::Finish() {
  if (held_.empty()) return std::nullopt;
  return Read(true);
}

std::optional<StringEndReader::Ended> StringEndReader::Read(bool at_end) {
  while (!held_.empty()) {
    const GameTableUnit unit = game_.reader().ReadUnit(held_, at_end);
    if (unit.kind == GameUnitKind::kCut) return std::nullopt;
    const bool ends =
        (unit.kind == GameUnitKind::kCode &&
         game_.codes()[unit.code].kind == GameCodeKind::kEnd) ||
        (end_ && unit.size == 1 && held_[0] == *end_);
    if (ends) {
      const Ended ended{unit.size, held_.size() - unit.size};
      held_.clear();
      return ended;
    }
    held_.erase(held_.begin(), held_.begin() + unit.size);
  }
  return std::nullopt;
}

StringDecoder::StringDecoder(const GameTable& encoding, std::optional<std::uint8_t> end,
                             DecodeOptions options)
    : decoder_(encoding, options), ends_(encoding, end) {}

void StringDecoder::Feed(std::span<const std::uint8_t> bytes, std::u16string& out) {
  for (const std::uint8_t byte : bytes) {
    if (ended_) return;
    pending_.push_back(byte);
    if (const std::optional<StringEndReader::Ended> ended = ends_.Feed(byte)) End(*ended, out);
  }
  // An end is found at most a unit's bytes after it starts.
  if (pending_.size() > kMaxGameUnitBytes) {
    const std::size_t ready = pending_.size() - kMaxGameUnitBytes;
    decoder_.Feed(std::span(pending_).first(ready), out);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(ready));
  }
}

void StringDecoder::Finish(std::u16string& out) {
  if (!ended_) {
    if (const std::optional<StringEndReader::Ended> ended = ends_.Finish()) {
      End(*ended, out);
    } else {
      decoder_.Feed(pending_, out);
      pending_.clear();
    }
  }
  decoder_.Finish(out);
}

void StringDecoder::End(StringEndReader::Ended ended, std::u16string& out) {
  pending_.resize(pending_.size() - ended.past - ended.size);
  decoder_.Feed(pending_, out);
  pending_.clear();
  ended_ = true;
}

}  // namespace binconv
