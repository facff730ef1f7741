#pragma once
// Plain models of the engine's rules, written apart from the engine and as simply as
// possible: one byte at a time, the whole input at once. The engine's tests and the fuzz
// targets compare the engine's fast paths with them.

#include "engine/DelimiterTable.h"
#include "engine/Detection.h"
#include "engine/Transcode.h"

#include <cstdint>
#include <map>
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

// The output form, character by character. A code page 932 character is looked up in the
// engine's table (data, the Windows table); every rule around it is written here afresh.
constexpr std::uint32_t kNoChar = 0xFFFFFFFF;

inline std::uint32_t decodeChar(std::string_view ch, bool utf8)
{
    const auto b = static_cast<unsigned char>(ch[0]);
    if (b < 0x80)
        return b;
    if (utf8) {
        if (ch.size() == 1)
            return kNoChar;
        std::uint32_t cp = b & (0x7F >> ch.size());
        for (std::size_t k = 1; k < ch.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(ch[k]) & 0x3F);
        return cp;
    }
    if (ch.size() == 2) {
        const int row = b <= 0x9F ? b - 0x81 : b - 0xE0 + 31;
        const std::uint16_t u = engine::cp932::kPairs[row][static_cast<unsigned char>(ch[1]) - 0x40];
        return u != 0 ? u : kNoChar;
    }
    const std::uint16_t u = lead(b) ? 0 : engine::cp932::kSingle[b];
    return u != 0 ? u : kNoChar;
}

// A character's code page 932 bytes: the lowest code that decodes to it, one of the rows 0xED
// and 0xEE (NEC's copies of IBM's characters) only where no other code does; empty for none.
inline std::string cp932Bytes(std::uint32_t cp)
{
    static const std::map<std::uint32_t, std::string> codes = [] {
        std::map<std::uint32_t, std::string> best, copies;
        for (unsigned b = 0x80; b < 0x100; ++b)
            if (const std::uint32_t u = decodeChar(std::string(1, static_cast<char>(b)), false); u != kNoChar)
                best.emplace(u, std::string(1, static_cast<char>(b)));
        for (unsigned b = 0x81; b <= 0xFC; ++b)
            for (unsigned t = 0x40; lead(static_cast<unsigned char>(b)) && t <= 0xFC; ++t) {
                const std::string code{static_cast<char>(b), static_cast<char>(t)};
                if (const std::uint32_t u = decodeChar(code, false); u != kNoChar)
                    (b == 0xED || b == 0xEE ? copies : best).emplace(u, code);
            }
        best.merge(copies); // where best has the character already, the copy stays out
        return best;
    }();
    if (cp < 0x80)
        return std::string(1, static_cast<char>(cp));
    const auto it = codes.find(cp);
    return it == codes.end() ? std::string() : it->second;
}

inline std::string utf8Bytes(std::uint32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

struct Form {
    int to = 0; // 0: the source's bytes, 1: code page 932, 2: UTF-8 (with or without a mark)
    bool quote = false;
    bool replace = false;
};

// Why a line could not be written: the character, or kNoChar for bytes that form none.
struct FormStop {
    bool stopped = false;
    std::uint32_t codePoint = 0;
};

// Text in the form: each character decoded and encoded (its own bytes when the encodings are
// equal); unescape reads "" as ", doubleQuotes writes " as "". False at a character that
// cannot be written (without replace).
inline bool formText(std::string_view text, bool utf8, const Form& f, bool unescape, bool doubleQuotes,
                     std::string& out, std::int64_t& replaced, FormStop& stop)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8 ? utf8Size(text, i) : charSize(text, i);
        const std::string_view ch = text.substr(i, n);
        i += n;
        if (ch == "\"") {
            if (unescape && i < text.size() && text[i] == '"')
                ++i;
            out += doubleQuotes ? "\"\"" : "\"";
            continue;
        }
        if (f.to == 0) {
            out += ch;
            continue;
        }
        const std::uint32_t cp = decodeChar(ch, utf8);
        const std::string bytes = cp == kNoChar         ? std::string()
                                  : (f.to == 2) == utf8 ? std::string(ch)
                                  : f.to == 1           ? cp932Bytes(cp)
                                                        : utf8Bytes(cp);
        if (!bytes.empty()) {
            out += bytes;
        } else if (f.replace) {
            out += '?';
            ++replaced;
        } else {
            stop = {true, cp};
            return false;
        }
    }
    return true;
}

// Whether d occurs as characters of the text; outsideQuotes: only where no '"' has opened quotes.
inline bool holds(std::string_view text, std::string_view d, bool utf8, bool outsideQuotes)
{
    bool quoted = false;
    for (std::size_t i = 0; !d.empty() && i < text.size(); i += utf8 ? utf8Size(text, i) : charSize(text, i)) {
        if (outsideQuotes && text[i] == '"')
            quoted = !quoted;
        else if (!quoted && text.substr(i, d.size()) == d) {
            // The characters there must be d exactly, not one that begins with its bytes.
            std::size_t end = i;
            while (end < i + d.size())
                end += utf8 ? utf8Size(text, end) : charSize(text, end);
            if (end == i + d.size())
                return true;
        }
    }
    return false;
}

// One output line (without its end) in the form: false when it stops at a character.
inline bool formLine(const std::vector<std::string_view>& items, std::string_view outDeli, bool utf8, const Form& f,
                     std::string& out, std::int64_t& replaced, bool& heldDelimiter, FormStop& stop)
{
    for (std::size_t c = 0; c < items.size(); ++c) {
        if (c > 0 && !formText(outDeli, utf8, {f.to, false, f.replace}, false, false, out, replaced, stop))
            return false;
        std::string_view content = items[c];
        const bool enclosed = f.quote && content.size() >= 2 && content.front() == '"' && content.back() == '"';
        if (enclosed)
            content = content.substr(1, content.size() - 2);
        const bool wrap = f.quote && (holds(content, outDeli, utf8, false) ||
                                      content.find_first_of("\"\r\n") != std::string_view::npos);
        heldDelimiter = heldDelimiter || (!f.quote && holds(content, outDeli, utf8, true));
        if (wrap)
            out += '"';
        if (!formText(content, utf8, f, enclosed, wrap, out, replaced, stop))
            return false;
        if (wrap)
            out += '"';
    }
    return true;
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
