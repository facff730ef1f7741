#pragma once
// The output columns the user has chosen: the output rows, each a source item number in
// output order, and the column map the conversion reads. The rows are always the map's
// slots 1..rows(); every slot after them is free (kNoColumn), so a row on screen is
// always a column written and a freed slot never brings an old column back.

#include "Tables.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

class ColumnChoice {
public:
    // A source of `items` items was read: no rows, and a free slot for each item.
    void reset(std::int64_t items);
    // Whether a source has given the map slots to fill: columns can be added.
    bool hasSlots() const { return map_.size() > 1; }

    std::size_t rowCount() const { return rows_; }
    // The item number of output row `row` (from 0).
    int row(std::size_t row) const { return map_[row + 1].iItemNo; }
    // The rows' item numbers in output order: what a definition file holds.
    std::vector<int> rows() const;
    // What the conversion reads: slot 0 unused, then the rows, then free slots. Empty
    // until a source was read or a definition loaded.
    const ColumnMap& map() const { return map_; }

    // A new last row; a row beyond the last slot gets a slot of its own.
    void add(int itemNumber);
    // A new row at `row` (at most rowCount()); the rows from there on move down one.
    void insert(std::size_t row, int itemNumber);
    // Moves a row to another place; the rows between shift by one. False when either
    // place is no row.
    bool move(std::size_t from, std::size_t to);
    // Removes a row; the rows after it move up and the last slot is freed.
    bool remove(std::size_t row);
    // No rows, every slot freed; the map keeps its size.
    void clear();

    // A definition's item numbers in file order. A negative number names no column: it
    // gets neither a row nor a slot. A definition without columns frees every slot.
    void load(const std::vector<int>& itemNumbers);
    std::vector<int> definition() const { return rows(); }

    // Whether every column of a definition names an item the source has (1..items);
    // negative numbers name no column and are passed over.
    static bool fits(const std::vector<int>& itemNumbers, std::int64_t items);
    bool fits(std::int64_t items) const { return fits(rows(), items); }
    // The item numbers the rows name that a source of `items` items lacks, each once, in
    // the order of the rows: the conversion gives such a column the line's last item. A
    // row without a column (negative) names no item.
    std::vector<int> beyond(std::int64_t items) const;
    static bool names(int itemNumber, std::int64_t items) { return itemNumber >= 1 && itemNumber <= items; }

private:
    // The map exists from the first source or definition on, with slot 0 at least.
    void ensureMap();

    ColumnMap map_;
    std::size_t rows_ = 0;
};

} // namespace engine
