#include "patch/patch_input.h"

#include <algorithm>
#include <cstring>

namespace binconv {

Result<Unit, IoError> MemoryInput::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
    return Unexpected(DetailedIoError(IoErrorCode::kOutOfRange, "", IoDetail::kReadPastEnd));
  }
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return Unit{};
}

Result<Unit, IoError> FileInput::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  const std::uint64_t have = reader_.size();
  if (offset <= size_ && out.size() <= size_ - offset && offset + out.size() > have) {
    // Bytes of the grown part, past the original's end.
    const std::size_t kept =
        offset < have ? static_cast<std::size_t>(have - offset) : std::size_t{0};
    if (auto read = reader_.ReadAt(offset, out.first(kept)); !read) return read;
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end(), std::uint8_t{0});
    LayFilePatches(offset, out, patches_);
    return Unit{};
  }
  if (auto read = reader_.ReadAt(offset, out); !read) return read;
  LayFilePatches(offset, out, patches_);
  return Unit{};
}

namespace detail {

InputCache::InputCache(PatchInput& input, std::size_t block_bytes, std::size_t blocks)
    : input_(input),
      whole_(input.whole()),
      size_(input.size()),
      block_bytes_(std::max<std::size_t>(block_bytes, kCacheSlack)),
      last_begin_(~std::uint64_t{0} - block_bytes_ + 1) {
  if (whole_ != nullptr) return;
  // No more blocks than the input has, and one more so that reach() covers
  // it all; two at least, for a run's byte in the block before.
  const std::uint64_t needed = size_ / block_bytes_ + 2;
  const std::size_t kept = static_cast<std::size_t>(
      std::max<std::uint64_t>(std::min<std::uint64_t>(blocks, needed), 2));
  tags_.assign(kept, ~std::uint64_t{0});
  bytes_.resize(kept * (block_bytes_ + kCacheSlack));
}

std::uint64_t InputCache::reach() const {
  if (whole_ != nullptr) return size_;
  return static_cast<std::uint64_t>(tags_.size() - 1) * block_bytes_;
}

void InputCache::Load(std::uint64_t block, std::size_t slot) {
  const std::uint64_t from = block * block_bytes_;
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(block_bytes_ + kCacheSlack, size_ - from));
  const std::span<std::uint8_t> into(&bytes_[slot * (block_bytes_ + kCacheSlack)], length);
  tags_[slot] = block;
  if (auto read = input_.ReadAt(from, into); !read) {
    std::fill(into.begin(), into.end(), std::uint8_t{0});
    if (!error_) error_ = read.error();
  }
}

}  // namespace detail

Result<Unit, IoError> ProgressInput::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  auto read = input_.ReadAt(offset, out);
  if (!read) return read;
  if (offset == 0 && furthest_ == size() && size() != 0) {
    // The end was reached and the input is read again from its start.
    ++passes_;
    furthest_ = 0;
  }
  if (offset + out.size() > furthest_) {
    furthest_ = offset + out.size();
    if (progress_) progress_(passes_ * size() + furthest_);
  }
  return read;
}

}  // namespace binconv
