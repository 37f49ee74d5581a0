#include "runtime/large_table.h"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace binconv {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes);
  void* memory = ::operator new(bytes, std::align_val_t{kHugePage});
#ifdef __linux__
  // Only asked for: a system that gives none reads the table the same, slower.
  ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
  return memory;
}

void FreeLarge(void* memory, std::size_t bytes) noexcept {
  if (bytes < kHugePage) {
    ::operator delete(memory);
  } else {
    ::operator delete(memory, std::align_val_t{kHugePage});
  }
}

}  // namespace binconv
