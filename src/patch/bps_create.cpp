#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "hash/digests.h"
#include "io/output_file.h"
#include "patch/bps_match.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"
#include "patch/patch.h"

namespace {

// Positions are kept in 32 bits; 4 GiB is far beyond any cartridge image.
constexpr std::uint64_t largestImage = std::numeric_limits<std::uint32_t>::max();

// Below this size a second thread costs more than it saves.
constexpr std::size_t parallelFrom = std::size_t{1} << 20;
// Up to this size of both images together (a 2 MiB image and its
// modified one grown by a quarter) the greedy walk is made too: its suffix
// order takes about 0.3 s on 4 MiB, and more than the parse itself beyond.
constexpr std::size_t greedyUpTo = std::size_t{9} << 19;

// Joins steps that continue each other, as where the halves meet.
std::vector<bps::Step> joined(const std::vector<bps::Step>& steps) {
    std::vector<bps::Step> out;
    out.reserve(steps.size());
    for (const bps::Step& s : steps) {
        if (!out.empty()) {
            bps::Step& last = out.back();
            const bool sameAction = last.action == s.action;
            const bool continues = s.action == bps::SourceRead || s.action == bps::TargetRead ||
                                   last.from + last.length == s.from;
            if (sameAction && continues) {
                last.length += s.length;
                continue;
            }
        }
        out.push_back(s);
    }
    return out;
}

void appendSteps(Bytes& patch, std::span<const std::uint8_t> target,
                 const std::vector<bps::Step>& steps) {
    std::uint64_t sourceRelative = 0;
    std::uint64_t targetRelative = 0;
    for (const bps::Step& s : steps) {
        bps::appendNumber(patch, bps::commandWord(s.action, s.length));
        switch (s.action) {
        case bps::SourceRead:
            break;
        case bps::TargetRead: {
            const auto* bytes = target.data() + s.from;
            patch.insert(patch.end(), bytes, bytes + s.length);
            break;
        }
        case bps::SourceCopy:
            bps::appendNumber(patch,
                              bps::signedWord(static_cast<std::int64_t>(s.from - sourceRelative)));
            sourceRelative = s.from + s.length;
            break;
        case bps::TargetCopy:
            bps::appendNumber(patch,
                              bps::signedWord(static_cast<std::int64_t>(s.from - targetRelative)));
            targetRelative = s.from + s.length;
            break;
        }
    }
}

// Inputs of at least parallelFrom bytes are indexed and matched in two
// independent halves; `threaded` only decides whether the second half runs on
// a thread of its own, never what the patch holds.
std::optional<Bytes> createPatch(std::span<const std::uint8_t> original,
                                 std::span<const std::uint8_t> modified, bool threaded) {
    const unsigned halves = modified.size() >= parallelFrom ? 2 : 1;
    initialiseHashing();
    std::uint32_t originalCrc = 0;
    std::uint32_t modifiedCrc = 0;
    std::vector<bps::Step> steps;
    // The greedy walk, where it is made, and whether it was: memory short
    // for it leaves the parse alone.
    bps::Walk greedy;
    bool greedyMade = false;
    const auto walkGreedily = [&] {
        try {
            greedy = bps::greedyWalk(original, modified);
            greedyMade = true;
        } catch (const std::bad_alloc&) {
            greedy = {};
        }
    };
    const bool greedyWanted = original.size() + modified.size() <= greedyUpTo;
    // Joined however this returns.
    std::jthread walker;
    if (greedyWanted && threaded) {
        walker = std::jthread(walkGreedily);
    }
    try {
        const match::SourceIndex index(original, halves, threaded);
        // The parse is offered what the walk found.
        if (walker.joinable()) {
            walker.join();
        }
        if (greedyWanted && !threaded) {
            walkGreedily();
        }
        const std::span<const bps::Offer> offers = greedy.longest;
        const std::uint64_t half = halves > 1 ? modified.size() / 2 : modified.size();
        std::vector<bps::Step> second;
        // Each half's matcher then sums one input.
        const auto secondHalf = [&] {
            if (half < modified.size()) {
                second = bps::matchRange(original, modified, index, half, modified.size(), offers);
            }
            modifiedCrc = crc32(modified);
        };
        if (threaded && halves > 1) {
            std::exception_ptr failure;
            std::thread helper([&] {
                try {
                    secondHalf();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            try {
                steps = bps::matchRange(original, modified, index, 0, half, offers);
                originalCrc = crc32(original);
            } catch (...) {
                helper.join();
                throw;
            }
            helper.join();
            if (failure) {
                std::rethrow_exception(failure);
            }
        } else {
            steps = bps::matchRange(original, modified, index, 0, half, offers);
            originalCrc = crc32(original);
            secondHalf();
        }
        steps.insert(steps.end(), second.begin(), second.end());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }

    Bytes patch(bps::magic.begin(), bps::magic.end());
    bps::appendNumber(patch, original.size());
    bps::appendNumber(patch, modified.size());
    bps::appendNumber(patch, 0);
    const std::size_t header = patch.size();
    appendSteps(patch, modified, joined(steps));
    if (greedyMade) {
        // The parse's where they tie: the same patch as ever.
        const auto keepShorter = [&](const std::vector<bps::Step>& walkSteps) {
            Bytes walked;
            appendSteps(walked, modified, joined(walkSteps));
            if (walked.size() < patch.size() - header) {
                patch.resize(header);
                patch.insert(patch.end(), walked.begin(), walked.end());
            }
        };
        keepShorter(greedy.steps);
        if (greedy.publicSteps) {
            keepShorter(*greedy.publicSteps);
        }
    }
    appendCrcFooter(patch, originalCrc, modifiedCrc);
    return patch;
}

} // namespace

std::optional<Bytes> bps::create(std::span<const std::uint8_t> original,
                                 std::span<const std::uint8_t> modified) {
    if (original.empty() || modified.empty() || original.size() > largestImage ||
        modified.size() > largestImage) {
        return std::nullopt;
    }
    try {
        try {
            return createPatch(original, modified, true);
        } catch (const std::system_error&) {
            // No second thread to be had: the same patch, made on one.
            return createPatch(original, modified, false);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool createBpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath) {
    return combineFiles(originalPath, modifiedPath, patchPath, bps::create);
}
