#pragma once
// Finding which delimiter separates a line. Each operation gives the caller the input
// delimiter found (sInDeli) and the line's item count (iItemCount, delimiters + 1).

#include "DelimiterTable.h"
#include "Encoding.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Occurrences of d in p outside double quotes, walking the characters of the line's
// encoding (code page 932 or UTF-8).
// A delimiter that is empty or longer than one character never occurs.
std::int64_t countDelimiter(std::string_view p, std::string_view d, Encoding enc = Encoding::Cp932);

// The candidate of the table that occurs most often outside quotes; ties go to the
// lower index, and entry 0 wins when none occurs. The table's delimiters are in the
// line's encoding.
std::string fGetDeli(std::string_view p, const DelimiterTable& table, std::string& sInDeli, std::int64_t& iItemCount,
                     Encoding enc = Encoding::Cp932);

// Counts the given delimiter (outside quotes, as splitting does) and returns it.
std::string fGetDeli2(std::string_view DELI, std::string_view p, std::string& sInDeli, std::int64_t& iItemCount,
                      Encoding enc = Encoding::Cp932);

} // namespace engine
