// tolvane_engine_convert: one whole conversion in a process of its own, done the way
// the window does it but without Qt, so that its time and memory are the engine's alone.

#include "BenchArgs.h"

#include "engine/Conversion.h"
#include "engine/Tables.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: tolvane_engine_convert --in-delimiter D --columns 3,1,12 [--tab] "
                         "[--skip-first-line] [--threads N] [--block-kib N] [--path plain|SSE2|AVX2|AVX-512] "
                         "[--to cp932|utf-8|utf-8-bom] [--eol lf] [--quote] [--replace] SOURCE OUTPUT\n");
    return 2;
}

int fail(const std::string& what)
{
    std::fprintf(stderr, "tolvane_engine_convert: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string inDeli;
    std::vector<int> columns;
    std::string outDeli = ",";
    bool skipFirst = false;
    int threads = 0; // 0: the engine's default
    std::size_t block = engine::LineReader::kDefaultBlock;
    std::string path; // the vector path; empty: the widest the processor has
    std::vector<std::filesystem::path> paths;
    engine::OutputForm form;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tab") {
            outDeli = "\t";
        } else if (arg == "--skip-first-line") {
            skipFirst = true;
        } else if (arg == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
            if (threads < 1)
                return usage();
        } else if (arg == "--block-kib" && i + 1 < argc) {
            block = static_cast<std::size_t>(std::atoi(argv[++i])) * 1024;
            if (block == 0)
                return usage();
        } else if (arg == "--to" && i + 1 < argc) {
            const std::string to = argv[++i];
            if (to == "cp932")
                form.encoding = engine::OutputEncoding::Cp932;
            else if (to == "utf-8")
                form.encoding = engine::OutputEncoding::Utf8;
            else if (to == "utf-8-bom")
                form.encoding = engine::OutputEncoding::Utf8Bom;
            else
                return usage();
        } else if (arg == "--eol" && i + 1 < argc) {
            const std::string eol = argv[++i];
            if (eol != "lf" && eol != "crlf")
                return usage();
            form.lineEnd = eol == "lf" ? engine::LineEnd::Lf : engine::LineEnd::CrLf;
        } else if (arg == "--quote") {
            form.quote = true;
        } else if (arg == "--replace") {
            form.replace = true;
        } else if (arg == "--path" && i + 1 < argc) {
            path = argv[++i];
        } else if ((arg == "--in-delimiter" || arg == "--columns") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--in-delimiter") {
                const auto d = bench::parseDelimiter(value);
                if (!d)
                    return usage();
                inDeli = *d;
            } else {
                const auto c = bench::parseColumns(value);
                if (!c)
                    return usage();
                columns = *c;
            }
        } else if (arg.starts_with("--")) {
            return usage();
        } else {
            paths.emplace_back(arg);
        }
    }
    if (inDeli.empty() || columns.empty() || paths.size() != 2)
        return usage();
    const std::filesystem::path& source = paths[0];
    const std::filesystem::path& output = paths[1];

    engine::ColumnMap map(columns.size() + 1);
    for (std::size_t i = 0; i < columns.size(); ++i)
        map[i + 1].iItemNo = columns[i];

    // The same checks and output handling as the window's run.
    engine::Conversion conv({.skipFirstLine = skipFirst, .blockSize = block});
    if (threads > 0)
        conv.setThreads(threads);
    if (!path.empty()) {
        bool known = false;
        for (const auto p : {engine::VectorPath::Plain, engine::VectorPath::Sse2, engine::VectorPath::Avx2,
                             engine::VectorPath::Avx512})
            if (path == engine::pathName(p)) {
                if (!engine::pathRuns(p)) {
                    std::fprintf(stderr, "%s does not run here\n", path.c_str());
                    return 2;
                }
                conv.setVectorPath(p);
                known = true;
            }
        if (!known)
            return usage();
    }
    engine::RunRequest request;
    request.source = source;
    request.output = output;
    if (conv.prepare(request) != engine::Conversion::Status::Running)
        return fail("the run cannot start (status " + std::to_string(static_cast<int>(conv.status())) + ")");
    const engine::ConversionSettings settings{inDeli, outDeli, map, form};
    const engine::Conversion::Status status = conv.runToEnd(settings);
    std::fprintf(stderr, "count: %lld\n", static_cast<long long>(conv.count()));
    if (status != engine::Conversion::Status::Done)
        return fail("the run stopped (status " + std::to_string(static_cast<int>(status)) + ") at " +
                    conv.failedOutput().string());
    return 0;
}
