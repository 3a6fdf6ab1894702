#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "base/byte_order.h"
#include "io/output_file.h"
#include "patch/bps_match.h"
#include "patch/patch.h"
#include "patch/vcdiff.h"
#include "patch/vcdiff_format.h"
#include "patch/vcdiff_secondary.h"

namespace vcdiff {

namespace {

// xdelta3's decoder takes a target window of at most 16 MiB, and keeps up to
// 64 MiB of the source at hand: an original up to that size is each window's
// source segment whole.
constexpr std::uint64_t windowSize = std::uint64_t{1} << 24;
constexpr std::uint64_t wholeSourceUpTo = std::uint64_t{64} << 20;
// Positions are kept in 32 bits by the match finder.
constexpr std::uint64_t largestImage = std::numeric_limits<std::uint32_t>::max();
// A run of one byte at least this long goes as a RUN.
constexpr std::uint64_t shortestRun = 8;
constexpr std::uint64_t shortestCopy = 4;
constexpr std::uint64_t longCopy = 8;

// One instruction of a window, before it is coded.
struct Step {
    std::uint8_t type = Noop;
    std::uint64_t size = 0;
    std::uint64_t address = 0; // COPY: in the window's string (segment, then target)
};

// The opcodes of the default table: one instruction, or two in one.
class Opcodes {
  public:
    Opcodes() {
        const CodeTable& table = defaultCodeTable();
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            const CodeEntry& e = table.entries[i];
            const auto code = static_cast<std::uint8_t>(i);
            if (e.second.type == Noop) {
                single_.try_emplace(key(e.first), code);
            } else {
                pair_.try_emplace(key(e.first) << 16 | key(e.second), code);
            }
        }
    }

    std::optional<std::uint8_t> single(const Instruction& in) const {
        const auto found = single_.find(key(in));
        return found == single_.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::uint8_t> pair(const Instruction& a, const Instruction& b) const {
        const auto found = pair_.find(key(a) << 16 | key(b));
        return found == pair_.end() ? std::nullopt : std::optional(found->second);
    }

  private:
    static std::uint32_t key(const Instruction& in) {
        return std::uint32_t{in.type} << 12 | std::uint32_t{in.mode} << 8 | in.size;
    }
    std::unordered_map<std::uint32_t, std::uint8_t> single_;
    std::unordered_map<std::uint32_t, std::uint8_t> pair_;
};

// A window's three sections, before any compression.
struct Sections {
    Bytes data;
    Bytes inst;
    Bytes addr;
};

// The size an instruction has in the table: its own where one fits, else 0
// (the size follows in the instruction section).
Instruction tableForm(const Step& step, std::uint8_t mode) {
    const bool fits = (step.type == Add && step.size >= 1 && step.size <= 17) ||
                      (step.type == Copy && step.size >= 4 && step.size <= 18);
    return {step.type, static_cast<std::uint8_t>(fits ? step.size : 0), mode};
}

// True when the target's bytes [from, from + length) are one byte repeated.
bool oneByte(std::span<const std::uint8_t> target, std::uint64_t from, std::uint64_t length) {
    const auto first = target.begin() + static_cast<std::ptrdiff_t>(from);
    return std::all_of(first, first + static_cast<std::ptrdiff_t>(length),
                       [&](std::uint8_t b) { return b == *first; });
}

// A COPY of one byte repeated goes as a RUN where its address would take
// three bytes or more (a far one from the original), or where it repeats the
// byte just before it (the run then takes that byte in too): the RUN's one
// byte in the data section costs less. Nearer copies stay: once the sections
// are compressed their addresses cost less than the RUN's byte among the new
// ones. The address caches are followed as the coder will fill them.
std::vector<Step> withRuns(const std::vector<Step>& steps, std::span<const std::uint8_t> target,
                           std::uint64_t windowStart, std::uint64_t segmentLength) {
    std::vector<Step> out;
    out.reserve(steps.size());
    AddressCache cache(defaultCodeTable().nearSize, defaultCodeTable().sameSize);
    std::uint64_t here = segmentLength;
    std::uint64_t at = windowStart;
    for (const Step& step : steps) {
        Step next = step;
        if (step.type == Copy) {
            const AddressCache::Choice choice = cache.choose(step.address, here);
            const std::size_t addressBytes =
                choice.mode >= 2 + defaultCodeTable().nearSize ? 1 : integerLength(choice.value);
            if ((addressBytes >= 3 || step.address + 1 == here) && oneByte(target, at, step.size)) {
                next = {Run, step.size, 0};
            } else {
                cache.update(step.address);
            }
        }
        if (next.type == Run && !out.empty() && target[at - 1] == target[at]) {
            Step& before = out.back();
            if (before.type == Run) {
                before.size += next.size;
                next.size = 0;
            } else if (before.type == Add) {
                // The ADD's last byte starts the run.
                --before.size;
                ++next.size;
                if (before.size == 0) {
                    out.pop_back();
                    if (!out.empty() && out.back().type == Run && target[at - 2] == target[at]) {
                        out.back().size += next.size;
                        next.size = 0;
                    }
                }
            }
        }
        if (next.size > 0) {
            out.push_back(next);
        }
        here += step.size;
        at += step.size;
    }
    return out;
}

// How copy addresses are written. Cheapest takes the fewest bytes for each.
// Once the address section is compressed, one integer written again and
// again costs next to nothing: the copies that resume an alignment after an
// edit all have the same distance back from here, where their distance from
// the last copy (the near cache) changes with every edit.
enum class Addresses : std::uint8_t {
    Cheapest,
    HereForRecentAlignments, // as here - address when one of the last four copies had it
    HereForTheOriginalToo,   // and so every copy of the original that takes more than a byte
};
constexpr std::array allAddresses{Addresses::Cheapest, Addresses::HereForRecentAlignments,
                                  Addresses::HereForTheOriginalToo};

bool fromHere(Addresses addresses, std::uint64_t alignment,
              const std::array<std::uint64_t, 4>& recent, bool fromOriginal,
              std::size_t cheapestBytes) {
    const bool recentAlignment = std::find(recent.begin(), recent.end(), alignment) != recent.end();
    switch (addresses) {
    case Addresses::Cheapest:
        return false;
    case Addresses::HereForRecentAlignments:
        return recentAlignment;
    case Addresses::HereForTheOriginalToo:
        return recentAlignment || (fromOriginal && cheapestBytes > 1);
    }
    return false;
}

Sections codeWindow(const std::vector<Step>& steps, std::span<const std::uint8_t> target,
                    std::uint64_t windowStart, std::uint64_t segmentLength, const Opcodes& opcodes,
                    Addresses addresses) {
    Sections out;
    AddressCache cache(defaultCodeTable().nearSize, defaultCodeTable().sameSize);
    std::vector<Instruction> forms;
    forms.reserve(steps.size());
    std::uint64_t here = segmentLength;
    std::uint64_t at = windowStart;
    std::array<std::uint64_t, 4> recent{}; // here - address of the last copies
    for (const Step& step : steps) {
        std::uint8_t mode = 0;
        switch (step.type) {
        case Add:
            out.data.insert(out.data.end(), target.begin() + static_cast<std::ptrdiff_t>(at),
                            target.begin() + static_cast<std::ptrdiff_t>(at + step.size));
            break;
        case Run:
            out.data.push_back(target[at]);
            break;
        default: {
            AddressCache::Choice choice = cache.choose(step.address, here);
            const std::uint64_t alignment = here - step.address;
            if (choice.mode < 2 + defaultCodeTable().nearSize &&
                fromHere(addresses, alignment, recent, step.address < segmentLength,
                         integerLength(choice.value))) {
                choice = {1, alignment};
            }
            std::rotate(recent.rbegin(), recent.rbegin() + 1, recent.rend());
            recent[0] = alignment;
            mode = choice.mode;
            if (mode >= 2 + defaultCodeTable().nearSize) {
                out.addr.push_back(static_cast<std::uint8_t>(choice.value));
            } else {
                appendInteger(out.addr, choice.value);
            }
            cache.update(step.address);
            break;
        }
        }
        forms.push_back(tableForm(step, mode));
        here += step.size;
        at += step.size;
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Instruction& first = forms[i];
        if (i + 1 < steps.size() && first.size != 0 && forms[i + 1].size != 0) {
            if (const std::optional<std::uint8_t> both = opcodes.pair(first, forms[i + 1])) {
                out.inst.push_back(*both);
                ++i;
                continue;
            }
        }
        out.inst.push_back(*opcodes.single(first));
        if (first.size == 0) {
            appendInteger(out.inst, steps[i].size);
        }
    }
    return out;
}

// The target's own bytes as ADDs, with the long runs of one byte as RUNs.
void addLiteral(std::vector<Step>& steps, std::span<const std::uint8_t> target, std::uint64_t from,
                std::uint64_t length) {
    std::uint64_t start = from;
    const std::uint64_t end = from + length;
    while (start < end) {
        std::uint64_t runEnd = start + 1;
        while (runEnd < end && target[runEnd] == target[start]) {
            ++runEnd;
        }
        if (runEnd - start >= shortestRun) {
            steps.push_back({Run, runEnd - start, 0});
            start = runEnd;
            continue;
        }
        // Up to the next long run.
        std::uint64_t literalEnd = runEnd;
        while (literalEnd < end) {
            std::uint64_t next = literalEnd + 1;
            while (next < end && target[next] == target[literalEnd]) {
                ++next;
            }
            if (next - literalEnd >= shortestRun) {
                break;
            }
            literalEnd = next;
        }
        if (!steps.empty() && steps.back().type == Add) {
            steps.back().size += literalEnd - start;
        } else {
            steps.push_back({Add, literalEnd - start, 0});
        }
        start = literalEnd;
    }
}

// The BPS match finder's actions for a window, as VCDIFF instructions: a copy
// from the original is a COPY from the segment, a copy of the target's own
// earlier bytes a COPY within the window (bytes of an earlier window go as
// ADDs), the target's own bytes ADDs and RUNs.
std::vector<Step> windowSteps(const std::vector<bps::Step>& actions,
                              std::span<const std::uint8_t> target, std::uint64_t windowStart,
                              std::uint64_t segmentOffset, std::uint64_t segmentLength) {
    std::vector<Step> steps;
    // The target's own bytes gather here until the next COPY, so that a run
    // of one byte the finder took in pieces goes as one RUN.
    std::uint64_t literalFrom = windowStart;
    std::uint64_t at = windowStart;
    const auto copy = [&](std::uint64_t length, std::uint64_t address) {
        addLiteral(steps, target, literalFrom, at - literalFrom);
        steps.push_back({Copy, length, address});
        literalFrom = at + length;
    };
    for (const bps::Step& action : actions) {
        const std::uint64_t from = action.action == bps::SourceRead ? at : action.from;
        bool literal = action.action == bps::TargetRead ||
                       (action.action == bps::TargetCopy && action.from < windowStart);
        // A short copy whose address takes bytes of its own costs more than
        // the bytes it stands for, once the data section is compressed.
        if (!literal && action.length < longCopy) {
            const std::uint64_t address = action.action == bps::TargetCopy
                                              ? segmentLength + from - windowStart
                                              : from - segmentOffset;
            const std::uint64_t here = segmentLength + at - windowStart;
            const std::size_t addressBytes = std::min(
                integerLength(address), here > address ? integerLength(here - address) : 9);
            literal = action.length < shortestCopy || addressBytes >= 2;
        }
        if (!literal) {
            copy(action.length, action.action == bps::TargetCopy
                                    ? segmentLength + action.from - windowStart
                                    : from - segmentOffset);
        }
        at += action.length;
    }
    addLiteral(steps, target, literalFrom, at - literalFrom);
    return steps;
}

// Where each window's segment lies in the original: all of it when the
// decoder keeps it at hand, else the stretch its copies use.
std::pair<std::uint64_t, std::uint64_t> segmentOf(const std::vector<bps::Step>& actions,
                                                  std::uint64_t windowStart,
                                                  std::uint64_t sourceSize) {
    if (sourceSize <= wholeSourceUpTo) {
        return {0, sourceSize};
    }
    std::uint64_t low = sourceSize;
    std::uint64_t high = 0;
    std::uint64_t at = windowStart;
    for (const bps::Step& action : actions) {
        if (action.action == bps::SourceRead || action.action == bps::SourceCopy) {
            const std::uint64_t from = action.action == bps::SourceRead ? at : action.from;
            low = std::min(low, from);
            high = std::max(high, from + action.length);
        }
        at += action.length;
    }
    return low < high ? std::pair{low, high - low} : std::pair{std::uint64_t{0}, std::uint64_t{0}};
}

struct Window {
    std::uint64_t targetStart = 0;
    std::uint64_t targetLength = 0;
    std::uint64_t segmentOffset = 0;
    std::uint64_t segmentLength = 0;
    std::vector<Step> steps;
    Sections sections;
};

// A section as it goes into the patch: compressed where that makes it
// smaller. A kind's stream starts with the first section it shrinks and then
// takes every later section of that kind (a section it has seen cannot be
// left out of it).
struct SectionCoder {
    std::uint64_t expectedBytes = 0;
    std::unique_ptr<LzmaSectionEncoder> stream;

    bool code(const Bytes& raw, Bytes& out) {
        if (raw.empty()) {
            out.clear();
            return false;
        }
        Bytes packed;
        appendInteger(packed, raw.size());
        if (stream) {
            if (encodeLzmaSection(*stream, raw, packed)) {
                out = std::move(packed);
                return true;
            }
            stream.reset(); // a broken stream takes nothing more
        } else {
            auto trial = std::make_unique<LzmaSectionEncoder>(expectedBytes);
            if (encodeLzmaSection(*trial, raw, packed) && packed.size() < raw.size()) {
                stream = std::move(trial);
                out = std::move(packed);
                return true;
            }
        }
        out = raw;
        return false;
    }
};

// Codes every window's instructions and addresses in each way and keeps the
// one whose sections come out smallest once compressed (the data section is
// the same in all).
void codeWindows(std::span<const std::uint8_t> target, std::vector<Window>& windows) {
    const Opcodes opcodes;
    std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
    for (const Addresses addresses : allAddresses) {
        std::vector<Sections> coded;
        std::array<SectionCoder, 2> coders;
        for (const Window& w : windows) {
            coded.push_back(
                codeWindow(w.steps, target, w.targetStart, w.segmentLength, opcodes, addresses));
            coders[0].expectedBytes += coded.back().inst.size();
            coders[1].expectedBytes += coded.back().addr.size();
        }
        std::uint64_t size = 0;
        for (const Sections& sections : coded) {
            Bytes packed;
            coders[0].code(sections.inst, packed);
            size += packed.size();
            coders[1].code(sections.addr, packed);
            size += packed.size();
        }
        if (size < best) {
            best = size;
            for (std::size_t i = 0; i < windows.size(); ++i) {
                windows[i].sections = std::move(coded[i]);
            }
        }
    }
    for (Window& w : windows) {
        w.steps = {};
    }
}

Bytes assemble(std::span<const std::uint8_t> target, std::vector<Window>& windows) {
    Bytes patch(magic.begin(), magic.end());
    patch.push_back(0); // version
    patch.push_back(hasSecondary);
    patch.push_back(lzmaId);
    std::array<SectionCoder, 3> coders;
    for (const Window& w : windows) {
        coders[0].expectedBytes += w.sections.data.size();
        coders[1].expectedBytes += w.sections.inst.size();
        coders[2].expectedBytes += w.sections.addr.size();
    }
    for (Window& w : windows) {
        std::array<Bytes, 3> coded;
        std::uint8_t deltaIndicator = 0;
        const std::array<const Bytes*, 3> raw{&w.sections.data, &w.sections.inst, &w.sections.addr};
        const std::array<std::uint8_t, 3> bits{dataCompressed, instCompressed, addrCompressed};
        for (std::size_t kind = 0; kind < 3; ++kind) {
            if (coders[kind].code(*raw[kind], coded[kind])) {
                deltaIndicator |= bits[kind];
            }
        }
        Bytes delta;
        appendInteger(delta, w.targetLength);
        delta.push_back(deltaIndicator);
        for (const Bytes& section : coded) {
            appendInteger(delta, section.size());
        }
        const std::uint32_t sum = adler32(target.subspan(static_cast<std::size_t>(w.targetStart),
                                                         static_cast<std::size_t>(w.targetLength)));
        appendBE(delta, sum, 4);
        for (const Bytes& section : coded) {
            delta.insert(delta.end(), section.begin(), section.end());
        }
        const bool fromSource = w.segmentLength > 0;
        patch.push_back(static_cast<std::uint8_t>((fromSource ? sourceSegment : 0) | hasAdler32));
        if (fromSource) {
            appendInteger(patch, w.segmentLength);
            appendInteger(patch, w.segmentOffset);
        }
        appendInteger(patch, delta.size());
        patch.insert(patch.end(), delta.begin(), delta.end());
        w.sections = {}; // its memory is no longer needed
    }
    return patch;
}

} // namespace

std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified) {
    if (original.empty() || modified.empty() || original.size() > largestImage ||
        modified.size() > largestImage) {
        return std::nullopt;
    }
    try {
        // Its matcher looks up blocks only: no chain of short copies.
        const match::SourceIndex index(original, 1, false, false);
        std::vector<Window> windows;
        for (std::uint64_t start = 0; start < modified.size(); start += windowSize) {
            const std::uint64_t end = std::min<std::uint64_t>(start + windowSize, modified.size());
            const std::vector<bps::Step> actions =
                bps::matchRange(original, modified, index, start, end);
            Window& w = windows.emplace_back();
            w.targetStart = start;
            w.targetLength = end - start;
            std::tie(w.segmentOffset, w.segmentLength) = segmentOf(actions, start, original.size());
            w.steps =
                withRuns(windowSteps(actions, modified, start, w.segmentOffset, w.segmentLength),
                         modified, start, w.segmentLength);
        }
        codeWindows(modified, windows);
        return assemble(modified, windows);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace vcdiff

bool createXdeltaPatch(const std::string& originalPath, const std::string& modifiedPath,
                       const std::string& patchPath) {
    return combineFiles(originalPath, modifiedPath, patchPath, vcdiff::create);
}
