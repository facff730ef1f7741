#pragma once
// Characters from one encoding to another: code page 932 by the Windows table (round trip
// only: a character is encoded only to a code that decodes to it again, never to a look-alike)
// and UTF-8. Internal to the engine; used by the output form's writer.

#include "Encoding.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine {

namespace cp932 {
// Generated from the Windows table (Cp932Table.cpp): what a single byte, or a lead byte
// (0x81-0x9F, 0xE0-0xFC, row by row) with a trail byte 0x40-0xFC, decodes to; 0 for none.
extern const std::uint16_t kSingle[256];
extern const std::uint16_t kPairs[60][189];
} // namespace cp932

// No character: a code point no encoding gives.
constexpr std::uint32_t kNoChar = 0xFFFFFFFF;

// The character at s[i] in encoding e and its length in bytes; kNoChar with the length of
// the bytes that form none (one byte, or the two of an undefined code page 932 pair).
struct Decoded {
    std::uint32_t codePoint;
    std::size_t length;
};
Decoded decodeChar(std::string_view s, std::size_t i, Encoding e);

// The code page 932 code of a character: one byte (below 0x100) or two; 0 when the table
// has none (U+0000 is the byte 0).
std::uint16_t cp932Code(std::uint32_t codePoint);

// Writes the character's bytes at `to` (room for 4) and returns their end; nullptr when
// the encoding cannot hold it.
char* encodeChar(std::uint32_t codePoint, Encoding e, char* to);

} // namespace engine
