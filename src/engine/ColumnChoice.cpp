#include "ColumnChoice.h"

#include <algorithm>

namespace engine {

void ColumnChoice::reset(std::int64_t items)
{
    // Filled in one pass: the map has a slot for each of possibly millions of items.
    map_.assign(static_cast<std::size_t>(std::max<std::int64_t>(items, 0)) + 1, ColumnMapEntry{0, 0, kNoColumn});
    map_[0].iItemNo = 0;
    rows_ = 0;
}

std::vector<int> ColumnChoice::rows() const
{
    std::vector<int> out;
    out.reserve(rows_);
    for (std::size_t i = 1; i <= rows_; ++i)
        out.push_back(map_[i].iItemNo);
    return out;
}

void ColumnChoice::ensureMap()
{
    if (map_.empty())
        map_.resize(1);
}

void ColumnChoice::add(int itemNumber)
{
    insert(rows_, itemNumber);
}

void ColumnChoice::insert(std::size_t row, int itemNumber)
{
    ensureMap();
    row = std::min(row, rows_);
    if (map_.size() <= rows_ + 1)
        map_.push_back({0, 0, kNoColumn});
    ++rows_;
    // Slot rows_ was free: the rows from `row` on move into the slots after them.
    for (std::size_t i = rows_; i > row + 1; --i)
        map_[i].iItemNo = map_[i - 1].iItemNo;
    map_[row + 1].iItemNo = itemNumber;
}

bool ColumnChoice::move(std::size_t from, std::size_t to)
{
    if (from >= rows_ || to >= rows_)
        return false;
    const auto first = map_.begin() + 1;
    if (from < to)
        std::rotate(first + static_cast<std::ptrdiff_t>(from), first + static_cast<std::ptrdiff_t>(from) + 1,
                    first + static_cast<std::ptrdiff_t>(to) + 1);
    else
        std::rotate(first + static_cast<std::ptrdiff_t>(to), first + static_cast<std::ptrdiff_t>(from),
                    first + static_cast<std::ptrdiff_t>(from) + 1);
    return true;
}

bool ColumnChoice::remove(std::size_t row)
{
    if (row >= rows_)
        return false;
    for (std::size_t i = row + 1; i < rows_; ++i)
        map_[i].iItemNo = map_[i + 1].iItemNo;
    map_[rows_].iItemNo = kNoColumn;
    --rows_;
    return true;
}

void ColumnChoice::clear()
{
    ensureMap();
    for (std::size_t i = 1; i < map_.size(); ++i)
        map_[i].iItemNo = kNoColumn;
    rows_ = 0;
}

void ColumnChoice::load(const std::vector<int>& itemNumbers)
{
    ColumnMap map(1);
    if (!map_.empty())
        map[0] = map_.front();
    for (int n : itemNumbers)
        if (n >= 0)
            map.push_back({0, 0, n});
    if (map.size() == 1) {
        clear();
        return;
    }
    rows_ = map.size() - 1;
    map_ = std::move(map);
}

bool ColumnChoice::fits(const std::vector<int>& itemNumbers, std::int64_t items)
{
    return std::all_of(itemNumbers.begin(), itemNumbers.end(), [items](int n) { return n < 0 || names(n, items); });
}

std::vector<int> ColumnChoice::beyond(std::int64_t items) const
{
    std::vector<int> out;
    for (int n : rows())
        if (n >= 0 && !names(n, items) && std::find(out.begin(), out.end(), n) == out.end())
            out.push_back(n);
    return out;
}

} // namespace engine
