#include "base/bytes.h"

#include <cstdlib>
#include <limits>

#ifdef __linux__
#include <sys/mman.h>
#endif

void* allocateImageBytes(std::size_t bytes) {
#ifdef __linux__
    constexpr std::size_t hugePage = std::size_t{2} << 20;
    if (bytes >= hugePage && bytes <= std::numeric_limits<std::size_t>::max() - hugePage) {
        const std::size_t rounded = (bytes + hugePage - 1) & ~(hugePage - 1);
        void* memory = std::aligned_alloc(hugePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        (void)::madvise(memory, rounded, MADV_HUGEPAGE); // a hint; fine if refused
        return memory;
    }
#endif
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void releaseImageBytes(void* bytes) noexcept {
    std::free(bytes);
}
