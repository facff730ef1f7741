#pragma once
// Plain models of the engine's rules, written apart from the engine and as simply as
// possible: one byte at a time, the whole input at once. The engine's tests and the fuzz
// targets compare the engine's fast paths with them.

#include "engine/DelimiterTable.h"
#include "engine/Detection.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace model {

inline bool lead(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool trail(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Bytes of the character starting at s[i].
inline std::size_t charSize(std::string_view s, std::size_t i)
{
    return lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() && trail(static_cast<unsigned char>(s[i + 1]))
               ? 2
               : 1;
}

// Bytes of the UTF-8 character starting at s[i]: the sequence its first byte announces
// when it decodes to a code point that needs that many bytes and is no surrogate, else 1.
inline std::size_t utf8Size(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
    if (len == 1 || i + len > s.size())
        return 1;
    std::uint32_t cp = b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return 1;
        cp = cp << 6 | (c & 0x3F);
    }
    const std::uint32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 1;
    return len;
}

// Every item of the line, in order; the line and the delimiter are code page 932, or UTF-8.
inline std::vector<std::string_view> items(std::string_view line, std::string_view d, bool utf8 = false)
{
    const auto size = [utf8](std::string_view s, std::size_t i) { return utf8 ? utf8Size(s, i) : charSize(s, i); };
    const bool oneChar =
        !d.empty() && size(d, 0) == d.size() && (!utf8 || d.size() > 1 || static_cast<unsigned char>(d[0]) < 0x80);
    std::vector<std::string_view> out;
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t len = size(line, i);
        if (len == 1 && line[i] == '"')
            quoted = !quoted;
        if (oneChar && !quoted && line.substr(i, len) == d) {
            out.push_back(line.substr(start, i - start));
            start = i + len;
        }
        i += len;
    }
    out.push_back(line.substr(start));
    return out;
}

// Item number no: below 1 or beyond the last, the last.
inline std::string_view item(const std::vector<std::string_view>& all, std::int64_t no)
{
    return no >= 1 && static_cast<std::uint64_t>(no) <= all.size() ? all[static_cast<std::size_t>(no - 1)] : all.back();
}

// The lines of a whole input. CR LF and a lone CR end a line; so does a lone LF when the
// first 64 KiB of the input hold an LF and no CR, unless loneLfMayEnd is false (definition
// files).
inline std::vector<std::string_view> lines(std::string_view text, bool loneLfMayEnd = true)
{
    const std::string_view probe = text.substr(0, 64 * 1024);
    const bool lfEnds =
        loneLfMayEnd && probe.find('\r') == std::string_view::npos && probe.find('\n') != std::string_view::npos;
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        } else if (text[i] == '\n' && lfEnds) {
            out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size())
        out.push_back(text.substr(start));
    return out;
}

} // namespace model

namespace engine {

// Detection over the fixed pair "," and ";", through the engine's own detection: the first
// of the two that occurs most often outside quotes, "," when neither occurs.
inline std::string BAK_fGetDeli(std::string_view p, std::string& sInDeli, std::int64_t& iItemCount)
{
    DelimiterTable pair;
    pair.add(",", "");
    pair.add(";", "");
    return fGetDeli(p, pair, sInDeli, iItemCount);
}

} // namespace engine
