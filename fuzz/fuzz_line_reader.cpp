// The line reader at a block size taken from the input, against the whole-input model.
// Input: two bytes giving the block size, a byte choosing a lead (FuzzInput::lead), then
// the text.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/LineReader.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::size_t blockSize = in.blockSize();
    const std::string source = in.lead() + std::string(in.rest());
    const std::string_view text = source;
    const std::vector<std::string_view> expected = model::lines(text);

    std::istringstream stream{std::string(text)};
    engine::LineReader reader(stream, blockSize);
    std::string_view line;
    std::size_t n = 0;
    volatile char touched = 0;
    while (reader.next(line)) {
        FUZZ_CHECK(n < expected.size());
        FUZZ_CHECK(line == expected[n]);
        // The splitter may read this far past any line the reader returns.
        for (std::size_t i = 0; i < engine::LineReader::kSlack; ++i)
            touched = touched ^ line.data()[line.size() + i];
        ++n;
    }
    FUZZ_CHECK(n == expected.size());
    FUZZ_CHECK(!reader.readError());
    FUZZ_CHECK(reader.consumed() == text.size());
    // The end stays the end.
    FUZZ_CHECK(!reader.next(line));
    return 0;
}
