// tolvane_gen: writes a deterministic code page 932 source file with CR LF line ends,
// and optionally the output that converting it with given columns must produce.

#include "BenchArgs.h"
#include "SourceGenerator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr, "usage: tolvane_gen --lines N (--columns C | --short-lines) --seed S --out FILE\n"
                         "                   [--delimiter D] [--expect FILE --expect-columns 3,1,12 [--expect-tab]]\n"
                         "  D is \",\" (default), \"|\" or a TAB (also written \\t or TAB)\n"
                         "  --short-lines: three items a line (number, Japanese word, number), 20 to 25 bytes\n");
}

} // namespace

int main(int argc, char** argv)
{
    bench::GenerateRequest request;
    bool haveLines = false;
    bool haveColumns = false;
    bool haveSeed = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--expect-tab") {
            request.expectDelimiter = '\t';
            continue;
        }
        if (arg == "--short-lines") {
            request.layout = bench::Layout::ShortLines;
            request.columns = 3;
            haveColumns = true;
            continue;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (arg == "--lines") {
            const auto n = bench::parseCount(value);
            ok = n.has_value();
            request.lines = n.value_or(0);
            haveLines = true;
        } else if (arg == "--columns") {
            const auto n = bench::parseCount(value);
            ok = n && *n >= 1 && *n <= 100000;
            request.columns = static_cast<int>(n.value_or(0));
            haveColumns = true;
        } else if (arg == "--seed") {
            const auto n = bench::parseCount(value);
            ok = n.has_value();
            request.seed = static_cast<std::uint64_t>(n.value_or(0));
            haveSeed = true;
        } else if (arg == "--out") {
            request.out = value;
        } else if (arg == "--delimiter") {
            const auto d = bench::parseDelimiter(value);
            ok = d && (*d == "," || *d == "|" || *d == "\t");
            request.delimiter = d ? (*d)[0] : ',';
        } else if (arg == "--expect") {
            request.expect = value;
        } else if (arg == "--expect-columns") {
            const auto columns = bench::parseColumns(value);
            ok = columns.has_value();
            if (columns)
                request.expectColumns = *columns;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "tolvane_gen: bad option %s %s\n", arg.c_str(), value.c_str());
            usage();
            return 2;
        }
    }
    if (!haveLines || !haveColumns || !haveSeed || request.out.empty() ||
        request.expect.empty() != request.expectColumns.empty()) {
        usage();
        return 2;
    }
    const std::string error = bench::generateFiles(request);
    if (!error.empty()) {
        std::fprintf(stderr, "tolvane_gen: %s: %s\n", error.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
