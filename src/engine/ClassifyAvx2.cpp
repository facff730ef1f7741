// Built with the rest of the engine's flags: only the functions below carry the target
// attribute, so no inline function from a shared header is compiled here with AVX2 code in
// it (the linker could pick such a copy for callers on any processor).

#include "ClassifyWide.h"

#if TOLVANE_HAVE_WIDE

#include <immintrin.h>

#define TOLVANE_AVX2 __attribute__((target("avx2")))

namespace engine {

namespace {

TOLVANE_AVX2 inline std::uint64_t bits(__m256i lo, __m256i hi, __m256i c)
{
    // movemask gives an int: through unsigned, so that bit 31 does not spread when widened.
    const auto low = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, c)));
    const auto high = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, c)));
    return std::uint64_t{high} << 32 | low;
}

} // namespace

TOLVANE_AVX2 void classifyAvx2(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out)
{
    const __m256i d = _mm256_set1_epi8(delimiter), q = _mm256_set1_epi8('"'), cr = _mm256_set1_epi8('\r');
    // Without lone-LF ends the second end byte is CR again, which adds nothing.
    const __m256i lf = _mm256_set1_epi8(lfEnds ? '\n' : '\r');
    for (std::size_t w = 0; w < words; ++w, data += 64) {
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 32));
        out[w] = WordMasks{bits(lo, hi, d), bits(lo, hi, q), bits(lo, hi, cr) | bits(lo, hi, lf)};
    }
}

} // namespace engine

#endif
