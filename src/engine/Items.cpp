#include "Items.h"

#include "Cp932Chars.h"

#include <cstring>

namespace engine {

namespace {

// Calls onItem(view) for every item of p, in order, until it returns false.
// The quote flag is inverted before the delimiter test, so a '"' delimiter splits
// only at every second quote character.
template <typename OnItem> void forEachItem(std::string_view p, std::string_view d, OnItem onItem)
{
    const char* const data = p.data();
    const std::size_t n = p.size();
    std::size_t start = 0;
    bool inQuotes = false;

    if (!isSingleChar(d)) {
        onItem(p);
        return;
    }
    if (byteScanIsExact(d)) {
        const char dc = d[0];
        for (std::size_t i = 0; i < n; ++i) {
            const char c = data[i];
            if (c == '"')
                inQuotes = !inQuotes;
            if (c == dc && !inQuotes) {
                if (!onItem(p.substr(start, i - start)))
                    return;
                start = i + 1;
            }
        }
    } else {
        for (std::size_t i = 0; i < n;) {
            const std::size_t len = charLength(p, i);
            if (len == 1 && data[i] == '"')
                inQuotes = !inQuotes;
            if (len == d.size() && !inQuotes && std::memcmp(data + i, d.data(), len) == 0) {
                if (!onItem(p.substr(start, i - start)))
                    return;
                start = i + len;
            }
            i += len;
        }
    }
    onItem(p.substr(start));
}

} // namespace

std::string_view fGetItem(std::string_view p, std::string_view sDELI, std::int64_t No)
{
    std::string_view result;
    std::int64_t count = 0;
    forEachItem(p, sDELI, [&](std::string_view item) {
        result = item;
        ++count;
        return count != No;
    });
    return result;
}

void ItemSplitter::split(std::string_view p, std::string_view sDELI)
{
    items_.clear();
    forEachItem(p, sDELI, [&](std::string_view item) {
        items_.push_back(item);
        return true;
    });
}

} // namespace engine
