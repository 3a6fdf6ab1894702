#include "hash/digests.h"

#include <gcrypt.h>

void initialiseHashing() {
    // The library must be told its version before anything else and that its
    // set-up is finished; a magic static does both exactly once.
    static const bool started = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    (void)started;
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    initialiseHashing();
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, GCRY_MD_CRC32, 0) != 0) {
        return 0;
    }
    gcry_md_write(handle, bytes.data(), bytes.size());
    const unsigned char* digest = gcry_md_read(handle, GCRY_MD_CRC32);
    // The library gives the CRC as four bytes, most significant first.
    const std::uint32_t value = static_cast<std::uint32_t>(digest[0]) << 24 |
                                static_cast<std::uint32_t>(digest[1]) << 16 |
                                static_cast<std::uint32_t>(digest[2]) << 8 | digest[3];
    gcry_md_close(handle);
    return value;
}
