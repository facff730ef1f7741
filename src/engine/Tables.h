#pragma once
// The column map and the item attribute table. Index 0 of both is never used.

#include <cstdint>
#include <vector>

namespace engine {

// Both tables hold one entry per item of the first line, which may have millions: each
// entry stays at eight bytes.
struct ColumnMapEntry {
    std::int16_t iReserved1 = 0;
    std::int16_t iReserved2 = 0;
    // 1-based source item taken by this output column; -1: no column.
    std::int32_t iItemNo = 0;
    bool operator==(const ColumnMapEntry&) const = default;
};

// The values of INDataEntry::iAttr, kept as the numbers the attribute table holds.
enum ItemAttribute : std::int32_t {
    kAttrNone = 0,    // not filled
    kAttrText = 1,    // 文字列
    kAttrNumeric = 2, // 数値
};

// A ColumnMap entry's iItemNo when the entry names no column.
constexpr std::int32_t kNoColumn = -1;

struct INDataEntry {
    std::int32_t iNo = 0;
    std::int32_t iAttr = kAttrNone;
};

static_assert(sizeof(ColumnMapEntry) == 8 && sizeof(INDataEntry) == 8);

using ColumnMap = std::vector<ColumnMapEntry>;
using INData = std::vector<INDataEntry>;

} // namespace engine
