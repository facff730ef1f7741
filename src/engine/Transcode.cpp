#include "Transcode.h"

#include <memory>

namespace engine {

namespace {

int leadRow(unsigned char b)
{
    return b <= 0x9F ? b - 0x81 : b - 0xE0 + 31;
}

// Unicode (the basic plane) to code page 932, built once from the decoding table. Where
// several codes decode to one character, the first wins, except that the NEC-selected IBM
// extensions (rows 0xED, 0xEE) yield to the IBM extensions (0xFA-0xFC), as Windows encodes.
const std::uint16_t* encodingTable()
{
    static const std::unique_ptr<std::uint16_t[]> table = [] {
        auto t = std::make_unique<std::uint16_t[]>(0x10000);
        for (unsigned b = 1; b < 0x100; ++b)
            if (const std::uint16_t u = cp932::kSingle[b]; u != 0 && t[u] == 0)
                t[u] = static_cast<std::uint16_t>(b);
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const std::uint16_t u = cp932::kPairs[leadRow(static_cast<unsigned char>(lead))][trail - 0x40];
                const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
                const bool necSelected = (t[u] >> 8) == 0xED || (t[u] >> 8) == 0xEE;
                if (u != 0 && (t[u] == 0 || (necSelected && lead >= 0xFA)))
                    t[u] = code;
            }
        }
        return t;
    }();
    return table.get();
}

} // namespace

Decoded decodeChar(std::string_view s, std::size_t i, Encoding e)
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
    const std::uint16_t u = cp932::kPairs[leadRow(b)][static_cast<unsigned char>(s[i + 1]) - 0x40];
    return {u != 0 ? u : kNoChar, 2};
}

std::uint16_t cp932Code(std::uint32_t codePoint)
{
    if (codePoint < 0x80)
        return static_cast<std::uint16_t>(codePoint);
    if (codePoint > 0xFFFF)
        return 0;
    return encodingTable()[codePoint];
}

char* encodeChar(std::uint32_t codePoint, Encoding e, char* to)
{
    if (codePoint < 0x80) {
        *to = static_cast<char>(codePoint);
        return to + 1;
    }
    if (e == Encoding::Cp932) {
        const std::uint16_t code = cp932Code(codePoint);
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

} // namespace engine
