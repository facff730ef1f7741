#pragma once
// The classifier's wide paths, each in a source of its own whose functions alone are
// compiled for the wider instructions, so that nothing else can carry them to a processor
// without them. Only Classify.cpp calls them, and only after asking the processor.

#include "Classify.h"

// GCC and clang can compile a single function for AVX2 or AVX-512 and tell at run time
// whether the processor and the system have it.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TOLVANE_HAVE_WIDE 1
#else
#define TOLVANE_HAVE_WIDE 0
#endif

namespace engine {

#if TOLVANE_HAVE_WIDE
void classifyAvx2(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out);
void classifyAvx512(const char* data, std::size_t words, char delimiter, bool lfEnds, WordMasks* out);
#endif

} // namespace engine
