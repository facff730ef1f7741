#pragma once
// 64 bytes at a time as bit masks: bit i stands for byte i. SSE2 where the compiler has
// it (every x86-64 processor does), plain loops elsewhere.

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TOLVANE_HAVE_SSE2 1
#else
#define TOLVANE_HAVE_SSE2 0
#endif

namespace engine {

// Bit i of the result is set when s[i] == c, for the 64 bytes at s.
inline std::uint64_t matches64(const char* s, char c)
{
#if TOLVANE_HAVE_SSE2
    const __m128i v = _mm_set1_epi8(c);
    std::uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
        m |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v)))) << (16 * k);
    }
    return m;
#else
    std::uint64_t m = 0;
    for (int k = 0; k < 64; ++k)
        m |= static_cast<std::uint64_t>(s[k] == c) << k;
    return m;
#endif
}

// Four characters' masks over the same 64 bytes, each byte loaded once.
struct Masks64 {
    std::uint64_t a, b, c, d;
};
inline Masks64 matches64x4(const char* s, char a, char b, char c, char d)
{
#if TOLVANE_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c), vd = _mm_set1_epi8(d);
    Masks64 m{0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
        const auto bits = [&](__m128i v) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, v))))
                   << (16 * k);
        };
        m.a |= bits(va);
        m.b |= bits(vb);
        m.c |= bits(vc);
        m.d |= bits(vd);
    }
    return m;
#else
    return {matches64(s, a), matches64(s, b), matches64(s, c), matches64(s, d)};
#endif
}

// The set bits of x. Without the processor's own instruction in the baseline, the library
// call the compiler would make costs more than these few steps.
inline int popcount64(std::uint64_t x)
{
#if defined(__POPCNT__)
    return __builtin_popcountll(x);
#else
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
#endif
}

// The index of the highest set bit of x, which is not 0: one instruction where the compiler
// knows x is not 0, where std::countl_zero must also handle 0.
inline int highestBit(std::uint64_t x)
{
#if defined(__GNUC__)
    return 63 ^ __builtin_clzll(x);
#else
    int i = 0;
    while (x >>= 1)
        ++i;
    return i;
#endif
}

// Bit i: the parity of the set bits 0..i of q.
inline std::uint64_t prefixXor(std::uint64_t q)
{
    q ^= q << 1;
    q ^= q << 2;
    q ^= q << 4;
    q ^= q << 8;
    q ^= q << 16;
    q ^= q << 32;
    return q;
}

} // namespace engine
