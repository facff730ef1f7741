#pragma once
// Turning one source line into what the rest of the system needs: the attribute
// table of the first line, the first line's items, and one output line.

#include "Items.h"
#include "Tables.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Whether an item reads as one number: blanks around it, a sign, digit grouping
// commas, a decimal point and an exponent are allowed. The same answer on every
// machine, whatever its locale.
bool isNumeric(std::string_view item);

// Builds the attribute table for items 1..iItemCount of the first line.
void SetINData(std::string_view DELI, std::string_view p, std::int64_t iItemCount, INData& table);

// The first line's items 1..iItemCount, empty items included, for the source list.
std::vector<std::string_view> Proc1Line(std::string_view p, std::string_view sDELI, std::int64_t iItemCount);

// Appends the output line for p (without its CR LF) to out: the items named by the
// map, in map order, joined by sNewDeli. Entries holding -1 are passed over. Returns
// false when no entry holds a column; out is then unchanged.
// upTo: highestItem(map), when the caller has it at hand. readableBeyond: the line
// comes from a LineReader, which keeps bytes readable after it.
bool buildOutputLine(std::string_view p, std::string_view sInDeli, const ColumnMap& map, std::string_view sNewDeli,
                     ItemSplitter& splitter, std::string& out, std::int64_t upTo = 0, bool readableBeyond = false);

// The highest item number the map takes, or 0 when some column needs the whole line
// (a number below 1 takes the last item).
std::int64_t highestItem(const ColumnMap& map);

// The line-by-line reference: builds the line into sWork and appends it with CR LF to
// the file at outPath, opening and closing the file for this one line. Returns false
// when nothing was written because no entry holds a column; throws std::ios_base::failure
// when the file cannot be written.
bool Out1Line(std::string_view p, std::string_view sNewDeli, std::string_view sInDeli, const ColumnMap& map,
              std::string& sWork, const std::filesystem::path& outPath);

} // namespace engine
