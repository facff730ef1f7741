// The output form: encodings by the code page 932 table, LF line ends, quoting where needed,
// and what a run tells of characters it cannot write. Every case runs on the whole-block walk
// (with and without the second thread) and on the line-by-line loop, which must agree.
#include "engine/Conversion.h"
#include "engine/Transcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace engine;

namespace {

ColumnMap columnsOf(std::initializer_list<int> numbers)
{
    ColumnMap map(1);
    for (int n : numbers)
        map.push_back({0, 0, n});
    return map;
}

struct Outcome {
    Conversion::Status status;
    std::string out;
    std::int64_t replacements;
    std::int64_t delimiterLines;
    CharacterFault fault;
};

// The run in one of its ways: way 0 line by line (blocks of 7 bytes leave few whole lines to
// the walk), 1 the walk on one thread, 2 the walk with every block split between two.
Outcome convert(const std::string& source, EncodingChoice enc, const ConversionSettings& settings, int way)
{
    std::istringstream in(source);
    std::ostringstream out;
    Conversion c({.blockSize = way == 0 ? 7u : 4096u});
    c.setEncoding(enc);
    c.setThreads(way == 2 ? 2 : 1);
    c.setParallelFrom(0);
    c.openSource(in);
    c.setOutput(out);
    const Conversion::Status status = c.runToEnd(settings);
    return {status, out.str(), c.replacements(), c.linesHoldingDelimiter(), c.characterFault()};
}

// Equal bytes, or where they first differ: the outputs run to hundreds of lines.
testing::AssertionResult same(const std::string& got, const std::string& want)
{
    const auto at =
        static_cast<std::size_t>(std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin());
    if (got.size() == want.size() && at == got.size())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "from byte " << at << " of " << want.size() << ": got \""
                                       << got.substr(at, 40) << "\", want \"" << want.substr(at, 40) << "\"";
}

OutputForm formOf(OutputEncoding e, LineEnd end = LineEnd::CrLf, bool quote = false, bool replace = false)
{
    return {e, end, quote, replace};
}

// ｱｲｳ (half-width katakana), ① (NEC row 13), ㈱, 髙 (IBM extension), 表 and ソ (trail 0x5C),
// ポ (trail 0x7C), ～ and －, in code page 932 and in UTF-8.
const std::string kSjis = "\xB1\xB2\xB3,\x87\x40,\x87\x8A,\xFB\xFC\r\n\x95\x5C,\x83\x5C,\x83\x7C,\x81\x60|\x81\x7C\r\n";
const std::string kUtf8 = "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3,\xE2\x91\xA0,\xE3\x88\xB1,\xE9\xAB\x99\r\n"
                          "\xE8\xA1\xA8,\xE3\x82\xBD,\xE3\x83\x9D,\xEF\xBD\x9E|\xEF\xBC\x8D\r\n";
const std::string kBom = "\xEF\xBB\xBF";

std::string lf(std::string s)
{
    for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;)
        s.erase(at, 1);
    return s;
}

TEST(OutputForm, EveryEncodingPairWritesTheSameCharacters)
{
    const ColumnMap all = columnsOf({1, 2, 3, 4});
    struct Case {
        const char* name;
        std::string source;
        EncodingChoice enc;
        OutputForm form;
        std::string expected;
    };
    const Case cases[] = {
        {"cp932 as is", kSjis, EncodingChoice::Cp932, {}, kSjis},
        {"cp932 to cp932", kSjis, EncodingChoice::Cp932, formOf(OutputEncoding::Cp932), kSjis},
        {"cp932 to utf-8", kSjis, EncodingChoice::Cp932, formOf(OutputEncoding::Utf8), kUtf8},
        {"cp932 to utf-8 bom", kSjis, EncodingChoice::Cp932, formOf(OutputEncoding::Utf8Bom), kBom + kUtf8},
        {"utf-8 to cp932", kUtf8, EncodingChoice::Utf8, formOf(OutputEncoding::Cp932), kSjis},
        {"utf-8 bom to cp932", kBom + kUtf8, EncodingChoice::Auto, formOf(OutputEncoding::Cp932), kSjis},
        {"utf-8 bom as is", kBom + kUtf8, EncodingChoice::Auto, {}, kBom + kUtf8},
        {"utf-8 bom to utf-8", kBom + kUtf8, EncodingChoice::Auto, formOf(OutputEncoding::Utf8), kUtf8},
        {"utf-8 to utf-8 bom", kUtf8, EncodingChoice::Utf8, formOf(OutputEncoding::Utf8Bom), kBom + kUtf8},
        {"as is, LF", kSjis, EncodingChoice::Cp932, formOf(OutputEncoding::AsSource, LineEnd::Lf), lf(kSjis)},
        {"to utf-8, LF", kSjis, EncodingChoice::Cp932, formOf(OutputEncoding::Utf8, LineEnd::Lf), lf(kUtf8)},
        {"LF source to CR LF", lf(kSjis), EncodingChoice::Cp932, formOf(OutputEncoding::Utf8), kUtf8},
    };
    for (const Case& c : cases) {
        // Many lines, so that the walk and the second thread take most of them.
        std::string source, expected;
        for (int i = 0; i < 300; ++i) {
            source += i == 0 ? c.source : c.source.substr(c.source.starts_with(kBom) ? 3 : 0);
            expected += i == 0 ? c.expected : c.expected.substr(c.expected.starts_with(kBom) ? 3 : 0);
        }
        for (int way = 0; way < 3; ++way) {
            const Outcome o = convert(source, c.enc, {",", ",", all, c.form}, way);
            EXPECT_EQ(o.status, Conversion::Status::Done) << c.name << " way " << way;
            EXPECT_TRUE(same(o.out, expected)) << c.name << " way " << way;
            EXPECT_EQ(o.replacements, 0) << c.name;
        }
    }
}

TEST(OutputForm, ACharacterTheOutputCannotHoldStopsTheRunOrBecomesAQuestionMark)
{
    const std::string ok = "a,b,c\r\n";
    struct Case {
        const char* name;
        std::string line; // the second of three lines
        EncodingChoice enc;
        OutputEncoding to;
        Conversion::Status status;
        std::int32_t item;
        std::uint32_t codePoint;
        std::string bytes;
        std::string replaced; // the line with --replace
        std::int64_t replacements;
    };
    const Case cases[] = {
        {"𠮷 to cp932", "x,\xF0\xA0\xAE\xB7y,z\r\n", EncodingChoice::Utf8, OutputEncoding::Cp932,
         Conversion::Status::CannotEncode, 2, 0x20BB7, "\xF0\xA0\xAE\xB7", "x,?y,z\r\n", 1},
        {"é to cp932", "x,y,\xC3\xA9\xC3\xA9\r\n", EncodingChoice::Utf8, OutputEncoding::Cp932,
         Conversion::Status::CannotEncode, 3, 0xE9, "\xC3\xA9", "x,y,??\r\n", 2},
        {"a lone lead byte", "\x81,y,z\r\n", EncodingChoice::Cp932, OutputEncoding::Utf8,
         Conversion::Status::NotACharacter, 1, CharacterFault::kNoCharacter, "\x81", "?,y,z\r\n", 1},
        {"an undefined pair", "x,\x85\x40,z\r\n", EncodingChoice::Cp932, OutputEncoding::Utf8Bom,
         Conversion::Status::NotACharacter, 2, CharacterFault::kNoCharacter, "\x85\x40", "x,?,z\r\n", 1},
        {"no UTF-8", "x,y,\xFF\r\n", EncodingChoice::Utf8, OutputEncoding::Utf8, Conversion::Status::NotACharacter, 3,
         CharacterFault::kNoCharacter, "\xFF", "x,y,?\r\n", 1},
    };
    for (const Case& c : cases) {
        const std::string source = ok + c.line + ok;
        for (int way = 0; way < 3; ++way) {
            ConversionSettings settings{",", ",", columnsOf({1, 2, 3}), formOf(c.to)};
            const Outcome stopped = convert(source, c.enc, settings, way);
            EXPECT_EQ(stopped.status, c.status) << c.name << " way " << way;
            // Whole lines before the fault are kept.
            EXPECT_EQ(stopped.out, (c.to == OutputEncoding::Utf8Bom ? kBom : "") + ok) << c.name << " way " << way;
            EXPECT_EQ(stopped.fault.line, 2) << c.name;
            EXPECT_EQ(stopped.fault.item, c.item) << c.name;
            EXPECT_EQ(stopped.fault.codePoint, c.codePoint) << c.name;
            EXPECT_EQ(stopped.fault.bytes, c.bytes) << c.name;

            settings.form.replace = true;
            const Outcome replaced = convert(source, c.enc, settings, way);
            EXPECT_EQ(replaced.status, Conversion::Status::Done) << c.name << " way " << way;
            EXPECT_TRUE(same(replaced.out, (c.to == OutputEncoding::Utf8Bom ? kBom : "") + ok + c.replaced + ok))
                << c.name;
            EXPECT_EQ(replaced.replacements, c.replacements) << c.name << " way " << way;
        }
    }
}

TEST(OutputForm, QuotesExactlyTheItemsThatNeedThemAndCountsDelimitersWithout)
{
    struct Case {
        const char* name;
        std::string line;
        std::string inDeli, outDeli;
        bool quote;
        std::string expected;
        std::int64_t delimiterLines; // counted without quotes
    };
    const Case cases[] = {
        {"comma in a TAB item", "\xE5\xB1\xB1\xE7\x94\xB0, \xE5\xA4\xAA\xE9\x83\x8E\tb\r\n", "\t", ",", true,
         "\"\xE5\xB1\xB1\xE7\x94\xB0, \xE5\xA4\xAA\xE9\x83\x8E\",b\r\n", 0},
        {"the same without quotes", "a, b\tc\r\n", "\t", ",", false, "a, b,c\r\n", 1},
        {"already quoted, taken as content", "\"a,b\",\"plain\",\"say \"\"hi\"\"\"\r\n", ",", ",", true,
         "\"a,b\",plain,\"say \"\"hi\"\"\"\r\n", 0},
        // A delimiter inside quotes is read as text: only one outside them makes more columns.
        {"quoted comma kept as is", "\"a,b\",c,d\r\n", ",", ",", false, "\"a,b\",c,d\r\n", 0},
        {"quoted comma in a TAB item", "\"a,b\"\tc,d\r\n", "\t", ",", false, "\"a,b\",c,d\r\n", 1},
        {"LF inside, empty, a quote inside", "\"l1\nl2\",,x\"y\r\n", ",", "\t", true, "\"l1\nl2\"\t\t\"x\"\"y\"\r\n",
         0},
        {"TAB to comma item with TAB stays", "\"a\tb\",c,d\r\n", ",", "\t", true, "\"a\tb\"\tc\td\r\n", 0},
        {"no delimiter anywhere", "a,b,c\r\n", ",", "\t", false, "a\tb\tc\r\n", 0},
    };
    for (const Case& c : cases) {
        std::string source, expected;
        for (int i = 0; i < 200; ++i) {
            source += c.line;
            expected += c.expected;
        }
        // Only the columns the line has: the third goes where a line has two items.
        const ColumnMap map =
            c.line.find(c.inDeli) == c.line.rfind(c.inDeli) ? columnsOf({1, 2}) : columnsOf({1, 2, 3});
        // The bytes as they are, and every character checked on its way to UTF-8.
        for (const OutputEncoding to : {OutputEncoding::AsSource, OutputEncoding::Utf8})
            for (int way = 0; way < 3; ++way) {
                const Outcome o = convert(source, EncodingChoice::Utf8,
                                          {c.inDeli, c.outDeli, map, formOf(to, LineEnd::CrLf, c.quote)}, way);
                EXPECT_EQ(o.status, Conversion::Status::Done) << c.name;
                EXPECT_TRUE(same(o.out, expected)) << c.name << " way " << way;
                EXPECT_EQ(o.delimiterLines, c.quote ? 0 : 200 * c.delimiterLines) << c.name << " way " << way;
            }
    }
}

TEST(OutputForm, ATrailByteThatLooksLikeTheDelimiterIsNoDelimiterInAnItem)
{
    // ポ ends in 0x7C ('|'), 表 in 0x5C: neither holds the delimiter; the third line's item does.
    const std::string source = "\x83\x7C\t\x95\x5C\r\n\x83\x7C\x83\x7C\tb\r\na|b\tc\r\n";
    for (int way = 0; way < 3; ++way) {
        const Outcome o = convert(source, EncodingChoice::Cp932, {"\t", "|", columnsOf({1, 2})}, way);
        EXPECT_EQ(o.out, "\x83\x7C|\x95\x5C\r\n\x83\x7C\x83\x7C|b\r\na|b|c\r\n");
        EXPECT_EQ(o.delimiterLines, 1) << "way " << way;
    }
}

// The engine's table against the one the platform tests hold Qt's converter to: every byte
// and pair decodes the same, and every character encodes to a code that decodes to it again.
TEST(OutputForm, TheCodePage932TableIsTheWindowsTable)
{
    std::ifstream file(TOLVANE_TEST_DATA "/cp932-decoded.txt");
    ASSERT_TRUE(file);
    std::string line;
    int lines = 0, mismatches = 0;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> std::hex;
        fields >> first;
        const auto lead = static_cast<char>(std::stoi(first, nullptr, 16));
        std::vector<std::string> units;
        for (std::string u; fields >> u;)
            units.push_back(u);
        for (std::size_t second = 0; second < units.size(); ++second) {
            const std::string bytes = units.size() == 1 ? std::string(1, lead) : std::string{lead, char(second)};
            const bool none = units[second].find('+') != std::string::npos || units[second] == "FFFD";
            const std::uint32_t expected =
                none ? kNoChar : static_cast<std::uint32_t>(std::stoul(units[second], nullptr, 16));
            const Decoded d = decodeChar(bytes, 0, Encoding::Cp932);
            if (d.codePoint != expected && ++mismatches < 20)
                ADD_FAILURE() << line.substr(0, 2) << " " << second << " decodes to " << d.codePoint;
            if (d.codePoint != kNoChar) {
                char out[4];
                char* end = encodeChar(d.codePoint, Encoding::Cp932, out);
                if (end == nullptr ||
                    decodeChar(std::string(out, static_cast<std::size_t>(end - out)), 0, Encoding::Cp932).codePoint !=
                        d.codePoint)
                    ADD_FAILURE() << line.substr(0, 2) << " " << second << " does not encode back";
            }
        }
        ++lines;
    }
    EXPECT_EQ(lines, 256);
    EXPECT_EQ(mismatches, 0);
    // Where codes share a character, Windows encodes to the first, an IBM extension before
    // its NEC-selected copy; no look-alike stands in (U+00A5 is not 0x5C).
    for (const auto& [cp, code] : std::initializer_list<std::pair<std::uint32_t, std::uint16_t>>{{0x2460, 0x8740},
                                                                                                 {0x3231, 0x878A},
                                                                                                 {0x9AD9, 0xFBFC},
                                                                                                 {0x2170, 0xFA40},
                                                                                                 {0x2160, 0x8754},
                                                                                                 {0xFFE2, 0x81CA},
                                                                                                 {0x2235, 0x81E6},
                                                                                                 {0xFF5E, 0x8160},
                                                                                                 {0xFF0D, 0x817C},
                                                                                                 {0xFF71, 0xB1},
                                                                                                 {0xA5, 0},
                                                                                                 {0x301C, 0},
                                                                                                 {0x2212, 0}})
        EXPECT_EQ(cp932Code(cp), code) << std::hex << cp;
}

} // namespace

namespace {

TEST(OutputForm, ALongLineGoesInPiecesThatKeepQuotePairsAndNoneOfItWhenItStops)
{
    // Over 1 MiB once quoted: written piece by piece. Runs of four quotes cross the pieces'
    // ends at every parity; the line reads back as it was.
    std::string inner;
    for (int i = 0; i < 100000; ++i)
        inner += i % 3 == 0 ? "ab\"\"\"\"" : "abc\"\"\"\"";
    const std::string line = "\"" + inner + "\",x\r\n";
    const std::string bad = "\"" + inner + "\xFF\",x\r\n"; // a byte that is no UTF-8
    for (int way = 0; way < 3; ++way) {
        const ConversionSettings quoted{",", ",", columnsOf({1, 2, 1}),
                                        formOf(OutputEncoding::Utf8, LineEnd::CrLf, true)};
        const std::string once = "\"" + inner + "\",x,\"" + inner + "\"\r\n";
        Outcome o = convert(line + line, EncodingChoice::Utf8, quoted, way);
        EXPECT_EQ(o.status, Conversion::Status::Done);
        EXPECT_TRUE(same(o.out, once + once)) << "way " << way;
        // Stopped by the second line's last character: nothing of that line reaches the output.
        o = convert(line + bad, EncodingChoice::Utf8, quoted, way);
        EXPECT_EQ(o.status, Conversion::Status::NotACharacter);
        EXPECT_EQ(o.fault.line, 2);
        EXPECT_TRUE(same(o.out, once)) << "way " << way;
    }
}

} // namespace
