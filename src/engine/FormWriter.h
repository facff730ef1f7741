#pragma once
// Writing items in a form other than the default (OutputForm.h): transcoded, quoted where
// needed, or both. A sink for joinLine, so every path of a run still joins lines in the one
// joiner; the default form never comes here. Internal to the engine.

#include "Encoding.h"
#include "OutputForm.h"
#include "OutputLine.h"
#include "Simd.h"
#include "Transcode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace engine {

// Whether the characters from item[i] on are exactly d: a character that only begins or
// ends with d's bytes is another character.
inline bool charsAt(std::string_view item, std::size_t i, std::string_view d, Encoding e)
{
    if (item.compare(i, d.size(), d) != 0)
        return false;
    std::size_t end = i;
    while (end < i + d.size())
        end += charLength(item, end, e);
    return end == i + d.size();
}

// Whether the item holds the character d (in encoding e): a trail byte that looks like d
// does not count, nor does a character that merely begins or ends with d's byte.
inline bool holdsChar(std::string_view item, std::string_view d, Encoding e)
{
    if (d.empty() || item.size() < d.size())
        return false;
    if (d.size() == 1) {
        const void* hit = std::memchr(item.data(), d[0], item.size());
        if (hit == nullptr)
            return false;
        if (byteScanIsExact(d, e))
            return true;
    } else if (item.find(d) == std::string_view::npos) {
        return false;
    }
    for (std::size_t i = 0; i + d.size() <= item.size(); i += charLength(item, i, e))
        if (charsAt(item, i, d, e))
            return true;
    return false;
}

// Whether the character d occurs in the item outside quotes, where a reader would take it for
// the end of the item (a '"' opens and closes quotes, as the splitter takes them).
inline bool holdsUnquoted(std::string_view item, std::string_view d, Encoding e)
{
    if (d.empty() || item.size() < d.size() || std::memchr(item.data(), d[0], item.size()) == nullptr)
        return false;
    bool quoted = false;
    if (d.size() == 1 && byteScanIsExact(d, e)) {
        // Neither d nor '"' is ever part of another character: bytes will do.
        if (std::memchr(item.data(), '"', item.size()) == nullptr)
            return true;
        for (const char c : item) {
            if (c == '"')
                quoted = !quoted;
            else if (c == d[0] && !quoted)
                return true;
        }
        return false;
    }
    for (std::size_t i = 0; i + d.size() <= item.size(); i += charLength(item, i, e)) {
        if (item[i] == '"')
            quoted = !quoted;
        else if (!quoted && charsAt(item, i, d, e))
            return true;
    }
    return false;
}

// Which bytes that matter to quoting an item holds: a '"', CR or LF (quoteOrBreak), and the
// output delimiter's first byte (deliByte; never when deli0 is -1). Reads the item's bytes up
// to 15 past its end, as items of a reader's lines allow (64 bytes are readable after each).
struct Specials {
    bool quoteOrBreak = false;
    bool deliByte = false;
};
inline Specials findSpecials(std::string_view item, int deli0)
{
    Specials found;
#if TOLVANE_HAVE_SSE2
    const __m128i quote = _mm_set1_epi8('"'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i deli = _mm_set1_epi8(static_cast<char>(deli0));
    for (std::size_t at = 0; at < item.size(); at += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(item.data() + at));
        // Only the item's own bytes count.
        const unsigned valid = item.size() - at >= 16 ? 0xFFFFu : (1u << (item.size() - at)) - 1;
        const auto breaks = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)))));
        const auto delis = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, deli)));
        found.quoteOrBreak = found.quoteOrBreak || (breaks & valid) != 0;
        found.deliByte = found.deliByte || (deli0 >= 0 && (delis & valid) != 0);
    }
#else
    for (const char c : item) {
        found.quoteOrBreak = found.quoteOrBreak || c == '"' || c == '\r' || c == '\n';
        found.deliByte = found.deliByte || (deli0 >= 0 && static_cast<unsigned char>(c) == deli0);
    }
#endif
    return found;
}

// The output line's end bytes.
inline std::string_view lineEndBytes(LineEnd end)
{
    return end == LineEnd::Lf ? std::string_view("\n") : std::string_view("\r\n");
}

// A form's rules for one slice of a run, worked out once.
struct FormRules {
    Encoding from = Encoding::Cp932;
    Encoding to = Encoding::Cp932;
    // Characters are decoded and encoded again; between equal encodings they are only
    // checked, their bytes kept.
    bool transcode = false;
    bool quote = false;
    bool replace = false;
    // The output delimiter as given (in the source's encoding), looked for in items.
    std::string outDeli;
    // The delimiter as written, in the output encoding; '?' for each character the output
    // cannot hold, counted in deliReplacements, or deliFault when not replacing.
    std::string deliOut;
    std::int64_t deliReplacements = 0;
    const std::uint16_t* cp932Table = cp932EncodingTable();
    std::uint32_t deliFault = 0; // the delimiter's character the output cannot hold; 0: none
    bool deliFaultNoChar = false;

    // An output line is at most this many times its source bytes, plus two quotes a column.
    static constexpr std::size_t kGrowth = 3;
};

FormRules formRules(const OutputForm& form, Encoding from, std::string_view outDeli);

// Why an item could not be written: the output column (from 0), and the character the
// output cannot hold (codePoint) or the source bytes that form none (codePoint kNoChar).
struct FormFault {
    std::size_t column = 0;
    std::uint32_t codePoint = kNoChar;
    std::string_view bytes;
};

// Writes one item's content from `from` into `to` (room for kGrowth times its size):
// unescape reads "" as ", escape writes " as "". False at a fault (replace off); `to` then
// stops where the fault is.
bool writeContent(const FormRules& r, std::string_view content, bool unescape, bool escape, char*& to,
                  std::int64_t& replaced, FormFault& fault);

// Where a form sink's bytes go: gathered at a pointer with room for the line's bound (and
// kSlack after it, for copyItem).
struct GatherDest {
    char* to;
    char* reserve(std::size_t) { return to; }
    bool commit(char* end)
    {
        to = end;
        return true;
    }
    // An item of a reader's line, whole.
    bool copy(std::string_view item)
    {
        to = copyItem(to, item.data(), item.size());
        return true;
    }
};

// Longest piece of an item transcoded at once on the piece-by-piece path.
constexpr std::size_t kFormPiece = 64 * 1024;

// A joinLine sink in a form. Dest: reserve(n) gives room for n bytes (nullptr when the
// bytes before could not be written), commit(end) takes what was written there.
template <typename Dest> struct FormSink {
    FormSink(const FormRules& rules, Dest d) : r(rules), dest(d) {}
    const FormRules& r;
    Dest dest;
    std::size_t column = 0;
    std::int64_t replaced = 0;
    // Some item held the output delimiter outside quotes (counted when not quoting).
    bool heldDelimiter = false;
    FormFault fault;
    bool failed = false; // stopped by Dest, not by a character

    bool delimiter(std::string_view)
    {
        if (r.deliFault != 0) {
            fault = {column, r.deliFaultNoChar ? kNoChar : r.deliFault, r.outDeli};
            return false;
        }
        char* const to = dest.reserve(r.deliOut.size());
        if (to == nullptr)
            return fail();
        std::memcpy(to, r.deliOut.data(), r.deliOut.size());
        replaced += r.deliReplacements;
        return dest.commit(to + r.deliOut.size()) || fail();
    }

    bool item(std::string_view raw)
    {
        std::string_view content = raw;
        bool unescape = false;
        if (r.quote && raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
            content = raw.substr(1, raw.size() - 2);
            unescape = true;
        }
        const Specials found = findSpecials(content, r.outDeli.empty() ? -1 : static_cast<unsigned char>(r.outDeli[0]));
        bool wrap = false;
        if (r.quote)
            wrap = found.quoteOrBreak || (found.deliByte && holdsChar(content, r.outDeli, r.from));
        else
            heldDelimiter = heldDelimiter || (found.deliByte && holdsUnquoted(content, r.outDeli, r.from));
        if (!r.transcode && !wrap && !unescape) {
            // Quoting alone, and this item needs none: its bytes as they are.
            ++column;
            return dest.copy(content) || fail();
        }
        if (wrap && !put("\""))
            return false;
        for (std::size_t at = 0; at < content.size();) {
            const std::size_t end = pieceEnd(content, at, unescape);
            const std::string_view piece = content.substr(at, end - at);
            char* to = dest.reserve(RulesGrowth * piece.size());
            if (to == nullptr)
                return fail();
            FormFault f;
            const bool ok = writeContent(r, piece, unescape, wrap, to, replaced, f);
            if (!dest.commit(to))
                return fail();
            if (!ok) {
                fault = {column, f.codePoint, f.bytes};
                return false;
            }
            at = end;
        }
        if (wrap && !put("\""))
            return false;
        ++column;
        return true;
    }

private:
    static constexpr std::size_t RulesGrowth = FormRules::kGrowth;
    bool fail()
    {
        failed = true;
        return false;
    }
    bool put(std::string_view bytes)
    {
        char* const to = dest.reserve(bytes.size());
        if (to == nullptr)
            return fail();
        std::memcpy(to, bytes.data(), bytes.size());
        return dest.commit(to + bytes.size()) || fail();
    }
    // The end of a piece from `at`: the content's end, or a character's start about
    // kFormPiece on that splits no "" pair (pairs are read from the start of a run of quotes,
    // and a piece starts at an even place in its run).
    std::size_t pieceEnd(std::string_view content, std::size_t at, bool unescape) const
    {
        if (content.size() - at <= kFormPiece)
            return content.size();
        std::size_t end = at;
        while (end < at + kFormPiece)
            end += charLength(content, end, r.from);
        if (unescape && end < content.size() && content[end] == '"' && content[end - 1] == '"') {
            std::size_t run = end;
            while (run > at && content[run - 1] == '"')
                --run;
            end += (end - run) % 2;
        }
        return end;
    }
};

} // namespace engine
