#include "DelimiterTable.h"

namespace engine {

void DelimiterTable::resetToDefaults()
{
    entries_.assign(3, DelimiterEntry{});
    entries_[0] = {",", "\x83\x4A\x83\x93\x83\x7D"}; // カンマ
    entries_[1] = {"\t", "TAB"};
}

void DelimiterTable::add(std::string delimiter, std::string name)
{
    entries_.back() = {std::move(delimiter), std::move(name)};
    entries_.emplace_back();
}

bool DelimiterTable::remove(int index)
{
    if (lastIndex() <= 1 || index < 0 || index >= lastIndex())
        return false;
    entries_.erase(entries_.begin() + index);
    return true;
}

DelimiterTable delimitersFor(const DelimiterTable& table, Encoding encoding,
                             const std::function<std::optional<std::string>(std::string_view)>& toUtf8)
{
    DelimiterTable out = table;
    if (encoding == Encoding::Cp932)
        return out;
    for (int i = 0; i < out.lastIndex(); ++i) {
        // Two NUL characters: longer than one character, so never a match.
        const std::optional<std::string> utf8 = toUtf8(table[i].delimiter);
        out[i].delimiter = utf8 ? *utf8 : std::string("\0\0", 2);
    }
    return out;
}

} // namespace engine
