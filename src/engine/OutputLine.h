#pragma once
// The one place an output line is put together: the chosen items in the map's order, the
// output delimiter between them. Every path of a run (the whole-block walk, the
// line-by-line loop, a line too long to gather) and the tests' helper go through joinLine,
// so that a fault in it shows on all of them at once. Internal to the engine.

#include "Items.h"
#include "LineProcessing.h"

#include <cstddef>
#include <cstring>
#include <string_view>

namespace engine {

// Output is gathered and written once this much is buffered.
constexpr std::size_t kFlushAt = 256 * 1024;
// Room kept after an output buffer's data for copies that run past a line's end.
constexpr std::size_t kSlack = 64;
// An output line longer than this is written item by item instead of being gathered,
// so that a very long line is never copied whole.
constexpr std::size_t kDirectAt = 1 << 20;

// Copies an item to `to` and returns its end: 32 bytes whatever the item's size, then 16 at
// a time, so that most items need no test of their size. Copies run past the item's end:
// only for items of a LineReader's lines (64 bytes readable after each) into a buffer with
// kSlack bytes of room after the line.
[[gnu::always_inline]] inline char* copyItem(char* to, const char* from, std::size_t size)
{
    std::memcpy(to, from, 32);
    for (std::size_t i = 32; i < size; i += 16)
        std::memcpy(to + i, from + i, 16);
    return to + size;
}

// Assembles one output line, without its CR LF: itemAt(c) is column c's item, for c below
// columnCount, and outDeli goes between two columns. The sink takes the pieces in order
// (sink.delimiter(outDeli), sink.item(item)); each returns false to stop, and so does
// joinLine then. Inlined, so that the walk's loop keeps its registers.
template <typename ItemAt, typename Sink>
[[gnu::always_inline]] inline bool joinLine(std::size_t columnCount, std::string_view outDeli, ItemAt&& itemAt,
                                            Sink&& sink)
{
    for (std::size_t c = 0; c < columnCount; ++c) {
        if (c > 0 && !sink.delimiter(outDeli))
            return false;
        if (!sink.item(itemAt(c)))
            return false;
    }
    return true;
}

// A sink that gathers the line at `to`, which ends where the line does. Overshoot: items
// are copied by copyItem (see there for the room it needs); otherwise byte for byte.
template <bool Overshoot> struct GatherAt {
    char* to;
    [[gnu::always_inline]] bool delimiter(std::string_view outDeli)
    {
        if (outDeli.size() == 1) {
            *to++ = outDeli[0];
        } else {
            std::memcpy(to, outDeli.data(), outDeli.size());
            to += outDeli.size();
        }
        return true;
    }
    [[gnu::always_inline]] bool item(std::string_view item)
    {
        if constexpr (Overshoot) {
            to = copyItem(to, item.data(), item.size());
        } else {
            std::memcpy(to, item.data(), item.size());
            to += item.size();
        }
        return true;
    }
};

// A sink that hands every piece to put(piece), which returns false to stop: for a line too
// long to gather, written piece by piece.
template <typename Put> struct EachPiece {
    Put put;
    bool delimiter(std::string_view outDeli) { return put(outDeli); }
    bool item(std::string_view item) { return put(item); }
};
template <typename Put> EachPiece(Put) -> EachPiece<Put>;

// The columns' items of a line the splitter has split.
inline auto splitterItems(const ItemSplitter& splitter, const OutputColumns& columns)
{
    return [&splitter, &columns](std::size_t c) { return splitter.item(columns.items[c]); };
}

// The output line (without CR LF) of a line the splitter has split, gathered at `to`;
// returns its end.
template <bool Overshoot>
inline char* joinSplitLine(char* to, const ItemSplitter& splitter, const OutputColumns& columns,
                           std::string_view outDeli)
{
    GatherAt<Overshoot> at{to};
    joinLine(columns.items.size(), outDeli, splitterItems(splitter, columns), at);
    return at.to;
}

} // namespace engine
