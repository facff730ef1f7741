// Built with the rest of the engine's flags: only the function below carries the target
// attribute, so no inline function from a shared header is compiled here with AVX-512 code
// in it (the linker could pick such a copy for callers on any processor).

#include "ClassifyWide.h"

#if TOLVANE_HAVE_WIDE

#include <immintrin.h>

#define TOLVANE_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace engine {

TOLVANE_AVX512 void classifyAvx512(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out)
{
    const __m512i d = _mm512_set1_epi8(delimiter), q = _mm512_set1_epi8('"'), cr = _mm512_set1_epi8('\r');
    // Without lone-LF ends the second end byte is CR again, which adds nothing.
    const __m512i lf = _mm512_set1_epi8(lfEnds ? '\n' : '\r');
    for (std::size_t w = 0; w < words; ++w, data += 64) {
        const __m512i x = _mm512_loadu_si512(data);
        out[w] = WordMasks{_mm512_cmpeq_epi8_mask(x, d), _mm512_cmpeq_epi8_mask(x, q),
                           _mm512_cmpeq_epi8_mask(x, cr) | _mm512_cmpeq_epi8_mask(x, lf)};
    }
}

} // namespace engine

#endif
