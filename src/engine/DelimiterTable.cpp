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

} // namespace engine
