#include "LineReader.h"

#include <cstring>

namespace engine {

LineReader::LineReader(std::istream& in, std::size_t blockSize)
    : in_(in), blockSize_(blockSize < 2 ? 2 : blockSize), buf_(blockSize_ + kSlack)
{
}

bool LineReader::fill()
{
    if (eof_)
        return false;
    // Keep the unreturned bytes; grow only when a line is longer than the buffer.
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buf_.size() - end_ < blockSize_ + kSlack)
        buf_.resize(end_ + blockSize_ + kSlack);
    in_.read(buf_.data() + end_, static_cast<std::streamsize>(blockSize_));
    const auto got = static_cast<std::size_t>(in_.gcount());
    end_ += got;
    if (got < blockSize_) {
        eof_ = true;
        if (in_.bad() || (!in_.eof() && in_.fail()))
            readError_ = true;
    }
    return got > 0;
}

bool LineReader::next(std::string_view& line)
{
    std::size_t searchFrom = begin_;
    for (;;) {
        const char* const base = buf_.data();
        const char* const stop = base + end_;
        const char* from = base + searchFrom;
        const char* cr = static_cast<const char*>(std::memchr(from, '\r', static_cast<std::size_t>(stop - from)));
        const char* mark = cr;
        if (breaks_ != Breaks::CrOnly) {
            const char* lfStop = cr ? cr : stop;
            const char* lf =
                static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(lfStop - from)));
            if (lf)
                mark = lf;
        }
        if (mark) {
            const std::size_t at = static_cast<std::size_t>(mark - base);
            std::size_t markLength = 1;
            if (*mark == '\r') {
                // Whether CR LF or a lone CR: the next byte decides, which may be in the next block.
                if (at + 1 == end_ && !eof_) {
                    searchFrom = at - begin_;
                    fill();
                    searchFrom += begin_;
                    continue;
                }
                if (at + 1 < end_ && buf_[at + 1] == '\n')
                    markLength = 2;
                if (breaks_ == Breaks::Unknown)
                    breaks_ = Breaks::CrOnly;
            } else if (breaks_ == Breaks::Unknown) {
                breaks_ = Breaks::Unix;
            }
            line = std::string_view(base + begin_, at - begin_);
            consumed_ += at - begin_ + markLength;
            begin_ = at + markLength;
            return true;
        }
        if (eof_) {
            if (begin_ == end_)
                return false;
            line = std::string_view(base + begin_, end_ - begin_);
            consumed_ += end_ - begin_;
            begin_ = end_;
            return true;
        }
        searchFrom = end_ - begin_;
        fill();
        searchFrom += begin_;
    }
}

} // namespace engine
