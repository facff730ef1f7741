#pragma once
// Candidate input delimiters, in the order detection tries them. Strings are bytes in
// the encoding of the lines they are compared with: the table the user edits is code
// page 932, and delimitersFor gives its UTF-8 form for a UTF-8 source.

#include "Encoding.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

// The candidates, kept as code page 932, in the source's encoding: one table serves both.
// `toUtf8` gives a code page 932 text's UTF-8 form, or nothing for bytes that are no
// text; such a candidate stands for no character and never matches.
DelimiterTable delimitersFor(const DelimiterTable& table, Encoding encoding,
                             const std::function<std::optional<std::string>(std::string_view)>& toUtf8);

} // namespace engine
