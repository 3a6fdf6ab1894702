#include <algorithm>
#include <array>
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

struct LzmaSectionEncoder::State {
    lzma_stream stream = LZMA_STREAM_INIT;
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() { lzma_end(&stream); }
};

LzmaSectionEncoder::LzmaSectionEncoder(std::uint64_t expectedBytes) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 9) != 0) {
        return;
    }
    // The decoder's limit bounds the dictionary too; a larger one than the
    // bytes to see only costs memory.
    constexpr std::uint64_t smallest = LZMA_DICT_SIZE_MIN;
    constexpr std::uint64_t largest = std::uint64_t{64} << 20;
    options.dict_size = static_cast<std::uint32_t>(std::clamp(expectedBytes, smallest, largest));
    // A section's bytes keep no alignment (new bytes, instructions, addresses
    // of all lengths one after another): position bits would only split what
    // the coder learns four ways.
    options.pb = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    auto started = std::make_unique<State>();
    if (lzma_stream_encoder(&started->stream, filters, LZMA_CHECK_NONE) == LZMA_OK) {
        state = std::move(started);
    }
}

LzmaSectionEncoder::~LzmaSectionEncoder() = default;

bool encodeLzmaSection(LzmaSectionEncoder& section, std::span<const std::uint8_t> in, Bytes& out) {
    if (!section.state) {
        return false;
    }
    lzma_stream& z = section.state->stream;
    z.next_in = in.data();
    z.avail_in = in.size();
    std::array<std::uint8_t, 1 << 16> buffer{};
    for (;;) {
        z.next_out = buffer.data();
        z.avail_out = buffer.size();
        const lzma_ret ret = lzma_code(&z, LZMA_SYNC_FLUSH);
        out.insert(out.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
        if (ret == LZMA_STREAM_END) {
            return true;
        }
        if (ret != LZMA_OK) {
            section.state.reset();
            return false;
        }
    }
}
