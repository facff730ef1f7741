// tolvane_bench: times whole conversion processes against `cat` copying the same file,
// since a conversion can hardly beat reading and writing the bytes once. Each command
// runs as a child of its own so that wait4 reports its peak memory; the best of several
// runs is kept because the slower runs measure the machine's other work, not ours.
// Given the real program, it also sets `tolvane convert` beside general-purpose tools
// making the same column selection, and times reading a very long first line.

#include "BenchArgs.h"
#include "BenchFiles.h"
#include "ChildRun.h"
#include "SourceGenerator.h"
#include "Utf8Copy.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::ChildRun;
using bench::Measured;
using bench::executable;
using bench::readSmallFile;
using bench::runChild;
using bench::warm;

constexpr double kMB = 1e6;
constexpr double kPeakTargetMB = 32;
constexpr double kWindowTarget = 1.2;
constexpr double kUtf8Target = 1.1;

struct Options {
    fs::path dir = "/tmp/tolvane-bench";
    fs::path tools;
    fs::path tolvane;
    std::int64_t narrowLines = 1'000'000;
    std::int64_t wideLines = 50'000;
    int runs = 3;
};

struct Case {
    std::string name;
    std::string stem;
    std::int64_t lines;
    int columns;
    char delimiter;
    std::uint64_t seed;
    std::string columnList;
    double catTarget;
    fs::path source;
    fs::path expect;
    // A UTF-8 case is the narrow case's files re-encoded, and is timed against it.
    bool utf8 = false;
    bool byteOrderMark = false;
};


std::string delimiterArg(char d) { return d == '\t' ? std::string("\\t") : std::string(1, d); }

// Generates the source and its expected output under temporary names first, so that an
// interrupted run never leaves a truncated file that a later run would take as complete.
bool ensureFiles(const Options& o, const Case& c)
{
    if (fs::exists(c.source) && fs::exists(c.expect))
        return true;
    const fs::path sourcePart = c.source.string() + ".part";
    const fs::path expectPart = c.expect.string() + ".part";
    std::printf("generating %s (%lld lines x %d columns)...\n", c.source.c_str(), static_cast<long long>(c.lines),
                c.columns);
    std::fflush(stdout);
    const ChildRun r = runChild({(o.tools / "tolvane_gen").string(), "--lines", std::to_string(c.lines), "--columns",
                                 std::to_string(c.columns), "--seed", std::to_string(c.seed), "--delimiter",
                                 delimiterArg(c.delimiter), "--out", sourcePart.string(), "--expect",
                                 expectPart.string(), "--expect-columns", c.columnList},
                                o.dir / "gen.log");
    if (!r.ok) {
        std::fprintf(stderr, "generating failed: %s\n", r.log.c_str());
        return false;
    }
    fs::rename(sourcePart, c.source);
    fs::rename(expectPart, c.expect);
    return true;
}

// Made from the narrow files rather than by the generator, so that both hold the same
// characters; the temporary names serve as in ensureFiles.
bool ensureUtf8Files(const Case& narrow, const Case& c)
{
    if (fs::exists(c.source) && fs::exists(c.expect))
        return true;
    std::printf("making %s from %s...\n", c.source.c_str(), narrow.source.filename().c_str());
    std::fflush(stdout);
    for (const auto& [from, to] : {std::pair{narrow.source, c.source}, std::pair{narrow.expect, c.expect}}) {
        const fs::path part = to.string() + ".part";
        const std::string error = bench::copyAsUtf8(from, part, c.byteOrderMark);
        if (!error.empty()) {
            std::fprintf(stderr, "making the UTF-8 files failed: %s\n", error.c_str());
            return false;
        }
        fs::rename(part, to);
    }
    return true;
}

std::string verdict(double value, double target)
{
    if (value <= target)
        return "met";
    char text[64];
    std::snprintf(text, sizeof text, "missed by %.0f%%", (value / target - 1) * 100);
    return text;
}

std::string peakVerdict(double peakMB)
{
    if (peakMB < kPeakTargetMB)
        return "<32: met";
    char text[48];
    std::snprintf(text, sizeof text, "<32: over by %.0f%%", (peakMB / kPeakTargetMB - 1) * 100);
    return text;
}

// The target compares times, but a Japanese character takes three bytes in UTF-8 where
// it took two, so the file is larger; the time per byte shows what the larger file costs.
void printAgainstNarrow(const Case& c, const Measured& m, bool correct, const Case& narrow, const Measured& base)
{
    if (!m.ok || !base.ok) {
        std::printf("  %s against narrow: not compared, a run failed\n", c.name.c_str());
        return;
    }
    const double x = m.seconds / base.seconds;
    const double bytes =
        static_cast<double>(fs::file_size(c.source)) / static_cast<double>(fs::file_size(narrow.source));
    const std::string judged = correct ? verdict(x, kUtf8Target) : "output differs, not judged";
    std::printf("  %s against narrow: %.2fx (target <= %.2fx): %s; %.3f s / %.3f s, %.2fx the bytes, %.2fx the time "
                "per byte\n",
                c.name.c_str(), x, kUtf8Target, judged.c_str(), m.seconds, base.seconds, bytes, x / bytes);
}

// What a shell would run for a bare command name; empty when it is not installed.
fs::path findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const fs::path dir = rest.substr(0, colon).empty() ? fs::path(".") : fs::path(rest.substr(0, colon));
        std::error_code ec;
        if (fs::is_regular_file(dir / name, ec) && executable(dir / name))
            return dir / name;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

// Fifty columns would fill several lines of the report.
std::string shortList(const std::string& list)
{
    if (list.size() <= 24)
        return list;
    const std::size_t first = list.find(',');
    const std::size_t second = list.find(',', first + 1);
    return list.substr(0, second) + ",...," + list.substr(list.rfind(',') + 1);
}

// The csv module parses quotes away and writes them back only where its own rule needs
// them, so its output may legitimately differ from a converter that keeps items as
// they are; the figure still shows what the general approach costs.
constexpr const char* kPythonScript = R"(import csv, sys
cols = [int(c) - 1 for c in sys.argv[1].split(',')]
with open(sys.argv[2], encoding='cp932', newline='') as src, \
     open(sys.argv[3], 'w', encoding='cp932', newline='') as out:
    w = csv.writer(out, lineterminator='\r\n', quoting=csv.QUOTE_MINIMAL)
    w.writerows([row[c] for c in cols] for row in csv.reader(src))
)";

std::string gawkProgram(const std::vector<int>& columns)
{
    std::string program = "BEGIN { FPAT = \"([^,]*)|(\\\"[^\\\"]*\\\")\"; OFS = \",\"; ORS = \"\\r\\n\"; "
                          "RS = \"\\r\\n\" } { print ";
    for (std::size_t i = 0; i < columns.size(); ++i)
        program += (i ? ", $" : "$") + std::to_string(columns[i]);
    return program + " }";
}

// The general-purpose tools found on this machine, looked up once for both files.
struct OtherTools {
    fs::path mlr;
    bool mlrCrlf = false;
    fs::path python;
    fs::path pythonOnPath;
    fs::path gawk;
};

OtherTools findOtherTools(const Options& o)
{
    OtherTools t;
    t.mlr = findOnPath("mlr");
    if (!t.mlr.empty())
        t.mlrCrlf = runChild({t.mlr.string(), "--csv", "-N", "--ors", "crlf", "cat", "/dev/null"}, o.dir / "probe.log")
                        .ok;
    t.pythonOnPath = findOnPath("python3");
    if (!t.pythonOnPath.empty()) {
        // A version manager's shim is a shell script that starts the interpreter; asking
        // the interpreter for itself keeps the shim's start-up out of every timing.
        const fs::path answer = o.dir / "python.path";
        const ChildRun r =
            runChild({t.pythonOnPath.string(), "-c", "import sys; print(sys.executable)"}, o.dir / "probe.log", answer);
        std::string text = readSmallFile(answer);
        fs::remove(answer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        t.python = r.ok && !text.empty() && executable(text) ? fs::path(text) : t.pythonOnPath;
    }
    t.gawk = findOnPath("gawk");
    fs::remove(o.dir / "probe.log");
    return t;
}

struct ToolCommand {
    std::string name;
    std::vector<std::string> args;
    // Where the tool writes; for tools that write to standard output the harness sends it there.
    fs::path out;
    bool toStdout = true;
    std::vector<std::string> env;
    Measured measured;
    bench::Comparison vsTolvane;
};

// One file: cat, tolvane convert and each tool found, alternated run by run.
bool runToolsTable(const Options& o, const OtherTools& other, const Case& c)
{
    const std::vector<int> columns = *bench::parseColumns(c.columnList);
    const auto out = [&](const char* tag) { return o.dir / (c.stem + "." + tag + ".out"); };
    std::vector<ToolCommand> tools;
    tools.push_back({"cat SOURCE > OUT", {"/bin/cat", c.source.string()}, out("cat"), true, {}, {}, {}});
    tools.push_back({"tolvane convert",
                     {o.tolvane.string(), "convert", "-c", c.columnList, c.source.string(), out("tolvane").string()},
                     out("tolvane"),
                     false,
                     {},
                     {},
                     {}});
    std::vector<std::string> notes;
    if (other.mlr.empty()) {
        notes.push_back("mlr: skipped, not found on PATH");
    } else {
        std::vector<std::string> args = {other.mlr.string(), "--csv", "-N"};
        if (other.mlrCrlf)
            args.insert(args.end(), {"--ors", "crlf"});
        else
            notes.push_back("mlr: --ors crlf refused, so its lines end in LF only");
        args.insert(args.end(), {"cut", "-o", "-f", c.columnList, c.source.string()});
        tools.push_back({other.mlrCrlf ? "mlr --ors crlf cut -o" : "mlr cut -o", args, out("mlr"), true, {}, {}, {}});
    }
    if (other.python.empty()) {
        notes.push_back("python3: skipped, not found on PATH");
    } else {
        tools.push_back({"python3 csv module",
                         {other.python.string(), "-c", kPythonScript, c.columnList, c.source.string(),
                          out("python").string()},
                         out("python"),
                         false,
                         {},
                         {},
                         {}});
    }
    if (other.gawk.empty()) {
        notes.push_back("gawk: skipped, not found on PATH");
    } else {
        tools.push_back({"gawk FPAT (LC_ALL=C)",
                         {other.gawk.string(), gawkProgram(columns), c.source.string()},
                         out("gawk"),
                         true,
                         {"LC_ALL=C"},
                         {},
                         {}});
    }

    std::printf("running tools %s...\n", c.name.c_str());
    std::fflush(stdout);
    warm(c.source);
    const fs::path log = o.dir / "tools.log";
    for (int r = 0; r < o.runs; ++r)
        for (ToolCommand& t : tools)
            t.measured.add(runChild(t.args, log, t.toStdout ? t.out : fs::path(), t.env));

    const ToolCommand& cat = tools[0];
    const ToolCommand& tolvane = tools[1];
    const bool catCopied = cat.measured.ok && bench::sameBytes(cat.out, c.source);
    const bool tolvaneCorrect = tolvane.measured.ok && bench::sameBytes(tolvane.out, c.expect);
    for (std::size_t i = 2; i < tools.size(); ++i)
        if (tools[i].measured.ok && tolvane.measured.ok)
            tools[i].vsTolvane = bench::compareFiles(tools[i].out, tolvane.out);

    const double mb = static_cast<double>(fs::file_size(c.source)) / kMB;
    std::printf("\ntools on %s (%.1f MB), columns %s, best of %d runs:\n", c.source.filename().c_str(), mb,
                shortList(c.columnList).c_str(), o.runs);
    std::printf("  %-24s %8s %10s %8s  %s\n", "tool", "s", "x tolvane", "peak MB", "output");
    for (std::size_t i = 0; i < tools.size(); ++i) {
        const ToolCommand& t = tools[i];
        if (!t.measured.ok) {
            std::string why = t.measured.failure.substr(0, 300);
            std::replace(why.begin(), why.end(), '\n', ' ');
            std::printf("  %-24s FAILED: %s\n", t.name.c_str(), why.c_str());
            continue;
        }
        std::string verdictText;
        if (i == 0) {
            verdictText = catCopied ? "copy of the source" : "DIFFERS from the source";
        } else if (i == 1) {
            verdictText = tolvaneCorrect ? "equals expected" : "DIFFERS from expected";
        } else if (!tolvane.measured.ok) {
            verdictText = "identical: not compared, tolvane convert failed";
        } else if (t.vsTolvane.same) {
            verdictText = "identical: yes";
        } else if (t.vsTolvane.line == 0) {
            verdictText = "identical: no (output unreadable)";
        } else {
            verdictText = "identical: no (first difference on line " + std::to_string(t.vsTolvane.line) + ")";
        }
        char ratio[16] = "-";
        if (tolvane.measured.ok)
            std::snprintf(ratio, sizeof ratio, "%.2f", t.measured.seconds / tolvane.measured.seconds);
        std::printf("  %-24s %8.3f %10s %8.1f  %s\n", t.name.c_str(), t.measured.seconds, ratio, t.measured.peakMB,
                    verdictText.c_str());
    }
    for (const std::string& n : notes)
        std::printf("  %s\n", n.c_str());
    if (cat.measured.ok && tolvane.measured.ok) {
        const double x = tolvane.measured.seconds / cat.measured.seconds;
        std::printf("  tolvane convert against cat: %.3f s / %.3f s = %.2fx  target <=%.1f: %s\n",
                    tolvane.measured.seconds, cat.measured.seconds, x, c.catTarget, verdict(x, c.catTarget).c_str());
    }
    for (const ToolCommand& t : tools)
        fs::remove(t.out);
    fs::remove(log);
    return tolvaneCorrect;
}

// tolvane convert on the narrow file and its UTF-8 copies, alternated run by run so that
// their ratio does not depend on what else the machine did while each was timed.
bool runUtf8Tolvane(const Options& o, const std::vector<Case>& cases)
{
    std::vector<const Case*> group;
    for (const Case& c : cases)
        if (&c == &cases.front() || c.utf8)
            group.push_back(&c);
    std::printf("running tolvane convert on the UTF-8 files...\n");
    std::fflush(stdout);
    const auto out = [&](const Case* c) { return o.dir / (c->stem + ".tolvane.out"); };
    const fs::path log = o.dir / "utf8.log";
    for (const Case* c : group)
        warm(c->source);
    std::vector<Measured> measured(group.size());
    for (int r = 0; r < o.runs; ++r)
        for (std::size_t i = 0; i < group.size(); ++i)
            measured[i].add(runChild({o.tolvane.string(), "convert", "-c", group[i]->columnList,
                                      group[i]->source.string(), out(group[i]).string()},
                                     log));
    fs::remove(log);

    std::printf("\ntolvane convert on the UTF-8 files against the narrow file, alternated, best of %d runs:\n", o.runs);
    std::printf("  %-18s %8s %8s %8s  %s\n", "case", "file MB", "s", "peak MB", "output");
    std::vector<char> correct(group.size());
    for (std::size_t i = 0; i < group.size(); ++i) {
        const Case& c = *group[i];
        const double mb = static_cast<double>(fs::file_size(c.source)) / kMB;
        correct[i] = measured[i].ok && bench::sameBytes(out(&c), c.expect);
        fs::remove(out(&c));
        if (!measured[i].ok)
            std::printf("  %-18s %8.1f FAILED: %s\n", c.name.c_str(), mb, measured[i].failure.c_str());
        else
            std::printf("  %-18s %8.1f %8.3f %8.1f  %s\n", c.name.c_str(), mb, measured[i].seconds, measured[i].peakMB,
                        correct[i] ? "equals expected" : "DIFFERS from expected");
    }
    for (std::size_t i = 1; i < group.size(); ++i)
        printAgainstNarrow(*group[i], measured[i], correct[i], *group[0], measured[0]);
    return std::all_of(correct.begin(), correct.end(), [](char ok) { return ok != 0; });
}

// A first line of about a megabyte (the wide file's items average eight bytes), with
// Japanese, trail-byte and quoted items, then a few ordinary lines: the window lists
// every item of the first line, so this is where choosing a file is slowest.
constexpr int kFirstLineItems = 125000;

bool ensureFirstLineFile(const fs::path& file)
{
    if (fs::exists(file))
        return true;
    std::printf("generating %s (a first line of %d items)...\n", file.c_str(), kFirstLineItems);
    std::fflush(stdout);
    const fs::path part = file.string() + ".part";
    std::string text;
    std::string line;
    std::vector<bench::ItemRange> items;
    bench::SourceGenerator first(kFirstLineItems, 3, ',');
    first.next(line, items);
    text += line + "\r\n";
    bench::SourceGenerator rest(12, 3, ',');
    for (int i = 0; i < 5; ++i) {
        rest.next(line, items);
        text += line + "\r\n";
    }
    {
        std::ofstream f(part, std::ios::binary);
        f.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!f.flush()) {
            std::fprintf(stderr, "cannot write %s\n", part.c_str());
            return false;
        }
    }
    fs::rename(part, file);
    return true;
}

std::optional<double> labelledNumber(const std::string& log, const std::string& label)
{
    const std::size_t at = log.rfind(label);
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtod(log.c_str() + at + label.size(), nullptr);
}

bool runDetection(const Options& o, const fs::path& windowTool, bool haveWindow)
{
    const fs::path file = o.dir / ("firstline-" + std::to_string(kFirstLineItems) + ".csv");
    if (!ensureFirstLineFile(file))
        return false;
    const std::string text = readSmallFile(file);
    const std::size_t firstEnd = text.find("\r\n");
    const auto lines = std::count(text.begin(), text.end(), '\n');

    std::printf("running first-line detection...\n");
    std::fflush(stdout);
    warm(file);
    const fs::path log = o.dir / "detect.log";
    // One untimed run keeps what detect prints: the delimiter line, then one line per item.
    const fs::path listing = o.dir / "detect.out";
    const ChildRun shown = runChild({o.tolvane.string(), "detect", file.string()}, log, listing);
    const std::string printed = readSmallFile(listing);
    fs::remove(listing);
    const long detectItems = static_cast<long>(std::count(printed.begin(), printed.end(), '\n')) - 1;
    const std::string firstPrinted = printed.substr(0, printed.find('\n'));
    const std::string delimiterName = firstPrinted.substr(firstPrinted.find('\t') + 1);

    Measured detect, window, windowClick;
    std::optional<long> rows;
    bool rowsAgree = true;
    for (int r = 0; r < o.runs; ++r) {
        detect.add(runChild({o.tolvane.string(), "detect", file.string()}, log, "/dev/null"));
        if (!haveWindow)
            continue;
        const ChildRun run = runChild({windowTool.string(), "--detect", file.string()}, log);
        window.add(run);
        const auto ms = labelledNumber(run.log, "detection milliseconds: ");
        windowClick.add({run.ok && ms.has_value(), ms.value_or(0) / 1000, 0, run.log});
        const auto n = labelledNumber(run.log, "rows: ");
        const std::optional<long> count = n ? std::optional<long>(static_cast<long>(*n)) : std::nullopt;
        if (rows && count != rows)
            rowsAgree = false;
        rows = count;
    }
    fs::remove(log);

    std::printf("\nfirst-line detection on %s: %zu bytes, first line %zu bytes, %ld lines, best of %d runs:\n",
                file.filename().c_str(), text.size(), firstEnd, static_cast<long>(lines), o.runs);
    if (!shown.ok || !detect.ok) {
        std::printf("  tolvane detect FAILED: %s\n", (shown.ok ? detect.failure : shown.log).c_str());
    } else {
        std::printf("  tolvane detect > /dev/null (whole process): %8.3f s  peak %.1f MB  (delimiter \"%s\", "
                    "%ld items listed)\n",
                    detect.seconds, detect.peakMB, delimiterName.c_str(), detectItems);
    }
    if (!haveWindow) {
        std::printf("  window: skipped, %s was not built\n", windowTool.c_str());
        return shown.ok && detect.ok;
    }
    if (!window.ok || !windowClick.ok || !rows) {
        std::printf("  window --detect FAILED: %s\n", (window.ok ? windowClick.failure : window.failure).c_str());
        return false;
    }
    std::printf("  window cmdFile_Click alone:                 %8.1f ms  List[0] rows %ld\n",
                windowClick.seconds * 1000, *rows);
    std::printf("  window --detect (whole Qt process):         %8.3f s  peak %.1f MB\n", window.seconds, window.peakMB);
    const bool agree = rowsAgree && *rows == detectItems && *rows == kFirstLineItems;
    std::printf("  items: generated %d, tolvane detect %ld, window %ld: %s\n", kFirstLineItems, detectItems, *rows,
                agree ? "agree" : "DISAGREE");
    return shown.ok && detect.ok && agree;
}

int usage()
{
    std::fprintf(stderr, "usage: tolvane_bench [--dir FOLDER] [--tools FOLDER] [--tolvane PATH] [--narrow-lines N] "
                         "[--wide-lines N] [--runs N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--dir") {
            o.dir = value;
        } else if (arg == "--tools") {
            o.tools = value;
        } else if (arg == "--tolvane") {
            o.tolvane = value;
        } else if (arg == "--narrow-lines" || arg == "--wide-lines" || arg == "--runs") {
            const auto n = bench::parseCount(value);
            if (!n || *n < 1)
                return usage();
            if (arg == "--runs")
                o.runs = static_cast<int>(std::min<std::int64_t>(*n, 100));
            else
                (arg == "--wide-lines" ? o.wideLines : o.narrowLines) = *n;
        } else {
            return usage();
        }
    }
    if (o.tools.empty()) {
        std::error_code ec;
        o.tools = fs::read_symlink("/proc/self/exe", ec).parent_path();
    }
    for (const char* tool : {"tolvane_gen", "tolvane_engine_convert"}) {
        if (!executable(o.tools / tool)) {
            std::fprintf(stderr, "tolvane_bench: %s not found in %s (use --tools)\n", tool, o.tools.c_str());
            return 1;
        }
    }
    if (!o.tolvane.empty() && !executable(o.tolvane)) {
        std::fprintf(stderr, "tolvane_bench: %s cannot be run\n", o.tolvane.c_str());
        return 1;
    }
    const fs::path windowTool = o.tools / "tolvane_window_convert";
    const bool haveWindow = executable(windowTool);
    fs::create_directories(o.dir);

    const std::string narrowStem = "narrow-" + std::to_string(o.narrowLines) + "x12";
    const std::string wideStem = "wide-" + std::to_string(o.wideLines) + "x200";
    std::string wideColumns;
    for (int c = 200; c >= 151; --c)
        wideColumns += (c == 200 ? "" : ",") + std::to_string(c);
    // The same seed for both narrow files: their items are equal, only the delimiter differs.
    // The UTF-8 cases follow the narrow case, which they are timed against.
    std::vector<Case> cases = {
        {"narrow", narrowStem, o.narrowLines, 12, ',', 1, "3,1,12", 1.5, {}, {}},
        {"narrow utf-8", narrowStem + "-utf8", o.narrowLines, 12, ',', 1, "3,1,12", 1.5, {}, {}, true, false},
        {"narrow utf-8 bom", narrowStem + "-utf8bom", o.narrowLines, 12, ',', 1, "3,1,12", 1.5, {}, {}, true, true},
        {"wide", wideStem, o.wideLines, 200, ',', 2, wideColumns, 2.5, {}, {}},
        {"narrow |", narrowStem + "-bar", o.narrowLines, 12, '|', 1, "3,1,12", 5.0, {}, {}},
    };
    for (Case& c : cases) {
        c.source = o.dir / (c.stem + (c.delimiter == ',' ? ".csv" : ".txt"));
        c.expect = o.dir / (c.stem + ".expected");
        if (!(c.utf8 ? ensureUtf8Files(cases.front(), c) : ensureFiles(o, c)))
            return 1;
    }

    std::printf("\nTolvane conversion benchmark: best of %d runs per command, page cache warm, MB = 10^6 bytes\n",
                o.runs);
    std::printf("tools %s, work folder %s, %ld cores online\n\n", o.tools.c_str(), o.dir.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));
    for (const Case& c : cases) {
        const auto size = fs::file_size(c.source);
        std::printf("%-30s %11llu bytes  %9lld lines  %7.1f bytes/line\n", c.source.filename().c_str(),
                    static_cast<unsigned long long>(size), static_cast<long long>(c.lines),
                    static_cast<double>(size) / static_cast<double>(c.lines));
    }
    std::printf("\n");

    struct Row {
        const Case* c;
        Measured cat, conv;
        bool correct;
    };
    std::vector<Row> rows;
    const fs::path catOut = o.dir / "cat.out";
    const fs::path log = o.dir / "run.log";
    fs::path narrowEngineOut;
    // A UTF-8 case runs alternately with the case before it, so that the machine's drift
    // falls on both alike and their ratio holds.
    for (std::size_t first = 0; first < cases.size();) {
        std::size_t end = first + 1;
        while (end < cases.size() && cases[end].utf8)
            ++end;
        std::string names;
        for (std::size_t i = first; i < end; ++i) {
            names += (i == first ? "" : ", ") + cases[i].name;
            warm(cases[i].source);
            rows.push_back({&cases[i], {}, {}, false});
        }
        std::printf("running %s...\n", names.c_str());
        std::fflush(stdout);
        const auto convOut = [&](std::size_t i) { return o.dir / (cases[i].stem + ".engine.out"); };
        // Alternating the commands spreads any drift of the machine over all of them.
        for (int r = 0; r < o.runs; ++r) {
            for (std::size_t i = first; i < end; ++i) {
                const Case& c = cases[i];
                Row& row = rows[i];
                row.cat.add(runChild({"/bin/sh", "-c", "cat \"$1\" > \"$2\"", "sh", c.source.string(), catOut.string()},
                                     log));
                row.conv.add(runChild({(o.tools / "tolvane_engine_convert").string(), "--in-delimiter",
                                       delimiterArg(c.delimiter), "--columns", c.columnList, c.source.string(),
                                       convOut(i).string()},
                                      log));
            }
        }
        for (std::size_t i = first; i < end; ++i) {
            rows[i].correct = rows[i].conv.ok && bench::sameBytes(convOut(i), cases[i].expect);
            if (i == 0)
                narrowEngineOut = convOut(i);
            else
                fs::remove(convOut(i));
        }
        first = end;
    }

    const Case& narrow = cases.front();
    Measured window;
    Measured windowAlone;
    bool windowCorrect = false;
    bool windowSame = false;
    if (haveWindow) {
        std::printf("running window narrow...\n");
        std::fflush(stdout);
        const fs::path windowOut = o.dir / (narrow.stem + ".window.out");
        warm(narrow.source);
        for (int r = 0; r < o.runs; ++r) {
            const ChildRun run = runChild(
                {windowTool.string(), "--columns", narrow.columnList, narrow.source.string(), windowOut.string()},
                log);
            window.add(run);
            const auto alone = labelledNumber(run.log, "conversion seconds: ");
            windowAlone.add({run.ok && alone.has_value(), alone.value_or(0), 0, run.log});
        }
        windowSame = window.ok && bench::sameBytes(windowOut, narrowEngineOut);
        windowCorrect = window.ok && bench::sameBytes(windowOut, narrow.expect);
        fs::remove(windowOut);
    }
    fs::remove(narrowEngineOut);
    fs::remove(catOut);

    std::printf("\n%-16s %8s %8s %8s %8s %7s  %-22s %8s  %-18s %s\n", "case", "file MB", "cat s", "conv s", "MB/s",
                "x cat", "target x cat", "peak MB", "target peak", "output");
    for (const Row& r : rows) {
        const double mb = static_cast<double>(fs::file_size(r.c->source)) / kMB;
        if (!r.cat.ok || !r.conv.ok) {
            std::printf("%-16s %8.1f FAILED: %s\n", r.c->name.c_str(), mb, (r.cat.ok ? r.conv : r.cat).failure.c_str());
            continue;
        }
        const double ratio = r.conv.seconds / r.cat.seconds;
        char target[40];
        std::snprintf(target, sizeof target, "<=%.1f: %s", r.c->catTarget, verdict(ratio, r.c->catTarget).c_str());
        std::printf("%-16s %8.1f %8.3f %8.3f %8.1f %7.2f  %-22s %8.1f  %-18s %s\n", r.c->name.c_str(), mb,
                    r.cat.seconds, r.conv.seconds, mb / r.conv.seconds, ratio, target, r.conv.peakMB,
                    peakVerdict(r.conv.peakMB).c_str(), r.correct ? "equals expected" : "DIFFERS from expected");
    }
    const bool rowsCorrect = std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.correct; });
    // The window's figures come from the runs above; later sections only add to the report.
    const bool windowGood = [&] {
        if (!haveWindow) {
            std::printf("window narrow: skipped, %s was not built\n", windowTool.c_str());
            return true;
        }
        const Row& narrowRow = rows.front();
        const double mb = static_cast<double>(fs::file_size(narrow.source)) / kMB;
        if (!window.ok || !windowAlone.ok || !narrowRow.conv.ok || !narrowRow.cat.ok) {
            std::printf("%-16s %8.1f FAILED: %s\n", "window narrow", mb,
                        (!window.ok ? window.failure : windowAlone.failure).c_str());
            return false;
        }
        std::printf("%-16s %8.1f %8.3f %8.3f %8.1f %7.2f  %-22s %8.1f  %-18s %s\n", "window narrow", mb,
                    narrowRow.cat.seconds, window.seconds, mb / window.seconds, window.seconds / narrowRow.cat.seconds,
                    "(whole Qt process)", window.peakMB, peakVerdict(window.peakMB).c_str(),
                    windowCorrect ? "equals expected" : "DIFFERS from expected");

        const double engine = narrowRow.conv.seconds;
        std::printf("\nwindow narrow against the engine (target <=%.1fx the engine):\n", kWindowTarget);
        std::printf("  whole process:       %.3f s vs engine %.3f s = %.2fx  %s\n", window.seconds, engine,
                    window.seconds / engine, verdict(window.seconds / engine, kWindowTarget).c_str());
        std::printf("  cmd開始_Click alone: %.3f s vs engine %.3f s = %.2fx  %s\n", windowAlone.seconds, engine,
                    windowAlone.seconds / engine, verdict(windowAlone.seconds / engine, kWindowTarget).c_str());
        std::printf("  window output byte-identical to engine output: %s\n", windowSame ? "yes" : "no");
        return windowSame && windowCorrect;
    }();
    std::printf("\nthe engine on the UTF-8 files against the narrow file (alternated run by run):\n");
    for (const Row& r : rows)
        if (r.c->utf8)
            printAgainstNarrow(*r.c, r.conv, r.correct, narrow, rows.front().conv);

    bool toolsGood = true;
    if (o.tolvane.empty()) {
        std::printf("\ntools and first-line detection: skipped, no --tolvane given\n");
    } else {
        const OtherTools other = findOtherTools(o);
        const auto found = [](const fs::path& p) { return p.empty() ? std::string("not on PATH") : p.string(); };
        std::string python = found(other.python);
        if (other.python != other.pythonOnPath)
            python += " (what " + other.pythonOnPath.string() + " starts)";
        std::printf("\ntolvane %s\npython3 %s; mlr %s; gawk %s\n", o.tolvane.c_str(), python.c_str(),
                    found(other.mlr).c_str(), found(other.gawk).c_str());
        // The Python script reads code page 932, and every tool on every copy would double
        // the run: the UTF-8 files get a comparison of tolvane convert alone.
        for (const Case& c : cases)
            if (c.delimiter == ',' && !c.utf8)
                toolsGood = runToolsTable(o, other, c) && toolsGood;
        toolsGood = runUtf8Tolvane(o, cases) && toolsGood;
        toolsGood = runDetection(o, windowTool, haveWindow) && toolsGood;
    }
    return rowsCorrect && windowGood && toolsGood ? 0 : 1;
}
