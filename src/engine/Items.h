#pragma once
// Taking a line apart into items. Items keep their quotes and blanks; a delimiter
// inside double quotes is text. Item numbers start at 1; a number below 1 or beyond
// the last item gives the last item.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Item No of line p, split by sDELI. The result views p.
std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No);

// Splits a line once, so that many items can be taken without scanning again.
// Holds views into the line it was last given.
class ItemSplitter {
public:
    void split(std::string_view p, std::string_view sDELI);
    std::size_t count() const { return items_.size(); }
    // Same numbering rule as fGetItem.
    std::string_view item(std::int64_t No) const
    {
        if (No < 1 || static_cast<std::uint64_t>(No) > items_.size())
            return items_.back();
        return items_[static_cast<std::size_t>(No - 1)];
    }

private:
    std::vector<std::string_view> items_;
};

} // namespace engine
