#pragma once
// What a patch is made from: the original and the result, each read at any
// offset from a file (or a file with writes laid over it) or from memory,
// and the cache through which the maker reads them, so that neither is held
// whole.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "runtime/file.h"
#include "runtime/large_table.h"
#include "runtime/result.h"

namespace binconv {

class PatchInput {
 public:
  virtual ~PatchInput() = default;
  virtual std::uint64_t size() const = 0;
  // Exactly `out.size()` bytes from `offset`.
  virtual Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  // Every byte, when they are in memory already; null when they are read.
  virtual const std::uint8_t* whole() const { return nullptr; }
};

class MemoryInput final : public PatchInput {
 public:
  explicit MemoryInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::uint8_t* whole() const override { return bytes_.data(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// An open file, and with `patches` the file as it will be once they are
// written over it (PatchFileAtomically): the result of an insert before it
// exists. The patches must fit the file (FilePatchesFit).
class FileInput final : public PatchInput {
 public:
  // `size` past the reader's end: the file grown to it, zeros before the patches.
  explicit FileInput(FileReader& reader, std::span<const FilePatch> patches = {},
                     std::uint64_t size = 0)
      : reader_(reader), patches_(patches), size_(std::max(size, reader.size())) {}
  std::uint64_t size() const override { return size_; }
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  FileReader& reader_;
  std::span<const FilePatch> patches_;
  std::uint64_t size_ = 0;
};

// A patch's input read through, telling `progress` how far it has been read:
// the furthest byte of this pass plus the size for each pass that reached the
// end before a read from the start again (see PassesOverModified),
// so that a job that makes a patch can show how far it has come.
class ProgressInput final : public PatchInput {
 public:
  ProgressInput(PatchInput& input, std::function<void(std::uint64_t)> progress)
      : input_(input), progress_(std::move(progress)) {}
  std::uint64_t size() const override { return input_.size(); }
  Result<Unit, IoError> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  const std::uint8_t* whole() const override { return input_.whole(); }

 private:
  PatchInput& input_;
  std::function<void(std::uint64_t)> progress_;
  std::uint64_t furthest_ = 0;
  std::uint64_t passes_ = 0;
};

// How much memory making a patch may take. The maker holds the index of the
// original, two caches of blocks (one of the original, one of the result),
// the index of the result's recent bytes and the patch itself.
struct PatchMemory {
  // The index of the original has 2^bits places of 8 bytes; a larger
  // original is indexed at every (size / 2^bits)-th place rather than every
  // fourth, so matches shorter than that step may go unseen.
  int index_bits = 23;
  std::size_t block_bytes = std::size_t{64} << 10;
  std::size_t source_blocks = 256;
  // New bytes are found again only as far back as these blocks reach.
  std::size_t target_blocks = 1024;
};

namespace detail {

// Blocks of an input, read as they are needed; each kept until another
// block takes its place (block number modulo the count). The bytes of a
// block are followed by kCacheSlack bytes of the next, so that an 8-byte
// key never straddles two blocks.
class InputCache {
 public:
  static constexpr std::size_t kCacheSlack = 64;
  InputCache(PatchInput& input, std::size_t block_bytes, std::size_t blocks);
  std::uint64_t size() const { return size_; }
  // The bytes from `offset` < size() on, at least min(kCacheSlack, size() - offset)
  // of them, as told by Available.
  const std::uint8_t* At(std::uint64_t offset) {
    if (whole_ != nullptr) return whole_ + offset;
    // The block read last is read again most of the time: known without a division.
    if (offset - last_begin_ < block_bytes_) return last_ + (offset - last_begin_);
    const std::uint64_t block = offset / block_bytes_;
    const std::size_t slot = static_cast<std::size_t>(block % tags_.size());
    if (tags_[slot] != block) Load(block, slot);
    last_begin_ = block * block_bytes_;
    last_ = &bytes_[slot * (block_bytes_ + kCacheSlack)];
    return last_ + (offset - last_begin_);
  }
  std::size_t Available(std::uint64_t offset) const {
    const std::uint64_t left = size_ - offset;
    if (whole_ != nullptr) return static_cast<std::size_t>(std::min<std::uint64_t>(left, SIZE_MAX));
    const std::uint64_t in_block =
        block_bytes_ + kCacheSlack -
        (offset - last_begin_ < block_bytes_ ? offset - last_begin_ : offset % block_bytes_);
    return static_cast<std::size_t>(std::min(left, in_block));
  }
  // How far apart two offsets may be and still be held at once.
  std::uint64_t reach() const;
  // The first read that failed; its bytes read as zeros.
  const std::optional<IoError>& error() const { return error_; }

 private:
  void Load(std::uint64_t block, std::size_t slot);

  PatchInput& input_;
  const std::uint8_t* whole_;
  std::uint64_t size_;
  std::size_t block_bytes_;
  std::vector<std::uint64_t> tags_;
  std::vector<std::uint8_t, LargeAllocator<std::uint8_t>> bytes_;
  // The block At gave last, which is always held: where it starts in the
  // input (none yet: a block's length short of 2^64, beyond any offset) and
  // its bytes.
  std::uint64_t last_begin_;
  const std::uint8_t* last_ = nullptr;
  std::optional<IoError> error_;
};

}  // namespace detail

}  // namespace binconv
