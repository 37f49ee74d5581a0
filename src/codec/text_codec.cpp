#include "codec/text_codec.h"

#include <utility>

namespace binconv {

std::optional<std::vector<std::uint8_t>> TextCodec::EndBytes(
    std::optional<std::uint8_t> end) const {
  if (end) return std::vector<std::uint8_t>{*end};
  if (const GameCode* token = game_.first_end()) return token->bytes;
  return std::nullopt;
}


TextEncoder::TextEncoder(const TextCodec& encoding, LineBreaks line_breaks)
    : encoder_(encoding.table() == nullptr
                   ? std::variant<Encoder, GameEncoder>(std::in_place_type<GameEncoder>,
                                                        encoding.game(), line_breaks)
                   : std::variant<Encoder, GameEncoder>(std::in_place_type<Encoder>,
                                                        *encoding.table(), line_breaks)) {}

void TextEncoder::Feed(std::u16string_view chunk, std::vector<std::uint8_t>& out) {
  std::visit([&](auto& e) { e.Feed(chunk, out); }, encoder_);
}
void TextEncoder::Finish(std::vector<std::uint8_t>& out) {
  std::visit([&](auto& e) { e.Finish(out); }, encoder_);
}
bool TextEncoder::FeedUtf8(std::string_view bytes, std::vector<std::uint8_t>& out) {
  return std::visit([&](auto& e) { return e.FeedUtf8(bytes, out); }, encoder_);
}
bool TextEncoder::FinishUtf8(std::vector<std::uint8_t>& out) {
  return std::visit([&](auto& e) { return e.FinishUtf8(out); }, encoder_);
}
Utf8Error TextEncoder::utf8_error() const {
  return std::visit([](const auto& e) { return e.utf8_error(); }, encoder_);
}
const std::vector<EncodeProblem>& TextEncoder::problems() const {
  return std::visit([](const auto& e) -> const std::vector<EncodeProblem>& {
    return e.problems();
  }, encoder_);
}
void TextEncoder::clear_problems() {
  std::visit([](auto& e) { e.clear_problems(); }, encoder_);
}
bool TextEncoder::odd_count() const {
  const Encoder* encoder = std::get_if<Encoder>(&encoder_);
  return encoder != nullptr && encoder->odd_count();
}

void TextEncoder::set_drop_problems(bool drop) {
  if (Encoder* encoder = std::get_if<Encoder>(&encoder_)) encoder->set_drop_problems(drop);
}

void TextEncoder::set_counts(EncodeCounts* counts) {
  if (Encoder* encoder = std::get_if<Encoder>(&encoder_)) encoder->set_counts(counts);
}

void TextEncoder::set_offsets(std::vector<UnitOffset>* offsets) {
  if (GameEncoder* encoder = std::get_if<GameEncoder>(&encoder_)) encoder->set_offsets(offsets);
}

StringEndReader::StringEndReader(const TextCodec& encoding, std::optional<std::uint8_t> end)
    : game_(encoding.game()), end_(end) {}

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

StringDecoder::StringDecoder(const TextCodec& encoding, std::optional<std::uint8_t> end,
                             DecodeOptions options)
    : decoder_(encoding.game(), options), ends_(encoding, end) {}

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
