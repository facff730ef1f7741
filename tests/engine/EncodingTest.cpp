#include "engine/Conversion.h"
#include "engine/Detection.h"
#include "engine/Encoding.h"
#include "engine/FirstLine.h"
#include "engine/Items.h"
#include "support/Models.h"

#include "Reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace engine;
namespace fs = std::filesystem;

namespace {

// 'あ' is E3 81 82, '、' E3 80 81, '表' E8 A1 A8, 'ソ' E3 82 BD: no byte of them is
// ASCII, so "|" (7C) and "\" (5C) after them are delimiters, not trail bytes.
const std::string A = "\xE3\x81\x82", TOUTEN = "\xE3\x80\x81", HYO = "\xE8\xA1\xA8", SO = "\xE3\x82\xBD";

TEST(Encoding, DecidedOnceFromTheFirstBytes)
{
    const std::string cp932Hyo = "\x95\x5C"; // 表 in code page 932
    // あ whose first two bytes end the probe.
    const std::string probeCut = A + std::string(kEncodingProbe - 5, 'a') + A;
    const struct {
        std::string start; // more than kEncodingProbe bytes, or the whole source
        Encoding expected;
        bool bom;
    } cases[] = {
        // Kept on one line: a hex escape ends only where its literal does.
        // clang-format off
        {"\xEF\xBB\xBF" "a,b\r\n", Encoding::Utf8, true},
        // clang-format on
        {"\xEF\xBB\xBF", Encoding::Utf8, true},
        {"id," + A + HYO + "\r\n1,2\r\n", Encoding::Utf8, false},
        {"a,b\r\n1,2\r\n", Encoding::Cp932, false}, // ASCII: either way the same
        {"a,b\r\n" + cp932Hyo + ",x\r\n", Encoding::Cp932, false},
        // Half-width ﾃｽ (C3 BD) is valid UTF-8 for two bytes; what follows is not.
        {"\xC3\xBD,\x83\x5C\r\n", Encoding::Cp932, false},
        {"a," + A + ",\xFF\r\n", Encoding::Cp932, false},             // one invalid byte
        {probeCut, Encoding::Utf8, false},                            // cut by the probe, the source goes on
        {probeCut.substr(0, kEncodingProbe), Encoding::Cp932, false}, // the source ends there
        {"a," + A + A.substr(0, 2), Encoding::Cp932, false},          // cut for good
        {"\xED\xA0\x80", Encoding::Cp932, false},                     // a surrogate is no character
    };
    for (const auto& c : cases) {
        const SourceEncoding e = detectEncoding(c.start);
        EXPECT_EQ(e.encoding, c.expected) << c.start.substr(0, 40);
        EXPECT_EQ(e.bom, c.bom) << c.start.substr(0, 40);
    }
    // What the user chose wins; a mark under a chosen code page 932 is data.
    EXPECT_EQ(detectEncoding("a,b", EncodingChoice::Utf8).encoding, Encoding::Utf8);
    // Kept on one line: a hex escape ends only where its literal does.
    // clang-format off
    EXPECT_EQ(detectEncoding("\xEF\xBB\xBF" "a", EncodingChoice::Cp932).encoding, Encoding::Cp932);
    EXPECT_FALSE(detectEncoding("\xEF\xBB\xBF" "a", EncodingChoice::Cp932).bom);
    // clang-format on
}

// The same first 64 KiB decide, whether a file gives them in one read or a pipe a few bytes
// at a time: for a conversion, and for the first line the window and detect list.
TEST(Encoding, DecidedOnTheFirst64KiBHoweverTheyArrive)
{
    // Given in pieces of 1, 2, 3, 4 and 5 bytes, this line ends with the fifth read.
    const std::string head = "id\\name\\memos\r\n";
    const auto padTo = [](std::string s, std::size_t size) {
        s.resize(size, 'a');
        return s;
    };
    const struct {
        const char* what;
        std::string source;
        Encoding expected;
    } cases[] = {
        {"UTF-8 after a line of ASCII", head + A + "\\b\r\n", Encoding::Utf8},
        {"ends inside a character", head + A + A.substr(0, 2), Encoding::Cp932},
        {"a character cut by the probe", padTo(head + A, kEncodingProbe - 1) + A + "\r\n", Encoding::Utf8},
        {"cut where the probe and the source end", padTo(head + A, kEncodingProbe - 2) + A.substr(0, 2),
         Encoding::Cp932},
        {"UTF-8 beyond the probe only", padTo(head, kEncodingProbe) + A, Encoding::Cp932},
    };
    const fs::path dir = fs::temp_directory_path() / ("tolvane-probe-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    for (const auto& c : cases) {
        PieceSource pipe(c.source);
        Conversion conversion;
        conversion.openSource(pipe);
        std::string_view first;
        ASSERT_TRUE(conversion.peekFirstLine(first));
        EXPECT_EQ(conversion.sourceEncoding().encoding, c.expected) << c.what << ", in pieces";
        std::ofstream(dir / "in.csv", std::ios::binary) << c.source;
        std::string line;
        SourceEncoding read;
        ASSERT_EQ(readFirstLine(dir / "in.csv", line, EncodingChoice::Auto, read), FileProblem::None);
        EXPECT_EQ(read.encoding, c.expected) << c.what << ", a file";
    }
    fs::remove_all(dir);
    // "\\" after あ splits only in UTF-8.
    PieceSource pipe(cases[0].source);
    std::ostringstream out;
    Conversion conversion;
    conversion.openSource(pipe);
    conversion.setOutput(out);
    EXPECT_EQ(conversion.runToEnd({"\\", ",", {{0, 0, 0}, {0, 0, 2}}}), Conversion::Status::Done);
    EXPECT_EQ(out.str(), "name\r\nb\r\n");
}

TEST(Encoding, Utf8LinesSplitAsThePlainModelSays)
{
    const std::string pieces[] = {A, TOUTEN, HYO, SO, "\"", ",", "\t", "|", "\\", "x", " ", "\xFF", "\xE3\x81"};
    const std::string delimiters[] = {",", "\t", "|", "\\", TOUTEN};
    std::mt19937 random(7);
    ItemSplitter splitter;
    for (int round = 0; round < 400; ++round) {
        std::string line;
        const int n = static_cast<int>(random() % 90);
        for (int k = 0; k < n; ++k)
            line += pieces[random() % std::size(pieces)];
        for (const std::string& d : delimiters) {
            // The plain model: walk UTF-8 characters (a byte that starts nothing valid stands
            // alone), a quote flips the quote state, the delimiter splits outside quotes.
            const bool utf8 = true;
            const std::vector<std::string_view> expected = model::items(line, d, utf8);
            splitter.split(line, d, {.enc = Encoding::Utf8});
            ASSERT_EQ(splitter.count(), expected.size()) << line << " by " << d;
            for (std::size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(splitter.item(static_cast<std::int64_t>(i + 1)), expected[i]) << line << " by " << d;
            EXPECT_EQ(countDelimiter(line, d, Encoding::Utf8), static_cast<std::int64_t>(expected.size()) - 1);
            EXPECT_EQ(fGetItem(line, d, 2, Encoding::Utf8), expected.size() > 1 ? expected[1] : expected[0]);
        }
    }
    // The same bytes read as code page 932 take "|" after あ's last byte for a trail byte.
    EXPECT_EQ(countDelimiter(A + "|b", "|", Encoding::Cp932), 0);
    EXPECT_EQ(countDelimiter(A + "|b", "|", Encoding::Utf8), 1);
    // A delimiter that is no UTF-8 character never matches.
    // Kept on one line: a hex escape ends only where its literal does.
    // clang-format off
    EXPECT_EQ(countDelimiter("a\x81" "b", "\x81", Encoding::Utf8), 0);
    // clang-format on
}

// A source with a byte order mark: the mark is no part of item 1, wherever item 1 goes,
// and the output starts with a mark of its own; without a mark the output has none.
TEST(Encoding, TheByteOrderMarkIsNotData)
{
    const fs::path dir = fs::temp_directory_path() / ("tolvane-encoding-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const auto convert = [&](const std::string& source, bool skipFirst, std::vector<std::int32_t> columns) {
        std::ofstream(dir / "in.csv", std::ios::binary) << source;
        Conversion conversion({.skipFirstLine = skipFirst});
        RunRequest request;
        request.source = dir / "in.csv";
        request.output = dir / "out.csv";
        EXPECT_EQ(conversion.prepare(request), Conversion::Status::Running);
        ConversionSettings settings{"|", ",", {{0, 0, 0}}};
        for (const std::int32_t c : columns)
            settings.map.push_back({0, 0, c});
        EXPECT_EQ(conversion.runToEnd(settings), Conversion::Status::Done);
        std::ifstream in(dir / "out.csv", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::string source = bom + A + "|b|" + HYO + "\r\n1|" + SO + "|3\r\n";
    EXPECT_EQ(convert(source, false, {2, 1, 3}), bom + "b," + A + "," + HYO + "\r\n" + SO + ",1,3\r\n");
    EXPECT_EQ(convert(source, true, {1}), bom + "1\r\n");
    EXPECT_EQ(convert(source.substr(3), false, {2, 1}), "b," + A + "\r\n" + SO + ",1\r\n");
    fs::remove_all(dir);
}

// Whole blocks of lines at a time against the line-by-line model: random lines of quotes,
// CR, LF, CR LF, delimiters and double-byte characters, read in blocks of many sizes so
// that lines, end marks and characters straddle blocks and 64-byte chunks (after a lead of
// 64 KiB: the first 64 KiB are held whole).
TEST(Encoding, WholeBlocksAgreeWithTheLineByLineModel)
{
    const std::string pieces[] = {"a",        "bc",
                                  ",",        "\t",
                                  "|",        "\"",
                                  "\r\n",     "\r\n",
                                  "\r",       "\n",
                                  "\x95\x5C", "\x83\x7C",
                                  A,          "0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuv"};
    // Converts text in blocks of `block` bytes and compares with the model's lines.
    const auto check =
        [&](const std::string& text, const std::string& delimiter, Encoding enc,
            const std::vector<std::int32_t>& columns, std::size_t block, int threads, VectorPath path) {
            std::string expected;
            // The model's lines: CR LF and a lone CR end one; a lone LF too when the first 64 KiB
            // hold an LF and no CR.
            const std::vector<std::string_view> lines = model::lines(text);
            for (const std::string_view line : lines) {
                for (std::size_t c = 0; c < columns.size(); ++c)
                    expected += (c ? ";" : "") + std::string(fGetItem(line, delimiter, columns[c], enc));
                expected += "\r\n";
            }
            std::istringstream in(text);
            std::ostringstream out;
            {
                Conversion conversion({.blockSize = block});
                conversion.setThreads(threads);
                conversion.setParallelFrom(0); // two threads split any held block, however small
                conversion.setVectorPath(path);
                conversion.setEncoding(enc == Encoding::Utf8 ? EncodingChoice::Utf8 : EncodingChoice::Cp932);
                conversion.openSource(in);
                conversion.setOutput(out);
                ConversionSettings settings{delimiter, ";", {{0, 0, 0}}};
                for (const std::int32_t c : columns)
                    settings.map.push_back({0, 0, c});
                ASSERT_EQ(conversion.runToEnd(settings), Conversion::Status::Done);
                ASSERT_EQ(conversion.count(), static_cast<std::int64_t>(lines.size())) << "block " << block;
                ASSERT_EQ(conversion.shownCount(), conversion.count());
            }
            ASSERT_EQ(out.str(), expected)
                << "block " << block << " threads " << threads << " path " << pathName(path) << " text ending "
                << ::testing::PrintToString(text.substr(text.size() - std::min<std::size_t>(text.size(), 2000)));
        };
    std::vector<VectorPath> paths;
    for (const VectorPath p : {VectorPath::Plain, VectorPath::Sse2, VectorPath::Avx2, VectorPath::Avx512})
        if (pathRuns(p))
            paths.push_back(p);
    const std::vector<std::vector<std::int32_t>> columnSets = {{3, 1}, {1}, {0, 2, 2}, {7}};
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int n = static_cast<int>(random() % 400);
        for (int k = 0; k < n; ++k)
            text += pieces[random() % std::size(pieces)];
        if (round % 5 == 4) // a Unix file now and then
            std::erase(text, '\r');
        text = lead(round % 4 == 1 ? 1 + round / 4 % 3 : 0) + text;
        const std::string delimiter = round % 3 == 0 ? "\t" : round % 3 == 1 ? "|" : ",";
        const Encoding enc = round % 2 ? Encoding::Utf8 : Encoding::Cp932;
        const auto& columns = columnSets[random() % columnSets.size()];
        int config = 0;
        for (const auto& [block, threads] : {std::pair<std::size_t, int>{2, 1},
                                             {3, 1},
                                             {63, 1},
                                             {64, 1},
                                             {65, 1},
                                             {200, 1},
                                             {4096, 1},
                                             {63, 2},
                                             {65, 2},
                                             {200, 2},
                                             {4096, 2}}) {
            // Every vector path meets every block size and thread count over the rounds.
            check(text, delimiter, enc, columns, block, threads, paths[(round + config++) % paths.size()]);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
    // A line that starts before the worker's part ends and runs past the block, longer than
    // the room kept in front of the block read ahead: it is joined to that block whole.
    std::string text;
    for (int i = 0; i < 8500; ++i)
        text += "a,b," + std::to_string(i) + ",\"q,\r\n\",d\r\n";
    text += "x," + std::string(200 * 1024, 'L') + ",y\r\n";
    for (int i = 0; i < 3000; ++i)
        text += std::to_string(i) + ",e,f\r\n";
    for (const VectorPath path : paths)
        check(text, ",", Encoding::Cp932, {4, 1, 3}, 256 * 1024, 2, path);
    // A line held whole in a block whose columns could add up to more than an output line
    // gathered at once: measured first, then gathered, or written piece by piece.
    const std::string wide = "a,b\r\nx," + std::string(400 * 1024, 'L') + ",y\r\nc,d\r\n";
    for (const auto& columns : {std::vector<std::int32_t>{1, 3, 4}, {2, 2, 2}})
        for (const int threads : {1, 2})
            check(wide, ",", Encoding::Cp932, columns, 1 << 20, threads, paths.back());
}

} // namespace
