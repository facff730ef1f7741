#pragma once
// Sources for the tests of reading. The first 64 KiB of a source are read whole before its
// first line is returned, so only what follows them meets the ends of blocks and reads: a
// text under test goes alone and after one of the leads below.

#include "engine/LineReader.h"

#include <algorithm>
#include <cstring>
#include <string>

// A byte source that gives 1 to 7 bytes a read, as a pipe written in small pieces does.
class PieceSource : public engine::ByteSource {
public:
    explicit PieceSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t read(char* to, std::size_t bytes) override
    {
        const std::size_t n = std::min({bytes, bytes_.size() - at_, std::size_t{1} + reads_++ % 7});
        std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return static_cast<std::int64_t>(n);
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
    std::size_t reads_ = 0;
};

// What may go before a text, by kind: 0 nothing; 1 a line of 64 KiB; 2 64 KiB of CR LF
// lines, after which LF is text; 3 64 KiB of LF lines, a Unix file.
inline std::string lead(int kind)
{
    if (kind == 0)
        return {};
    const std::string unit = kind == 1 ? "x" : kind == 2 ? "ab,c\r\n" : "ab,c\n";
    std::string s;
    while (s.size() < engine::LineReader::kProbe)
        s += unit;
    s.resize(engine::LineReader::kProbe);
    return s;
}
