#include "LineProcessing.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace engine {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
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

void SetINData(std::string_view DELI, std::string_view p, std::int64_t iItemCount, INData& table)
{
    table.assign(static_cast<std::size_t>(iItemCount < 0 ? 0 : iItemCount) + 1, INDataEntry{});
    ItemSplitter splitter;
    splitter.split(p, DELI);
    for (std::int64_t No = 1; No <= iItemCount; ++No) {
        // Every item is described, an empty one too: stopping at the first empty item
        // would hide every later column from the user.
        const std::string_view item = splitter.item(No);
        auto& e = table[static_cast<std::size_t>(No)];
        e.iNo = static_cast<std::int32_t>(No);
        e.iAttr = isNumeric(item) ? 2 : 1;
    }
}

std::vector<std::string_view> Proc1Line(std::string_view p, std::string_view sDELI, std::int64_t iItemCount)
{
    std::vector<std::string_view> rows;
    ItemSplitter splitter;
    splitter.split(p, sDELI);
    for (std::int64_t No = 1; No <= iItemCount; ++No)
        rows.push_back(splitter.item(No));
    return rows;
}

std::int64_t highestItem(const ColumnMap& map)
{
    std::int64_t highest = 0;
    for (std::size_t i = 1; i < map.size(); ++i) {
        const std::int32_t no = map[i].iItemNo;
        if (no == -1)
            continue;
        if (no < 1)
            return 0;
        highest = std::max<std::int64_t>(highest, no);
    }
    return highest;
}

namespace {

// Items are short: copying them inline beats a library call per item.
inline void copyBytes(char* to, const char* from, std::size_t n)
{
    if (n >= 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + n - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + n - 8, &b, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + n - 4, 4);
        std::memcpy(to, &a, 4);
        std::memcpy(to + n - 4, &b, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

} // namespace

bool buildOutputLine(std::string_view p, std::string_view sInDeli, const ColumnMap& map, std::string_view sNewDeli,
                     ItemSplitter& splitter, std::string& out, std::int64_t upTo, bool readableBeyond)
{
    bool split = false;
    std::size_t length = 0;
    std::size_t columns = 0;
    for (std::size_t i = 1; i < map.size(); ++i) {
        const std::int32_t no = map[i].iItemNo;
        if (no == -1)
            continue;
        if (!split) {
            splitter.split(p, sInDeli, upTo, readableBeyond);
            split = true;
        }
        length += splitter.item(no).size();
        ++columns;
    }
    if (columns == 0)
        return false;
    length += (columns - 1) * sNewDeli.size();
    std::size_t at = out.size();
    out.resize(at + length);
    char* const base = out.data();
    bool first = true;
    for (std::size_t i = 1; i < map.size(); ++i) {
        const std::int32_t no = map[i].iItemNo;
        if (no == -1)
            continue;
        if (!first) {
            copyBytes(base + at, sNewDeli.data(), sNewDeli.size());
            at += sNewDeli.size();
        }
        first = false;
        const std::string_view item = splitter.item(no);
        copyBytes(base + at, item.data(), item.size());
        at += item.size();
    }
    return true;
}

bool Out1Line(std::string_view p, std::string_view sNewDeli, std::string_view sInDeli, const ColumnMap& map,
              std::string& sWork, const std::filesystem::path& outPath)
{
    // Built the slow way on purpose: one fGetItem scan per column, so that it can serve
    // as an independent model of the output line.
    std::string work;
    for (std::size_t i = 1; i < map.size(); ++i) {
        if (map[i].iItemNo == -1)
            continue;
        work.append(fGetItem(p, sInDeli, map[i].iItemNo));
        work.append(sNewDeli);
    }
    if (work.empty())
        return false;
    work.resize(work.size() - sNewDeli.size());
    sWork = work;
    std::ofstream out(outPath, std::ios::binary | std::ios::app);
    out.exceptions(std::ios::failbit | std::ios::badbit);
    out << sWork << "\r\n";
    out.close();
    return true;
}

} // namespace engine
