// The harness times the command line tools as they are; these check what its figures
// rely on: a rerun replaces the old output rather than adding to it, a failure shows in
// the exit status, the window writes exactly what the engine writes, two outputs
// called identical really are, and the UTF-8 copies hold the generator's characters.

#include "BenchArgs.h"
#include "BenchFiles.h"
#include "SourceGenerator.h"
#include "Utf8Copy.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path =
        fs::temp_directory_path() /
        ("tolvane-tools-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

std::string quoted(const fs::path& p)
{
    return "'" + p.string() + "'";
}

int run(const std::string& command)
{
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bench::GenerateRequest smallFile(const TempDir& dir, char delimiter, std::vector<int> columns, char outDelimiter)
{
    bench::GenerateRequest r;
    r.lines = 500;
    r.columns = 12;
    r.seed = 4;
    r.delimiter = delimiter;
    r.out = dir.path / "source";
    r.expect = dir.path / "expected";
    r.expectColumns = std::move(columns);
    r.expectDelimiter = outDelimiter;
    EXPECT_EQ(bench::generateFiles(r), "");
    return r;
}

const std::string kConvert = "'" TOLVANE_ENGINE_CONVERT "'";

TEST(BenchArgs, ColumnLists)
{
    EXPECT_EQ(bench::parseColumns("3,1,12"), (std::vector<int>{3, 1, 12}));
    EXPECT_EQ(bench::parseColumns("200"), (std::vector<int>{200}));
    for (const char* bad : {"", "0", "3,", ",3", "3,,1", "a", "1.5", "-2", "3 ,1"})
        EXPECT_FALSE(bench::parseColumns(bad)) << bad;
}

TEST(BenchArgs, TabCanBeWrittenOut)
{
    EXPECT_EQ(bench::parseDelimiter("\\t"), "\t");
    EXPECT_EQ(bench::parseDelimiter("TAB"), "\t");
    EXPECT_EQ(bench::parseDelimiter("|"), "|");
    EXPECT_FALSE(bench::parseDelimiter(""));
}

TEST(EngineConvert, ReplacesAnOldOutputInsteadOfAppending)
{
    TempDir dir;
    const auto r = smallFile(dir, '|', {2, 5, 5}, '\t');
    const fs::path out = dir.path / "out";
    std::ofstream(out) << std::string(100000, 'x');
    const std::string command =
        kConvert + " --in-delimiter '|' --columns 2,5,5 --tab " + quoted(r.out) + " " + quoted(out);
    ASSERT_EQ(run(command), 0);
    ASSERT_EQ(run(command), 0);
    EXPECT_EQ(readAll(out), readAll(r.expect));
}

TEST(EngineConvert, SkippedFirstLineIsMissingFromTheOutput)
{
    TempDir dir;
    const auto r = smallFile(dir, ',', {12, 1}, ',');
    const fs::path out = dir.path / "out";
    ASSERT_EQ(run(kConvert + " --in-delimiter , --columns 12,1 --skip-first-line " + quoted(r.out) + " " + quoted(out)),
              0);
    const std::string expected = readAll(r.expect);
    EXPECT_EQ(readAll(out), expected.substr(expected.find("\r\n") + 2));
}

TEST(EngineConvert, FailuresShowInTheExitStatus)
{
    TempDir dir;
    const auto r = smallFile(dir, ',', {1}, ',');
    const std::string before = readAll(r.out);
    EXPECT_EQ(run(kConvert + " --in-delimiter , --columns 1 " + quoted(dir.path / "missing") + " " +
                  quoted(dir.path / "out")),
              1);
    EXPECT_FALSE(fs::exists(dir.path / "out"));
    EXPECT_EQ(run(kConvert + " --in-delimiter , --columns 1 " + quoted(r.out) + " " + quoted(r.out)), 1);
    EXPECT_EQ(readAll(r.out), before);
    EXPECT_EQ(run(kConvert + " --columns 1 " + quoted(r.out) + " " + quoted(dir.path / "out")), 2);
}

// Outputs run to tens of megabytes and are read a chunk at a time; a difference in
// the last byte of a later chunk, or a missing tail, must still count.
TEST(CompareFiles, FindsADifferenceBeyondTheFirstChunk)
{
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (3u << 20) / 2; ++i)
        text += "line " + std::to_string(i) + ",\x95\x5C\r\n";
    const auto lines = static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
    std::ofstream(dir.path / "a", std::ios::binary) << text;
    std::ofstream(dir.path / "same", std::ios::binary) << text;
    std::string changed = text;
    changed[changed.size() - 3] = 'X';
    std::ofstream(dir.path / "changed", std::ios::binary) << changed;
    std::ofstream(dir.path / "short", std::ios::binary) << text.substr(0, text.size() - 2);

    EXPECT_TRUE(bench::compareFiles(dir.path / "a", dir.path / "same").same);
    const auto c = bench::compareFiles(dir.path / "a", dir.path / "changed");
    EXPECT_FALSE(c.same);
    EXPECT_EQ(c.line, lines);
    const auto s = bench::compareFiles(dir.path / "a", dir.path / "short");
    EXPECT_FALSE(s.same);
    EXPECT_EQ(s.line, lines);
    EXPECT_FALSE(bench::sameBytes(dir.path / "a", dir.path / "missing"));
}

// Decoding back is glibc's own UTF-8 reader; "?" when the text is not UTF-8 or holds a
// character code page 932 lacks.
std::string utf8ToCp932(std::string text)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string back(text.size(), '\0');
    char* src = text.data();
    char* dst = back.data();
    std::size_t left = text.size(), room = back.size();
    const bool ok = iconv(cd, &src, &left, &dst, &room) == 0 && left == 0;
    iconv_close(cd);
    return ok ? back.substr(0, back.size() - room) : "?";
}

// Small blocks cut characters at every possible place.
TEST(Utf8Copy, DecodesBackToTheCodePage932Bytes)
{
    TempDir dir;
    const auto r = smallFile(dir, ',', {3, 1, 12}, ',');
    const std::string source = readAll(r.out);
    const fs::path utf8 = dir.path / "utf8";
    for (const bool bom : {false, true}) {
        for (const std::size_t block : {2, 3, 4093, 1 << 20}) {
            ASSERT_EQ(bench::copyAsUtf8(r.out, utf8, bom, block), "") << block;
            const std::string text = readAll(utf8);
            ASSERT_EQ(text.starts_with("\xEF\xBB\xBF"), bom);
            EXPECT_EQ(utf8ToCp932(text.substr(bom ? 3 : 0)), source) << "block " << block << " bom " << bom;
        }
    }
}

TEST(Utf8Copy, BytesOutsideCodePage932FailWithTheirPlace)
{
    TempDir dir;
    const struct {
        std::string bytes;
        std::string where;
    } cases[] = {
        {"ab,\x81\x20", "at byte 3"},          // a lead byte before a byte that cannot follow it
        {"ab,\xA0", "at byte 3"},              // a byte that is no character
        {"ab,\x82", "at byte 3 (it ends"},     // the file ends inside a character
        {"\x82\xA0\x82\xA0\xFD", "at byte 4"}, // after whole characters cut by small blocks
    };
    for (const auto& c : cases) {
        std::ofstream(dir.path / "bad", std::ios::binary) << c.bytes;
        for (const std::size_t block : {2, 1 << 20}) {
            const std::string error = bench::copyAsUtf8(dir.path / "bad", dir.path / "utf8", false, block);
            EXPECT_NE(error.find(c.where), std::string::npos) << error;
        }
    }
}

#ifdef TOLVANE_WINDOW_CONVERT
TEST(WindowConvert, WritesWhatTheEngineWrites)
{
    TempDir dir;
    const auto r = smallFile(dir, ',', {12, 12, 1, 7}, '\t');
    const fs::path engineOut = dir.path / "engine";
    const fs::path windowOut = dir.path / "window";
    ASSERT_EQ(run(kConvert + " --in-delimiter , --columns 12,12,1,7 --tab " + quoted(r.out) + " " + quoted(engineOut)),
              0);
    ASSERT_EQ(run("'" TOLVANE_WINDOW_CONVERT "' --columns 12,12,1,7 --tab " + quoted(r.out) + " " + quoted(windowOut)),
              0);
    EXPECT_EQ(readAll(windowOut), readAll(engineOut));
    EXPECT_EQ(readAll(windowOut), readAll(r.expect));
}
#endif

} // namespace
