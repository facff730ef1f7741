// tolvane_preview_bench: how long a preview takes, the time the window's grid waits after a
// change. For the narrow benchmark file (records of 12 items), short lines, and a first line
// of 50 MB: reading the source's start and previewing it, and previewing again on the bytes
// already read (what a change of columns or delimiter costs). Prints the median of the runs.
//
//   tolvane_preview_bench [FOLDER]   (files are made there once; default: the system's temp)

#include "engine/Preview.h"
#include "SourceGenerator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

engine::ColumnMap columnsOf(const std::vector<int>& numbers)
{
    engine::ColumnMap map(1);
    for (int n : numbers)
        map.push_back({0, 0, n});
    return map;
}

// A first line of about `bytes` of short items of many kinds, then a few ordinary lines.
void writeLongFirstLine(const fs::path& file, std::size_t bytes)
{
    const char* const items[] = {"1", "23", "abc", "", "\xB1\xB2", "\x95\x5C", "\"a,b\"", "\x82\xA0", "-4.5"};
    std::string line;
    line.reserve(bytes + 16);
    for (std::size_t i = 0; line.size() < bytes; ++i) {
        line += items[i % std::size(items)];
        line += ',';
    }
    line += "LAST\r\n";
    std::ofstream out(file, std::ios::binary);
    out << line;
    for (int i = 0; i < 50; ++i)
        out << i << ",a,b,c\r\n";
}

void measure(const char* name, const fs::path& file, const std::vector<int>& columns, int lines)
{
    const int runs = 15;
    std::vector<double> whole, again;
    engine::Preview last;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Clock::now();
        engine::PreviewStart start;
        if (engine::readPreviewStart(file, start) != engine::FileProblem::None) {
            std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return;
        }
        std::string first;
        engine::SourceEncoding encoding;
        engine::previewFirstLine(start, engine::EncodingChoice::Auto, first, encoding);
        const engine::PreviewRequest request{
            {",", "\t", columnsOf(columns)}, false, engine::EncodingChoice::Auto, lines};
        last = engine::previewOutput(start, request);
        const auto t1 = Clock::now();
        last = engine::previewOutput(start, request);
        const auto t2 = Clock::now();
        whole.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        again.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::printf("%-28s %3d lines  read+preview %8.2f ms   preview again %8.2f ms   (%zu lines shown%s)\n", name, lines,
                medianMs(whole), medianMs(again), last.lines.size(), last.firstLineCut ? ", first line cut" : "");
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tolvane-preview-bench";
    fs::create_directories(folder);
    const fs::path narrow = folder / "narrow.csv";
    const fs::path shortLines = folder / "short.csv";
    const fs::path longFirst = folder / "first-line-50mb.csv";
    bench::GenerateRequest request;
    request.lines = 200000;
    request.columns = 12;
    request.seed = 7;
    if (!fs::exists(narrow)) {
        request.out = narrow;
        bench::generateFiles(request);
    }
    if (!fs::exists(shortLines)) {
        request.lines = 400000;
        request.columns = 3;
        request.layout = bench::Layout::ShortLines;
        request.out = shortLines;
        bench::generateFiles(request);
    }
    if (!fs::exists(longFirst))
        writeLongFirstLine(longFirst, 50u << 20);

    measure("narrow (12 items)", narrow, {3, 1, 12, 5}, 20);
    measure("narrow (12 items)", narrow, {3, 1, 12, 5}, 500);
    measure("short lines (3 items)", shortLines, {2, 1}, 20);
    measure("first line of 50 MB", longFirst, {1, 2, 9}, 20);
    // A column beyond the items read: every item's place is kept to reach it.
    measure("first line of 50 MB, last", longFirst, {1, 2, 9, 1000000}, 20);
    return 0;
}
