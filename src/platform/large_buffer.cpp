#include "platform/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace quillet::large_buffer {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* Allocate(std::size_t bytes) {
  const std::size_t size = RoundUp(bytes);
  if (size < bytes || size + kHugePage < size) throw std::bad_alloc();
  // Map one huge page more than needed and give back what lies outside the
  // aligned part.
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const std::size_t skip = (kHugePage - reinterpret_cast<std::uintptr_t>(mapped) % kHugePage) % kHugePage;
  char* const aligned = static_cast<char*>(mapped) + skip;
  if (skip > 0) munmap(mapped, skip);
  if (skip < kHugePage) munmap(aligned + size, kHugePage - skip);
  // Only advice: where huge pages are off, the buffer works with small ones.
  madvise(aligned, size, MADV_HUGEPAGE);
  return aligned;
}

void Release(void* at, std::size_t bytes) {
  if (at != nullptr) munmap(at, RoundUp(bytes));
}

}  // namespace quillet::large_buffer
