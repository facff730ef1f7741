#include "Items.h"

#include "Cp932Chars.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TOLVANE_HAVE_SSE2 1
#else
#define TOLVANE_HAVE_SSE2 0
#endif

namespace engine {

namespace {

// Whether the byte at pos is the second byte of a double-byte character. Lead bytes
// also lie in the trail range, so the run of lead-range bytes just before pos pairs
// up from its start: an odd run means pos completes a character.
bool isTrailAt(const char* line, std::size_t pos)
{
    if (!isTrailByte(static_cast<unsigned char>(line[pos])))
        return false;
    std::size_t run = 0;
    while (run < pos && isLeadByte(static_cast<unsigned char>(line[pos - 1 - run])))
        ++run;
    return run % 2 == 1;
}

// Items of a line split by a one-byte delimiter. Only the delimiter and '"' matter,
// so the line is searched for those two bytes, sixteen at a time where the machine
// allows. checkTrail: the delimiter byte can also be a trail byte (0x40 and up).
template <typename OnItem>
void forEachItemByByte(std::string_view p, char dc, bool checkTrail, OnItem& onItem)
{
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::size_t start = 0;
    bool inQuotes = false;
    // Returns false when the caller wants no more items.
    const auto at = [&](std::size_t pos) {
        const char c = data[pos];
        if (c == '"')
            inQuotes = !inQuotes;
        if (c == dc && !inQuotes && !(checkTrail && isTrailAt(data, pos))) {
            if (!onItem(p.substr(start, pos - start)))
                return false;
            start = pos + 1;
        }
        return true;
    };
    std::size_t i = 0;
#if TOLVANE_HAVE_SSE2
    const __m128i vd = _mm_set1_epi8(dc);
    const __m128i vq = _mm_set1_epi8('"');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, vd), _mm_cmpeq_epi8(x, vq))));
        while (mask != 0) {
            if (!at(i + static_cast<std::size_t>(std::countr_zero(mask))))
                return;
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i) {
        const char c = data[i];
        if ((c == dc || c == '"') && !at(i))
            return;
    }
    onItem(p.substr(start));
}

// Calls onItem(view) for every item of p, in order, until it returns false.
// The quote flag is inverted before the delimiter test, so a '"' delimiter splits
// only at every second quote character.
template <typename OnItem> void forEachItem(std::string_view p, std::string_view d, OnItem onItem)
{
    if (!isSingleChar(d)) {
        onItem(p);
        return;
    }
    if (d.size() == 1 && !isLeadByte(static_cast<unsigned char>(d[0]))) {
        forEachItemByByte(p, d[0], !byteScanIsExact(d), onItem);
        return;
    }
    // A double-byte delimiter: walk the characters.
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::size_t start = 0;
    bool inQuotes = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = charLength(p, i);
        if (len == 1 && data[i] == '"')
            inQuotes = !inQuotes;
        if (len == d.size() && !inQuotes && std::memcmp(data + i, d.data(), len) == 0) {
            if (!onItem(p.substr(start, i - start)))
                return;
            start = i + len;
        }
        i += len;
    }
    onItem(p.substr(start));
}

} // namespace

std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No)
{
    std::string_view result;
    std::int64_t count = 0;
    forEachItem(p, sDELI, [&](std::string_view item) {
        result = item;
        ++count;
        return count != No;
    });
    return result;
}

void ItemSplitter::split(std::string_view p, std::string_view sDELI)
{
    items_.clear();
    forEachItem(p, sDELI, [&](std::string_view item) {
        items_.push_back(item);
        return true;
    });
}

} // namespace engine
