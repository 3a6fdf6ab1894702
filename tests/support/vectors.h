#pragma once

// The real-world patches in tests/data/vectors/patches, each with the source
// and target of its pair (the pair is the file name up to its first dot).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/input_file.h"

namespace testing_support {

// A file below tests/data, whole; empty when it cannot be read.
inline std::vector<std::uint8_t> testData(const std::filesystem::path& relative) {
    std::ifstream in(std::filesystem::path(QUILLON_TEST_DATA_DIR) / relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Calls check(source, patch, target) for every patch with this extension and
// returns how many there were.
template <class Check> int forEachVectorPatch(const std::string& extension, Check check) {
    const std::filesystem::path vectors = std::filesystem::path(QUILLON_TEST_DATA_DIR) / "vectors";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(vectors / "patches")) {
        if (entry.path().extension() != extension) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        const std::string pair = name.substr(0, name.find('.'));
        SCOPED_TRACE(name);
        const Bytes source =
            readFile((vectors / "pairs" / (pair + ".source.bin")).string()).value_or(Bytes{});
        const Bytes target =
            readFile((vectors / "pairs" / (pair + ".target.bin")).string()).value_or(Bytes{});
        EXPECT_FALSE(source.empty());
        EXPECT_FALSE(target.empty());
        check(source, readFile(entry.path().string()).value_or(Bytes{}), target);
        ++count;
    }
    return count;
}

} // namespace testing_support
