// BPS (beat format): "BPS1", the source size, the target size, a metadata
// string, then actions until 12 bytes before the end, which hold the CRC-32
// of the source, of the target and of the patch before them (little-endian).
// An action is a number: its length less one times four, plus its kind.
//   SourceRead: the source's bytes at the same place as the output.
//   TargetRead: bytes of the patch.
//   SourceCopy, TargetCopy: bytes of the source, or of the target written so
//     far, from an offset kept per kind and moved by a signed number.

#include <algorithm>
#include <cstring>

#include "patch/patch_format.h"
#include "runtime/crc32.h"

namespace binconv {
namespace {

using enum detail::BpsAction;

using detail::kBpsMagic;
constexpr std::size_t kFooterSize = 12;

std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
}  // namespace

namespace detail {

void AppendBpsNumber(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (;;) {
    const std::uint8_t low = value & 0x7F;
    value >>= 7;
    if (value == 0) {
      out.push_back(0x80 | low);
      return;
    }
    out.push_back(low);
    --value;
  }
}

Result<std::uint64_t, Problem> ReadBpsNumber(std::span<const std::uint8_t> patch,
                                             std::size_t& pos) {
  const std::size_t start = pos;
  std::uint64_t data = 0;
  std::uint64_t shift = 1;
  for (;;) {
    if (pos >= patch.size()) return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, start));
    const std::uint8_t x = patch[pos++];
    std::uint64_t add = 0;
    if (__builtin_mul_overflow(std::uint64_t{x & 0x7Fu}, shift, &add) ||
        __builtin_add_overflow(data, add, &data)) {
      return Unexpected(PatchProblem(ProblemCode::kPatchNumberTooLarge, start));
    }
    if (x & 0x80) return data;
    if (__builtin_mul_overflow(shift, std::uint64_t{128}, &shift) ||
        __builtin_add_overflow(data, shift, &data)) {
      return Unexpected(PatchProblem(ProblemCode::kPatchNumberTooLarge, start));
    }
  }
}

}  // namespace detail

Result<BpsHeader, Problem> ReadBpsHeader(std::span<const std::uint8_t> patch) {
  if (patch.size() < sizeof kBpsMagic)
    return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, patch.size()));
  if (!std::equal(std::begin(kBpsMagic), std::end(kBpsMagic), patch.begin())) {
    return Unexpected(PatchProblem(ProblemCode::kNotAPatch, 0));
  }
  if (patch.size() < sizeof kBpsMagic + kFooterSize) {
    return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, patch.size()));
  }
  const std::span<const std::uint8_t> body = patch.first(patch.size() - kFooterSize);
  BpsHeader header;
  std::size_t pos = sizeof kBpsMagic;
  auto source = detail::ReadBpsNumber(body, pos);
  if (!source) return Unexpected(source.error());
  auto target = detail::ReadBpsNumber(body, pos);
  if (!target) return Unexpected(target.error());
  const std::size_t metadata_at = pos;
  auto metadata = detail::ReadBpsNumber(body, pos);
  if (!metadata) return Unexpected(metadata.error());
  if (metadata.value() > body.size() - pos) {
    return Unexpected(PatchProblem(ProblemCode::kPatchCutShort, metadata_at));
  }
  header.source_size = source.value();
  header.target_size = target.value();
  header.metadata.assign(body.begin() + static_cast<std::ptrdiff_t>(pos),
                         body.begin() + static_cast<std::ptrdiff_t>(pos + metadata.value()));
  header.actions_begin = pos + static_cast<std::size_t>(metadata.value());
  header.source_crc = Get32(patch, body.size());
  header.target_crc = Get32(patch, body.size() + 4);
  header.patch_crc = Get32(patch, body.size() + 8);
  return header;
}

namespace {

using ReadStream = Result<Unit, IoError> (detail::PatchStreams::*)(std::uint64_t,
                                                                   std::span<std::uint8_t>);

PatchFileError PatchFailure(ProblemCode code, std::uint64_t position, std::uint64_t expected = 0,
                            std::uint64_t actual = 0) {
  return PatchFileError{PatchProblem(code, position, expected, actual)};
}

// One patch being applied: where its actions are read and what the result
// holds so far.
class BpsApplier {
 public:
  BpsApplier(std::span<const std::uint8_t> body, const BpsHeader& header,
             std::uint64_t source_size, detail::PatchStreams& io)
      : body_(body),
        header_(header),
        source_size_(source_size),
        io_(io),
        // One buffer serves every read of the source and of the result so far.
        buffer_(static_cast<std::size_t>(std::min<std::uint64_t>(
            kPatchCopyBuffer, std::max<std::uint64_t>({source_size, header.target_size, 1})))),
        pos_(header.actions_begin) {}

  // The CRC first: it is what a player compares with the revision they have.
  Result<Unit, PatchFileError> CheckSource(std::uint64_t max_target) {
    std::uint32_t crc = 0;
    for (std::uint64_t at = 0; at < source_size_;) {
      const auto piece = Window(source_size_ - at);
      if (auto r = io_.ReadSource(at, piece); !r) return Unexpected(PatchFileError{r.error()});
      crc = UpdateCrc32(crc, piece);
      at += piece.size();
    }
    if (crc != header_.source_crc) {
      return Unexpected(
          PatchFailure(ProblemCode::kPatchSourceCrc, body_.size(), header_.source_crc, crc));
    }
    if (header_.source_size != source_size_) {
      return Unexpected(
          PatchFailure(ProblemCode::kPatchSourceSize, 4, header_.source_size, source_size_));
    }
    if (header_.target_size > max_target) {
      return Unexpected(
          PatchFailure(ProblemCode::kPatchTargetTooLarge, 4, max_target, header_.target_size));
    }
    return Unit{};
  }

  // Every action in turn, then the result's size and CRC.
  Result<Unit, PatchFileError> ApplyActions() {
    while (pos_ < body_.size()) {
      if (auto r = ApplyAction(); !r) return r;
    }
    const std::size_t end = body_.size();
    if (written_ != header_.target_size) {
      return Unexpected(
          PatchFailure(ProblemCode::kPatchIncomplete, end, header_.target_size, written_));
    }
    if (target_crc_ != header_.target_crc) {
      return Unexpected(
          PatchFailure(ProblemCode::kPatchTargetCrc, end + 4, header_.target_crc, target_crc_));
    }
    return Unit{};
  }

 private:
  Result<Unit, PatchFileError> ApplyAction() {
    const std::size_t at = pos_;
    auto number = detail::ReadBpsNumber(body_, pos_);
    if (!number) return Unexpected(PatchFileError{number.error()});
    const std::uint64_t kind = number.value() & 3;
    const std::uint64_t length = (number.value() >> 2) + 1;
    const std::uint64_t out = written_;
    if (length > header_.target_size - out) {
      return Unexpected(PatchFailure(ProblemCode::kPatchPastTarget, at));
    }
    Result<Unit, IoError> done = Unit{};
    switch (kind) {
      case kSourceRead:
        if (out >= source_size_ || length > source_size_ - out) {
          return Unexpected(PatchFailure(ProblemCode::kPatchPastSource, at));
        }
        done = CopyThrough(&detail::PatchStreams::ReadSource, out, length);
        break;
      case kTargetRead:
        if (length > body_.size() - pos_)
          return Unexpected(PatchFailure(ProblemCode::kPatchCutShort, at));
        done = Put(body_.subspan(pos_, static_cast<std::size_t>(length)));
        pos_ += static_cast<std::size_t>(length);
        break;
      case kSourceCopy:
        if (auto r =
                MoveOffset(source_rel_, source_size_, length, at, ProblemCode::kPatchPastSource);
            !r) {
          return Unexpected(PatchFileError{r.error()});
        }
        done = CopyThrough(&detail::PatchStreams::ReadSource, source_rel_, length);
        source_rel_ += length;
        break;
      case kTargetCopy:
        // Only bytes already written may be copied.
        if (auto r = MoveOffset(target_rel_, out, 0, at, ProblemCode::kPatchPastTarget); !r) {
          return Unexpected(PatchFileError{r.error()});
        }
        done = CopyTarget(target_rel_, length);
        target_rel_ += length;
        break;
    }
    if (!done) return Unexpected(PatchFileError{done.error()});
    return Unit{};
  }

  // Moves an offset by the signed number at pos_; the copy must lie inside `limit`.
  Result<Unit, Problem> MoveOffset(std::uint64_t& offset, std::uint64_t limit, std::uint64_t length,
                                   std::size_t at, ProblemCode past) {
    auto number = detail::ReadBpsNumber(body_, pos_);
    if (!number) return Unexpected(number.error());
    const std::uint64_t distance = number.value() >> 1;
    if (number.value() & 1) {
      if (distance > offset) return Unexpected(PatchProblem(past, at));
      offset -= distance;
    } else {
      if (distance > limit - offset) return Unexpected(PatchProblem(past, at));
      offset += distance;
    }
    if (offset >= limit || length > limit - offset) return Unexpected(PatchProblem(past, at));
    return Unit{};
  }

  // The first `length` bytes of the buffer, or all of it.
  std::span<std::uint8_t> Window(std::uint64_t length) {
    return std::span<std::uint8_t>(buffer_).first(
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), length)));
  }

  Result<Unit, IoError> Put(std::span<const std::uint8_t> bytes) {
    target_crc_ = UpdateCrc32(target_crc_, bytes);
    written_ += bytes.size();
    return io_.Append(bytes);
  }

  // Bytes of the source or of the result, a buffer at a time.
  Result<Unit, IoError> CopyThrough(ReadStream read, std::uint64_t from, std::uint64_t length) {
    while (length > 0) {
      const auto piece = Window(length);
      if (auto r = (io_.*read)(from, piece); !r) return r;
      if (auto r = Put(piece); !r) return r;
      from += piece.size();
      length -= piece.size();
    }
    return Unit{};
  }

  // Bytes of the result from `from` on; the copy may overlap what it
  // writes, repeating the `distance` bytes before it.
  Result<Unit, IoError> CopyTarget(std::uint64_t from, std::uint64_t length) {
    const std::uint64_t distance = written_ - from;
    if (distance >= buffer_.size()) return CopyThrough(&detail::PatchStreams::ReadTarget, from, length);
    // A short pattern: read once, repeated across the buffer in whole
    // periods, then written a buffer at a time.
    const std::size_t period = static_cast<std::size_t>(distance);
    if (auto r = io_.ReadTarget(from, Window(period)); !r) return r;
    const std::size_t filled = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer_.size() / period * period, length));
    for (std::size_t k = period; k < filled; ++k) buffer_[k] = buffer_[k - period];
    while (length > 0) {
      const auto piece = std::span<const std::uint8_t>(buffer_).first(
          static_cast<std::size_t>(std::min<std::uint64_t>(filled, length)));
      if (auto r = Put(piece); !r) return r;
      length -= piece.size();
    }
    return Unit{};
  }

  std::span<const std::uint8_t> body_;  // the patch without its footer
  const BpsHeader& header_;
  std::uint64_t source_size_;
  detail::PatchStreams& io_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_;
  std::uint64_t written_ = 0;
  std::uint32_t target_crc_ = 0;
  std::uint64_t source_rel_ = 0;
  std::uint64_t target_rel_ = 0;
};

}  // namespace

namespace detail {

Result<Unit, PatchFileError> ApplyBpsThrough(std::span<const std::uint8_t> patch,
                                             std::uint64_t source_size, PatchStreams& io,
                                             std::uint64_t max_target) {
  auto read = ReadBpsHeader(patch);
  if (!read) return Unexpected(PatchFileError{read.error()});
  const BpsHeader& h = read.value();
  const std::size_t end = patch.size() - kFooterSize;
  if (const std::uint32_t crc = Crc32(patch.first(end + 8)); crc != h.patch_crc) {
    return Unexpected(PatchFailure(ProblemCode::kPatchCrc, end + 8, h.patch_crc, crc));
  }
  BpsApplier applier(patch.first(end), h, source_size, io);
  if (auto r = applier.CheckSource(max_target); !r) return r;
  if (auto r = io.Begin(h.target_size); !r) return Unexpected(PatchFileError{r.error()});
  return applier.ApplyActions();
}

}  // namespace detail

namespace {

// The source and the result in memory.
class MemoryStreams final : public detail::PatchStreams {
 public:
  MemoryStreams(std::span<const std::uint8_t> source, std::uint64_t patch_size,
                std::vector<std::uint8_t>& target)
      : source_(source), patch_size_(patch_size), target_(target) {}
  Result<Unit, IoError> ReadSource(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    std::memcpy(bytes.data(), source_.data() + offset, bytes.size());
    return Unit{};
  }
  Result<Unit, IoError> Begin(std::uint64_t target_size) override {
    // Reserved only as far as the patch could plausibly fill it; the rest
    // grows as actions really write.
    target_.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(target_size, source_.size() + patch_size_ * 4)));
    return Unit{};
  }
  Result<Unit, IoError> Append(std::span<const std::uint8_t> bytes) override {
    target_.insert(target_.end(), bytes.begin(), bytes.end());
    return Unit{};
  }
  Result<Unit, IoError> ReadTarget(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    std::memcpy(bytes.data(), target_.data() + offset, bytes.size());
    return Unit{};
  }

 private:
  std::span<const std::uint8_t> source_;
  std::uint64_t patch_size_;
  std::vector<std::uint8_t>& target_;
};

}  // namespace

Result<std::vector<std::uint8_t>, Problem> ApplyBps(std::span<const std::uint8_t> source,
                                                    std::span<const std::uint8_t> patch,
                                                    std::uint64_t max_target) {
  std::vector<std::uint8_t> target;
  MemoryStreams streams(source, patch.size(), target);
  auto applied = detail::ApplyBpsThrough(patch, source.size(), streams, max_target);
  // Memory reports no IoError.
  if (!applied) return Unexpected(std::get<Problem>(applied.error()));
  return target;
}

}  // namespace binconv
