// tolvane_first_line: a first line of some 50 MB holding about 13 million short items,
// then a few ordinary lines. Times `tolvane detect` listing it and the window listing it
// (choosing the file, drawing the list, bringing the last row into view, dragging it),
// each in a process of its own so that wait4 reports its peak memory. A one-line file
// run the same way gives what each process needs for itself.

#include "BenchArgs.h"
#include "ChildRun.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kMB = 1e6;

// Short items of every kind the splitter tells apart: numbers, empty items, half-width
// katakana, double-byte characters (表 and ソ end in 0x5C), quoted delimiters. They
// average 2.86 bytes, so a line of 50 MB holds some 13 million of them.
constexpr const char* kItems[] = {
    "1",
    "23",
    "abc",
    "",
    "xy",
    "\xB1\xB2",         // ｱｲ
    "\x95\x5C",         // 表
    "\x83\x5C\x83\x74", // ソフ
    "\"a,b\"",
    "-4.5",
    "\x82\xA0", // あ
    "Q7",
    "\"1,234\"",
    "\x93\x8C\x8B\x9E", // 東京
};
constexpr const char* kLastItem = "LAST";

// Writes the file unless it is there already; returns the first line's size and items.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ensureFile(const fs::path& file, std::uint64_t bytes)
{
    const fs::path part = file.string() + ".part";
    const fs::path counts = file.string() + ".items";
    if (fs::exists(file) && fs::exists(counts)) {
        unsigned long long size = 0, items = 0;
        if (std::sscanf(bench::readSmallFile(counts).c_str(), "%llu %llu", &size, &items) == 2)
            return std::make_pair(size, items);
    }
    std::printf("generating %s...\n", file.c_str());
    std::fflush(stdout);
    std::string line;
    line.reserve(bytes + 64);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    std::uint64_t items = 0;
    while (line.size() < bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        line += kItems[state % std::size(kItems)];
        line += ',';
        ++items;
    }
    line += kLastItem;
    ++items;
    std::string rest;
    for (int i = 0; i < 5; ++i)
        rest += "\r\n1,2,3";
    rest += "\r\n";
    {
        std::ofstream f(part, std::ios::binary);
        f.write(line.data(), static_cast<std::streamsize>(line.size()));
        f.write(rest.data(), static_cast<std::streamsize>(rest.size()));
        if (!f.flush()) {
            std::fprintf(stderr, "cannot write %s\n", part.c_str());
            return std::nullopt;
        }
    }
    fs::rename(part, file);
    std::ofstream(counts) << line.size() << ' ' << items << '\n';
    return std::make_pair(static_cast<std::uint64_t>(line.size()), items);
}

std::optional<double> labelled(const std::string& log, const std::string& label)
{
    const std::size_t at = log.rfind(label);
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtod(log.c_str() + at + label.size(), nullptr);
}

std::string labelledText(const std::string& log, const std::string& label)
{
    const std::size_t at = log.rfind(label);
    if (at == std::string::npos)
        return "<missing>";
    const std::size_t from = at + label.size();
    return log.substr(from, log.find('\n', from) - from);
}

// Lines in the listing and its last line, read in pieces: the listing is some 200 MB.
std::pair<std::uint64_t, std::string> listingShape(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::uint64_t lines = 0;
    std::string last;
    for (std::string piece; std::getline(in, piece);) {
        ++lines;
        last = piece;
    }
    return {lines, last};
}

int usage()
{
    std::fprintf(stderr,
                 "usage: tolvane_first_line --tolvane PATH [--window PATH] [--dir FOLDER] [--mb N] [--runs N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    fs::path tolvane, window, dir = "/tmp/tolvane-bench";
    std::int64_t mb = 50, runs = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i], value = argv[i + 1];
        if (arg == "--tolvane") {
            tolvane = value;
        } else if (arg == "--window") {
            window = value;
        } else if (arg == "--dir") {
            dir = value;
        } else if (arg == "--mb" || arg == "--runs") {
            const auto n = bench::parseCount(value);
            if (!n || *n < 1)
                return usage();
            (arg == "--mb" ? mb : runs) = *n;
        } else {
            return usage();
        }
    }
    if (argc % 2 == 0 || tolvane.empty() || !bench::executable(tolvane) ||
        (!window.empty() && !bench::executable(window)))
        return usage();
    fs::create_directories(dir);
    const fs::path file = dir / ("firstline-" + std::to_string(mb) + "mb.csv");
    const auto shape = ensureFile(file, static_cast<std::uint64_t>(mb) * 1'000'000);
    if (!shape)
        return 1;
    const auto [lineBytes, items] = *shape;
    const fs::path small = dir / "firstline-small.csv";
    std::ofstream(small, std::ios::binary) << "a,b\r\n1,2\r\n";
    const fs::path log = dir / "first-line.log";
    bench::warm(file);

    bool good = true;
    // One run keeps the listing, to check it; the timed runs write to /dev/null.
    const fs::path listing = dir / "first-line.out";
    const bench::ChildRun shown = bench::runChild({tolvane.string(), "detect", file.string()}, log, listing);
    const auto [listedLines, lastListed] = listingShape(listing);
    fs::remove(listing);
    const std::string wantLast = std::to_string(items) + "\t" + kLastItem;
    const bool listingRight = shown.ok && listedLines == items + 1 && lastListed == wantLast;
    good = good && listingRight;
    bench::Measured detect, detectSmall, win, winSmall;
    for (std::int64_t r = 0; r < runs; ++r) {
        detect.add(bench::runChild({tolvane.string(), "detect", file.string()}, log, "/dev/null"));
        detectSmall.add(bench::runChild({tolvane.string(), "detect", small.string()}, log, "/dev/null"));
        if (!window.empty()) {
            win.add(bench::runChild({window.string(), "--detect", file.string()}, log));
            winSmall.add(bench::runChild({window.string(), "--detect", small.string()}, log));
        }
    }
    fs::remove(log);

    const double lineMB = static_cast<double>(lineBytes) / kMB;
    std::printf("\nfirst line of %s: %.1f MB, %llu items; best time and highest peak of %lld runs; MB = 10^6 bytes\n",
                file.filename().c_str(), lineMB, static_cast<unsigned long long>(items), static_cast<long long>(runs));
    std::printf("  %-34s %9s %9s %12s %22s\n", "", "seconds", "peak MB", "peak / line", "(peak - 1-line) / line");
    const auto row = [&](const char* name, const bench::Measured& big, const bench::Measured& base) {
        if (!big.ok) {
            std::printf("  %-34s FAILED: %s\n", name, big.failure.substr(0, 400).c_str());
            return false;
        }
        std::printf("  %-34s %9.3f %9.1f %12.2f %22.2f\n", name, big.seconds, big.peakMB, big.peakMB / lineMB,
                    (big.peakMB - base.peakMB) / lineMB);
        return true;
    };
    good = row("tolvane detect > /dev/null", detect, detectSmall) && good;
    std::printf("  %-34s %9.3f %9.1f\n", "tolvane detect, a one-line file", detectSmall.seconds, detectSmall.peakMB);
    std::printf("  listing: %llu lines, last \"%s\": %s\n", static_cast<unsigned long long>(listedLines),
                lastListed.substr(0, 60).c_str(), listingRight ? "as expected" : "WRONG");
    if (window.empty()) {
        std::printf("  window: skipped, no --window given\n");
        return good ? 0 : 1;
    }
    good = row("window --detect (whole process)", win, winSmall) && good;
    std::printf("  %-34s %9.3f %9.1f\n", "window --detect, a one-line file", winSmall.seconds, winSmall.peakMB);
    if (win.ok) {
        const auto ms = [&](const char* label) { return labelled(win.log, label).value_or(-1); };
        std::printf("  window, last run: choosing the file (cmdFile_Click) %.1f ms, drawing the list %.1f ms,\n"
                    "    last row into view and selected %.1f ms, its drag started %.1f ms\n",
                    ms("detection milliseconds: "), ms("shown milliseconds: "), ms("last row milliseconds: "),
                    ms("drag start milliseconds: "));
        const auto rows = labelled(win.log, "rows: ");
        const std::string onScreen = labelledText(win.log, "last row on screen: ");
        const std::string dragged = labelledText(win.log, "dragged: ");
        const std::string wantDragged = std::to_string(items) + ";" + kLastItem;
        const bool right =
            rows && static_cast<std::uint64_t>(*rows) == items && onScreen == "yes" && dragged == wantDragged;
        std::printf("  window rows %.0f, last row on screen: %s, dragged \"%s\": %s\n", rows.value_or(-1),
                    onScreen.c_str(), dragged.c_str(), right ? "as expected" : "WRONG");
        good = good && right;
    }
    return good ? 0 : 1;
}
