// tolvane_bench: times whole conversion processes against `dd bs=1M` copying the same
// file, since a conversion can hardly beat reading and writing the bytes once. Each command
// runs as a child of its own so that wait4 reports its peak memory; the best of several
// runs is kept because the slower runs measure the machine's other work, not ours.
// Given the real program, it also sets `tolvane convert` beside general-purpose tools
// making the same column selection, and times reading a very long first line.

#include "BenchArgs.h"
#include "BenchFiles.h"
#include "ChildRun.h"
#include "SourceGenerator.h"
#include "Utf8Copy.h"

#include "engine/Classify.h"

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
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::ChildRun;
using bench::executable;
using bench::Measured;
using bench::readSmallFile;
using bench::runChild;
using bench::warm;

constexpr double kMB = 1e6;
constexpr double kGB = 1e9;
constexpr double kPeakTargetMB = 32;
constexpr double kBigPeakTargetMB = 64;
constexpr double kWindowTarget = 1.1;
constexpr double kUtf8Target = 1.1;

struct Options {
    fs::path dir = "/tmp/tolvane-bench";
    fs::path tools;
    fs::path tolvane;
    fs::path previous; // an earlier build's tolvane_engine_convert, timed beside this one
    fs::path dd;
    std::int64_t narrowLines = 1'000'000;
    std::int64_t wideLines = 50'000;
    std::int64_t shortLines = 6'000'000;
    // Narrow lines average 131 bytes: about 2,000,000,000 bytes.
    std::int64_t bigLines = 15'260'000;
    bool big = true;
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
    // Target for the conversion's time over the copy's; 0 when the figure is only
    // compared with earlier runs.
    double ddTarget;
    fs::path source;
    fs::path expect;
    // A UTF-8 case is the narrow case's files re-encoded, and is timed against it.
    bool utf8 = false;
    bool byteOrderMark = false;
    bench::Layout layout = bench::Layout::Records;
    double peakTargetMB = kPeakTargetMB;
    // Whether the general-purpose tools run on it too; they take minutes on the larger files.
    bool tools = false;
};

std::string delimiterArg(char d)
{
    return d == '\t' ? std::string("\\t") : std::string(1, d);
}

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
    std::vector<std::string> args = {(o.tools / "tolvane_gen").string(), "--lines", std::to_string(c.lines)};
    if (c.layout == bench::Layout::ShortLines)
        args.push_back("--short-lines");
    else
        args.insert(args.end(), {"--columns", std::to_string(c.columns)});
    args.insert(args.end(), {"--seed", std::to_string(c.seed), "--delimiter", delimiterArg(c.delimiter), "--out",
                             sourcePart.string(), "--expect", expectPart.string(), "--expect-columns", c.columnList});
    const ChildRun r = runChild(args, o.dir / "gen.log");
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

std::string peakVerdict(double peakMB, double target)
{
    char text[48];
    if (peakMB < target)
        std::snprintf(text, sizeof text, "<%.0f: met", target);
    else
        std::snprintf(text, sizeof text, "<%.0f: over by %.0f%%", target, (peakMB / target - 1) * 100);
    return text;
}

// The target compares times, but a Japanese character takes three bytes in UTF-8 where
// it took two, so the file is larger; the time per byte shows what the larger file costs.
void printAgainstNarrow(const char* program, const Case& c, const Measured& m, bool correct, const Case& narrow,
                        const Measured& base)
{
    if (!m.ok || !base.ok) {
        std::printf("  %-8s %s against narrow: not compared, a run failed\n", program, c.name.c_str());
        return;
    }
    const double x = m.seconds / base.seconds;
    const double bytes =
        static_cast<double>(fs::file_size(c.source)) / static_cast<double>(fs::file_size(narrow.source));
    const std::string judged = correct ? verdict(x, kUtf8Target) : "output differs, not judged";
    std::printf("  %-8s %s against narrow: %.2fx (target <= %.2fx): %s; %.3f s / %.3f s, %.2fx the bytes, %.2fx the "
                "time per byte\n",
                program, c.name.c_str(), x, kUtf8Target, judged.c_str(), m.seconds, base.seconds, bytes, x / bytes);
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
        t.mlrCrlf =
            runChild({t.mlr.string(), "--csv", "-N", "--ors", "crlf", "cat", "/dev/null"}, o.dir / "probe.log").ok;
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

// The copy every conversion is measured against: one read and one write of 1 MB at a time.
std::vector<std::string> ddCommand(const Options& o, const fs::path& source, const fs::path& out)
{
    return {o.dd.string(), "if=" + source.string(), "of=" + out.string(), "bs=1M"};
}

// One file: dd, tolvane convert and each tool found, alternated run by run.
bool runToolsTable(const Options& o, const OtherTools& other, const Case& c)
{
    const std::vector<int> columns = *bench::parseColumns(c.columnList);
    const auto out = [&](const char* tag) { return o.dir / (c.stem + "." + tag + ".out"); };
    std::vector<ToolCommand> tools;
    tools.push_back({"dd bs=1M", ddCommand(o, c.source, out("dd")), out("dd"), false, {}, {}, {}});
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
        tools.push_back(
            {"python3 csv module",
             {other.python.string(), "-c", kPythonScript, c.columnList, c.source.string(), out("python").string()},
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
    for (int r = 0; r < o.runs; ++r) {
        for (ToolCommand& t : tools) {
            fs::remove(t.out);
            t.measured.add(runChild(t.args, log, t.toStdout ? t.out : fs::path(), t.env));
        }
    }

    const ToolCommand& dd = tools[0];
    const ToolCommand& tolvane = tools[1];
    const bool ddCopied = dd.measured.ok && bench::sameBytes(dd.out, c.source);
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
            verdictText = ddCopied ? "copy of the source" : "DIFFERS from the source";
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
    for (const ToolCommand& t : tools)
        fs::remove(t.out);
    fs::remove(log);
    return tolvaneCorrect;
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
    std::fprintf(stderr, "usage: tolvane_bench [--dir FOLDER] [--tools FOLDER] [--tolvane PATH] [--previous ENGINE] "
                         "[--narrow-lines N] "
                         "[--wide-lines N] [--short-lines N] [--big-lines N] [--no-big] [--runs N]\n");
    return 2;
}

// The 2 GB case runs only where the disk holds it: its source and expected output unless
// they exist already, then the copy of the source and two conversion outputs. Sizes not
// yet written are estimated from the narrow files, whose layout it shares.
bool bigFits(const Options& o, const Case& narrow, const Case& big)
{
    const auto perLine = [&](const fs::path& p) {
        return static_cast<double>(fs::file_size(p)) / static_cast<double>(narrow.lines);
    };
    const bool made = fs::exists(big.source) && fs::exists(big.expect);
    const double lines = static_cast<double>(big.lines);
    const double source = made ? static_cast<double>(fs::file_size(big.source)) : perLine(narrow.source) * lines;
    const double expect = made ? static_cast<double>(fs::file_size(big.expect)) : perLine(narrow.expect) * lines;
    const double needed = (made ? 0 : source + expect) + source + 2 * expect;
    std::error_code ec;
    const fs::space_info space = fs::space(o.dir, ec);
    const double available = ec ? 0 : static_cast<double>(space.available);
    // A tenth to spare, for whatever else writes to the same disk meanwhile.
    const bool fits = available > needed * 1.1;
    std::printf("free space in %s: %.1f GB; the 2 GB case needs about %.1f GB more: %s\n", o.dir.c_str(),
                available / kGB, needed / kGB, fits ? "it runs" : "SKIPPED");
    return fits;
}

struct Program {
    std::string name;
    std::vector<std::string> args;
    fs::path out;
    Measured measured;
    bool correct = false;
};

struct Row {
    const Case* c;
    fs::path ddOut;
    Measured dd;
    bool copied = false;
    std::vector<Program> programs;
};

Row makeRow(const Options& o, const Case& c)
{
    Row row{&c, o.dir / (c.stem + ".dd.out"), {}, false, {}};
    const fs::path engineOut = o.dir / (c.stem + ".engine.out");
    row.programs.push_back({"engine",
                            {(o.tools / "tolvane_engine_convert").string(), "--in-delimiter", delimiterArg(c.delimiter),
                             "--columns", c.columnList, c.source.string(), engineOut.string()},
                            engineOut,
                            {},
                            false});
    if (!o.previous.empty()) {
        const fs::path previousOut = o.dir / (c.stem + ".previous.out");
        row.programs.push_back({"previous",
                                {o.previous.string(), "--in-delimiter", delimiterArg(c.delimiter), "--columns",
                                 c.columnList, c.source.string(), previousOut.string()},
                                previousOut,
                                {},
                                false});
    }
    if (!o.tolvane.empty()) {
        const fs::path convertOut = o.dir / (c.stem + ".tolvane.out");
        row.programs.push_back({"convert",
                                {o.tolvane.string(), "convert", "-d", std::string(1, c.delimiter), "-c", c.columnList,
                                 c.source.string(), convertOut.string()},
                                convertOut,
                                {},
                                false});
    }
    return row;
}

// The output forms against the default form on the narrow files, each run alternated with
// the as-is run so that the ratios hold; the transcoded outputs are checked against the other
// encoding's expected output, which holds the same characters.
bool runForms(const Options& o, const std::vector<Case>& cases, const std::vector<Row>& rows)
{
    const Case& narrow = cases[0];
    const Case* utf8 = nullptr;
    for (const Case& c : cases)
        if (c.utf8 && !c.byteOrderMark)
            utf8 = &c;
    if (utf8 == nullptr)
        return true;
    struct Form {
        const char* name;
        const Case* source;
        std::vector<std::string> options;
        const Case* sameAs; // whose expected output it must equal; null: not compared
        double target;      // at most this many times the as-is run; 0: none
    };
    const Form forms[] = {
        {"as is", &narrow, {}, &narrow, 0},
        {"--to utf-8", &narrow, {"--to", "utf-8"}, utf8, 3.0},
        {"--to cp932", utf8, {"--to", "cp932"}, &narrow, 3.0},
        {"--eol lf", &narrow, {"--eol", "lf"}, nullptr, 0},
        {"--quote", &narrow, {"--quote"}, nullptr, 1.5},
        {"--quote --to utf-8", &narrow, {"--quote", "--to", "utf-8"}, nullptr, 0},
    };
    std::vector<Measured> measured(std::size(forms));
    std::vector<bool> same(std::size(forms), true);
    const fs::path out = o.dir / "form.out";
    const fs::path log = o.dir / "form.log";
    std::printf("running the output forms on the narrow files...\n");
    std::fflush(stdout);
    warm(narrow.source);
    warm(utf8->source);
    for (int r = 0; r < o.runs; ++r)
        for (std::size_t f = 0; f < std::size(forms); ++f) {
            std::vector<std::string> args{(o.tools / "tolvane_engine_convert").string(), "--in-delimiter",
                                          delimiterArg(forms[f].source->delimiter), "--columns",
                                          forms[f].source->columnList};
            args.insert(args.end(), forms[f].options.begin(), forms[f].options.end());
            args.push_back(forms[f].source->source.string());
            args.push_back(out.string());
            fs::remove(out);
            measured[f].add(runChild(args, log));
            if (forms[f].sameAs != nullptr && r == 0)
                same[f] = measured[f].ok && bench::sameBytes(out, forms[f].sameAs->expect);
        }
    fs::remove(out);
    fs::remove(log);
    const double dd = rows.front().dd.seconds;
    std::printf("\noutput forms on the narrow file (x as is: against the default form, alternated run by run):\n");
    bool good = true;
    for (std::size_t f = 0; f < std::size(forms); ++f) {
        const Measured& m = measured[f];
        if (!m.ok) {
            std::printf("  %-20s FAILED: %s\n", forms[f].name, m.failure.c_str());
            good = false;
            continue;
        }
        const double ratio = m.seconds / measured[0].seconds;
        char target[40] = "";
        if (forms[f].target > 0)
            std::snprintf(target, sizeof target, "<=%.1f: %s", forms[f].target,
                          verdict(ratio, forms[f].target).c_str());
        std::printf("  %-20s %8.3f s  %6.2fx as is  %6.2fx dd  %-18s %s\n", forms[f].name, m.seconds, ratio,
                    m.seconds / dd, target,
                    forms[f].sameAs == nullptr ? "(not compared)"
                    : same[f]                  ? "equals expected"
                                               : "DIFFERS from expected");
        good = good && same[f];
    }
    return good;
}

void printLoad(const char* when)
{
    double load[3] = {};
    if (getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-big") {
            o.big = false;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--dir") {
            o.dir = value;
        } else if (arg == "--tools") {
            o.tools = value;
        } else if (arg == "--tolvane") {
            o.tolvane = value;
        } else if (arg == "--previous") {
            o.previous = value;
        } else if (arg == "--narrow-lines" || arg == "--wide-lines" || arg == "--short-lines" || arg == "--big-lines" ||
                   arg == "--runs") {
            const auto n = bench::parseCount(value);
            if (!n || *n < 1)
                return usage();
            if (arg == "--runs")
                o.runs = static_cast<int>(std::min<std::int64_t>(*n, 100));
            else
                (arg == "--wide-lines"    ? o.wideLines
                 : arg == "--short-lines" ? o.shortLines
                 : arg == "--big-lines"   ? o.bigLines
                                          : o.narrowLines) = *n;
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
    if (!o.previous.empty() && !executable(o.previous)) {
        std::fprintf(stderr, "tolvane_bench: %s cannot be run\n", o.previous.c_str());
        return 1;
    }
    if (!o.tolvane.empty() && !executable(o.tolvane)) {
        std::fprintf(stderr, "tolvane_bench: %s cannot be run\n", o.tolvane.c_str());
        return 1;
    }
    o.dd = findOnPath("dd");
    if (o.dd.empty()) {
        std::fprintf(stderr, "tolvane_bench: dd not found on PATH\n");
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
    // The UTF-8 cases follow the narrow case, which they are timed against; the 2 GB case
    // comes last, as it may be left out.
    std::vector<Case> cases = {
        {"narrow", narrowStem, o.narrowLines, 12, ',', 1, "3,1,12", 1.3, {}, {}},
        {"narrow utf-8", narrowStem + "-utf8", o.narrowLines, 12, ',', 1, "3,1,12", 0, {}, {}, true, false},
        {"narrow utf-8 bom", narrowStem + "-utf8bom", o.narrowLines, 12, ',', 1, "3,1,12", 0, {}, {}, true, true},
        {"wide", wideStem, o.wideLines, 200, ',', 2, wideColumns, 0, {}, {}},
        {"narrow |", narrowStem + "-bar", o.narrowLines, 12, '|', 1, "3,1,12", 0, {}, {}},
        {"short lines",
         "short-" + std::to_string(o.shortLines) + "x3",
         o.shortLines,
         3,
         ',',
         4,
         "3,1",
         2.0,
         {},
         {},
         false,
         false,
         bench::Layout::ShortLines},
        {"2 GB",
         "big-" + std::to_string(o.bigLines) + "x12",
         o.bigLines,
         12,
         ',',
         5,
         "3,1,12",
         1.5,
         {},
         {},
         false,
         false,
         bench::Layout::Records,
         kBigPeakTargetMB},
    };
    cases[0].tools = cases[3].tools = true;
    for (Case& c : cases) {
        c.source = o.dir / (c.stem + (c.delimiter == ',' ? ".csv" : ".txt"));
        c.expect = o.dir / (c.stem + ".expected");
    }
    // The narrow files come first: the 2 GB case's room is judged from them.
    for (Case& c : cases) {
        if (&c == &cases.back()) {
            if (!o.big)
                std::printf("the 2 GB case: left out (--no-big)\n");
            if (!o.big || !bigFits(o, cases.front(), c)) {
                cases.pop_back();
                break;
            }
        }
        if (!(c.utf8 ? ensureUtf8Files(cases.front(), c) : ensureFiles(o, c)))
            return 1;
    }

    std::printf("\nTolvane conversion benchmark: best of %d runs per command, MB = 10^6 bytes\n", o.runs);
    std::printf("every file is read once before its runs, so all of them find it in the page cache (warm);\n"
                "each output is deleted before each run, for every program alike\n");
    std::printf("tools %s, work folder %s, %ld cores online, widest vectors %s\n", o.tools.c_str(), o.dir.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), engine::pathName(engine::fastestPath()));
    printLoad("at the start");
    std::printf("\n");
    for (const Case& c : cases) {
        const auto size = fs::file_size(c.source);
        std::printf("%-30s %11llu bytes  %9lld lines  %7.1f bytes/line\n", c.source.filename().c_str(),
                    static_cast<unsigned long long>(size), static_cast<long long>(c.lines),
                    static_cast<double>(size) / static_cast<double>(c.lines));
    }
    std::printf("\n");

    std::vector<Row> rows;
    for (const Case& c : cases)
        rows.push_back(makeRow(o, c));
    const fs::path log = o.dir / "run.log";
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
        }
        std::printf("running %s...\n", names.c_str());
        std::fflush(stdout);
        // Alternating the commands spreads any drift of the machine over all of them.
        for (int r = 0; r < o.runs; ++r) {
            for (std::size_t i = first; i < end; ++i) {
                Row& row = rows[i];
                fs::remove(row.ddOut);
                row.dd.add(runChild(ddCommand(o, cases[i].source, row.ddOut), log));
                for (Program& p : row.programs) {
                    fs::remove(p.out);
                    p.measured.add(runChild(p.args, log));
                }
            }
        }
        for (std::size_t i = first; i < end; ++i) {
            Row& row = rows[i];
            row.copied = row.dd.ok && bench::sameBytes(row.ddOut, cases[i].source);
            fs::remove(row.ddOut);
            for (Program& p : row.programs) {
                p.correct = p.measured.ok && bench::sameBytes(p.out, cases[i].expect);
                // The window's output is compared with the engine's on the narrow file.
                if (i != 0 || &p != &row.programs.front())
                    fs::remove(p.out);
            }
        }
        first = end;
    }
    fs::remove(log);

    const Case& narrow = cases.front();
    const fs::path narrowEngineOut = rows.front().programs.front().out;
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
            fs::remove(windowOut);
            const ChildRun run = runChild(
                {windowTool.string(), "--columns", narrow.columnList, narrow.source.string(), windowOut.string()}, log);
            window.add(run);
            const auto alone = labelledNumber(run.log, "conversion seconds: ");
            windowAlone.add({run.ok && alone.has_value(), alone.value_or(0), 0, run.log});
        }
        windowSame = window.ok && bench::sameBytes(windowOut, narrowEngineOut);
        windowCorrect = window.ok && bench::sameBytes(windowOut, narrow.expect);
        fs::remove(windowOut);
        fs::remove(log);
    }
    fs::remove(narrowEngineOut);

    std::printf("\nengine: tolvane_engine_convert; previous: an earlier build's; convert: tolvane convert; "
                "x dd: the program's time over the copy's\n");
    std::printf("%-16s %-8s %8s %8s %8s %8s %6s  %-22s %8s  %-16s %s\n", "case", "program", "file MB", "dd s", "s",
                "MB/s", "x dd", "target x dd", "peak MB", "target peak", "output");
    const auto printLine = [](const char* caseName, const char* program, double mb, double dd, const Measured& m,
                              const std::string& target, double peakTarget, const char* output) {
        std::printf("%-16s %-8s %8.1f %8.3f %8.3f %8.1f %6.2f  %-22s %8.1f  %-16s %s\n", caseName, program, mb, dd,
                    m.seconds, mb / m.seconds, m.seconds / dd, target.c_str(), m.peakMB,
                    peakVerdict(m.peakMB, peakTarget).c_str(), output);
    };
    bool allCorrect = true;
    for (const Row& r : rows) {
        const double mb = static_cast<double>(fs::file_size(r.c->source)) / kMB;
        bool firstLine = true;
        const auto caseName = [&] { return std::exchange(firstLine, false) ? r.c->name.c_str() : ""; };
        if (!r.dd.ok || !r.copied) {
            std::printf("%-16s %-8s %8.1f FAILED: %s\n", caseName(), "dd", mb,
                        r.dd.ok ? "the copy differs from the source" : r.dd.failure.c_str());
            allCorrect = false;
            continue;
        }
        for (const Program& p : r.programs) {
            allCorrect = allCorrect && p.correct;
            if (!p.measured.ok) {
                std::printf("%-16s %-8s %8.1f FAILED: %s\n", caseName(), p.name.c_str(), mb,
                            p.measured.failure.c_str());
                continue;
            }
            const double ratio = p.measured.seconds / r.dd.seconds;
            char target[40] = "(against earlier runs)";
            if (p.name == "previous")
                std::snprintf(target, sizeof target, "(earlier build)");
            else if (r.c->utf8)
                std::snprintf(target, sizeof target, "(against narrow)");
            else if (r.c->ddTarget > 0)
                std::snprintf(target, sizeof target, "<=%.1f: %s", r.c->ddTarget,
                              verdict(ratio, r.c->ddTarget).c_str());
            printLine(caseName(), p.name.c_str(), mb, r.dd.seconds, p.measured, target, r.c->peakTargetMB,
                      p.correct ? "equals expected" : "DIFFERS from expected");
        }
    }
    // The window's figures come from the runs above; later sections only add to the report.
    const bool windowGood = [&] {
        if (!haveWindow) {
            std::printf("window narrow: skipped, %s was not built\n", windowTool.c_str());
            return true;
        }
        const Row& narrowRow = rows.front();
        const double mb = static_cast<double>(fs::file_size(narrow.source)) / kMB;
        if (!window.ok || !windowAlone.ok || !narrowRow.dd.ok) {
            std::printf("%-16s %-8s %8.1f FAILED: %s\n", "window narrow", "window", mb,
                        (!window.ok ? window.failure : windowAlone.failure).c_str());
            return false;
        }
        printLine("window narrow", "window", mb, narrowRow.dd.seconds, window, "(whole Qt process)", kPeakTargetMB,
                  windowCorrect ? "equals expected" : "DIFFERS from expected");

        // The command line is the yardstick when it was given; the engine alone otherwise.
        const Program& base = *std::find_if(narrowRow.programs.rbegin(), narrowRow.programs.rend(),
                                            [](const Program& p) { return p.name != "previous"; });
        if (!base.measured.ok)
            return false;
        const char* baseName = base.name == "convert" ? "tolvane convert" : "the engine";
        const double against = base.measured.seconds;
        std::printf("\nwindow narrow against %s (target <=%.1fx):\n", baseName, kWindowTarget);
        std::printf("  whole process:       %.3f s vs %.3f s = %.2fx  %s\n", window.seconds, against,
                    window.seconds / against, verdict(window.seconds / against, kWindowTarget).c_str());
        std::printf("  cmd開始_Click alone: %.3f s vs %.3f s = %.2fx  %s\n", windowAlone.seconds, against,
                    windowAlone.seconds / against, verdict(windowAlone.seconds / against, kWindowTarget).c_str());
        std::printf("  window output byte-identical to engine output: %s\n", windowSame ? "yes" : "no");
        return windowSame && windowCorrect;
    }();
    std::printf("\nthe UTF-8 files against the narrow file (alternated run by run):\n");
    for (const Row& r : rows)
        if (r.c->utf8)
            for (std::size_t p = 0; p < r.programs.size(); ++p)
                printAgainstNarrow(r.programs[p].name.c_str(), *r.c, r.programs[p].measured, r.programs[p].correct,
                                   narrow, rows.front().programs[p].measured);
    const bool formsGood = runForms(o, cases, rows);
    printLoad("after the conversions");

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
        // The Python script reads code page 932, and every tool on every file would take
        // many minutes: the tools run on the narrow and the wide file.
        for (const Case& c : cases)
            if (c.tools)
                toolsGood = runToolsTable(o, other, c) && toolsGood;
        toolsGood = runDetection(o, windowTool, haveWindow) && toolsGood;
    }
    return allCorrect && windowGood && toolsGood && formsGood ? 0 : 1;
}
