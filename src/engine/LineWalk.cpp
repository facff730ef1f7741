#include "LineWalk.h"

#include "ClassifyWide.h"
#include "FormWriter.h"
#include "OutputLine.h"
#include "Simd.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace engine {

namespace {

// scanLines' walk. Bits: compiled for the bit instructions of AVX2 processors. Formed: items
// go through h.form's writer. CrLf: lines end in CR LF (else as h.lineEnd says). Check:
// whether lines are looked at for an item holding the output delimiter (Always, Never, or
// as h.delimiterCheck says). Constants keep the default form's loop in its registers.
enum class Check { Never, Always, AsAsked };
template <bool Bits, bool Formed, bool CrLf, Check Counting>
[[gnu::always_inline]] inline ScanEnd walkLines(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles,
                                                ScanOut& out)
{
    // Locals, not h's or out's fields: stores of output bytes could alias those, forcing reloads.
    const char* const data = h.data;
    char* const buffer = out.buffer;
    std::size_t used = out.used;
    std::size_t lineStart = scanStart;
    std::int64_t lines = 0;
    std::size_t lastStart = 0, lastEnd = 0, lastAt = 0;
    std::int64_t replaced = 0, delimiterLines = 0;
    const std::size_t eolSize = CrLf ? 2 : h.lineEnd.size();
    const char eol0 = CrLf ? '\r' : h.lineEnd[0];
    const char eol1 = CrLf ? '\n' : h.lineEnd.size() > 1 ? h.lineEnd[1] : '\0';
    const auto stop = [&](ScanEnd end) {
        scanStart = lineStart;
        if (lines > 0) {
            out.lines += lines;
            out.lastStart = lastStart;
            out.lastEnd = lastEnd;
            out.lastOutputAt = lastAt;
            out.lastOutputLength = used - lastAt - eolSize;
        }
        out.replaced += replaced;
        out.delimiterLines += delimiterLines;
        out.used = used;
        return end;
    };
    const std::size_t held = h.held;
    const bool ended = h.ended;
    const bool lfEnds = h.lfEnds;
    const std::size_t maxLine = h.maxLine;
    const char delimiter = h.delimiter;
    const bool checkTrail = h.checkTrail;
    const std::string_view outDeli = h.outDeli;
    const std::size_t flushAt = out.flushAt;
    const std::size_t capacity = out.capacity;
    const std::int64_t maxLines = out.maxLines;
    const OutputColumns& columns = *h.columns;
    const auto need = static_cast<std::size_t>(columns.upTo);
    // Room for a whole word's cuts past the last one kept.
    // bounds[0]: the byte before the line; bounds[1 + i]: the i-th delimiter, kept for
    // the first `need`, with room for a whole word's past them and for the last item's two.
    std::size_t bounds[kMostHeldColumns + 64 + 3];
    std::size_t* const cuts = bounds + 1;
    std::size_t cutCount = 0;
    std::size_t lastCut = 0;
    std::uint64_t inQuotes = 0; // all ones while the scan is inside quotes
    const bool check = Counting == Check::Always || (Counting == Check::AsAsked && h.delimiterCheck);
    // Where the output delimiter's first byte next occurs (from a line's start on): only a line
    // that holds it has its items looked at.
    std::size_t nextOutDeli = 0;
    const std::size_t columnCount = columns.items.size();
    const std::size_t outDelis = (columnCount - 1) * outDeli.size();
    // Each column's item from 0; a number below 1 becomes the largest, so that it takes
    // the last item as one beyond the line's items does.
    std::size_t wanted[kMostHeldOutputs];
    for (std::size_t c = 0; c < columnCount; ++c)
        wanted[c] = static_cast<std::size_t>(static_cast<std::int64_t>(columns.items[c]) - 1);
    // The tile in locals; one unsigned test finds a word outside it, before it included.
    std::size_t tileStart = tiles.start;
    std::size_t tileBytes = tiles.data == data ? 64 * tiles.words : 0;
    for (std::size_t base = lineStart & ~std::size_t{63}; base < to; base += 64) {
        if (base - tileStart >= tileBytes) {
            // Whole words up to `to`: the reader keeps kSlack bytes readable after its data.
            const std::size_t words = std::min(kTileWords, (to - base + 63) / 64);
            h.classify(data + base, words, delimiter, lfEnds, tiles.masks);
            tiles.data = data;
            tiles.start = tileStart = base;
            tiles.words = words;
            tileBytes = 64 * words;
        }
        const WordMasks& m = tiles.masks[(base - tileStart) / 64];
        const std::uint64_t valid = to - base >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to - base)) - 1;
        // The word's bytes from the current line's start on (it starts before base + 64).
        const std::uint64_t live = valid & (~std::uint64_t{0} << (lineStart > base ? lineStart - base : 0));
        std::uint64_t ends = m.ends & live;
        // Delimiters outside quotes for the whole word at once; the quote state restarts
        // after each line end.
        std::uint64_t found = m.delimiters & live;
        const std::uint64_t quotes = m.quotes & live;
        if (quotes == 0) {
            // Only the part before the first line end can be inside quotes, carried in.
            found &= ~(inQuotes & (ends ? (ends & (0 - ends)) - 1 : ~std::uint64_t{0}));
            if (ends != 0)
                inQuotes = 0;
        } else {
            const std::uint64_t parity = prefixXor(quotes);
            std::uint64_t inside = parity ^ inQuotes;
            for (std::uint64_t e = ends; e != 0; e &= e - 1) {
                const std::uint64_t upTo = e ^ (e - 1); // bits up to this end, the end included
                const std::uint64_t restart = 0 - ((parity >> std::countr_zero(e)) & 1);
                inside = (inside & upTo) | ((parity ^ restart) & ~upTo);
            }
            found &= ~inside;
            // A line end in the last byte leaves the next word outside quotes.
            inQuotes = ends >> 63 ? 0 : 0 - (inside >> 63);
        }
        for (;;) {
            // The current line's part of the word: up to its end, or the whole rest.
            const std::uint64_t below = ends ? (ends & (0 - ends)) - 1 : ~std::uint64_t{0};
            std::uint64_t segment = found & below;
            if (segment != 0) {
                if (checkTrail) {
                    while (segment != 0) {
                        const std::size_t pos = base + static_cast<std::size_t>(std::countr_zero(segment));
                        segment &= segment - 1;
                        // The line starts at a character boundary, and so does the block.
                        if (isTrailAt(data, pos))
                            continue;
                        if (cutCount < need)
                            cuts[cutCount] = pos;
                        lastCut = pos;
                        ++cutCount;
                    }
                } else {
                    // Eight places at a time without a test each: most words hold fewer.
                    std::size_t n;
                    if constexpr (Bits)
                        n = static_cast<std::size_t>(__builtin_popcountll(segment));
                    else
                        n = static_cast<std::size_t>(popcount64(segment));
                    if (cutCount < need) {
                        std::size_t* const to = cuts + cutCount;
                        std::uint64_t f = segment;
                        for (std::size_t i = 0; i < 8; ++i) {
                            to[i] = base + static_cast<std::size_t>(std::countr_zero(f));
                            f &= f - 1;
                        }
                        for (std::size_t i = 8; i < n; ++i) {
                            to[i] = base + static_cast<std::size_t>(std::countr_zero(f));
                            f &= f - 1;
                        }
                    }
                    lastCut = base + static_cast<std::size_t>(highestBit(segment));
                    cutCount += n;
                }
            }
            if (ends == 0)
                break;
            const std::size_t lineEnd = base + static_cast<std::size_t>(std::countr_zero(ends));
            std::size_t mark = 1;
            if (data[lineEnd] == '\r') {
                // CR LF or a lone CR: the next byte decides, and it may not have been read yet.
                if (lineEnd + 1 < held)
                    mark = data[lineEnd + 1] == '\n' ? 2 : 1;
                else if (!ended)
                    return stop(ScanEnd::Leave);
            }
            if (lineEnd - lineStart > maxLine)
                return stop(ScanEnd::Leave);
            // Item k (from 0) lies between bounds[k] and bounds[k + 1]. Past the kept cuts,
            // the last item is put at `top` from the last cut to the line's end.
            bounds[0] = lineStart - 1;
            std::size_t top = cutCount;
            if (cutCount > need) {
                top = need + 1;
                bounds[top] = lastCut;
            }
            bounds[top + 1] = lineEnd;
            const auto itemAt = [&](std::size_t c) {
                const std::size_t k = std::min(wanted[c], top);
                const std::size_t start = bounds[k] + 1;
                return std::string_view(data + start, bounds[k + 1] - start);
            };
            // No column is longer than the line: when even that many fit, the items go
            // straight to the buffer as their places are found. Otherwise the line's length
            // decides first whether it is gathered here at all.
            // A form writes at most kGrowth times the bytes, and two quotes a column.
            constexpr std::size_t growth = Formed ? FormRules::kGrowth : 1;
            const std::size_t quotes2 = Formed ? 2 * columnCount : 0;
            const std::size_t most = growth * (columnCount * (lineEnd - lineStart) + outDelis) + quotes2 + eolSize;
            if (most > kDirectAt || used + most + kSlack > capacity) {
                std::size_t length = outDelis;
                for (std::size_t c = 0; c < columnCount; ++c)
                    length += itemAt(c).size();
                length = growth * length + quotes2 + eolSize;
                if (length > kDirectAt)
                    return stop(ScanEnd::Leave);
                if (used + length + kSlack > capacity)
                    return stop(ScanEnd::Limit);
            }
            char* lineOut;
            if constexpr (Formed) {
                FormSink<GatherDest> o{*h.form, GatherDest{buffer + used}};
                if (!joinLine(columnCount, outDeli, itemAt, o))
                    return stop(ScanEnd::Leave);
                replaced += o.replaced;
                delimiterLines += o.heldDelimiter ? 1 : 0;
                lineOut = o.dest.to;
            } else {
                GatherAt<true> o{buffer + used};
                joinLine(columnCount, outDeli, itemAt, o);
                lineOut = o.to;
                if (check) {
                    // Each place of the delimiter's first byte in the line: only one inside a
                    // chosen item has that item looked at, once.
                    const auto find = [&](std::size_t from) {
                        const void* at = std::memchr(data + from, outDeli[0], held - from);
                        return at ? static_cast<std::size_t>(static_cast<const char*>(at) - data) : held;
                    };
                    std::size_t at = nextOutDeli < lineStart ? find(lineStart) : nextOutDeli;
                    bool holds = false;
                    while (at < lineEnd && !holds) {
                        std::size_t resume = at + 1;
                        for (std::size_t c = 0; c < columnCount && !holds; ++c) {
                            const std::string_view item = itemAt(c);
                            const auto start = static_cast<std::size_t>(item.data() - data);
                            if (at >= start && at < start + item.size()) {
                                holds = holdsUnquoted(item, outDeli, h.encoding);
                                resume = std::max(resume, start + item.size());
                            }
                        }
                        if (!holds)
                            at = find(resume);
                    }
                    nextOutDeli = at;
                    delimiterLines += holds ? 1 : 0;
                }
            }
            lineOut[0] = eol0;
            lineOut[1] = eol1;
            const auto length = static_cast<std::size_t>(lineOut + eolSize - (buffer + used));
            lastStart = lineStart;
            lastEnd = lineEnd;
            lastAt = used;
            used += length;
            if constexpr (!CrLf) {
                if (out.ends)
                    out.ends->push_back(used);
            }
            ++lines;
            lineStart = lineEnd + mark;
            cutCount = 0;
            if (used >= flushAt || lines >= maxLines)
                return stop(ScanEnd::Limit);
            if (lineStart >= base + 64)
                break;
            // The LF of a CR LF is no line end of its own, even where LF ends lines.
            const std::uint64_t next = ~std::uint64_t{0} << (lineStart - base);
            ends &= next;
            found &= next;
        }
    }
    return stop(ScanEnd::Reached);
}

// The default form's walks: CR LF lines, counted or not, and any other.
template <bool Bits>
ScanEnd walkDefault(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out)
{
    if (h.lineEnd != "\r\n")
        return walkLines<Bits, false, false, Check::AsAsked>(h, scanStart, to, tiles, out);
    return h.delimiterCheck ? walkLines<Bits, false, true, Check::Always>(h, scanStart, to, tiles, out)
                            : walkLines<Bits, false, true, Check::Never>(h, scanStart, to, tiles, out);
}

ScanEnd walkLinesBaseline(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out)
{
    if (h.form)
        return walkLines<false, true, false, Check::Never>(h, scanStart, to, tiles, out);
    return walkDefault<false>(h, scanStart, to, tiles, out);
}

#if TOLVANE_HAVE_WIDE
// The same walks with single instructions for counting and finding bits, and wider copies;
// only these functions (and what is inlined into them) are compiled for them.
__attribute__((target("avx2,bmi,popcnt"))) ScanEnd walkLinesBits(const HeldScan& h, std::size_t& scanStart,
                                                                 std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<true, false, true, Check::Never>(h, scanStart, to, tiles, out);
}
__attribute__((target("avx2,bmi,popcnt"))) ScanEnd walkLinesBitsCounting(const HeldScan& h, std::size_t& scanStart,
                                                                         std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<true, false, true, Check::Always>(h, scanStart, to, tiles, out);
}
__attribute__((target("avx2,bmi,popcnt"))) ScanEnd walkLinesBitsFormed(const HeldScan& h, std::size_t& scanStart,
                                                                       std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<true, true, false, Check::Never>(h, scanStart, to, tiles, out);
}
__attribute__((target("avx2,bmi,popcnt"))) ScanEnd walkLinesBitsAnyEnd(const HeldScan& h, std::size_t& scanStart,
                                                                       std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<true, false, false, Check::AsAsked>(h, scanStart, to, tiles, out);
}
#endif

} // namespace

ScanEnd scanLines(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out)
{
#if TOLVANE_HAVE_WIDE
    if (h.bitInstructions && h.form)
        return walkLinesBitsFormed(h, scanStart, to, tiles, out);
    if (h.bitInstructions) {
        if (h.lineEnd != "\r\n")
            return walkLinesBitsAnyEnd(h, scanStart, to, tiles, out);
        return h.delimiterCheck ? walkLinesBitsCounting(h, scanStart, to, tiles, out)
                                : walkLinesBits(h, scanStart, to, tiles, out);
    }
#endif
    return walkLinesBaseline(h, scanStart, to, tiles, out);
}

// Where the held lines split, giving the worker about `part` of them: the start of the
// first line after the cut; 0 when there is no such line. Line ends do not depend on quotes.
std::size_t splitPoint(const char* data, std::size_t n, bool lfEnds, double part)
{
    if (n < 2)
        return 0;
    const char* const mid = data + static_cast<std::size_t>(static_cast<double>(n) * (1 - part));
    const char* const stop = data + n;
    const char* p = mid;
    if (lfEnds) {
        while (p < stop && *p != '\r' && *p != '\n')
            ++p;
    } else {
        p = static_cast<const char*>(std::memchr(mid, '\r', static_cast<std::size_t>(stop - mid)));
        if (p == nullptr)
            p = stop;
    }
    if (p + 1 >= stop)
        return 0; // no end mark, or a CR whose LF may be still to come
    // A LF here is a lone one or ends a CR LF that began before the cut.
    const std::size_t at = static_cast<std::size_t>(p - data);
    return at + (*p == '\r' && p[1] == '\n' ? 2 : 1);
}

} // namespace engine
