#pragma once
// The harness's verdict that two outputs are equal decides whether a timing counts, so
// the comparison lives here where a test can hold it to files larger than one chunk.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace bench {

struct Comparison {
    bool same = false;
    // 1-based line holding the first differing byte; 0 when a file could not be read.
    std::uint64_t line = 0;
};

inline Comparison compareFiles(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb)
        return {};
    constexpr std::size_t kChunk = 1 << 20;
    std::vector<char> ba(kChunk), bb(kChunk);
    std::uint64_t line = 1;
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(kChunk));
        fb.read(bb.data(), static_cast<std::streamsize>(kChunk));
        if (fa.bad() || fb.bad())
            return {};
        const auto na = static_cast<std::size_t>(fa.gcount());
        const auto nb = static_cast<std::size_t>(fb.gcount());
        const std::size_t common = std::min(na, nb);
        const auto [at, unused] =
            std::mismatch(ba.begin(), ba.begin() + static_cast<std::ptrdiff_t>(common), bb.begin());
        line += static_cast<std::uint64_t>(std::count(ba.begin(), at, '\n'));
        // A shorter chunk that matched so far means one file ended: that is the difference.
        if (at != ba.begin() + static_cast<std::ptrdiff_t>(common) || na != nb)
            return {false, line};
        if (na < kChunk)
            return {true, 0};
    }
}

inline bool sameBytes(const std::filesystem::path& a, const std::filesystem::path& b)
{
    return compareFiles(a, b).same;
}

} // namespace bench
