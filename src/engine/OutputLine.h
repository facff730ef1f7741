#pragma once
// Limits of the output lines a run gathers, and the copy that gathers their items.
// Internal to the engine.

#include <cstddef>
#include <cstring>

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
// the reader's block and the output buffer both have the room.
inline char* copyItem(char* to, const char* from, std::size_t size)
{
    std::memcpy(to, from, 32);
    for (std::size_t i = 32; i < size; i += 16)
        std::memcpy(to + i, from + i, 16);
    return to + size;
}

} // namespace engine
