#pragma once
// Tables of tens of megabytes read at random places, such as the patch
// maker's indexes: held on 2 MiB boundaries and, where the system has them
// for the asking (Linux), in huge pages, so that a read seldom has to walk
// the page tables as well.

#include <cstddef>

namespace binconv {

void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* memory, std::size_t bytes) noexcept;

template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  explicit LargeAllocator(const LargeAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
  void deallocate(T* memory, std::size_t n) noexcept { FreeLarge(memory, n * sizeof(T)); }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

}  // namespace binconv
