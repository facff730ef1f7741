#include "engine/Items.h"
#include "support/Models.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using engine::fGetItem;

namespace {

// Code page 932 characters whose second byte is 0x5C or 0x7C.
const std::string SO = "\x83\x5C";     // ソ
const std::string HYO = "\x95\x5C";    // 表
const std::string PO = "\x83\x7C";     // ポ
const std::string TOUTEN = "\x81\x41"; // 、

struct ItemCase {
    std::string line;
    std::string delimiter;
    std::int64_t no;
    std::string expected;
};

TEST(fGetItem, TableOfCases)
{
    const ItemCase cases[] = {
        {"a,b,c", ",", 2, "b"},
        {"a,b,c", ",", 3, "c"},
        {"a,b,c", ",", 4, "c"},
        {"a,b,c", ",", 0, "c"},
        {"a,b,c", ",", -1, "c"},
        {"a,b,", ",", 3, ""},
        {"a,b,", ",", 1, "a"},
        {"", ",", 1, ""},
        {",", ",", 1, ""},
        {",", ",", 2, ""},
        {" a , b ", ",", 2, " b "},
        // Quotes stay; delimiters inside quotes are text.
        {"\"x,y\",z", ",", 1, "\"x,y\""},
        {"\"x,y\",z", ",", 2, "z"},
        {"\"a\"\"b,c\",d", ",", 1, "\"a\"\"b,c\""},
        // An odd quote keeps the rest of the line as one item.
        {"a,\"b,c,d", ",", 2, "\"b,c,d"},
        {"a,\"b,c,d", ",", 3, "\"b,c,d"},
        {"a\tb,c\td", "\t", 2, "b,c"},
        // Empty and multi-character delimiters never match.
        {"a,b", "", 1, "a,b"},
        {"a,b", "", 2, "a,b"},
        {"a,,b", ",,", 1, "a,,b"},
        // '"' as the delimiter splits only at every second quote.
        {"a\"b\"c\"d", "\"", 1, "a\"b"},
        {"a\"b\"c\"d", "\"", 2, "c\"d"},
        // Trail bytes 0x5C and 0x7C are never taken for a one-byte delimiter.
        {SO + "|" + PO + "|" + HYO, "|", 2, PO},
        {SO + "|" + PO + "|" + HYO, "|", 3, HYO},
        {PO + PO + "|x", "|", 1, PO + PO},
        {SO + "\\" + HYO, "\\", 1, SO},
        {SO + "\\" + HYO, "\\", 2, HYO},
        {HYO + HYO, "\\", 2, HYO + HYO},
        // A double-byte delimiter.
        {"a" + TOUTEN + "b" + TOUTEN + "c", TOUTEN, 2, "b"},
        // 0x81 0x41 split across characters is not 、: the 0x81 here is the trail of 0x83 0x81.
        {"\x83\x81\x41", TOUTEN, 1, "\x83\x81\x41"},
        // Invalid bytes pass through unchanged; a lead byte before an invalid trail stands alone.
        {std::string("\xFF,\x81,\x00z", 6), ",", 1, "\xFF"},
        {std::string("\xFF,\x81,\x00z", 6), ",", 2, "\x81"},
        {std::string("\xFF,\x81,\x00z", 6), ",", 3, std::string("\x00z", 2)},
        {"\x81|", "|", 1, "\x81|"},  // 0x81 0x7C is one character
        {"\x81\x7F|x", "|", 2, "x"}, // 0x7F is no trail byte
        {"abc\x83", "|", 1, "abc\x83"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(fGetItem(c.line, c.delimiter, c.no)), c.expected)
            << "line [" << c.line << "] delimiter [" << c.delimiter << "] item " << c.no;
    }
}

TEST(ItemSplitter, AgreesWithFGetItemForEveryItemNumber)
{
    const std::string lines[] = {"a,b,c",
                                 "",
                                 ",,",
                                 "\"x,y\",z,\"",
                                 SO + "|" + PO + "||" + HYO,
                                 "a" + TOUTEN + TOUTEN,
                                 std::string("\x83,\x00,\xFC", 6)};
    const std::string delimiters[] = {",", "|", TOUTEN, "\"", "", "ab"};
    engine::ItemSplitter splitter;
    for (const auto& line : lines) {
        for (const auto& d : delimiters) {
            splitter.split(line, d);
            for (std::int64_t no = -1; no <= static_cast<std::int64_t>(splitter.count()) + 1; ++no)
                EXPECT_EQ(splitter.item(no), fGetItem(line, d, no)) << line << " / " << d << " / " << no;
        }
    }
}

TEST(ItemSplitter, AgreesWithThePlainRuleOnRandomBytes)
{
    std::mt19937 rng(7);
    const char alphabet[] = {'a',    ',',    '|',    '"',    '\\',   '\x83', '\x95', '\x81',
                             '\x41', '\x7C', '\x5C', '\xB1', '\xE0', '\xFC', '\x7F', '\t'};
    const std::string delimiters[] = {",", "|", "\\", "\"", "\xB1", "\t", "\x81\x41", "\x83\x7C", "\x7F"};
    engine::ItemSplitter splitter;
    for (int round = 0; round < 4000; ++round) {
        std::string line;
        const int len = static_cast<int>(rng() % 100);
        for (int i = 0; i < len; ++i)
            line += alphabet[rng() % sizeof alphabet];
        const std::string& d = delimiters[rng() % std::size(delimiters)];
        // The rule written out plainly (model::items): walk the characters, flip the quote
        // flag, then test the delimiter. Independent of the engine's fast paths.
        const auto expected = model::items(line, d);
        splitter.split(line, d);
        ASSERT_EQ(splitter.count(), expected.size()) << "round " << round;
        for (std::size_t k = 0; k < expected.size(); ++k)
            ASSERT_EQ(std::string(splitter.item(static_cast<std::int64_t>(k + 1))), expected[k]) << "round " << round;
        // A split that may stop early still gives every item up to the one asked for.
        const auto upTo = static_cast<std::int64_t>(rng() % 6 + 1);
        splitter.split(line, d, {.upTo = upTo});
        for (std::int64_t no = 1; no <= upTo; ++no) {
            const std::string want(static_cast<std::size_t>(no) <= expected.size() ? expected[no - 1]
                                                                                   : expected.back());
            ASSERT_EQ(std::string(splitter.item(no)), want) << "round " << round << " upTo " << upTo;
        }
    }
}

TEST(fGetItem, NoSixteenBitLimits)
{
    std::string line;
    for (int i = 0; i < 40000; ++i)
        line += "x,";
    line += "last";
    EXPECT_EQ(fGetItem(line, ",", 40001), "last");
    EXPECT_EQ(fGetItem(line, ",", 33000), "x");
    EXPECT_EQ(line.size(), 80004u);
}

} // namespace
