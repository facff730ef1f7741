// Splitting a line: fGetItem and ItemSplitter (whole line, stopped early, scanning past
// the line's end) against the byte-by-byte model.
// Input: delimiter, upTo, one more item number, a byte choosing what lies after the
// line (its top bit: the line is UTF-8, not code page 932), then the line.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/Items.h"

#include <algorithm>
#include <memory>

namespace {

void checkItem(std::string_view got, std::string_view line, std::string_view expected)
{
    FUZZ_CHECK(got == expected);
    // A view into the line itself, not into a copy.
    FUZZ_CHECK(got.empty() || (got.data() >= line.data() && got.data() + got.size() <= line.data() + line.size()));
}

// upTo below 1: the whole line.
void checkSplit(const engine::ItemSplitter& splitter, std::string_view line,
                const std::vector<std::string_view>& expected, std::int64_t upTo, std::int64_t extraNo)
{
    const bool early = upTo >= 1 && static_cast<std::uint64_t>(upTo) < expected.size();
    const std::size_t count = early ? static_cast<std::size_t>(upTo) : expected.size();
    FUZZ_CHECK(splitter.count() == count);
    for (std::size_t no = 1; no <= count; ++no)
        checkItem(splitter.item(static_cast<std::int64_t>(no)), line, expected[no - 1]);
    if (!early) {
        for (const std::int64_t no : {std::int64_t{0}, std::int64_t{-1}, static_cast<std::int64_t>(count) + 1, extraNo})
            checkItem(splitter.item(no), line, model::item(expected, no));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::string delimiter = in.delimiter();
    const std::int64_t upTo = in.itemNumber();
    const std::int64_t extraNo = in.itemNumber();
    const std::uint8_t after = in.byte();

    // The line alone in a block of its own size, so that any read past it is caught.
    const std::string_view rest = in.rest();
    const auto exact = std::make_unique<char[]>(rest.size());
    std::copy(rest.begin(), rest.end(), exact.get());
    const std::string_view line(exact.get(), rest.size());

    const bool utf8 = after & 0x80;
    const engine::Encoding enc = utf8 ? engine::Encoding::Utf8 : engine::Encoding::Cp932;
    const std::vector<std::string_view> expected = model::items(line, delimiter, utf8);

    // Every number of a short line; of a long one the first, the last and their neighbours,
    // keeping a run quadratic in the item count short.
    const auto last = static_cast<std::int64_t>(expected.size());
    for (std::int64_t no = -1; no <= last + 1; no = (no == 32 && last > 40) ? last - 2 : no + 1)
        checkItem(engine::fGetItem(line, delimiter, no, enc), line, model::item(expected, no));
    checkItem(engine::fGetItem(line, delimiter, extraNo, enc), line, model::item(expected, extraNo));

    // One splitter for every split, as the conversion keeps one for the whole run.
    engine::ItemSplitter splitter;
    splitter.split(line, delimiter, {.upTo = upTo, .enc = enc});
    checkSplit(splitter, line, expected, upTo, extraNo);
    splitter.split(line, delimiter, {.enc = enc});
    checkSplit(splitter, line, expected, 0, extraNo);

    // With 64 readable bytes after the line, filled with quotes and delimiters that must
    // not count.
    const auto padded = std::make_unique<char[]>(rest.size() + 64);
    std::copy(rest.begin(), rest.end(), padded.get());
    for (std::size_t i = 0; i < 64; ++i)
        padded[rest.size() + i] = (after >> (i % 8)) & 1 ? '"' : (delimiter.empty() ? ',' : delimiter[0]);
    const std::string_view paddedLine(padded.get(), rest.size());
    const std::vector<std::string_view> paddedExpected = model::items(paddedLine, delimiter, utf8);
    splitter.split(paddedLine, delimiter, {.upTo = upTo, .readableBeyond = true, .enc = enc});
    checkSplit(splitter, paddedLine, paddedExpected, upTo, extraNo);
    splitter.split(paddedLine, delimiter, {.readableBeyond = true, .enc = enc});
    checkSplit(splitter, paddedLine, paddedExpected, 0, extraNo);
    return 0;
}
