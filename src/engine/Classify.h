#pragma once
// Finding the bytes that matter to the conversion, 64 bytes (a word) at a time, as bit
// masks: bit i stands for byte i of the word. The work is done with the widest vectors
// the processor has; every path gives the same masks.

#include <cstddef>
#include <cstdint>

namespace engine {

struct WordMasks {
    std::uint64_t delimiters; // the delimiter byte
    std::uint64_t quotes;     // '"'
    std::uint64_t ends;       // CR, and LF where a lone LF ends lines
};

enum class VectorPath {
    Plain,  // a byte at a time: any processor
    Sse2,   // 16 bytes: every x86-64 processor
    Avx2,   // 32 bytes
    Avx512, // 64 bytes (AVX-512BW)
};

// Classifies `words` words from data (reads exactly 64 * words bytes) into out[0..words).
using ClassifyWords = void (*)(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out);

// The function for a path; nullptr where this build does not have it.
ClassifyWords classifier(VectorPath path);
// True when this build has the path and this processor runs it.
bool pathRuns(VectorPath path);
// The widest path that runs here, decided once.
VectorPath fastestPath();
// True when the processor has the bit instructions that come with AVX2 (BMI1, POPCNT), for
// code compiled for them beside the baseline.
bool bitInstructionsRun();
const char* pathName(VectorPath path);

} // namespace engine
