#include "Encoding.h"

#include <algorithm>

namespace engine {

SourceEncoding detectEncoding(std::string_view start, EncodingChoice choice)
{
    const bool bom = start.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    if (choice == EncodingChoice::Cp932)
        return {Encoding::Cp932, false};
    if (choice == EncodingChoice::Utf8 || bom)
        return {Encoding::Utf8, bom};
    const std::string_view probe = start.substr(0, kEncodingProbe);
    bool nonAscii = false;
    for (std::size_t i = 0; i < probe.size();) {
        if (static_cast<unsigned char>(probe[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8CharLength(probe, i);
        if (len == 1) {
            // A character the probe cut off is forgiven when the source goes on past it.
            const bool cut = probe.size() < start.size();
            const auto b = static_cast<unsigned char>(probe[i]);
            const std::size_t want = b >= 0xC2 && b <= 0xDF   ? 2
                                     : b >= 0xE0 && b <= 0xEF ? 3
                                     : b >= 0xF0 && b <= 0xF4 ? 4
                                                              : 0;
            const bool restIsContinuation =
                std::all_of(probe.begin() + static_cast<std::ptrdiff_t>(i) + 1, probe.end(),
                            [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
            if (cut && want != 0 && i + want > probe.size() && restIsContinuation)
                break;
            return {Encoding::Cp932, false};
        }
        nonAscii = true;
        i += len;
    }
    return {nonAscii ? Encoding::Utf8 : Encoding::Cp932, false};
}

} // namespace engine
