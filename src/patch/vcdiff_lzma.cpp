#include <cstdint>

#include <lzma.h>

#include "patch/vcdiff_secondary.h"

// The decoder may use at most 128 MiB: xdelta3's strongest setting makes a
// 64 MiB dictionary, and a hostile stream could otherwise ask for 4 GiB.
namespace {
constexpr std::uint64_t memoryLimit = std::uint64_t{128} << 20;
}

struct LzmaSectionStream::State {
    lzma_stream stream = LZMA_STREAM_INIT;
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() { lzma_end(&stream); }
};

LzmaSectionStream::LzmaSectionStream() = default;
LzmaSectionStream::~LzmaSectionStream() = default;

bool decodeLzmaSection(LzmaSectionStream& section, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out) {
    if (!section.state) {
        section.state = std::make_unique<LzmaSectionStream::State>();
        if (lzma_stream_decoder(&section.state->stream, memoryLimit, 0) != LZMA_OK) {
            return false;
        }
    }
    lzma_stream& z = section.state->stream;
    z.next_in = in.data();
    z.avail_in = in.size();
    z.next_out = out.data();
    z.avail_out = out.size();
    // The section ends at a sync flush: its bytes give exactly its output.
    // A stream that ends, fails or stops making progress before that is
    // damaged; liblzma reports no progress as LZMA_BUF_ERROR.
    while (z.avail_out > 0) {
        const lzma_ret ret = lzma_code(&z, LZMA_RUN);
        if (ret != LZMA_OK) {
            section.state.reset();
            return false;
        }
    }
    return z.avail_in == 0;
}
