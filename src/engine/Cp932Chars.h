#pragma once
// Character boundaries of code page 932 text, working on the file's own bytes.
// A lead byte followed by a valid trail byte is one character; every other byte
// (ASCII, half-width katakana, a stray or invalid byte) stands alone. Walking by
// these rules keeps a trail byte such as 0x5C or 0x7C from ever being taken for a
// one-byte delimiter, while every byte still reaches the output unchanged.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine {

constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

constexpr bool isTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Length in bytes of the character that starts at s[i] (1 or 2).
inline std::size_t charLength(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (isLeadByte(b) && i + 1 < s.size() && isTrailByte(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

// Whether the byte at pos is the second byte of a double-byte character. Lead bytes
// also lie in the trail range, so the run of lead-range bytes just before pos pairs
// up from its start: an odd run means pos completes a character. A line break is no
// lead byte, so the walk never leaves the line.
inline bool isTrailAt(const char* line, std::size_t pos)
{
    if (!isTrailByte(static_cast<unsigned char>(line[pos])))
        return false;
    std::size_t run = 0;
    while (run < pos && isLeadByte(static_cast<unsigned char>(line[pos - 1 - run])))
        ++run;
    return run % 2 == 1;
}

// True when d is exactly one character: only such a delimiter can ever match.
inline bool isSingleChar(std::string_view d)
{
    return !d.empty() && charLength(d, 0) == d.size();
}

// A one-byte delimiter below 0x40 can never be a trail byte, and neither can '"',
// so for such delimiters a plain byte scan finds exactly what the character walk finds.
inline bool byteScanIsExact(std::string_view d)
{
    return d.size() == 1 && static_cast<unsigned char>(d[0]) < 0x40;
}

} // namespace engine
