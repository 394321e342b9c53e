// Buffers for whole pictures and coefficient planes. A buffer of 256 KiB or
// more is mapped on its own, aligned to 2 MiB and offered to the kernel for
// transparent huge pages, so it is faulted in a few large pages instead of
// hundreds of 4 KiB ones (each fault costs microseconds, more on a virtual
// machine, and a 1440 x 1080 slide touches thousands). Smaller buffers come
// from operator new as usual, and so do all under AddressSanitizer, which
// watches heap blocks only.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLET_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUILLET_ADDRESS_SANITIZER 1
#endif

namespace quillet {

namespace large_buffer {
#ifdef QUILLET_ADDRESS_SANITIZER
inline constexpr std::size_t kThreshold = static_cast<std::size_t>(-1);
#else
inline constexpr std::size_t kThreshold = std::size_t{256} << 10;
#endif
void* Allocate(std::size_t bytes);          // bytes >= kThreshold; throws std::bad_alloc
void Release(void* at, std::size_t bytes);  // as allocated
}  // namespace large_buffer

template <class T>
struct LargeBufferAllocator {
  using value_type = T;

  LargeBufferAllocator() = default;
  template <class U>
  LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = count * sizeof(T);
    if (bytes < large_buffer::kThreshold) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(large_buffer::Allocate(bytes));
  }
  void deallocate(T* at, std::size_t count) noexcept {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < large_buffer::kThreshold)
      ::operator delete(at);
    else
      large_buffer::Release(at, bytes);
  }

  friend bool operator==(const LargeBufferAllocator&, const LargeBufferAllocator&) { return true; }
};

template <class T>
using LargeVector = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace quillet
