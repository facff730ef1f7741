#pragma once
// The two encodings a source may have, and the character rules of each. Code page 932
// pairs a lead byte with a trail byte that may look like ASCII; in UTF-8 every byte of a
// multi-byte character is 0x80 or above, so an ASCII delimiter is found by its byte
// alone and a longer one only where a character starts. The rule is chosen once per
// source; bytes always pass through unchanged.

#include "Cp932Chars.h"

#include <cstddef>
#include <string_view>

namespace engine {

enum class Encoding { Cp932, Utf8 };

// What the user asked for: decide from the file, or take the one named.
enum class EncodingChoice { Auto, Cp932, Utf8 };

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The encoding a source was read in, and whether it began with a byte order mark.
struct SourceEncoding {
    Encoding encoding = Encoding::Cp932;
    bool bom = false;
};

// How many bytes of a source decide its encoding.
inline constexpr std::size_t kEncodingProbe = 64 * 1024;

// Decides the encoding from the first bytes of a source: more than kEncodingProbe of them,
// or all it has (a LineReader's start()); only the first kEncodingProbe are looked at. A
// byte order mark means UTF-8; otherwise valid UTF-8 holding at least one non-ASCII
// character is UTF-8, and everything else code page 932. A character is forgiven its cut
// only where the probe's end cut it: one cut by the end of the source is no character.
SourceEncoding detectEncoding(std::string_view start, EncodingChoice choice = EncodingChoice::Auto);

// Length of the UTF-8 character at s[i]: 2 to 4 for a well-formed sequence, else 1 (an
// ASCII byte, or a byte that stands alone because it starts nothing valid).
inline std::size_t utf8CharLength(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0xC2 || b > 0xF4)
        return 1;
    const std::size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + len > s.size())
        return 1;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 1;
    for (std::size_t k = 2; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return len;
}

inline std::size_t charLength(std::string_view s, std::size_t i, Encoding e)
{
    return e == Encoding::Utf8 ? utf8CharLength(s, i) : charLength(s, i);
}

// True when d is exactly one character of the encoding: only such a delimiter can match.
inline bool isSingleChar(std::string_view d, Encoding e)
{
    if (e == Encoding::Cp932)
        return isSingleChar(d);
    if (d.empty())
        return false;
    const std::size_t len = utf8CharLength(d, 0);
    // A lone byte of 0x80 or above is no UTF-8 character.
    return len == d.size() && (len > 1 || static_cast<unsigned char>(d[0]) < 0x80);
}

// A one-byte delimiter that a byte scan can look for.
inline bool isByteDelimiter(std::string_view d, Encoding e)
{
    return d.size() == 1 && (e == Encoding::Utf8 ? static_cast<unsigned char>(d[0]) < 0x80
                                                 : !isLeadByte(static_cast<unsigned char>(d[0])));
}

// Whether a byte scan for d finds exactly what the character walk finds. In UTF-8 an
// ASCII byte is always a character of its own.
inline bool byteScanIsExact(std::string_view d, Encoding e)
{
    return e == Encoding::Utf8 ? d.size() == 1 : byteScanIsExact(d);
}

} // namespace engine
