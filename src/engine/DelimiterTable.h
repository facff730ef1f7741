#pragma once
// Candidate input delimiters, in the order detection tries them. Strings are code
// page 932 bytes, as everything the engine compares with a line.

#include <string>
#include <vector>

namespace engine {

struct DelimiterEntry {
    std::string delimiter;
    std::string name;
};

// The last entry is always an empty spare; the candidates are the entries before it.
class DelimiterTable {
public:
    DelimiterTable() : entries_(1) {}

    // Drops every entry and leaves the candidates ",", TAB and the spare.
    void resetToDefaults();

    // Highest index: the spare. Equal to the number of candidates in use.
    int lastIndex() const { return static_cast<int>(entries_.size()) - 1; }
    const DelimiterEntry& operator[](int i) const { return entries_.at(static_cast<std::size_t>(i)); }
    DelimiterEntry& operator[](int i) { return entries_.at(static_cast<std::size_t>(i)); }

    // Writes into the spare and adds a new spare after it.
    void add(std::string delimiter, std::string name);
    // Moves every later entry down by one; refuses (returns false) to remove the last candidate.
    bool remove(int index);

private:
    std::vector<DelimiterEntry> entries_;
};

} // namespace engine
