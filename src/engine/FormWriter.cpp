#include "FormWriter.h"

namespace engine {

FormRules formRules(const OutputForm& form, Encoding from, std::string_view outDeli)
{
    FormRules r;
    r.from = from;
    r.transcode = form.encoding != OutputEncoding::AsSource;
    r.to = form.encoding == OutputEncoding::AsSource ? from
           : form.encoding == OutputEncoding::Cp932  ? Encoding::Cp932
                                                     : Encoding::Utf8;
    r.quote = form.quote;
    r.replace = form.replace;
    r.outDeli.assign(outDeli);
    // The delimiter is written in the output encoding like any item's characters.
    std::string deli(outDeli.size() * FormRules::kGrowth + 4, '\0');
    char* to = deli.data();
    FormRules plain = r;
    plain.quote = false;
    FormFault fault;
    if (!writeContent(plain, outDeli, false, false, to, r.deliReplacements, fault)) {
        r.deliFault = fault.codePoint == kNoChar ? 1 : fault.codePoint;
        r.deliFaultNoChar = fault.codePoint == kNoChar;
    }
    deli.resize(static_cast<std::size_t>(to - deli.data()));
    r.deliOut = deli;
    return r;
}

bool writeContent(const FormRules& r, std::string_view content, bool unescape, bool escape, char*& to,
                  std::int64_t& replaced, FormFault& fault)
{
    const char* const s = content.data();
    const std::size_t n = content.size();
    char* out = to;
    const bool quotes = unescape || escape;
    if (!r.transcode) {
        // The bytes stay; only quotes change. No trail byte and no continuation byte is a '"'.
        std::size_t i = 0;
        while (i < n) {
            const void* hit = quotes ? std::memchr(s + i, '"', n - i) : nullptr;
            const std::size_t q = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : n;
            std::memcpy(out, s + i, q - i);
            out += q - i;
            if (q == n)
                break;
            *out++ = '"';
            if (escape)
                *out++ = '"';
            i = q + (unescape && q + 1 < n && s[q + 1] == '"' ? 2 : 1);
        }
        to = out;
        return true;
    }
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *out++ = static_cast<char>(b);
            if (b == '"' && quotes) {
                if (escape)
                    *out++ = '"';
                if (unescape && i + 1 < n && s[i + 1] == '"')
                    ++i;
            }
            ++i;
            continue;
        }
        const Decoded d = decodeChar(content, i, r.from);
        char* end = nullptr;
        if (d.codePoint != kNoChar) {
            if (r.from == r.to) {
                // Between equal encodings a character keeps its own bytes.
                std::memcpy(out, s + i, d.length);
                end = out + d.length;
            } else {
                end = encodeChar(d.codePoint, r.to, out, r.cp932Table);
            }
        }
        if (end == nullptr) {
            if (!r.replace) {
                fault.codePoint = d.codePoint;
                fault.bytes = content.substr(i, d.length);
                to = out;
                return false;
            }
            *out++ = '?';
            ++replaced;
        } else {
            out = end;
        }
        i += d.length;
    }
    to = out;
    return true;
}

} // namespace engine
