#include "Detection.h"

#include "Items.h"

namespace engine {

std::int64_t countDelimiter(std::string_view p, std::string_view d, Encoding enc)
{
    // The splitter's count, so that detection and splitting can never disagree; asking
    // only for the last item keeps no positions, however many items the line has.
    ItemSplitter splitter;
    splitter.split(p, d, {.alsoLast = true, .enc = enc});
    return static_cast<std::int64_t>(splitter.count()) - 1;
}

namespace {

template <typename Candidates>
std::string pickMostFrequent(std::string_view p, int last, Candidates candidate, std::string& sInDeli,
                             std::int64_t& iItemCount, Encoding enc = Encoding::Cp932)
{
    int bestIndex = 0;
    std::int64_t bestCount = 0;
    for (int i = 0; i <= last; ++i) {
        // Every candidate starts outside quotes, so the result never depends on the
        // candidates' order.
        const std::int64_t count = countDelimiter(p, candidate(i), enc);
        if (count > bestCount) {
            bestCount = count;
            bestIndex = i;
        }
    }
    iItemCount = bestCount + 1;
    sInDeli = std::string(candidate(bestIndex));
    return sInDeli;
}

} // namespace

std::string fGetDeli(std::string_view p, const DelimiterTable& table, std::string& sInDeli, std::int64_t& iItemCount,
                     Encoding enc)
{
    return pickMostFrequent(
        p, table.lastIndex(), [&](int i) -> std::string_view { return table[i].delimiter; }, sInDeli, iItemCount, enc);
}

std::string fGetDeli2(std::string_view DELI, std::string_view p, std::string& sInDeli, std::int64_t& iItemCount,
                      Encoding enc)
{
    iItemCount = countDelimiter(p, DELI, enc) + 1;
    sInDeli = std::string(DELI);
    return sInDeli;
}

} // namespace engine
