#pragma once
// Taking a target's settings from the first bytes of a fuzz input; the rest is the
// text under test. Past the end every setting reads as zero, so no input is rejected.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

// A failed comparison is a crash, which the fuzzer reports with the input that caused it.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : text_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte()
    {
        if (text_.empty())
            return 0;
        const auto b = static_cast<std::uint8_t>(text_[0]);
        text_.remove_prefix(1);
        return b;
    }

    std::string bytes(std::size_t n)
    {
        std::string s(text_.substr(0, n));
        text_.remove_prefix(s.size());
        return s;
    }

    // Half the time 1 to 16, so that most lines cross block ends; else 1 to 4096.
    std::size_t blockSize()
    {
        const unsigned lo = byte();
        const unsigned hi = byte();
        return 1 + (hi & 0x80 ? (lo | (hi & 0x7F) << 8) % 4096 : lo % 16);
    }

    // What goes before the text, by a byte: nothing, or 64 KiB of one line, of CR LF lines
    // (LF is text after them) or of LF lines (a Unix file). The first 64 KiB are read whole
    // before the first line is returned: only the text after a lead meets the ends of blocks.
    std::string lead() { return leadOf(byte()); }
    static std::string leadOf(unsigned choice)
    {
        const unsigned kind = choice % 4;
        if (kind == 0)
            return {};
        const std::string unit = kind == 1 ? "x" : kind == 2 ? "ab,c\r\n" : "ab,c\n";
        std::string s;
        while (s.size() < kLead)
            s += unit;
        s.resize(kLead);
        return s;
    }
    static constexpr std::size_t kLead = 64 * 1024;

    // Mostly one byte, sometimes two (a double-byte character or not), none, three, or a
    // usual delimiter.
    std::string delimiter()
    {
        static constexpr std::string_view usual[] = {",", "\t", ";", "|", "\"", " ", "\x81\x41", "\x81\x40"};
        const std::uint8_t kind = byte();
        switch (kind % 8) {
        case 4:
            return bytes(2);
        case 5:
            return "";
        case 6:
            return bytes(3);
        case 7:
            return std::string(usual[(kind >> 3) % 8]);
        default:
            return bytes(1);
        }
    }

    // An item number: mostly small, both signs (0xFF is -1), sometimes far beyond 32 bits.
    std::int64_t itemNumber()
    {
        static constexpr std::int64_t far[] = {std::numeric_limits<std::int64_t>::min(),
                                               -(std::int64_t{1} << 32),
                                               std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::int32_t>::max(),
                                               (std::int64_t{1} << 32) + 1,
                                               (std::int64_t{1} << 32) + 2,
                                               std::numeric_limits<std::int64_t>::max() - 1,
                                               std::numeric_limits<std::int64_t>::max()};
        const std::uint8_t b = byte();
        return b >= 0x80 && b < 0x88 ? far[b - 0x80] : static_cast<std::int8_t>(b);
    }

    std::string_view rest() const { return text_; }

private:
    std::string_view text_;
};
