#include "engine/Detection.h"
#include "support/Models.h"

#include <gtest/gtest.h>

using namespace engine;

namespace {

const std::string PO = "\x83\x7C";     // ポ
const std::string SO = "\x83\x5C";     // ソ
const std::string TOUTEN = "\x81\x41"; // 、

DelimiterTable defaults()
{
    DelimiterTable t;
    t.resetToDefaults();
    return t;
}

struct Detected {
    std::string result;
    std::string sInDeli;
    std::int64_t iItemCount;
};

Detected detect(const std::string& line, const DelimiterTable& table)
{
    Detected d{"", "unset", -99};
    d.result = fGetDeli(line, table, d.sInDeli, d.iItemCount);
    return d;
}

TEST(DelimiterTable, StartsWithCommaTabAndSpare)
{
    DelimiterTable t = defaults();
    ASSERT_EQ(t.lastIndex(), 2);
    EXPECT_EQ(t[0].delimiter, ",");
    EXPECT_EQ(t[0].name, "\x83\x4A\x83\x93\x83\x7D");
    EXPECT_EQ(t[1].delimiter, "\t");
    EXPECT_EQ(t[1].name, "TAB");
    EXPECT_TRUE(t[2].delimiter.empty() && t[2].name.empty());
}

TEST(DelimiterTable, AddUsesTheSpareAndRemoveKeepsOneCandidate)
{
    DelimiterTable t = defaults();
    t.add("|", "bar");
    ASSERT_EQ(t.lastIndex(), 3);
    EXPECT_EQ(t[2].delimiter, "|");
    EXPECT_TRUE(t[3].delimiter.empty());
    EXPECT_TRUE(t.remove(0));
    EXPECT_EQ(t[0].delimiter, "\t");
    EXPECT_EQ(t[1].delimiter, "|");
    EXPECT_EQ(t.lastIndex(), 2);
    EXPECT_FALSE(t.remove(2)); // the spare is no candidate
    EXPECT_TRUE(t.remove(1));
    EXPECT_FALSE(t.remove(0)); // the last candidate stays
    EXPECT_EQ(t.lastIndex(), 1);
    EXPECT_EQ(t[0].delimiter, "\t");
}

TEST(fGetDeli, PicksTheMostFrequentCandidateOutsideQuotes)
{
    struct Case {
        std::string line;
        std::string delimiter;
        std::int64_t items;
    } cases[] = {
        {"a;b;c", ",", 1},         // ';' is no candidate
        {"a,b\tc,d\te", ",", 3},   // a tie goes to the lower index
        {"\"a,b,c\"\td", "\t", 2}, // commas inside quotes do not count
        {"", ",", 1},              // nothing found: entry 0
        {"a\tb\tc,d", "\t", 3},
        {"\"a\tb\tc,d", ",", 1},       // odd quote: everything after it is quoted
        {"x,\"a\tb\"\tc\td", "\t", 3}, // quotes close again
    };
    const DelimiterTable t = defaults();
    for (const auto& c : cases) {
        const Detected d = detect(c.line, t);
        EXPECT_EQ(d.result, c.delimiter) << c.line;
        EXPECT_EQ(d.sInDeli, c.delimiter) << c.line;
        EXPECT_EQ(d.iItemCount, c.items) << c.line;
    }
}

TEST(fGetDeli, EveryCandidateStartsOutsideQuotes)
{
    // One quote before the TABs: with a flag carried over from the comma scan the TABs
    // would be read as quoted; each candidate must be judged on its own.
    const std::string line = "a,b,\"c\td\te\tf";
    DelimiterTable commaFirst = defaults();
    Detected d = detect(line, commaFirst);
    EXPECT_EQ(d.result, ",");
    EXPECT_EQ(d.iItemCount, 3);

    const std::string line2 = "a\tb\"c,d,e";
    d = detect(line2, commaFirst);
    EXPECT_EQ(d.result, "\t");
    EXPECT_EQ(d.iItemCount, 2);

    // The same line with the candidates in the other order gives the same answer.
    DelimiterTable tabFirst;
    tabFirst.add("\t", "TAB");
    tabFirst.add(",", "comma");
    EXPECT_EQ(detect(line2, tabFirst).result, "\t");
    EXPECT_EQ(detect(line, tabFirst).result, ",");
}

TEST(fGetDeli, TrailBytesAndDoubleByteCandidates)
{
    DelimiterTable t = defaults();
    t.add("|", "bar");
    t.add(TOUTEN, "touten");
    t.add("\\", "backslash");
    t.add("", "empty");
    t.add(",,", "two");

    // ポ ends in 0x7C and ソ in 0x5C: neither may count as '|' or '\'.
    Detected d = detect(PO + PO + PO + "," + SO + SO, t);
    EXPECT_EQ(d.result, ",");
    EXPECT_EQ(d.iItemCount, 2);

    d = detect(PO + "|" + SO + "|x", t);
    EXPECT_EQ(d.result, "|");
    EXPECT_EQ(d.iItemCount, 3);

    d = detect("a" + TOUTEN + "b" + TOUTEN + "c,d", t);
    EXPECT_EQ(d.result, TOUTEN);
    EXPECT_EQ(d.iItemCount, 3);

    // Empty and multi-character entries never count, even when they "occur".
    d = detect("a,,b,,c", t);
    EXPECT_EQ(d.result, ",");
    EXPECT_EQ(d.iItemCount, 5);
}

TEST(fGetDeli2, CountsOnlyOutsideQuotesAndReturnsTheDelimiter)
{
    struct Case {
        std::string delimiter;
        std::string line;
        std::int64_t items;
    } cases[] = {
        {",", "\"a,b\",c", 2}, // quoted comma is text, as splitting sees it
        {",", "a,b", 2},
        {"", "a,b", 1},
        {" ;", "a;b;c", 1},
        {";", "a;b;c", 3},
        {"|", PO + "|" + PO, 2},
        {"\\", SO + SO, 1},
        {TOUTEN, "a" + TOUTEN + "b", 2},
        {"\"", "a\"b\"c\"d", 2},
    };
    for (const auto& c : cases) {
        std::string sInDeli = "unset";
        std::int64_t n = -1;
        EXPECT_EQ(fGetDeli2(c.delimiter, c.line, sInDeli, n), c.delimiter);
        EXPECT_EQ(sInDeli, c.delimiter);
        EXPECT_EQ(n, c.items) << c.line << " / " << c.delimiter;
    }
}

TEST(BAK_fGetDeli, ChoosesBetweenCommaAndSemicolon)
{
    std::string s;
    std::int64_t n = 0;
    EXPECT_EQ(BAK_fGetDeli("a;b;c", s, n), ";");
    EXPECT_EQ(s, ";");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(BAK_fGetDeli("a\tb", s, n), ",");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(BAK_fGetDeli("a,b;c", s, n), ",");
    EXPECT_EQ(n, 2);
}

TEST(fGetDeli, ManyItemsBeyondSixteenBits)
{
    const std::string line(40000, ',');
    std::string s;
    std::int64_t n = 0;
    fGetDeli(line, defaults(), s, n);
    EXPECT_EQ(n, 40001);
}

} // namespace
