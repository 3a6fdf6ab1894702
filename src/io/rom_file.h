#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
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
    template <class U> struct rebind {
        using other = DefaultInitAllocator<U>;
    };
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

// The whole content of one file, nothing else. Empty means "could not be read"
// or "zero length"; the two are not told apart.
using RomImage = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

// Reads a whole regular file. Anything else (missing, unreadable, a directory,
// a FIFO, a device, a file that changes size while read, a file too large for
// memory) gives an empty image.
RomImage readRomFile(const std::string& path);

// True when the path names an existing regular file (links followed): no
// folder, device or FIFO.
bool isRegularFile(const std::string& path);

// Stores the bytes at path. An existing regular file is replaced only by a
// complete new file (written beside it, then renamed over it, keeping its
// permission bits); on any failure the old content stays as it was. A path
// that exists but is not a regular file (a device, a FIFO, a symbolic link)
// is opened and written in place. Returns true when every step succeeded.
bool writeRomFile(const std::string& path, std::span<const std::uint8_t> bytes);

// The common shape of a one-input operation: read the input, let the
// transformation accept (true) or reject (false) the image, write the result.
// A rejected or unreadable input writes nothing.
bool transformRomFile(const std::string& inputPath, const std::string& outputPath,
                      bool (*transform)(RomImage& image));

// The common shape of a two-input operation (the patchers and the patch
// creators): read both inputs whole, let the operation build the output
// (nullopt rejects the inputs, and nothing is written), write it.
bool combineRomFiles(const std::string& firstPath, const std::string& secondPath,
                     const std::string& outputPath,
                     std::optional<RomImage> (*combine)(std::span<const std::uint8_t>,
                                                        std::span<const std::uint8_t>));
