#pragma once
// The definition file: line 1 "CSV", then one decimal source item number per output
// column, every line ending in CR LF. Only ASCII is ever written.

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

std::string formatDefinition(const std::vector<int>& itemNumbers);

// Writes the file, replacing an existing one. False when it could not be written.
bool writeDefinition(const std::filesystem::path& path, const std::vector<int>& itemNumbers);

// One item line's number: blanks around it are ignored, a fraction goes to the nearest
// integer (a half to the even one), and anything that is no number or lies outside the
// range of int (the column map's item number) reads as 0.
int definitionNumber(std::string_view line);

struct Definition {
    enum class Status { Ok, CannotOpen, NotADefinition };
    Status status = Status::CannotOpen;
    // The numbers of the item lines, in file order.
    std::vector<int> itemNumbers;
};

// Reads with the system's one line reader; only the first three characters of line 1
// are compared with "CSV".
Definition readDefinition(const std::filesystem::path& path);
// The same from a stream; CannotOpen stands for a failed read.
Definition readDefinition(std::istream& in);

} // namespace engine
