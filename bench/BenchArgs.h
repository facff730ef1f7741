#pragma once
// Command line pieces shared by the benchmark tools, so that every tool reads a column
// list or a delimiter the same way.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// "3,1,12": 1-based item numbers, each at least 1.
inline std::optional<std::vector<int>> parseColumns(std::string_view text)
{
    std::vector<int> columns;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        int n = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (ec != std::errc() || end != part.data() + part.size() || n < 1)
            return std::nullopt;
        columns.push_back(n);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (text.empty())
            return std::nullopt;
    }
    if (columns.empty())
        return std::nullopt;
    return columns;
}

// A TAB is hard to pass through a shell, so "\t" (backslash, t) and "TAB" stand for it.
inline std::optional<std::string> parseDelimiter(std::string_view text)
{
    if (text == "\\t" || text == "TAB" || text == "tab")
        return std::string(1, '\t');
    if (text.empty())
        return std::nullopt;
    return std::string(text);
}

inline std::optional<std::int64_t> parseCount(std::string_view text)
{
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0)
        return std::nullopt;
    return n;
}

} // namespace bench
