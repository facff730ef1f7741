#include "Items.h"

#include "Encoding.h"
#include "Simd.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace engine {

namespace {

// Positions of the one-byte delimiter dc outside double quotes, 64 bytes at a time:
// the quote state of every byte of a block comes from the prefix parity of its quotes,
// so no byte needs a branch of its own. Stops after `limit` delimiters; stores the
// first `keep` positions and puts the last one found in `last`.
// CheckTrail: dc can also be a trail byte (0x40 and up), so each hit is checked.
// room(count, more) gives storage with space for `more` positions after the first `count`.
template <bool CheckTrail, typename Room>
std::size_t findCuts(std::string_view p, char dc, bool readableBeyond, std::size_t limit, std::size_t keep,
                     std::size_t& last, Room room)
{
    using Offset = std::remove_pointer_t<decltype(room(0, 0))>;
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::uint64_t outside = ~std::uint64_t{0}; // all ones while outside quotes
    alignas(16) char tail[64];
    std::size_t found = 0;
    for (std::size_t base = 0; base < n; base += 64) {
        const char* block = data + base;
        std::uint64_t valid = ~std::uint64_t{0};
        if (n - base < 64) {
            const std::size_t len = n - base;
            if (!readableBeyond) {
                std::memset(tail, 0, sizeof tail);
                std::memcpy(tail, block, len);
                block = tail;
            }
            valid = (std::uint64_t{1} << len) - 1;
        }
        std::uint64_t d = matches64(block, dc) & valid;
        const std::uint64_t q = matches64(block, '"') & valid;
        if (q != 0) {
            const std::uint64_t quoted = prefixXor(q) ^ ~outside;
            d &= ~quoted;
            if (popcount64(q) & 1)
                outside = ~outside;
        } else if (outside == 0) {
            d = 0;
        }
        if (d == 0)
            continue;
        Offset* const out = found < keep ? room(found, 64) : nullptr;
        while (d != 0) {
            const std::size_t pos = base + static_cast<std::size_t>(std::countr_zero(d));
            d &= d - 1;
            if (CheckTrail && isTrailAt(data, pos))
                continue;
            if (found < keep)
                out[found] = static_cast<Offset>(pos);
            last = pos;
            if (++found == limit)
                return found;
        }
    }
    return found;
}

// Items of a line split by a one-byte delimiter, for fGetItem.
template <typename OnItem> void forEachItemByByte(std::string_view p, char dc, bool checkTrail, OnItem& onItem)
{
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::size_t start = 0;
    bool inQuotes = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == '"')
            inQuotes = !inQuotes;
        if (c == dc && !inQuotes && !(checkTrail && isTrailAt(data, i))) {
            if (!onItem(p.substr(start, i - start)))
                return;
            start = i + 1;
        }
    }
    onItem(p.substr(start));
}

// Calls onItem(view) for every item of p, in order, until it returns false.
// The quote flag is inverted before the delimiter test, so a '"' delimiter splits
// only at every second quote character.
template <typename OnItem> void forEachItem(std::string_view p, std::string_view d, Encoding enc, OnItem onItem)
{
    if (!isSingleChar(d, enc)) {
        onItem(p);
        return;
    }
    if (isByteDelimiter(d, enc)) {
        forEachItemByByte(p, d[0], !byteScanIsExact(d, enc), onItem);
        return;
    }
    // A delimiter of several bytes: walk the characters.
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::size_t start = 0;
    bool inQuotes = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = charLength(p, i, enc);
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

// Positions of the delimiters that split p, at most `limit` of them, through room as for
// findCuts; the first `keep` are stored, the last one found goes to `last`. Returns how
// many were found.
template <typename Room>
std::size_t collectCuts(std::string_view p, std::string_view sDELI, Encoding enc, std::size_t limit, std::size_t keep,
                        std::size_t& last, bool readableBeyond, Room room)
{
    if (isByteDelimiter(sDELI, enc) && sDELI[0] != '"') {
        return byteScanIsExact(sDELI, enc) ? findCuts<false>(p, sDELI[0], readableBeyond, limit, keep, last, room)
                                           : findCuts<true>(p, sDELI[0], readableBeyond, limit, keep, last, room);
    }
    using Offset = std::remove_pointer_t<decltype(room(0, 0))>;
    std::size_t found = 0;
    forEachItem(p, sDELI, enc, [&](std::string_view item) {
        const auto at = static_cast<std::size_t>(item.data() - p.data()) + item.size();
        if (at == p.size())
            return false;
        if (found < keep)
            room(found, 1)[found] = static_cast<Offset>(at);
        last = at;
        ++found;
        return found != limit;
    });
    return found;
}

} // namespace

void visitItems(std::string_view p, std::string_view sDELI, const std::function<bool(std::string_view)>& onItem,
                Encoding enc)
{
    forEachItem(p, sDELI, enc, [&](std::string_view item) { return onItem(item); });
}

std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No, Encoding enc)
{
    std::string_view result;
    std::int64_t count = 0;
    forEachItem(p, sDELI, enc, [&](std::string_view item) {
        result = item;
        ++count;
        return count != No;
    });
    return result;
}

std::size_t* ItemSplitter::Cuts::grow(std::size_t count, std::size_t more)
{
    const std::size_t bigger = std::max<std::size_t>(2 * capacity, count + more + 64);
    auto grown = std::make_unique<std::size_t[]>(bigger);
    if (count > 0)
        std::memcpy(grown.get(), at.get(), count * sizeof(std::size_t));
    at = std::move(grown);
    capacity = bigger;
    return at.get();
}

void ItemSplitter::split(std::string_view p, std::string_view sDELI, const SplitOptions& options)
{
    const auto [upTo, readableBeyond, alsoLast, enc] = options;
    line_ = p;
    complete_ = true;
    cutLength_ = sDELI.size() == 0 ? 1 : sDELI.size();
    // Item upTo is complete once upTo delimiters are found; a number below 1 asks for the
    // last item, which needs the whole line.
    const std::size_t wanted = upTo < 1 ? SIZE_MAX : static_cast<std::size_t>(upTo);
    const std::size_t limit = alsoLast ? SIZE_MAX : wanted;
    const std::size_t keep = alsoLast ? (upTo < 1 ? 0 : wanted) : SIZE_MAX;
    cutCount_ = collectCuts(p, sDELI, enc, limit, keep, lastCut_, readableBeyond,
                            [this](std::size_t count, std::size_t more) { return cuts_.room(count, more); });
    kept_ = std::min(cutCount_, keep);
    if (cutCount_ == limit && limit != SIZE_MAX)
        complete_ = false;
}

LineItems::LineItems(std::string line, std::string_view sDELI, std::int64_t rows, Encoding enc)
    : line_(std::move(line)), cutLength_(sDELI.size() == 0 ? 1 : sDELI.size())
{
    if (rows < 1)
        return;
    if (line_.size() > UINT32_MAX)
        throw std::length_error("a line of 4 GiB or more cannot be listed");
    rows_ = static_cast<std::size_t>(rows);
    // Item `rows` is complete once that many delimiters are found. The count given is
    // normally the line's own, so the storage is reserved once and never moved.
    const std::size_t limit = rows_;
    cuts_.resize(std::min<std::size_t>(rows_ - 1, line_.size()) + 64);
    std::size_t last = 0;
    const std::size_t found =
        collectCuts(line_, sDELI, enc, limit, SIZE_MAX, last, false, [this](std::size_t count, std::size_t more) {
            if (count + more > cuts_.size())
                cuts_.resize(std::max(2 * cuts_.size(), count + more));
            return cuts_.data();
        });
    cuts_.resize(found);
    if (cuts_.capacity() - found > found / 8 + 64)
        cuts_.shrink_to_fit();
    items_ = found == limit ? found : found + 1;
}

} // namespace engine
