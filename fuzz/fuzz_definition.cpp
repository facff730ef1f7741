// The definition reader: any bytes as a definition file, against the line model and the
// header rule; and numbers taken from the input through formatDefinition and back.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/DefinitionFile.h"

#include <sstream>

namespace {

engine::Definition readFrom(std::string bytes)
{
    std::istringstream stream(std::move(bytes));
    return engine::readDefinition(stream);
}

// "-" and up to four digits: a number every version of the reader has taken as it stands.
bool plainShortNumber(std::string_view s, int& value)
{
    const bool negative = !s.empty() && s[0] == '-';
    const std::string_view digits = s.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 4)
        return false;
    value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = model::lines(text, false);
    const engine::Definition read = readFrom(std::string(text));
    if (lines.empty() || lines[0].substr(0, 3) != "CSV") {
        FUZZ_CHECK(read.status == engine::Definition::Status::NotADefinition);
        FUZZ_CHECK(read.itemNumbers.empty());
    } else {
        FUZZ_CHECK(read.status == engine::Definition::Status::Ok);
        FUZZ_CHECK(read.itemNumbers.size() == lines.size() - 1);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            int value = 0;
            if (plainShortNumber(lines[i], value))
                FUZZ_CHECK(read.itemNumbers[i - 1] == value);
        }
    }

    // Two bytes a number, within 16 bits.
    FuzzInput in(data, size);
    std::vector<int> numbers;
    while (in.rest().size() >= 2) {
        const unsigned lo = in.byte();
        numbers.push_back(static_cast<std::int16_t>(lo | (unsigned{in.byte()} << 8)));
    }
    const engine::Definition back = readFrom(engine::formatDefinition(numbers));
    FUZZ_CHECK(back.status == engine::Definition::Status::Ok);
    FUZZ_CHECK(back.itemNumbers == numbers);
    return 0;
}
