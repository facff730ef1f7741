#include "Transcode.h"

#include <memory>

namespace engine {

namespace {

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
                const std::uint16_t u = cp932::kPairs[cp932::leadRow(static_cast<unsigned char>(lead))][trail - 0x40];
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

const std::uint16_t* cp932EncodingTable()
{
    return encodingTable();
}

} // namespace engine
