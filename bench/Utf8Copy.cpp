#include "Utf8Copy.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace bench {

std::string copyAsUtf8(const std::filesystem::path& from, const std::filesystem::path& to, bool byteOrderMark,
                       std::size_t block)
{
    const auto closeFile = [](std::FILE* f) {
        if (f)
            std::fclose(f);
    };
    const auto closeIconv = [](iconv_t cd) { iconv_close(cd); };
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string("iconv cannot convert CP932 to UTF-8: ") + std::strerror(errno);
    std::unique_ptr<std::remove_pointer_t<iconv_t>, decltype(closeIconv)> converter(cd, closeIconv);
    std::unique_ptr<std::FILE, decltype(closeFile)> in(std::fopen(from.c_str(), "rb"), closeFile);
    if (!in)
        return "cannot open " + from.string();
    std::unique_ptr<std::FILE, decltype(closeFile)> out(std::fopen(to.c_str(), "wb"), closeFile);
    if (!out)
        return "cannot create " + to.string();
    if (byteOrderMark && std::fwrite("\xEF\xBB\xBF", 1, 3, out.get()) != 3)
        return "cannot write " + to.string();

    block = std::max<std::size_t>(block, 2);
    std::vector<char> input(block);
    // Half-width katakana grow from one byte to three; E2BIG below copes with any growth.
    std::vector<char> output(block * 3);
    std::size_t kept = 0;     // the start of a character that the block's end cut off
    std::uint64_t offset = 0; // where input[0] lies in `from`
    for (;;) {
        const std::size_t got = std::fread(input.data() + kept, 1, block - kept, in.get());
        if (std::ferror(in.get()))
            return "cannot read " + from.string();
        const bool atEnd = got == 0;
        char* src = input.data();
        std::size_t left = kept + got;
        while (left > 0) {
            char* dst = output.data();
            std::size_t room = output.size();
            const std::size_t done = iconv(cd, &src, &left, &dst, &room);
            const int error = errno;
            const auto bytes = static_cast<std::size_t>(dst - output.data());
            if (std::fwrite(output.data(), 1, bytes, out.get()) != bytes)
                return "cannot write " + to.string();
            if (done != static_cast<std::size_t>(-1))
                break;
            if (error == E2BIG)
                continue;
            if (error == EINVAL && !atEnd)
                break;
            return from.string() + " is not code page 932 at byte " +
                   std::to_string(offset + static_cast<std::uint64_t>(src - input.data())) +
                   (error == EINVAL ? " (it ends inside a character)" : "");
        }
        if (atEnd)
            break;
        offset += static_cast<std::uint64_t>(src - input.data());
        std::memmove(input.data(), src, left);
        kept = left;
    }
    if (std::fclose(out.release()) != 0)
        return "cannot write " + to.string();
    return {};
}

} // namespace bench
