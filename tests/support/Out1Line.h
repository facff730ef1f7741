#pragma once
// The line-by-line model of a conversion, which the whole-file run must match byte for
// byte. Tests only: the program never writes a line this way.

#include "engine/Items.h"
#include "engine/LineProcessing.h"
#include "engine/OutputLine.h"
#include "engine/Tables.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace engine {

// Builds the line into sWork and appends it with CR LF to the file at outPath, opening and
// closing the file for this one line. Returns false when nothing was written because no
// entry holds a column; throws std::ios_base::failure when the file cannot be written.
// Built the slow way on purpose, one fGetItem scan per column, so that it stays a model
// independent of the splitter the run uses.
inline bool Out1Line(std::string_view p, std::string_view sNewDeli, std::string_view sInDeli, const ColumnMap& map,
                     std::string& sWork, const std::filesystem::path& outPath)
{
    std::string work;
    for (std::size_t i = 1; i < map.size(); ++i) {
        if (map[i].iItemNo == kNoColumn)
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

// The engine's way to the same line, for the tests to hold against the model: p split once
// and joined by the run's joiner. Appends the line (without its CR LF) to out; false when no
// entry holds a column, out then unchanged.
inline bool buildOutputLine(std::string_view p, std::string_view sInDeli, const ColumnMap& map,
                            std::string_view sNewDeli, ItemSplitter& splitter, std::string& out,
                            Encoding enc = Encoding::Cp932)
{
    const OutputColumns columns = outputColumns(map);
    if (columns.items.empty())
        return false;
    splitter.split(p, sInDeli, {.upTo = columns.upTo, .alsoLast = columns.needLast, .enc = enc});
    const std::size_t at = out.size();
    out.resize(at + outputLength(splitter, columns, sNewDeli));
    joinSplitLine<false>(out.data() + at, splitter, columns, sNewDeli);
    return true;
}

} // namespace engine
