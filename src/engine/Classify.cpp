#include "Classify.h"

#include "ClassifyWide.h"
#include "Simd.h"

#include <initializer_list>

namespace engine {

namespace {

void classifyPlain(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out)
{
    for (std::size_t w = 0; w < words; ++w, data += 64) {
        WordMasks m{0, 0, 0};
        for (int i = 0; i < 64; ++i) {
            const char c = data[i];
            const std::uint64_t bit = std::uint64_t{1} << i;
            if (c == delimiter)
                m.delimiters |= bit;
            if (c == '"')
                m.quotes |= bit;
            if (c == '\r' || (lfEnds && c == '\n'))
                m.ends |= bit;
        }
        out[w] = m;
    }
}

#if TOLVANE_HAVE_SSE2
void classifySse2(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out)
{
    for (std::size_t w = 0; w < words; ++w, data += 64) {
        const Masks64 m = matches64x4(data, delimiter, '"', '\r', '\n');
        out[w] = WordMasks{m.a, m.b, m.c | (lfEnds ? m.d : 0)};
    }
}
#endif

} // namespace

ClassifyWords classifier(VectorPath path)
{
    switch (path) {
    case VectorPath::Plain:
        return classifyPlain;
#if TOLVANE_HAVE_SSE2
    case VectorPath::Sse2:
        return classifySse2;
#endif
#if TOLVANE_HAVE_WIDE
    case VectorPath::Avx2:
        return classifyAvx2;
    case VectorPath::Avx512:
        return classifyAvx512;
#endif
    default:
        return nullptr;
    }
}

bool pathRuns(VectorPath path)
{
    if (classifier(path) == nullptr)
        return false;
#if TOLVANE_HAVE_WIDE
    // libgcc's answer also requires the system to save the wider registers on a switch.
    __builtin_cpu_init(); // needed only before static constructors have run, harmless after
    if (path == VectorPath::Avx2)
        return __builtin_cpu_supports("avx2");
    if (path == VectorPath::Avx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    return true;
}

bool bitInstructionsRun()
{
#if TOLVANE_HAVE_WIDE
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

VectorPath fastestPath()
{
    static const VectorPath best = [] {
        for (const VectorPath p : {VectorPath::Avx512, VectorPath::Avx2, VectorPath::Sse2})
            if (pathRuns(p))
                return p;
        return VectorPath::Plain;
    }();
    return best;
}

const char* pathName(VectorPath path)
{
    switch (path) {
    case VectorPath::Plain:
        return "plain";
    case VectorPath::Sse2:
        return "SSE2";
    case VectorPath::Avx2:
        return "AVX2";
    case VectorPath::Avx512:
        return "AVX-512";
    }
    return "?";
}

} // namespace engine
