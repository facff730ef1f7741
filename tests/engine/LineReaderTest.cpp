#include "engine/LineReader.h"

#include "Reading.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> readAll(engine::ByteSource& in, std::size_t size, std::size_t block)
{
    engine::LineReader reader(in, block);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    EXPECT_FALSE(reader.readError());
    EXPECT_EQ(reader.consumed(), size);
    return lines;
}

std::vector<std::string> readAll(const std::string& bytes, std::size_t block)
{
    std::istringstream in(bytes);
    engine::StreamSource source(in);
    return readAll(source, bytes.size(), block);
}

using Lines = std::vector<std::string>;

// Reading must not depend on where the blocks or the reads happen to end.
void expectLines(const std::string& bytes, const Lines& expected)
{
    for (std::size_t block : {2u, 3u, 5u, 7u, 64u, 1u << 20}) {
        EXPECT_EQ(readAll(bytes, block), expected) << "block " << block;
    }
    PieceSource pieces(bytes);
    EXPECT_EQ(readAll(pieces, bytes.size(), 1 << 20), expected) << "in pieces";
}

TEST(LineReader, LineEnds)
{
    // The first CR just past the probe, or its last byte.
    const std::string pad(engine::LineReader::kProbe - 2, 'x');
    struct Case {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},                                           // Unix file
        {"a\nb\r\nc\rd", {"a\nb", "c", "d"}},                             // one CR LF makes LF text, before it too
        {"h\r\na,\"x\ny\"\r\nb\r\n", {"h", "a,\"x\ny\"", "b"}},           // LF inside a quoted cell of a CR LF file
        {"\"h\n1\",h2\r\n\"x\ny\",z\r\n", {"\"h\n1\",h2", "\"x\ny\",z"}}, // ... of its header too
        {"a\r\nb\nc\r\n", {"a", "b\nc"}},
        {"a\rb\nc", {"a", "b\nc"}},
        {"a\nb\rc", {"a\nb", "c"}},
        {"a\n" + pad + "\r\nb\nc", {"a", pad, "b", "c"}}, // a Unix file: a CR ends lines too
        {"a\n" + pad.substr(1) + "\r\nb\nc", {"a\n" + pad.substr(1), "b\nc"}},
        {pad + "xx\nb", {pad + "xx\nb"}}, // no LF in the probe
        {"a\r\nb", {"a", "b"}},           // no final break
        {"", {}},                         // empty file
        {"\r\n", {""}},                   // one empty line
        {"\n", {""}},
        {"\r", {""}},
        {"\r\n\r\n", {"", ""}},
        {"\r\r\n", {"", ""}},
        {"x", {"x"}},
        {std::string("a\0b\r\n\xFF\r\n", 8), {std::string("a\0b", 3), "\xFF"}},
        // A double-byte character whose trail byte is 0x0D or 0x0A does not exist, so the
        // bytes of ソ (0x83 0x5C) never end a line, wherever the blocks split them.
        {"\x83\x5C\x83\x5C\r\n\x95\x5C", {"\x83\x5C\x83\x5C", "\x95\x5C"}},
    };
    for (const auto& c : cases)
        expectLines(c.bytes, c.lines);
}

TEST(LineReader, LongLinesAndBlockBoundaries)
{
    const std::string longLine(3 * 1024 * 1024 + 17, 'x');
    expectLines(longLine + "\r\nshort\r\n" + longLine, {longLine, "short", longLine});

    // A CR LF split between two blocks is one line end, not a CR and an empty line. The
    // first 64 KiB and a block are read before the first line: the CR ends that block.
    const std::string first = lead(1) + std::string(1023, 'a');
    EXPECT_EQ(readAll(first + "\r\nb", 1024), (Lines{first, "b"}));
}

TEST(LineReader, AgreesWithAWholeFileModelOnRandomInput)
{
    // Model: split the whole input at once by the same rules.
    auto model = [](const std::string& s) {
        Lines lines;
        const std::string probe = s.substr(0, engine::LineReader::kProbe);
        const bool unix = probe.find('\r') == std::string::npos && probe.find('\n') != std::string::npos;
        std::string cur;
        bool pending = false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            pending = true;
            if (s[i] == '\r') {
                lines.push_back(cur);
                cur.clear();
                pending = false;
                if (i + 1 < s.size() && s[i + 1] == '\n')
                    ++i;
            } else if (s[i] == '\n' && unix) {
                lines.push_back(cur);
                cur.clear();
                pending = false;
            } else {
                cur += s[i];
            }
        }
        if (pending)
            lines.push_back(cur);
        return lines;
    };
    std::mt19937 rng(12345);
    const char alphabet[] = {'a', ',', '"', '\r', '\n', '\x83', '\x5C', '\x7C'};
    for (int round = 0; round < 300; ++round) {
        std::string s;
        const int len = static_cast<int>(rng() % 60);
        for (int i = 0; i < len; ++i)
            s += alphabet[rng() % sizeof alphabet];
        if (round % 3 == 0) // a Unix file now and then
            std::erase(s, '\r');
        s = lead(round % 8 < 5 ? 0 : round % 8 - 4) + s;
        expectLines(s, model(s));
    }
}

TEST(LineReader, StopsAtALineLongerThanTheLimit)
{
    struct Case {
        std::string bytes;
        Lines before; // lines read before the stop
        bool tooLong;
    } cases[] = {
        {"abcd\r\nxy", {"abcd", "xy"}, false}, // exactly at the limit
        {"abcd\r", {"abcd"}, false},           {"abcd\nabcd\n", {"abcd", "abcd"}, false},
        {"abc\r\ndefgh\r\nij", {"abc"}, true}, {"abcde", {}, true}, // no line break at all
        {"ab\nabcde\nx", {"ab"}, true},        {"ab\r\nabcde", {"ab"}, true},
    };
    for (const auto& c : cases)
        for (std::size_t block : {2u, 3u, 64u}) {
            std::istringstream in(c.bytes);
            engine::LineReader reader(in, block, 4);
            Lines lines;
            std::string_view line;
            while (reader.next(line))
                lines.emplace_back(line);
            EXPECT_EQ(lines, c.before) << c.bytes << " block " << block;
            EXPECT_EQ(reader.lineTooLong(), c.tooLong) << c.bytes << " block " << block;
            EXPECT_EQ(reader.lineCount(), static_cast<std::int64_t>(c.before.size()));
        }
}

} // namespace
