#pragma once
// The column map and the item attribute table. Index 0 of both is never used.

#include <cstdint>
#include <vector>

namespace engine {

struct ColumnMapEntry {
    std::int32_t iReserved1 = 0;
    std::int32_t iReserved2 = 0;
    // 1-based source item taken by this output column; -1: no column.
    std::int32_t iItemNo = 0;
};

struct INDataEntry {
    std::int32_t iNo = 0;
    // 2 numeric, 1 text, 0 not filled.
    std::int32_t iAttr = 0;
};

using ColumnMap = std::vector<ColumnMapEntry>;
using INData = std::vector<INDataEntry>;

} // namespace engine
