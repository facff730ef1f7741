#pragma once
// Deterministic code page 932 source files for the benchmark. The random sequence
// never depends on the delimiter: files made with the same seed hold the same items
// and differ only in what separates them, so they must convert to the same output.
// The generator knows where every item it wrote begins and ends, which lets it write
// the expected output of a conversion without parsing anything.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Records: lines of `columns` items of many kinds, about 130 bytes for 12 columns.
// ShortLines: three items, a number, two or three Japanese characters, a number, in
// 20 to 25 bytes a line with its CR LF: where the cost per line outweighs the cost per byte.
enum class Layout { Records, ShortLines };

struct ItemRange {
    std::size_t offset;
    std::size_t length;
};

class SourceGenerator {
public:
    // A ShortLines generator always writes three items, whatever columns says.
    SourceGenerator(int columns, std::uint64_t seed, char delimiter, Layout layout = Layout::Records);

    // Replaces line with the next line (without its line end) and items with the place
    // of each of its items.
    void next(std::string& line, std::vector<ItemRange>& items);

private:
    void appendItem(std::string& line, int column);
    void nextShort(std::string& line, std::vector<ItemRange>& items);
    std::uint64_t random();
    // Uniform enough for picking among a few dozen choices.
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>((random() >> 32) * n >> 32); }

    int columns_;
    char delimiter_;
    Layout layout_;
    std::uint64_t state_;
};

struct GenerateRequest {
    std::int64_t lines = 0;
    int columns = 0;
    std::uint64_t seed = 1;
    char delimiter = ',';
    Layout layout = Layout::Records;
    std::filesystem::path out;
    // When set, also writes what converting `out` with these columns must give.
    std::filesystem::path expect;
    std::vector<int> expectColumns;
    char expectDelimiter = ',';
};

// Empty on success, else what went wrong.
std::string generateFiles(const GenerateRequest& request);

} // namespace bench
