#include "engine/Classify.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using engine::VectorPath;

std::vector<engine::WordMasks> classify(VectorPath path, const char* data, std::size_t words, char delimiter,
                                        bool lfEnds)
{
    std::vector<engine::WordMasks> out(words);
    engine::classifier(path)(data, words, delimiter, lfEnds, out.data());
    return out;
}

// The vector paths against the byte-at-a-time one, on words of the bytes that matter and
// their neighbours (bytes from 0x80 up are negative chars), from an aligned and an unaligned
// start. The first words repeat one byte each, so that every bit of a mask is set at once.
TEST(Classify, EveryPathGivesThePlainMasks)
{
    const char alphabet[] = {',', '\t', '|', '"', '\r', '\n', '\x80', '\x81', '\xFF', '\x5C', 'a', '\0'};
    constexpr std::size_t kWords = 256;
    std::string bytes(kWords * 64 + 1, '\0');
    std::mt19937 random(932);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i / 64 < sizeof alphabet ? alphabet[i / 64] : alphabet[pick(random)];

    std::string ran;
    for (const VectorPath path : {VectorPath::Sse2, VectorPath::Avx2, VectorPath::Avx512}) {
        if (!engine::pathRuns(path))
            continue;
        ran += std::string(ran.empty() ? "" : " ") + engine::pathName(path);
        for (const char delimiter : {',', '\t', '|', '"', '\x81', '\xFF'})
            for (const bool lfEnds : {false, true})
                for (const std::size_t start : {0, 1}) {
                    SCOPED_TRACE(testing::Message()
                                 << engine::pathName(path) << ", delimiter 0x" << std::hex << (delimiter & 0xFF)
                                 << ", lfEnds " << lfEnds << ", start " << start);
                    const auto plain = classify(VectorPath::Plain, bytes.data() + start, kWords, delimiter, lfEnds);
                    const auto wide = classify(path, bytes.data() + start, kWords, delimiter, lfEnds);
                    for (std::size_t w = 0; w < kWords; ++w) {
                        ASSERT_EQ(wide[w].delimiters, plain[w].delimiters) << "word " << w;
                        ASSERT_EQ(wide[w].quotes, plain[w].quotes) << "word " << w;
                        ASSERT_EQ(wide[w].ends, plain[w].ends) << "word " << w;
                    }
                }
    }
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(engine::pathRuns(VectorPath::Sse2)) << "every x86-64 processor has SSE2";
#endif
    RecordProperty("paths", ran);
    std::printf("compared with the plain path: %s; fastest here: %s\n", ran.empty() ? "none" : ran.c_str(),
                engine::pathName(engine::fastestPath()));
}

} // namespace
