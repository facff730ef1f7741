// The benchmark trusts the generator in two ways: its files must exercise the hard
// cases, and its expected output must be right. Both are checked here against the
// engine's own reading of the lines, which was written independently of the generator.

#include "SourceGenerator.h"

#include "engine/Conversion.h"
#include "engine/Cp932Chars.h"
#include "engine/Items.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> itemsOf(const std::string& line, const std::vector<bench::ItemRange>& ranges)
{
    std::vector<std::string> items;
    for (const auto& r : ranges)
        items.push_back(line.substr(r.offset, r.length));
    return items;
}

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

double averageLineBytes(int columns, int lines)
{
    bench::SourceGenerator gen(columns, 7, ',');
    std::string line;
    std::vector<bench::ItemRange> ranges;
    double total = 0;
    for (int i = 0; i < lines; ++i) {
        gen.next(line, ranges);
        total += static_cast<double>(line.size() + 2);
    }
    return total / lines;
}

TEST(SourceGenerator, SameSeedSameLinesOtherSeedOtherLines)
{
    bench::SourceGenerator a(12, 5, ','), b(12, 5, ','), c(12, 6, ',');
    std::string la, lb, lc;
    std::vector<bench::ItemRange> ra, rb, rc;
    int differing = 0;
    for (int i = 0; i < 200; ++i) {
        a.next(la, ra);
        b.next(lb, rb);
        c.next(lc, rc);
        ASSERT_EQ(la, lb);
        differing += la != lc;
    }
    EXPECT_GT(differing, 190);
}

TEST(SourceGenerator, EngineSplitsEveryLineIntoTheItemsWritten)
{
    using enum bench::Layout;
    for (const char d : {',', '|', '\t'}) {
        for (const auto& [columns, layout] :
             {std::pair{12, Records}, std::pair{200, Records}, std::pair{3, ShortLines}}) {
            bench::SourceGenerator gen(columns, 11, d, layout);
            engine::ItemSplitter splitter;
            std::string line;
            std::vector<bench::ItemRange> ranges;
            for (int i = 0; i < 1500; ++i) {
                gen.next(line, ranges);
                splitter.split(line, std::string(1, d));
                ASSERT_EQ(splitter.count(), static_cast<std::size_t>(columns))
                    << "delimiter " << int(d) << ": " << line;
                const auto items = itemsOf(line, ranges);
                for (int no = 1; no <= columns; ++no)
                    ASSERT_EQ(splitter.item(no), items[static_cast<std::size_t>(no - 1)]);
            }
        }
    }
}

TEST(SourceGenerator, ItemsDoNotDependOnTheDelimiter)
{
    bench::SourceGenerator comma(12, 3, ','), bar(12, 3, '|'), tab(12, 3, '\t');
    std::string lc, lb, lt;
    std::vector<bench::ItemRange> rc, rb, rt;
    for (int i = 0; i < 500; ++i) {
        comma.next(lc, rc);
        bar.next(lb, rb);
        tab.next(lt, rt);
        ASSERT_EQ(itemsOf(lc, rc), itemsOf(lb, rb));
        ASSERT_EQ(itemsOf(lc, rc), itemsOf(lt, rt));
    }
}

TEST(SourceGenerator, LinesHoldEveryHardCase)
{
    bench::SourceGenerator gen(12, 1, '|');
    std::string line;
    std::vector<bench::ItemRange> ranges;
    int empty = 0, quotedDelimiter = 0, trail5C = 0, trail7C = 0, halfWidth = 0, numbers = 0;
    for (int i = 0; i < 2000; ++i) {
        gen.next(line, ranges);
        for (const std::string& item : itemsOf(line, ranges)) {
            empty += item.empty();
            quotedDelimiter += item.size() > 2 && item.front() == '"' && item.find('|') != std::string::npos;
            numbers += !item.empty() && item.find_first_not_of("-.0123456789") == std::string::npos;
            for (std::size_t at = 0; at < item.size();) {
                const std::size_t len = engine::charLength(item, at);
                const auto first = static_cast<unsigned char>(item[at]);
                if (len == 2) {
                    trail5C += item[at + 1] == 0x5C;
                    trail7C += item[at + 1] == 0x7C;
                } else {
                    halfWidth += first >= 0xA1 && first <= 0xDF;
                }
                at += len;
            }
        }
    }
    for (const int seen : {empty, quotedDelimiter, trail5C, trail7C, halfWidth, numbers})
        EXPECT_GT(seen, 100);
}

TEST(SourceGenerator, LineLengthsGiveTheIntendedFileSizes)
{
    const double narrow = averageLineBytes(12, 20000);
    EXPECT_GT(narrow, 120);
    EXPECT_LT(narrow, 140);
    const double wide = averageLineBytes(200, 2000);
    EXPECT_GT(wide, 1500);
    EXPECT_LT(wide, 1700);
}

TEST(SourceGenerator, ShortLinesHoldANumberTwoOrThreeCharactersAndANumberInTwentyToTwentyFiveBytes)
{
    bench::SourceGenerator gen(0, 1, ',', bench::Layout::ShortLines);
    std::string line;
    std::vector<bench::ItemRange> ranges;
    std::vector<int> perLength(26);
    int doubleByte = 0, halfWidth = 0, trailByte = 0;
    double total = 0;
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i) {
        gen.next(line, ranges);
        const std::size_t bytes = line.size() + 2; // with CR LF
        ASSERT_GE(bytes, 20u) << line;
        ASSERT_LE(bytes, 25u) << line;
        ++perLength[bytes];
        total += static_cast<double>(bytes);
        const auto items = itemsOf(line, ranges);
        ASSERT_EQ(items.size(), 3u);
        for (const std::string& number : {items[0], items[2]})
            ASSERT_TRUE(number.size() >= 4 && number[0] != '0' &&
                        number.find_first_not_of("0123456789") == std::string::npos)
                << line;
        int characters = 0;
        for (std::size_t at = 0; at < items[1].size(); ++characters) {
            const std::size_t len = engine::charLength(items[1], at);
            doubleByte += len == 2;
            halfWidth += len == 1 && static_cast<unsigned char>(items[1][at]) >= 0xA1;
            trailByte += len == 2 && (items[1][at + 1] == 0x5C || items[1][at + 1] == 0x7C);
            at += len;
        }
        ASSERT_TRUE(characters == 2 || characters == 3) << line;
    }
    for (std::size_t bytes = 20; bytes <= 25; ++bytes)
        EXPECT_GT(perLength[bytes], kLines / 10) << bytes;
    EXPECT_NEAR(total / kLines, 22.5, 0.2);
    for (const int seen : {doubleByte, halfWidth, trailByte})
        EXPECT_GT(seen, kLines / 10);
}

TEST(SourceGenerator, ExpectedOutputIsWhatTheEngineWrites)
{
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("tolvane-gen-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    bench::GenerateRequest request;
    request.lines = 3000;
    request.columns = 12;
    request.seed = 9;
    request.delimiter = '|';
    request.out = dir / "source.txt";
    request.expect = dir / "expected";
    // 13 is beyond the last item, which conversion answers with the last one.
    request.expectColumns = {3, 1, 12, 13};
    request.expectDelimiter = '\t';
    ASSERT_EQ(bench::generateFiles(request), "");

    const std::string source = readAll(request.out);
    std::size_t lineEnds = 0;
    for (std::size_t at = source.find('\n'); at != std::string::npos; at = source.find('\n', at + 1)) {
        ASSERT_EQ(source[at - 1], '\r');
        ++lineEnds;
    }
    EXPECT_EQ(lineEnds, 3000u);
    EXPECT_EQ(source.substr(source.size() - 2), "\r\n");

    engine::ColumnMap map(5);
    for (std::size_t i = 1; i < map.size(); ++i)
        map[i].iItemNo = request.expectColumns[i - 1];
    {
        engine::Conversion conv;
        ASSERT_TRUE(conv.openSource(request.out));
        conv.setOutput(dir / "converted");
        ASSERT_EQ(conv.runToEnd({"|", "\t", map}), engine::Conversion::Status::Done);
    }
    EXPECT_EQ(readAll(dir / "converted"), readAll(request.expect));
    std::filesystem::remove_all(dir);
}

} // namespace
