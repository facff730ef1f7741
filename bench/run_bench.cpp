// tolvane_bench: times whole conversion processes against `cat` copying the same file,
// since a conversion can hardly beat reading and writing the bytes once. Each command
// runs as a child of its own so that wait4 reports its peak memory; the best of several
// runs is kept because the slower runs measure the machine's other work, not ours.

#include "BenchArgs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kMB = 1e6;
constexpr double kPeakTargetMB = 32;
constexpr double kWindowTarget = 1.2;

struct Options {
    fs::path dir = "/tmp/tolvane-bench";
    fs::path tools;
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
};

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
    std::string log;
};

// Best time and highest peak over all runs; any failed run fails the whole.
struct Measured {
    bool ok = true;
    double seconds = 0;
    double peakMB = 0;
    std::string failure;
    int runs = 0;

    void add(const ChildRun& r)
    {
        if (!r.ok) {
            ok = false;
            failure = r.log;
        }
        seconds = runs == 0 ? r.seconds : std::min(seconds, r.seconds);
        peakMB = std::max(peakMB, static_cast<double>(r.peakKiB) * 1024 / kMB);
        ++runs;
    }
};

std::string readSmallFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ChildRun runChild(const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    ChildRun result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        result.log = std::string("fork failed: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited;
    do
        waited = wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    result.seconds = took.count();
    // On Linux ru_maxrss is in KiB and covers the child's own waited-for children.
    result.peakKiB = usage.ru_maxrss;
    result.log = readSmallFile(log);
    result.ok = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!result.ok && result.log.empty())
        result.log = "exit status " + std::to_string(status);
    return result;
}

// Reads the file once so that every timed run finds it in the page cache.
void warm(const fs::path& p)
{
    const int fd = open(p.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    std::vector<char> buffer(1 << 20);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
}

bool sameBytes(const fs::path& a, const fs::path& b)
{
    std::error_code ea, eb;
    if (fs::file_size(a, ea) != fs::file_size(b, eb) || ea || eb)
        return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())))
            return false;
    }
    return !fa.bad() && !fb.bad();
}

bool executable(const fs::path& p) { return access(p.c_str(), X_OK) == 0; }

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

std::optional<double> reportedSeconds(const std::string& log)
{
    static const std::string kLabel = "conversion seconds: ";
    const std::size_t at = log.rfind(kLabel);
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtod(log.c_str() + at + kLabel.size(), nullptr);
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

int usage()
{
    std::fprintf(stderr, "usage: tolvane_bench [--dir FOLDER] [--tools FOLDER] [--narrow-lines N] [--wide-lines N] "
                         "[--runs N]\n");
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
    const fs::path windowTool = o.tools / "tolvane_window_convert";
    const bool haveWindow = executable(windowTool);
    fs::create_directories(o.dir);

    const std::string narrowStem = "narrow-" + std::to_string(o.narrowLines) + "x12";
    const std::string wideStem = "wide-" + std::to_string(o.wideLines) + "x200";
    std::string wideColumns;
    for (int c = 200; c >= 151; --c)
        wideColumns += (c == 200 ? "" : ",") + std::to_string(c);
    // The same seed for both narrow files: their items are equal, only the delimiter differs.
    std::vector<Case> cases = {
        {"narrow", narrowStem, o.narrowLines, 12, ',', 1, "3,1,12", 1.5, {}, {}},
        {"wide", wideStem, o.wideLines, 200, ',', 2, wideColumns, 2.5, {}, {}},
        {"narrow |", narrowStem + "-bar", o.narrowLines, 12, '|', 1, "3,1,12", 5.0, {}, {}},
    };
    for (Case& c : cases) {
        c.source = o.dir / (c.stem + (c.delimiter == ',' ? ".csv" : ".txt"));
        c.expect = o.dir / (c.stem + ".expected");
        if (!ensureFiles(o, c))
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
    for (const Case& c : cases) {
        std::printf("running %s...\n", c.name.c_str());
        std::fflush(stdout);
        const fs::path convOut = o.dir / (c.stem + ".engine.out");
        warm(c.source);
        Row row{&c, {}, {}, false};
        // Alternating the two commands spreads any drift of the machine over both.
        for (int r = 0; r < o.runs; ++r) {
            row.cat.add(runChild({"/bin/sh", "-c", "cat \"$1\" > \"$2\"", "sh", c.source.string(), catOut.string()},
                                 log));
            row.conv.add(runChild({(o.tools / "tolvane_engine_convert").string(), "--in-delimiter",
                                   delimiterArg(c.delimiter), "--columns", c.columnList, c.source.string(),
                                   convOut.string()},
                                  log));
        }
        row.correct = row.conv.ok && sameBytes(convOut, c.expect);
        rows.push_back(row);
        if (&c == &cases.front())
            narrowEngineOut = convOut;
        else
            fs::remove(convOut);
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
            const auto alone = reportedSeconds(run.log);
            windowAlone.add({run.ok && alone.has_value(), alone.value_or(0), 0, run.log});
        }
        windowSame = window.ok && sameBytes(windowOut, narrowEngineOut);
        windowCorrect = window.ok && sameBytes(windowOut, narrow.expect);
        fs::remove(windowOut);
    }
    fs::remove(narrowEngineOut);
    fs::remove(catOut);

    std::printf("\n%-14s %8s %8s %8s %8s %7s  %-22s %8s  %-18s %s\n", "case", "file MB", "cat s", "conv s", "MB/s",
                "x cat", "target x cat", "peak MB", "target peak", "output");
    for (const Row& r : rows) {
        const double mb = static_cast<double>(fs::file_size(r.c->source)) / kMB;
        if (!r.cat.ok || !r.conv.ok) {
            std::printf("%-14s %8.1f FAILED: %s\n", r.c->name.c_str(), mb, (r.cat.ok ? r.conv : r.cat).failure.c_str());
            continue;
        }
        const double ratio = r.conv.seconds / r.cat.seconds;
        char target[40];
        std::snprintf(target, sizeof target, "<=%.1f: %s", r.c->catTarget, verdict(ratio, r.c->catTarget).c_str());
        std::printf("%-14s %8.1f %8.3f %8.3f %8.1f %7.2f  %-22s %8.1f  %-18s %s\n", r.c->name.c_str(), mb,
                    r.cat.seconds, r.conv.seconds, mb / r.conv.seconds, ratio, target, r.conv.peakMB,
                    peakVerdict(r.conv.peakMB).c_str(), r.correct ? "equals expected" : "DIFFERS from expected");
    }
    const bool rowsCorrect = std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.correct; });
    if (!haveWindow) {
        std::printf("window narrow: skipped, %s was not built\n", windowTool.c_str());
        return rowsCorrect ? 0 : 1;
    }
    const Row& narrowRow = rows.front();
    const double mb = static_cast<double>(fs::file_size(narrow.source)) / kMB;
    if (!window.ok || !windowAlone.ok || !narrowRow.conv.ok || !narrowRow.cat.ok) {
        std::printf("%-14s %8.1f FAILED: %s\n", "window narrow", mb,
                    (!window.ok ? window.failure : windowAlone.failure).c_str());
        return 1;
    }
    std::printf("%-14s %8.1f %8.3f %8.3f %8.1f %7.2f  %-22s %8.1f  %-18s %s\n", "window narrow", mb,
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
    return rowsCorrect && windowSame && windowCorrect ? 0 : 1;
}
