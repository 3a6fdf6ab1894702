#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

// Memory for image bytes: a large image is placed where the system can back it
// with huge pages, which saves most of the page faults of filling it.
// Throws std::bad_alloc when the memory cannot be had.
void* allocateImageBytes(std::size_t bytes);
void releaseImageBytes(void* bytes) noexcept;

// Leaves new bytes uninitialised when a vector grows without a value, so that
// a buffer which a file read overwrites at once is not zeroed first. Growing
// with an explicit value (resize(n, 0)) still fills as usual.
template <class T> struct DefaultInitAllocator : std::allocator<T> {
    using value_type = T;
    template <class U> struct rebind { using other = DefaultInitAllocator<U>; };
    DefaultInitAllocator() noexcept = default;
    template <class U> DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(allocateImageBytes(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { releaseImageBytes(p); }

    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const DefaultInitAllocator<U>&) const noexcept {
        return true;
    }
};

// The bytes of a file, a patch, an archive member or an image being built:
// a contiguous, growable array with no metadata.
using Bytes = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

// Whether the bytes at offset are exactly these (false when they run past
// the end): a magic or a mark at a fixed offset.
inline bool hasBytesAt(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                       std::span<const std::uint8_t> expected) {
    return offset <= bytes.size() && expected.size() <= bytes.size() - offset &&
           std::equal(expected.begin(), expected.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The same for a mark written as text, its characters taken as bytes.
inline bool hasBytesAt(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                       std::string_view text) {
    return hasBytesAt(bytes, offset,
                      std::span<const std::uint8_t>(
                          reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}
