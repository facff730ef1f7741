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

namespace cp932 {
inline int leadRow(unsigned char b)
{
    return b <= 0x9F ? b - 0x81 : b - 0xE0 + 31;
}
} // namespace cp932

// Unicode's basic plane to code page 932 (one byte below 0x100, or two; 0 for none), built
// once from the decoding table: where several codes decode to one character, the first wins,
// except that NEC's copies of IBM's characters (rows 0xED, 0xEE) yield to IBM's (0xFA-0xFC),
// as Windows encodes.
const std::uint16_t* cp932EncodingTable();

// Inline: the form's writer calls them for every character.
inline Decoded decodeChar(std::string_view s, std::size_t i, Encoding e)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80)
        return {b, 1};
    if (e == Encoding::Utf8) {
        const std::size_t len = utf8CharLength(s, i);
        if (len == 1)
            return {kNoChar, 1};
        std::uint32_t cp = b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k)
            cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        return {cp, len};
    }
    if (!isLeadByte(b)) {
        const std::uint16_t u = cp932::kSingle[b];
        return {u != 0 ? u : kNoChar, 1};
    }
    if (i + 1 >= s.size() || !isTrailByte(static_cast<unsigned char>(s[i + 1])))
        return {kNoChar, 1};
    const std::uint16_t u = cp932::kPairs[cp932::leadRow(b)][static_cast<unsigned char>(s[i + 1]) - 0x40];
    return {u != 0 ? u : kNoChar, 2};
}

// The code page 932 code of a character: one byte (below 0x100) or two; 0 when the table
// has none (U+0000 is the byte 0). table: cp932EncodingTable(), fetched once by the caller.
inline std::uint16_t cp932Code(std::uint32_t codePoint, const std::uint16_t* table)
{
    if (codePoint < 0x80)
        return static_cast<std::uint16_t>(codePoint);
    return codePoint > 0xFFFF ? 0 : table[codePoint];
}
inline std::uint16_t cp932Code(std::uint32_t codePoint)
{
    return cp932Code(codePoint, cp932EncodingTable());
}

// Writes the character's bytes at `to` (room for 4) and returns their end; nullptr when
// the encoding cannot hold it. table: as for cp932Code.
inline char* encodeChar(std::uint32_t codePoint, Encoding e, char* to, const std::uint16_t* table)
{
    if (codePoint < 0x80) {
        *to = static_cast<char>(codePoint);
        return to + 1;
    }
    if (e == Encoding::Cp932) {
        const std::uint16_t code = cp932Code(codePoint, table);
        if (code == 0)
            return nullptr;
        if (code > 0xFF)
            *to++ = static_cast<char>(code >> 8);
        *to = static_cast<char>(code & 0xFF);
        return to + 1;
    }
    if (codePoint < 0x800) {
        to[0] = static_cast<char>(0xC0 | codePoint >> 6);
        to[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return to + 2;
    }
    if (codePoint < 0x10000) {
        to[0] = static_cast<char>(0xE0 | codePoint >> 12);
        to[1] = static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        to[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return to + 3;
    }
    to[0] = static_cast<char>(0xF0 | codePoint >> 18);
    to[1] = static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
    to[2] = static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    to[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return to + 4;
}
inline char* encodeChar(std::uint32_t codePoint, Encoding e, char* to)
{
    return encodeChar(codePoint, e, to, cp932EncodingTable());
}

} // namespace engine
