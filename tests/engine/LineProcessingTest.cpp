#include "engine/Detection.h"
#include "engine/LineProcessing.h"
#include "support/Out1Line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace engine;

namespace {

TEST(isNumeric, AcceptsNumbersWhateverTheLocale)
{
    const std::pair<const char*, bool> cases[] = {
        {"12", true},   {" 35 ", true}, {"-7", true},      {"+7", true},     {"1,234", true},     {"1,234.5", true},
        {"3.", true},   {".5", true},   {"1e3", true},     {"1.5E-3", true}, {"\t4\t", true},     {"", false},
        {" ", false},   {"abc", false}, {"\"12\"", false}, {"1e", false},    {",12", false},      {"12,", false},
        {"1 2", false}, {"-", false},   {".", false},      {"12abc", false}, {"\x82\x50", false},
    };
    for (const auto& [text, numeric] : cases)
        EXPECT_EQ(isNumeric(text), numeric) << "[" << text << "]";
}

TEST(SetINData, DescribesEveryItemAnEmptyOneIncluded)
{
    INData table;
    SetINData(",", "12,abc, 35 ,", 4, table);
    ASSERT_EQ(table.size(), 5u);
    const int attrs[] = {0, 2, 1, 2, 1};
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(table[i].iNo, i);
        EXPECT_EQ(table[i].iAttr, attrs[i]) << i;
    }
    // An empty item in the middle hides no later item.
    SetINData(",", "a,,c", 3, table);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[2].iNo, 2);
    EXPECT_EQ(table[2].iAttr, 1);
    EXPECT_EQ(table[3].iNo, 3);
    // Nothing of an earlier table survives.
    SetINData(",", "5", 1, table);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].iAttr, 2);
}

std::vector<std::string_view> viewsOf(const LineItems& items)
{
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < items.size(); ++i)
        out.push_back(items[i]);
    return out;
}

TEST(Proc1Line, ListsEveryItemUpToTheCount)
{
    auto rows = Proc1Line("a,,c", ",", 3);
    EXPECT_EQ(viewsOf(rows), (std::vector<std::string_view>{"a", "", "c"}));
    // A count larger than the line's items (as 検出 can give) repeats the last item.
    rows = Proc1Line("\"a,b\",c", ",", 3);
    EXPECT_EQ(viewsOf(rows), (std::vector<std::string_view>{"\"a,b\"", "c", "c"}));
}

// The stored list and the one-scan walk give item No exactly as fGetItem does, for counts
// below, at and beyond the line's own.
TEST(Proc1Line, ListAndWalkAgreeWithFGetItem)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a,,c,", ","},
        {"\"x,y\",z,\"open,rest", ","},
        {"\x83\x5C|\x83\x7C||\x95\x5C", "|"}, // ソ|ポ||表: trail bytes are no delimiters
        // Kept on one line: a hex escape ends only where its literal does.
        // clang-format off
        {"a\x81\x41\x81\x41" "b", "\x81\x41"},            // a、、b: a double-byte delimiter
        // clang-format on
        {"a\"b\"c\"d", "\""},
        {"", "\t"},
        {"a,b", ""},
    };
    for (const auto& [line, d] : cases) {
        const std::int64_t count = countDelimiter(line, d) + 1;
        for (const std::int64_t rows : {count - 1, count, count + 2}) {
            const auto listed = Proc1Line(line, d, rows);
            std::vector<std::string_view> walked;
            forEachListedItem(line, d, rows, [&](std::int64_t No, std::string_view item) {
                EXPECT_EQ(No, static_cast<std::int64_t>(walked.size()) + 1);
                walked.push_back(item);
            });
            ASSERT_EQ(listed.size(), static_cast<std::size_t>(std::max<std::int64_t>(rows, 0))) << line;
            ASSERT_EQ(walked.size(), listed.size()) << line;
            for (std::size_t i = 0; i < listed.size(); ++i) {
                const std::string_view want = fGetItem(line, d, static_cast<std::int64_t>(i) + 1);
                EXPECT_EQ(listed[i], want) << "[" << line << "] " << rows << " rows, item " << i + 1;
                EXPECT_EQ(walked[i], want) << "[" << line << "] " << rows << " rows, item " << i + 1;
            }
        }
    }
}

ColumnMap mapOf(std::initializer_list<int> numbers)
{
    ColumnMap map(1);
    for (int n : numbers)
        map.push_back({0, 0, n});
    return map;
}

class Out1LineTest : public ::testing::Test {
protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("tolvane-out1line-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::path out = dir / "out.csv";
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string bytes() const
    {
        std::ifstream in(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(Out1LineTest, WritesTheChosenItemsExactly)
{
    struct Case {
        std::string line;
        ColumnMap map;
        std::string outDeli;
        std::string expected;
    } cases[] = {
        {"a,b,c", mapOf({3, 1, -1}), ",", "c,a\r\n"},
        {"a,b,c", mapOf({3, 1, -1}), "\t", "c\ta\r\n"},
        {"a,,c", mapOf({2}), ",", "\r\n"},                  // only column empty: an empty line
        {",,", mapOf({1, 2}), ",", ",\r\n"},                // empty items keep their delimiters
        {"a,b", mapOf({5, 1}), ",", "b,a\r\n"},             // short line repeats its last item
        {"\"x,y\",z", mapOf({1, 2}), ",", "\"x,y\",z\r\n"}, // quotes kept
        {"\x83\x7C|\x83\x5C", mapOf({2, 1}), ",", "\x83\x5C,\x83\x7C\r\n"},
        {std::string("\xFF\x00,b", 4), mapOf({1, 1}), ",", std::string("\xFF\x00,\xFF\x00\r\n", 7)},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(out);
        std::string sWork = "old";
        const std::string inDeli = c.line.find('|') != std::string::npos ? "|" : ",";
        EXPECT_TRUE(Out1Line(c.line, c.outDeli, inDeli, c.map, sWork, out));
        EXPECT_EQ(bytes(), c.expected) << c.line;
        EXPECT_EQ(sWork + "\r\n", c.expected);

        // The one-split builder gives the same bytes.
        std::string built;
        ItemSplitter splitter;
        EXPECT_TRUE(buildOutputLine(c.line, inDeli, c.map, c.outDeli, splitter, built));
        EXPECT_EQ(built + "\r\n", c.expected);
    }
}

TEST_F(Out1LineTest, AMapOfOnlyMinusOneWritesNothing)
{
    std::string sWork = "kept";
    EXPECT_FALSE(Out1Line("a,b", ",", ",", mapOf({-1, -1}), sWork, out));
    EXPECT_EQ(sWork, "kept");
    EXPECT_FALSE(std::filesystem::exists(out));
    std::string built = "x";
    ItemSplitter splitter;
    EXPECT_FALSE(buildOutputLine("a,b", ",", mapOf({-1}), ",", splitter, built));
    EXPECT_EQ(built, "x");
}

TEST_F(Out1LineTest, AppendsLineAfterLine)
{
    std::string sWork;
    Out1Line("a,b", ",", ",", mapOf({2}), sWork, out);
    Out1Line("c,d", ",", ",", mapOf({2}), sWork, out);
    EXPECT_EQ(bytes(), "b\r\nd\r\n");
}

} // namespace
