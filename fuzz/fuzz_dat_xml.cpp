// The Logiqx XML DAT parser over fuzzed files, checked as dat_check.h says.

#include <cstddef>
#include <cstdint>

#include "dat/logiqx.h"
#include "dat_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzDatParser({data, size}, parseLogiqxDat);
}
