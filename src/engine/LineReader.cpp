#include "LineReader.h"

#include "os/NativeFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace engine {

std::int64_t StreamSource::read(char* to, std::size_t bytes)
{
    in_.read(to, static_cast<std::streamsize>(bytes));
    const auto got = static_cast<std::int64_t>(in_.gcount());
    if (got == 0 && (in_.bad() || (!in_.eof() && in_.fail())))
        return -1;
    return got;
}

LineReader::LineReader(ByteSource& in, std::size_t blockSize, std::size_t maxLine)
    : in_(in), blockSize_(blockSize < 2 ? 2 : blockSize), maxLine_(maxLine)
{
    allocate();
}

LineReader::LineReader(std::istream& in, std::size_t blockSize, std::size_t maxLine)
    : ownSource_(std::make_unique<StreamSource>(in)), in_(*ownSource_), blockSize_(blockSize < 2 ? 2 : blockSize),
      maxLine_(maxLine)
{
    allocate();
}

void LineReader::allocate()
{
    if (kAheadRoom + blockSize_ + kSlack <= kRegion / 2) {
        region_ = static_cast<char*>(os::allocateBuffer(kRegion));
        if (region_) {
            buf_ = region_;
            capacity_ = kRegion / 2;
            spare_ = region_ + kRegion / 2;
            spareCapacity_ = kRegion / 2;
            return;
        }
    }
    if (!grow(blockSize_ + kSlack))
        throw std::bad_alloc();
}

void LineReader::release(char* p) const
{
    if (!inRegion(p))
        std::free(p);
}

LineReader::~LineReader()
{
    release(buf_);
    release(spare_);
    std::free(region_);
}

void LineReader::readAhead()
{
    if (eof_ || aheadGot_ != kNoAhead)
        return;
    const std::size_t need = kAheadRoom + blockSize_ + kSlack;
    if (spareCapacity_ < need) {
        // Nothing in it is kept.
        char* bigger = static_cast<char*>(inRegion(spare_) ? std::malloc(need) : std::realloc(spare_, need));
        if (!bigger)
            return; // the next fill() reads as usual
        spare_ = bigger;
        spareCapacity_ = need;
    }
    aheadGot_ = in_.read(spare_ + kAheadRoom, blockSize_);
}

bool LineReader::gotBytes(std::int64_t got)
{
    if (got > 0)
        return true;
    readError_ = got < 0;
    eof_ = true;
    return false;
}

void LineReader::makeRoom(std::size_t bytes)
{
    if (capacity_ - end_ >= bytes + kSlack)
        return;
    // Grow by a quarter, not double: a long line then costs little more than itself.
    const std::size_t need = end_ + bytes + kSlack;
    if (!grow(std::max(need, capacity_ + capacity_ / 4)) && !grow(need))
        throw std::bad_alloc();
}

bool LineReader::takeAhead()
{
    const std::int64_t got = aheadGot_;
    aheadGot_ = kNoAhead;
    if (!gotBytes(got))
        return false;
    const std::size_t left = end_ - begin_;
    const auto bytes = static_cast<std::size_t>(got);
    if (left <= kAheadRoom) {
        std::memcpy(spare_ + kAheadRoom - left, buf_ + begin_, left);
        std::swap(buf_, spare_);
        std::swap(capacity_, spareCapacity_);
        begin_ = kAheadRoom - left;
        end_ = kAheadRoom + bytes;
        return true;
    }
    // A long line: the block goes behind it.
    std::memmove(buf_, buf_ + begin_, left);
    end_ = left;
    begin_ = 0;
    makeRoom(bytes);
    std::memcpy(buf_ + end_, spare_ + kAheadRoom, bytes);
    end_ += bytes;
    return true;
}

bool LineReader::grow(std::size_t capacity)
{
    char* bigger = nullptr;
    if (inRegion(buf_)) {
        bigger = static_cast<char*>(std::malloc(capacity));
        if (bigger)
            std::memcpy(bigger, buf_, end_);
    } else {
        bigger = static_cast<char*>(std::realloc(buf_, capacity));
    }
    if (!bigger)
        return false;
    buf_ = bigger;
    capacity_ = capacity;
    return true;
}

bool LineReader::fill()
{
    if (eof_)
        return false;
    if (aheadGot_ != kNoAhead)
        return takeAhead();
    // Keep the unreturned bytes; grow only when a line is longer than the buffer.
    if (begin_ > 0) {
        std::memmove(buf_, buf_ + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    makeRoom(blockSize_);
    const std::int64_t got = in_.read(buf_ + end_, blockSize_);
    if (!gotBytes(got))
        return false;
    end_ += static_cast<std::size_t>(got);
    return true;
}

void LineReader::settle()
{
    // Each read may give a few bytes only: the first of them say nothing of the rest.
    while (end_ <= kProbe && fill()) {
    }
    settled_ = true;
    // A CR LF file may hold LF in quoted cells long before its first CR LF: one CR anywhere
    // in the probe keeps LF as text.
    const std::size_t n = std::min(end_, kProbe);
    lfEnds_ = loneLfMayEnd_ && !readError_ && !std::memchr(buf_, '\r', n) && std::memchr(buf_, '\n', n);
}

bool LineReader::next(std::string_view& line)
{
    if (!settled_)
        settle();
    if (tooLong_ || readError_)
        return false;
    std::size_t searchFrom = begin_;
    for (;;) {
        const char* const base = buf_;
        const char* const stop = base + end_;
        const char* from = base + searchFrom;
        const char* cr = static_cast<const char*>(std::memchr(from, '\r', static_cast<std::size_t>(stop - from)));
        const char* mark = cr;
        if (lfEnds_) {
            const char* lfStop = cr ? cr : stop;
            const char* lf = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(lfStop - from)));
            if (lf)
                mark = lf;
        }
        if (mark && static_cast<std::size_t>(mark - base) - begin_ > maxLine_)
            mark = nullptr;
        if (mark) {
            const std::size_t at = static_cast<std::size_t>(mark - base);
            std::size_t markLength = 1;
            if (*mark == '\r') {
                // Whether CR LF or a lone CR: the next byte decides, which may be in the next block.
                if (at + 1 == end_ && !eof_) {
                    searchFrom = at - begin_;
                    fill();
                    if (readError_)
                        return false;
                    searchFrom += begin_;
                    continue;
                }
                if (at + 1 < end_ && buf_[at + 1] == '\n')
                    markLength = 2;
            }
            line = std::string_view(base + begin_, at - begin_);
            consumed_ += at - begin_ + markLength;
            begin_ = at + markLength;
            ++lines_;
            return true;
        }
        if (end_ - begin_ > maxLine_) {
            tooLong_ = true;
            return false;
        }
        if (eof_) {
            if (begin_ == end_)
                return false;
            line = std::string_view(base + begin_, end_ - begin_);
            consumed_ += end_ - begin_;
            begin_ = end_;
            ++lines_;
            return true;
        }
        searchFrom = end_ - begin_;
        fill();
        if (readError_)
            return false;
        searchFrom += begin_;
    }
}

} // namespace engine
