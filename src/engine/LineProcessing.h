#pragma once
// Turning one source line into what the rest of the system needs: the attribute
// table of the first line, the first line's items, and the columns of an output line
// (joined in OutputLine.h).

#include "Items.h"
#include "Tables.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Whether an item reads as one number: blanks around it, a sign, digit grouping
// commas, a decimal point and an exponent are allowed. The same answer on every
// machine, whatever its locale.
bool isNumeric(std::string_view item);

// Builds the attribute table for items 1..iItemCount of the first line.
void SetINData(std::string_view DELI, std::string_view p, std::int64_t iItemCount, INData& table,
               Encoding enc = Encoding::Cp932);

// The first line's items 1..iItemCount, empty items included, for the source list. A
// count beyond the line's items repeats the last item.
LineItems Proc1Line(std::string p, std::string_view sDELI, std::int64_t iItemCount, Encoding enc = Encoding::Cp932);

// The same items in one scan that keeps nothing: onItem(No, item) for No = 1..iItemCount.
void forEachListedItem(std::string_view p, std::string_view sDELI, std::int64_t iItemCount,
                       const std::function<void(std::int64_t No, std::string_view item)>& onItem,
                       Encoding enc = Encoding::Cp932);

// The columns a map takes, in output order; entries holding -1 are passed over.
struct OutputColumns {
    std::vector<std::int32_t> items;
    // The highest item number taken.
    std::int64_t upTo = 0;
    // Some column takes the last item (a number below 1), so the whole line is scanned.
    bool needLast = false;
};
OutputColumns outputColumns(const ColumnMap& map);

// Length of the output line (without CR LF) for a line the splitter has split.
inline std::size_t outputLength(const ItemSplitter& splitter, const OutputColumns& columns, std::string_view outDeli)
{
    std::size_t length = columns.items.empty() ? 0 : (columns.items.size() - 1) * outDeli.size();
    for (const std::int32_t no : columns.items)
        length += splitter.item(no).size();
    return length;
}

} // namespace engine
