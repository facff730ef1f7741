// Detection: the count of every candidate against the model, the candidate picked, and
// that the item count detection reports is the number of items the splitter finds.
// Input: a byte giving 1 to 4 candidates, the candidates, then the line.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/Detection.h"
#include "engine/Items.h"

namespace {

std::int64_t modelCount(std::string_view line, std::string_view d)
{
    return static_cast<std::int64_t>(model::items(line, d).size()) - 1;
}

void checkAgreesWithSplitting(std::string_view line, const std::string& sInDeli, std::int64_t iItemCount)
{
    engine::ItemSplitter splitter;
    splitter.split(line, sInDeli);
    FUZZ_CHECK(iItemCount >= 1);
    FUZZ_CHECK(splitter.count() == static_cast<std::uint64_t>(iItemCount));
    FUZZ_CHECK(iItemCount == modelCount(line, sInDeli) + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const int candidates = 1 + in.byte() % 4;
    engine::DelimiterTable table;
    for (int i = 0; i < candidates; ++i)
        table.add(in.delimiter(), "");
    const std::string_view line = in.rest();

    // The first candidate that occurs most often wins; the first of all when none occurs.
    int best = 0;
    std::int64_t bestCount = 0;
    for (int i = 0; i <= table.lastIndex(); ++i) {
        const std::int64_t count = modelCount(line, table[i].delimiter);
        FUZZ_CHECK(engine::countDelimiter(line, table[i].delimiter) == count);
        if (count > bestCount) {
            best = i;
            bestCount = count;
        }
    }
    std::string sInDeli;
    std::int64_t iItemCount = 0;
    FUZZ_CHECK(engine::fGetDeli(line, table, sInDeli, iItemCount) == table[best].delimiter);
    FUZZ_CHECK(sInDeli == table[best].delimiter);
    checkAgreesWithSplitting(line, sInDeli, iItemCount);

    engine::fGetDeli2(table[0].delimiter, line, sInDeli, iItemCount);
    FUZZ_CHECK(sInDeli == table[0].delimiter);
    checkAgreesWithSplitting(line, sInDeli, iItemCount);

    engine::BAK_fGetDeli(line, sInDeli, iItemCount);
    FUZZ_CHECK(sInDeli == (modelCount(line, ";") > modelCount(line, ",") ? ";" : ","));
    checkAgreesWithSplitting(line, sInDeli, iItemCount);
    return 0;
}
