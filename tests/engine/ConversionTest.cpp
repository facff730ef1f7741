#include "engine/Conversion.h"
#include "engine/LineProcessing.h"
#include "engine/OutputFile.h"
#include "support/Out1Line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <unistd.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace engine;
namespace fs = std::filesystem;

namespace {

class ConversionTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("tolvane-conv-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
               std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    }
    static std::string read(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Temporary files a run left in the folder.
    std::string temporaries() const
    {
        std::string names;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().find(".tolvane-") != std::string::npos)
                names += entry.path().filename().string() + " ";
        return names;
    }
};

ColumnMap mapOf(std::initializer_list<int> numbers)
{
    ColumnMap map(1);
    for (int n : numbers)
        map.push_back({0, 0, n});
    return map;
}

// A random code page 932 source: quoted delimiters, empty items, trail bytes 0x5C and
// 0x7C, LF inside quotes, short lines.
std::string randomSource(std::mt19937& rng, int lines)
{
    const std::string pieces[] = {"a",    "12",         "",  "\"x,y\"", "\x83\x5C", "\x95\x5C", "\x83\x7C", "\x81\x41",
                                  " sp ", "\"q\"\"r\"", "|", "\"\n\"",  "\xFF",     "\x83",     "\t",       "\"open"};
    std::string s = "h1,h2,h3\r\n";
    for (int i = 0; i < lines; ++i) {
        const int items = static_cast<int>(rng() % 6);
        for (int k = 0; k < items; ++k) {
            if (k)
                s += (rng() % 5 == 0) ? "|" : ",";
            s += pieces[rng() % std::size(pieces)];
        }
        s += (rng() % 20 == 0) ? "\r" : "\r\n";
    }
    if (rng() % 2)
        s += "last,line";
    return s;
}

TEST_F(ConversionTest, WritesExactlyWhatOut1LineWritesLineByLine)
{
    std::mt19937 rng(2024);
    const ColumnMap maps[] = {mapOf({3, 1, 12}), mapOf({2, -1, 2, 0}), mapOf({1}), mapOf({5, 4, 3, 2, 1})};
    for (int round = 0; round < 12; ++round) {
        const std::string bytes = randomSource(rng, 300);
        const fs::path source = write("in.csv", bytes);
        const ColumnMap& map = maps[round % std::size(maps)];
        const std::string inDeli = round % 3 == 0 ? "|" : ",";
        const std::string outDeli = round % 2 ? "\t" : ",";
        const bool skip = round % 4 == 1;

        // The model: Out1Line for every line, as the window would call it.
        fs::remove(dir / "model.csv");
        {
            std::ifstream in(source, std::ios::binary);
            LineReader reader(in);
            std::string_view line;
            std::string sWork;
            bool first = true;
            while (reader.next(line)) {
                if (!(first && skip))
                    Out1Line(line, outDeli, inDeli, map, sWork, dir / "model.csv");
                first = false;
            }
        }
        const std::string expected = read(dir / "model.csv");
        ASSERT_FALSE(expected.empty());

        for (std::size_t block : {3u, 17u, 4096u, 1u << 20}) {
            fs::remove(dir / "out.csv");
            Conversion c({.skipFirstLine = skip, .blockSize = block});
            ASSERT_TRUE(c.openSource(source));
            c.setOutput(dir / "out.csv");
            EXPECT_EQ(c.runToEnd({inDeli, outDeli, map}), Conversion::Status::Done);
            EXPECT_EQ(read(dir / "out.csv"), expected) << "round " << round << " block " << block;
        }
    }
}

TEST_F(ConversionTest, CountsLinesAndSkipsOnlyTheFirst)
{
    // Enough lines for the whole-block walk (and a second thread) to take them.
    std::string many, manyOut;
    for (int i = 0; i < 30000; ++i) {
        many += "k" + std::to_string(i) + ",v" + std::to_string(i) + "\r\n";
        manyOut += "v" + std::to_string(i) + "\r\n";
    }
    struct Case {
        std::string source;
        bool skip;
        std::int64_t count;
        std::int64_t shown;
        std::string output; // "<none>" when no file exists; a run of no lines leaves an empty one
    } cases[] = {
        {"a,b\r\nc,d\r\ne,f\r\n", true, 3, 3, "d\r\nf\r\n"},
        {"a,b\r\nc,d\r\ne,f\r\n", false, 3, 3, "b\r\nd\r\nf\r\n"},
        {"", false, 0, 0, ""},
        {"only,line\r\n", true, 1, 0, ""},
        {"a\r\n\r\nb", false, 3, 3, "a\r\n\r\nb\r\n"},
        {"\"h\n1\",h2\r\n\"x\ny\",z\r\n", false, 2, 2, "h2\r\nz\r\n"}, // LF in a header cell is text
        // An empty first line, short and long, left out or converted (its last item is empty).
        {"\r\nc,d\r\n", true, 2, 2, "d\r\n"},
        {"\r\nc,d\r\n", false, 2, 2, "\r\nd\r\n"},
        {"\r\n" + many, true, 30001, 30001, manyOut},
        {"\r\n" + many, false, 30001, 30001, "\r\n" + manyOut},
        {"h,x\r\n" + many, true, 30001, 30001, manyOut},
    };
    for (const auto& c : cases) {
        const fs::path source = write("in.csv", c.source);
        const fs::path out = dir / "out.csv";
        fs::remove(out);
        Conversion conv({.skipFirstLine = c.skip});
        ASSERT_TRUE(conv.openSource(source));
        conv.setOutput(out);
        EXPECT_EQ(conv.runToEnd({",", ",", mapOf({2})}), Conversion::Status::Done);
        EXPECT_EQ(conv.count(), c.count);
        EXPECT_EQ(conv.shownCount(), c.shown);
        EXPECT_EQ(fs::exists(out) ? read(out) : "<none>", c.output) << c.source;
        EXPECT_EQ(read(source), c.source); // the source is never touched
    }
}

TEST_F(ConversionTest, AMapOfOnlyMinusOneCountsAndLeavesAnEmptyFile)
{
    const fs::path source = write("in.csv", "a\r\nb\r\nc\r\n");
    Conversion conv;
    ASSERT_TRUE(conv.openSource(source));
    conv.setOutput(dir / "out.csv");
    EXPECT_EQ(conv.runToEnd({",", ",", mapOf({-1, -1})}), Conversion::Status::Done);
    EXPECT_EQ(conv.count(), 3);
    EXPECT_TRUE(fs::exists(dir / "out.csv"));
    EXPECT_EQ(read(dir / "out.csv"), "");
}

TEST_F(ConversionTest, SettingsAndOutputChangesApplyToTheLinesThatFollow)
{
    std::string bytes;
    for (int i = 1; i <= 200; ++i)
        bytes += std::to_string(i) + ",x\r\n";
    const fs::path source = write("in.csv", bytes);
    Conversion conv;
    ASSERT_TRUE(conv.openSource(source));
    conv.setOutput(dir / "first.csv");
    const auto past = std::chrono::steady_clock::time_point::min();
    // A deadline in the past ends each slice at the first clock check.
    ASSERT_EQ(conv.run({",", ",", mapOf({1, 2})}, past), Conversion::Status::Running);
    const std::int64_t firstSlice = conv.count();
    ASSERT_GT(firstSlice, 0);
    ASSERT_LT(firstSlice, 200);
    EXPECT_EQ(conv.lastSource(), std::to_string(firstSlice) + ",x");
    EXPECT_EQ(conv.lastOutput(), std::to_string(firstSlice) + ",x");
    ASSERT_EQ(conv.setOutput(dir / "second.csv"), Conversion::Status::Running);
    EXPECT_EQ(conv.runToEnd({",", "\t", mapOf({2, 1})}), Conversion::Status::Done);
    EXPECT_EQ(conv.count(), 200);

    std::string first, second;
    for (int i = 1; i <= 200; ++i)
        (i <= firstSlice ? first : second) +=
            i <= firstSlice ? std::to_string(i) + ",x\r\n" : "x\t" + std::to_string(i) + "\r\n";
    EXPECT_EQ(read(dir / "first.csv"), first);
    EXPECT_EQ(read(dir / "second.csv"), second);
    EXPECT_EQ(conv.lastOutput(), "x\t200");
}

TEST_F(ConversionTest, AFullDiskStopsTheRunAndSaysHowMuchWasWritten)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full, and this runtime makes no symbolic links";
#endif
    std::string bytes;
    for (int i = 0; i < 50000; ++i)
        bytes += "some text,more text,and more\r\n";
    const fs::path source = write("in.csv", bytes);
    const fs::path full = dir / "full.csv";
    fs::create_symlink("/dev/full", full);
    Conversion conv;
    ASSERT_TRUE(conv.openSource(source));
    conv.setOutput(full);
    EXPECT_EQ(conv.runToEnd({",", ",", mapOf({1, 2, 3})}), Conversion::Status::WriteFailed);
    EXPECT_EQ(conv.linesWritten(), 0);
    EXPECT_EQ(conv.failedOutput(), full);
    EXPECT_LT(conv.count(), 50000);
    // The device is no regular file: it is never removed.
    EXPECT_EQ(removeOldOutput(full), RemoveResult::NotRegular);
    EXPECT_TRUE(fs::is_symlink(full));
    EXPECT_EQ(read(source), bytes);
}

TEST_F(ConversionTest, AMissingOutputFolderStopsTheRun)
{
    const fs::path source = write("in.csv", "a\r\n");
    Conversion conv;
    ASSERT_TRUE(conv.openSource(source));
    conv.setOutput(dir / "no-such-folder" / "out.csv");
    EXPECT_EQ(conv.runToEnd({",", ",", mapOf({1})}), Conversion::Status::CannotCreateOutput);
    Conversion missing;
    EXPECT_FALSE(missing.openSource(dir / "missing.csv"));
}

TEST_F(ConversionTest, SameFileSeesThroughLinksAndDots)
{
    const fs::path source = write("in.csv", "a\r\n");
    fs::create_hard_link(source, dir / "hard.csv");
    EXPECT_TRUE(sameFile(source, dir / "." / "in.csv"));
    EXPECT_TRUE(sameFile(source, dir / "sub" / ".." / "in.csv"));
#ifdef _WIN32
    // Names on Windows ignore case and take either slash; making a symbolic link needs rights
    // that a user seldom has.
    EXPECT_TRUE(sameFile(source, dir / "IN.CSV"));
    EXPECT_TRUE(sameFile(source, fs::path((dir / "In.Csv").generic_wstring())));
#else
    fs::create_symlink(source, dir / "link.csv");
    EXPECT_TRUE(sameFile(source, dir / "link.csv"));
#endif
    EXPECT_TRUE(sameFile(source, dir / "hard.csv"));
    EXPECT_FALSE(sameFile(source, dir / "other.csv"));
    EXPECT_EQ(removeOldOutput(dir / "other.csv"), RemoveResult::Absent);
    EXPECT_EQ(removeOldOutput(dir / "hard.csv"), RemoveResult::Removed);
    EXPECT_EQ(read(source), "a\r\n");
}

RunRequest requestFor(const fs::path& source, const fs::path& output, OutputMode mode)
{
    RunRequest r;
    r.source = source;
    r.output = output;
    r.mode = mode;
    return r;
}

std::string numberedLines(int count)
{
    std::string bytes;
    for (int i = 1; i <= count; ++i)
        bytes += "line " + std::to_string(i) + ",some text\r\n";
    return bytes;
}

TEST_F(ConversionTest, NothingIsTouchedWhenARunCannotStart)
{
    const fs::path source = write("in.csv", "a,b\r\n");
    fs::create_hard_link(source, dir / "hard.csv");
    const fs::path def = write("cols.def", "CSV\r\n1\r\n");
    fs::create_directory(dir / "folder");
    struct Case {
        fs::path source;
        fs::path output;
        Conversion::Status expected;
    } cases[] = {
        {dir / "gone.csv", dir / "old.csv", Conversion::Status::SourceMissing},
        {dir / "folder", dir / "old.csv", Conversion::Status::SourceNotAFile},
        {source, dir / "hard.csv", Conversion::Status::OutputIsSource},
        {source, dir / "." / "in.csv", Conversion::Status::OutputIsSource},
        {source, def, Conversion::Status::OutputIsNotOutput},
    };
    for (const auto& c : cases)
        for (OutputMode mode : {OutputMode::Append, OutputMode::Replace}) {
            write("old.csv", "old\r\n");
            Conversion conv;
            RunRequest request = requestFor(c.source, c.output, mode);
            request.notOutputs = {def};
            EXPECT_EQ(conv.prepare(request), c.expected) << c.source << " -> " << c.output;
            EXPECT_EQ(read(dir / "old.csv"), "old\r\n");
            EXPECT_EQ(read(source), "a,b\r\n");
            EXPECT_EQ(read(def), "CSV\r\n1\r\n");
            EXPECT_EQ(temporaries(), "");
        }
}

TEST_F(ConversionTest, ASourceThatOpensButCannotBeReadTouchesNothing)
{
#ifdef _WIN32
    GTEST_SKIP() << "no such file on Windows: /proc has no counterpart, and wine lets a locked file be read";
#else
    for (OutputMode mode : {OutputMode::Append, OutputMode::Replace}) {
        write("old.csv", "old\r\n");
        Conversion conv;
        EXPECT_EQ(conv.prepare(requestFor("/proc/self/mem", dir / "old.csv", mode)), Conversion::Status::ReadFailed);
        EXPECT_EQ(read(dir / "old.csv"), "old\r\n");
        EXPECT_EQ(temporaries(), "");
    }
#endif
}

TEST_F(ConversionTest, OneRunPerOutput)
{
    const fs::path source = write("in.csv", numberedLines(500));
    const fs::path output = dir / "out.csv";
    const auto past = std::chrono::steady_clock::time_point::min();
    const ConversionSettings settings{",", ",", mapOf({1})};
    struct Case {
        OutputMode first, second;
        bool outputExists; // before the first run
    } cases[] = {
        {OutputMode::Append, OutputMode::Append, false},   {OutputMode::Append, OutputMode::Replace, false},
        {OutputMode::Replace, OutputMode::Replace, false}, {OutputMode::Replace, OutputMode::Append, true},
        {OutputMode::Replace, OutputMode::Replace, true},
    };
    for (const auto& c : cases) {
        fs::remove(output);
        if (c.outputExists)
            write("out.csv", "earlier\r\n");
        Conversion first;
        ASSERT_EQ(first.prepare(requestFor(source, output, c.first)), Conversion::Status::Running);
        ASSERT_EQ(first.run(settings, past), Conversion::Status::Running); // the output now is open
        const std::string before = read(output);
        Conversion second;
        EXPECT_EQ(second.prepare(requestFor(source, output, c.second)), Conversion::Status::OutputBusy);
        EXPECT_EQ(read(output), before);
        EXPECT_EQ(first.runToEnd(settings), Conversion::Status::Done);
        std::string expected;
        for (int i = 1; i <= 500; ++i)
            expected += "line " + std::to_string(i) + "\r\n";
        EXPECT_EQ(read(output), expected);
    }

    // A window's run into a file a command-line run is about to create is refused at once:
    // the command line claimed the path before writing anything.
    fs::remove(output);
    Conversion replacing;
    ASSERT_EQ(replacing.prepare(requestFor(source, output, OutputMode::Replace)), Conversion::Status::Running);
    Conversion appending;
    EXPECT_EQ(appending.prepare(requestFor(source, output, OutputMode::Append)), Conversion::Status::OutputBusy);
    EXPECT_EQ(replacing.runToEnd({",", "\t", mapOf({2, 1})}), Conversion::Status::Done);
    EXPECT_EQ(read(output).substr(0, 18), "some text\tline 1\r\n");
    EXPECT_EQ(temporaries(), "");
}

// A private output stays private (on Windows: a hidden one stays hidden), however a run
// writes it, and a file lying at the old temporary name is left alone.
TEST_F(ConversionTest, AnOutputKeepsItsPermissions)
{
    const fs::path source = write("in.csv", numberedLines(10));
    const fs::path output = dir / "out.csv";
    write("out.csv.tolvane-tmp", "planted");
    for (OutputMode mode : {OutputMode::Append, OutputMode::Replace}) {
        write("out.csv", "earlier\r\n");
#ifdef _WIN32
        ASSERT_TRUE(SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_HIDDEN));
        const auto kept = [&] { return (GetFileAttributesW(output.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0; };
#else
        fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write);
        const auto kept = [&] {
            return fs::status(output).permissions() == (fs::perms::owner_read | fs::perms::owner_write);
        };
#endif
        Conversion conv;
        ASSERT_EQ(conv.prepare(requestFor(source, output, mode)), Conversion::Status::Running);
        ASSERT_EQ(conv.runToEnd({",", ",", mapOf({1})}), Conversion::Status::Done);
        EXPECT_TRUE(kept()) << static_cast<int>(mode);
        EXPECT_EQ(read(output).substr(0, 8), "line 1\r\n");
    }
    EXPECT_EQ(read(dir / "out.csv.tolvane-tmp"), "planted");
}

TEST_F(ConversionTest, ACancelledRunTakesBackWhatItWrote)
{
    using S = Conversion::Status;
    const fs::path source = write("in.csv", numberedLines(500));
    const auto past = std::chrono::steady_clock::time_point::min();
    const ConversionSettings settings{",", ",", mapOf({1})};
    const auto slice = [&](Conversion& conv) {
        ASSERT_EQ(conv.run(settings, past), S::Running);
        ASSERT_TRUE(conv.flush());
    };

    // A window's run into a file it creates, then one it appends to, then one whose name
    // is given to another file once the run has left it, then through a link.
    write("kept.csv", "kept\r\n");
    {
        Conversion conv;
        ASSERT_EQ(conv.prepare(requestFor(source, dir / "new.csv", OutputMode::Append)), S::Running);
        slice(conv);
        for (const char* next : {"kept.csv", "moved.csv", "last.csv"}) {
            ASSERT_EQ(conv.setOutput(dir / next), S::Running);
            slice(conv);
        }
        ASSERT_FALSE(read(dir / "new.csv").empty());
        fs::rename(dir / "moved.csv", dir / "elsewhere.csv");
        write("moved.csv", "another file\r\n");
#ifndef _WIN32
        fs::create_symlink(dir / "target.csv", dir / "link.csv");
        ASSERT_EQ(conv.setOutput(dir / "link.csv"), S::Running);
        slice(conv);
#endif
        EXPECT_EQ(conv.cancel(), S::Cancelled);
        EXPECT_EQ(conv.run(settings, past), S::Cancelled);
    }
    EXPECT_FALSE(fs::exists(dir / "new.csv"));
    EXPECT_FALSE(fs::exists(dir / "last.csv"));
    EXPECT_EQ(read(dir / "kept.csv"), "kept\r\n");
    EXPECT_EQ(read(dir / "moved.csv"), "another file\r\n");
    EXPECT_FALSE(read(dir / "elsewhere.csv").empty()); // no longer under the name the run wrote
#ifndef _WIN32
    EXPECT_FALSE(fs::exists(dir / "target.csv"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
#endif

    // A command line's run: the temporary file goes, the earlier output stays.
    write("old.csv", "old\r\n");
    {
        Conversion conv;
        ASSERT_EQ(conv.prepare(requestFor(source, dir / "old.csv", OutputMode::Replace)), S::Running);
        slice(conv);
        ASSERT_NE(temporaries(), "");
        EXPECT_EQ(conv.cancel(), S::Cancelled);
    }
    EXPECT_EQ(read(dir / "old.csv"), "old\r\n");
    EXPECT_EQ(temporaries(), "");
}

#ifndef _WIN32
// Files may grow only to `bytes` while it lives: a write beyond fails as on a full disk.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};
#endif

TEST_F(ConversionTest, AFailedWriteLeavesWholeLinesAndCountsThem)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no limit on a file's size to make a write fail part way";
#else
    const std::string longLine = "head," + std::string(3 << 20, 'x');
    // LF line ends where items hold LF too: each output line holds two.
    std::string lfInItems;
    for (int i = 1; i <= 200000; ++i)
        lfInItems += "line " + std::to_string(i) + ",\"some\ntext\"\r\n";
    const OutputForm lf{OutputEncoding::AsSource, LineEnd::Lf};
    struct Case {
        std::string source;
        rlim_t limit;
        bool skip;
        OutputForm form = {};
    } cases[] = {
        {numberedLines(200000), 1000003, false},
        {numberedLines(200000), 2500001, true},
        {numberedLines(10) + longLine + "\r\n" + numberedLines(10), 2 << 20, false}, // inside a long line
        {longLine + "\r\n", 1 << 20, false},                                         // nothing whole
        {lfInItems, 1000003, false, lf},
        {numberedLines(200000), 1000003, false, lf},
    };
    for (const auto& c : cases) {
        const fs::path source = write("in.csv", c.source);
        const fs::path output = dir / "out.csv";
        for (OutputMode mode : {OutputMode::Append, OutputMode::Replace}) {
            fs::remove(output);
            Conversion conv({.skipFirstLine = c.skip});
            ASSERT_EQ(conv.prepare(requestFor(source, output, mode)), Conversion::Status::Running);
            Conversion::Status status;
            {
                FileSizeLimit limit(c.limit);
                status = conv.runToEnd({",", ",", mapOf({2, 1}), c.form});
            }
            EXPECT_EQ(status, Conversion::Status::WriteFailed);
            if (mode == OutputMode::Replace) {
                EXPECT_FALSE(fs::exists(output));
                EXPECT_EQ(temporaries(), "");
                continue;
            }
            const std::string written = fs::exists(output) ? read(output) : "";
            ASSERT_LE(written.size(), c.limit);
            // Whole lines only, exactly as many as the run says, and the right ones.
            const std::string eol = c.form.lineEnd == LineEnd::Lf ? "\n" : "\r\n";
            EXPECT_TRUE(written.empty() || written.ends_with(eol));
            std::int64_t lines = 0;
            for (std::size_t at = written.find(eol); at != std::string::npos; at = written.find(eol, at + eol.size()))
                ++lines;
            if (c.source == lfInItems) {
                lines /= 2;
                std::string whole;
                for (int i = 1; i <= lines; ++i)
                    whole += "\"some\ntext\",line " + std::to_string(i) + "\n";
                EXPECT_EQ(written.size(), whole.size());
                EXPECT_TRUE(written == whole);
            }
            EXPECT_EQ(conv.linesWritten(), lines);
            EXPECT_EQ(conv.shownCount(), lines + (c.skip ? 1 : 0));
            if (lines > 0 && c.source != lfInItems) {
                EXPECT_EQ(written.substr(0, 21), (c.skip ? "some text,line 2" : "some text,line 1") + eol +
                                                     std::string("some").substr(0, 5 - eol.size()));
            }
        }
    }
#endif
}

TEST_F(ConversionTest, ALineTooLongStopsAfterTheWholeLinesBeforeIt)
{
    const fs::path source = write("in.csv", "a,1\r\nb,2\r\n" + std::string(300, 'z') + "\r\nc,3\r\n");
    Conversion conv({.blockSize = 64, .maxLine = 100});
    ASSERT_EQ(conv.prepare(requestFor(source, dir / "out.csv", OutputMode::Append)), Conversion::Status::Running);
    EXPECT_EQ(conv.runToEnd({",", ",", mapOf({2})}), Conversion::Status::LineTooLong);
    EXPECT_EQ(conv.stoppedAtLine(), 3);
    EXPECT_EQ(read(dir / "out.csv"), "1\r\n2\r\n");
}

} // namespace
