#include "LineProcessing.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

bool isNumeric(std::string_view s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && isBlank(s[i]))
        ++i;
    std::size_t last = n;
    while (last > i && isBlank(s[last - 1]))
        --last;
    if (i < last && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool digits = false;
    // Grouping separators may only stand between digits of the integer part.
    while (i < last && (isDigit(s[i]) || (s[i] == ',' && digits))) {
        if (isDigit(s[i]))
            digits = true;
        ++i;
    }
    if (i > 0 && i <= last && s[i - 1] == ',')
        return false;
    if (i < last && s[i] == '.') {
        ++i;
        while (i < last && isDigit(s[i])) {
            digits = true;
            ++i;
        }
    }
    if (!digits)
        return false;
    if (i < last && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < last && (s[i] == '+' || s[i] == '-'))
            ++i;
        bool expDigits = false;
        while (i < last && isDigit(s[i])) {
            expDigits = true;
            ++i;
        }
        if (!expDigits)
            return false;
    }
    return i == last;
}

void SetINData(std::string_view DELI, std::string_view p, std::int64_t iItemCount, INData& table, Encoding enc)
{
    table.assign(static_cast<std::size_t>(iItemCount < 0 ? 0 : iItemCount) + 1, INDataEntry{});
    // Every item is described, an empty one too: stopping at the first empty item would
    // hide every later column from the user.
    forEachListedItem(
        p, DELI, iItemCount,
        [&](std::int64_t No, std::string_view item) {
            auto& e = table[static_cast<std::size_t>(No)];
            e.iNo = static_cast<std::int32_t>(No);
            e.iAttr = isNumeric(item) ? kAttrNumeric : kAttrText;
        },
        enc);
}

LineItems Proc1Line(std::string p, std::string_view sDELI, std::int64_t iItemCount, Encoding enc)
{
    return LineItems(std::move(p), sDELI, iItemCount, enc);
}

void forEachListedItem(std::string_view p, std::string_view sDELI, std::int64_t iItemCount,
                       const std::function<void(std::int64_t No, std::string_view item)>& onItem, Encoding enc)
{
    if (iItemCount < 1)
        return;
    std::int64_t No = 0;
    std::string_view last;
    visitItems(
        p, sDELI,
        [&](std::string_view item) {
            last = item;
            onItem(++No, item);
            return No < iItemCount;
        },
        enc);
    while (No < iItemCount)
        onItem(++No, last);
}

OutputColumns outputColumns(const ColumnMap& map)
{
    OutputColumns columns;
    for (std::size_t i = 1; i < map.size(); ++i) {
        const std::int32_t no = map[i].iItemNo;
        if (no == -1)
            continue;
        columns.items.push_back(no);
        if (no < 1)
            columns.needLast = true;
        columns.upTo = std::max<std::int64_t>(columns.upTo, no);
    }
    return columns;
}

} // namespace engine
