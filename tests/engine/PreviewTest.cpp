// The preview against a real run over the whole source, and each warning by a table of small
// sources.
#include "engine/Preview.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <tuple>

using namespace engine;

namespace {

ColumnMap columnsOf(const std::vector<int>& numbers)
{
    ColumnMap map(1);
    for (int n : numbers)
        map.push_back({0, 0, n});
    return map;
}

PreviewStart startOf(const std::string& source)
{
    std::istringstream in(source);
    StreamSource bytes(in);
    PreviewStart start;
    readPreviewStart(bytes, start);
    return start;
}

struct RunOut {
    Conversion::Status status;
    std::string out;
    CharacterFault fault;
};

RunOut convert(const std::string& source, EncodingChoice enc, const ConversionSettings& settings, bool skip)
{
    std::istringstream in(source);
    std::ostringstream out;
    Conversion c({.skipFirstLine = skip});
    c.setEncoding(enc);
    c.openSource(in);
    c.setOutput(out);
    const Conversion::Status status = c.runToEnd(settings);
    return {status, out.str(), c.characterFault()};
}

// Pieces of random sources: delimiters, quotes, LF, code page 932 characters whose trail byte
// is 0x5C or 0x7C (表, ポ), UTF-8 characters, a character code page 932 lacks, bytes that form
// no character in either encoding.
const char* const kPieces[] = {"a",
                               "bc",
                               ",",
                               "\t",
                               "|",
                               "\"",
                               "\"\"",
                               "\n",
                               " ",
                               "\x95\x5C",
                               "\x83\x7C",
                               "\x82\xA0",
                               "\xE8\xA1\xA8",
                               "\xE3\x83\x9D",
                               "\xF0\x9F\x98\x80",
                               "\x80",
                               "x,y",
                               "\"q,r\""};

std::string randomSource(std::mt19937& rng)
{
    std::string s;
    if (rng() % 6 == 0)
        s = "\xEF\xBB\xBF";
    const bool unix = rng() % 3 == 0;
    const int lines = 1 + static_cast<int>(rng() % 9);
    for (int l = 0; l < lines; ++l) {
        for (int k = static_cast<int>(rng() % 12); k > 0; --k)
            s += kPieces[rng() % std::size(kPieces)];
        if (l + 1 < lines || rng() % 2)
            s += unix ? "\n" : "\r\n";
    }
    return s;
}

} // namespace

TEST(Preview, LinesAreTheFirstLinesOfTheRunsOutput)
{
    std::mt19937 rng(22);
    const OutputEncoding encodings[] = {OutputEncoding::AsSource, OutputEncoding::Cp932, OutputEncoding::Utf8,
                                        OutputEncoding::Utf8Bom};
    const EncodingChoice choices[] = {EncodingChoice::Auto, EncodingChoice::Cp932, EncodingChoice::Utf8};
    const char* const inDelis[] = {",", "\t", "|"};
    int stopped = 0, compared = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::string source = randomSource(rng);
        std::vector<int> numbers;
        for (int k = static_cast<int>(rng() % 5); k >= 0; --k)
            numbers.push_back(1 + static_cast<int>(rng() % 6));
        OutputForm form{encodings[rng() % 4], rng() % 2 ? LineEnd::CrLf : LineEnd::Lf, rng() % 2 == 0, rng() % 2 == 0};
        PreviewRequest request{{inDelis[rng() % 3], rng() % 2 ? "," : "\t", columnsOf(numbers), form},
                               rng() % 3 == 0,
                               choices[rng() % 3],
                               static_cast<std::int64_t>(rng() % 7)};
        SCOPED_TRACE(testing::Message() << "round " << round << " source " << testing::PrintToString(source));
        const Preview p = previewOutput(startOf(source), request);
        const RunOut run = convert(source, request.encoding, request.settings, request.skipFirstLine);
        if (run.status != Conversion::Status::Done) {
            // The preview stops where the run does, if that is among its lines.
            const bool within = run.fault.line <= request.lines + (request.skipFirstLine ? 1 : 0);
            ASSERT_EQ(p.stopped, within);
            if (within) {
                EXPECT_EQ(p.warnings.front().kind, PreviewWarningKind::RunStops);
                EXPECT_EQ(p.warnings.front().fault.line, run.fault.line);
                EXPECT_EQ(p.warnings.front().fault.codePoint, run.fault.codePoint);
                ++stopped;
            }
            continue;
        }
        ASSERT_FALSE(p.stopped);
        const std::string raw = p.raw();
        ASSERT_EQ(run.out.substr(0, raw.size()), raw);
        // As many lines as asked for, or every line the run wrote.
        const std::string_view end = form.lineEnd == LineEnd::Lf ? "\n" : "\r\n";
        if (p.moreLines)
            ASSERT_EQ(p.lines.size(), static_cast<std::size_t>(request.lines));
        else
            ASSERT_EQ(raw, run.out);
        for (const PreviewLine& line : p.lines) {
            ASSERT_TRUE(line.output.ends_with(end));
            ASSERT_EQ(line.cells.size(), numbers.size());
            // Unchanged bytes without quoting: the cells joined are the line.
            if (form.encoding == OutputEncoding::AsSource && !form.quote) {
                std::string joined;
                for (std::size_t c = 0; c < line.cells.size(); ++c)
                    joined += (c > 0 ? request.settings.outDeli : "") + line.cells[c].bytes;
                EXPECT_EQ(joined + std::string(end), line.output);
            }
        }
        EXPECT_EQ(p.header.has_value(), request.skipFirstLine && !source.empty());
        ++compared;
    }
    // The random sources reach both ends.
    EXPECT_GT(stopped, 50) << compared;
    EXPECT_GT(compared, 500);
}

TEST(Preview, ReadsOnlyTheStartOfALargeSource)
{
    std::string source;
    for (int i = 0; i < 4000; ++i)
        source += "line" + std::to_string(i) + "," + std::string(300, 'x') + "\r\n";
    const PreviewRequest request{{",", "\t", columnsOf({2, 1})}, true, EncodingChoice::Auto, kPreviewMostLines};
    const PreviewStart start = startOf(source);
    ASSERT_EQ(start.bytes.size(), kPreviewBytes);
    ASSERT_FALSE(start.whole);
    const Preview p = previewOutput(start, request);
    EXPECT_TRUE(p.moreLines);
    ASSERT_FALSE(p.lines.empty());
    EXPECT_EQ(p.lines.front().sourceLine, 2);
    // Only whole lines: the last one read is not cut where the bytes end.
    const std::string raw = p.raw();
    EXPECT_EQ(convert(source, EncodingChoice::Auto, request.settings, true).out.substr(0, raw.size()), raw);
    EXPECT_EQ(p.lines.back().output, std::string(300, 'x') + "\tline" + std::to_string(p.lines.size()) + "\r\n");
}

TEST(Preview, FirstLineLongerThanWhatIsReadIsCutToWholeCharacters)
{
    // 表 (0x95 0x5C) repeated, so that the limit falls inside a character.
    std::string source = "a,";
    while (source.size() < kPreviewBytes + 100)
        source += "\x95\x5C";
    source += "\r\nb,c\r\n";
    const Preview p =
        previewOutput(startOf(source), {{",", ",", columnsOf({2, 1, 3})}, false, EncodingChoice::Cp932, 5});
    ASSERT_TRUE(p.firstLineCut);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_TRUE(p.lines[0].cut);
    const std::string& item = p.lines[0].cells[0].bytes;
    EXPECT_EQ(item.size() % 2, 0u);
    EXPECT_EQ(p.headings[1].text, "a");
    // Item 3 may lie past what was read: unknown, not missing.
    EXPECT_TRUE(p.headings[2].unread);
    EXPECT_FALSE(p.headings[2].beyond);
    EXPECT_EQ(p.warnings.back().kind, PreviewWarningKind::FirstLineCut);
    EXPECT_FALSE(p.lines[0].cells[0].undecodable);
}

TEST(Preview, HeaderAndHeadings)
{
    const std::string source = "\xEF\xBB\xBF\"code\",price\r\nA1,100\r\n";
    const Preview p = previewOutput(startOf(source), {{",", ",", columnsOf({2, 1, 3}), {.quote = true}}, true, {}, 10});
    ASSERT_TRUE(p.header);
    EXPECT_TRUE(p.header->leftOut);
    EXPECT_EQ(p.bom, "\xEF\xBB\xBF");
    ASSERT_EQ(p.headings.size(), 3u);
    EXPECT_EQ(std::tie(p.headings[0].itemNumber, p.headings[0].text), std::make_tuple(2, std::string("price")));
    EXPECT_EQ(p.headings[1].text, "code"); // quotes off: the form quotes
    EXPECT_TRUE(p.headings[2].beyond);
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0].sourceLine, 2);
    // No lines asked for: the headings still come.
    const Preview none = previewOutput(startOf(source), {{",", ",", columnsOf({2, 1, 3})}, false, {}, 0});
    EXPECT_EQ(std::make_pair(none.headings.size(), none.lines.size()), std::make_pair(std::size_t{3}, std::size_t{0}));
    EXPECT_EQ(p.raw(), "\xEF\xBB\xBF"
                       "100,A1,100\r\n");
}

TEST(Preview, Warnings)
{
    using K = PreviewWarningKind;
    struct Case {
        const char* name;
        std::string source;
        std::vector<int> columns;
        std::string outDeli;
        OutputForm form;
        EncodingChoice enc;
        // kind, first line, output column (from 0), lines
        std::vector<std::tuple<K, std::int64_t, std::int32_t, std::int64_t>> expected;
    };
    const Case cases[] = {
        {"clean", "a,b\r\nc,d\r\n", {2, 1}, ",", {}, EncodingChoice::Auto, {}},
        {"output delimiter in an item",
         "a,b\r\nc,d\te\r\nf,g\th\r\n",
         {1, 2},
         "\t",
         {},
         EncodingChoice::Auto,
         {{K::NeedsQuotes, 2, 1, 2}}},
        {"quoting on: no warning", "a,b\r\nc,d\te\r\n", {1, 2}, "\t", {.quote = true}, EncodingChoice::Auto, {}},
        {"quote in an item", "a,b\r\nc,5\"\r\n", {1, 2}, ",", {}, EncodingChoice::Auto, {{K::NeedsQuotes, 2, 1, 1}}},
        {"wholly quoted item keeps its delimiter", "a,\"x,y\"\r\n", {2}, ",", {}, EncodingChoice::Auto, {}},
        {"LF in an unquoted item",
         "a\nb,c\r\nd,e\r\n",
         {1, 2},
         ",",
         {},
         EncodingChoice::Auto,
         {{K::NeedsQuotes, 1, 0, 1}}},
        {"LF in a quoted item", "\"a\nb\",c\r\nd,e\r\n", {1, 2}, ",", {}, EncodingChoice::Auto, {}},
        {"trail byte 0x7C is no delimiter", "\x83\x7C,a\r\n", {1}, "|", {}, EncodingChoice::Cp932, {}},
        {"column beyond and item count",
         "a,b,c\r\nd,e\r\nf,g,h\r\ni\r\n",
         {3, 1},
         ",",
         {},
         EncodingChoice::Auto,
         {{K::ColumnBeyond, 2, 0, 2}, {K::ItemCountDiffers, 2, -1, 2}}},
        {"undecodable as UTF-8", "a,\x82\xA0\r\n", {2}, ",", {}, EncodingChoice::Utf8, {{K::NotDecodable, 1, 0, 1}}},
        {"undecodable as code page 932",
         "a,b\r\nc,\x85\x40\r\n",
         {1, 2},
         ",",
         {},
         EncodingChoice::Cp932,
         {{K::NotDecodable, 2, 1, 1}}},
        {"UTF-8 read as code page 932",
         "a,b\r\n\xE3\x81\x82,b\r\n",
         {2},
         ",",
         {},
         EncodingChoice::Cp932,
         {{K::LooksUtf8, 2, -1, 1}}},
        {"empty column", "a,,c\r\nd,,f\r\n", {1, 2, 3}, ",", {}, EncodingChoice::Auto, {{K::EmptyColumn, 1, 1, 2}}},
        {"replaced",
         "a,\xF0\x9F\x98\x80\r\nb,c\r\nd,\xF0\x9F\x98\x80\r\n",
         {2},
         ",",
         {.encoding = OutputEncoding::Cp932, .replace = true},
         EncodingChoice::Utf8,
         {{K::Replaced, 1, -1, 2}}},
        {"run stops",
         "a,b\r\nc,\xF0\x9F\x98\x80\r\nd,e\r\n",
         {2},
         ",",
         {.encoding = OutputEncoding::Cp932},
         EncodingChoice::Utf8,
         {{K::RunStops, 2, -1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Preview p =
            previewOutput(startOf(c.source), {{",", c.outDeli, columnsOf(c.columns), c.form}, false, c.enc, 10});
        std::vector<std::tuple<K, std::int64_t, std::int32_t, std::int64_t>> got;
        for (const PreviewWarning& w : p.warnings)
            got.emplace_back(w.kind, w.line, w.column, w.lines);
        EXPECT_EQ(got, c.expected);
    }
}
