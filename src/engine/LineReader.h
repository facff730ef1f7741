#pragma once
// The one line reader for source and definition files. A line ends at CR LF or at a
// lone CR; the end mark is not part of the line; a last line without an end mark is
// read too. When the file's first kProbe bytes (all of it, when it is smaller) hold an LF
// and no CR at all, the file is a Unix file and a lone LF ends lines as well; elsewhere a
// lone LF stays in the line: spreadsheets put LF inside quoted cells of CR LF files, the
// header's cells too, so the first line break alone cannot tell. Reading is done in
// blocks: memory holds one block plus the longest line, whatever the file's size, and a
// line longer than the limit stops the reading instead of taking all memory.

#include "Encoding.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <string_view>

namespace engine {

// Where a reader's bytes come from: a file handle, a pipe, a stream.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes read, 0 at the end, -1 when reading failed.
    virtual std::int64_t read(char* to, std::size_t bytes) = 0;
};

// A standard stream as a byte source.
class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::istream& in) : in_(in) {}
    std::int64_t read(char* to, std::size_t bytes) override;

private:
    std::istream& in_;
};

class LineReader {
public:
    // A little under a megabyte: the block, the block read ahead and the room in front of
    // it fit the two halves of one large page (see kRegion).
    static constexpr std::size_t kDefaultBlock = (1 << 20) - (128 << 10);
    // The longest line read: 1 GiB. Longer lines do not occur in delimited text; a file
    // without line breaks (a binary file chosen by mistake) stops here, not when memory
    // runs out.
    static constexpr std::size_t kMaxLine = std::size_t{1} << 30;
    // Bytes after the end of every line returned that may be read (never used): lets
    // the splitter scan whole 64-byte blocks without copying a line's tail.
    static constexpr std::size_t kSlack = 64;
    // The first bytes, which decide whether a lone LF ends lines and a source's encoding.
    // Before it returns the first line the reader holds more than these or the whole input,
    // however few bytes each read gives (a pipe's first read may hold a line of ASCII alone).
    static constexpr std::size_t kProbe = kEncodingProbe;

    explicit LineReader(ByteSource& in, std::size_t blockSize = kDefaultBlock, std::size_t maxLine = kMaxLine);
    explicit LineReader(std::istream& in, std::size_t blockSize = kDefaultBlock, std::size_t maxLine = kMaxLine);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line, valid until the next call that returns true. False at the end of
    // the input, after a failed read and at a line longer than the limit; the line
    // returned before then stays valid.
    bool next(std::string_view& line);

    // True when reading stopped because the input failed, not at its end.
    bool readError() const { return readError_; }
    // True when reading stopped at a line longer than the limit; it is line lineCount() + 1.
    bool lineTooLong() const { return tooLong_; }
    // Lines returned so far.
    std::int64_t lineCount() const { return lines_; }
    // Bytes of the input taken up by the lines returned so far, end marks included.
    std::uint64_t consumed() const { return consumed_; }
    // The input's first bytes, more than kProbe of them or the whole input: valid after the
    // first line and until the next call, when they tell what kind of text the input holds.
    std::string_view start() const { return lines_ <= 1 ? std::string_view(buf_, end_) : std::string_view(); }
    // For files whose lines never end at a lone LF, whatever they hold (definition files,
    // which the program writes with CR LF): call before the first line.
    void keepLoneLf() { loneLfMayEnd_ = false; }

    // For a caller that finds the lines of a whole block itself: the bytes read but not yet
    // returned, with kSlack bytes readable after them; valid until the next call that reads.
    std::string_view unread() const { return std::string_view(buf_ + begin_, end_ - begin_); }
    // Whether the rules for this input are settled (from the first line on), and whether a
    // lone LF ends lines; a CR always does, and CR LF is one end mark.
    bool breaksKnown() const { return settled_; }
    bool lfEndsLines() const { return lfEnds_; }
    // True when no more bytes will come after unread().
    bool inputEnded() const { return eof_; }
    std::size_t maxLine() const { return maxLine_; }
    // Takes the first `bytes` of unread(), which hold `lines` whole lines with their end marks.
    void skip(std::size_t bytes, std::int64_t lines)
    {
        begin_ += bytes;
        consumed_ += bytes;
        lines_ += lines;
    }

    // Reads the next block into a second buffer, which the next read then takes instead of
    // reading: another thread may call it while this one still works on unread(), so that
    // reading overlaps converting. No other call may run meanwhile except unread(), skip()
    // and the queries above; the caller orders the two threads.
    void readAhead();
    bool aheadPending() const { return aheadGot_ != kNoAhead; }

private:
    // Reads one more block; false when nothing more could be read.
    bool fill();
    // Reads the first kProbe bytes and more, or the whole input, and settles the line rule.
    void settle();
    void allocate();
    bool grow(std::size_t capacity);
    // Takes the block readAhead() read, behind the unreturned bytes.
    bool takeAhead();
    // What a read gave: false at the end of the input or after a failure, which it notes.
    bool gotBytes(std::int64_t got);
    // Room for `bytes` more after the data (and kSlack after them).
    void makeRoom(std::size_t bytes);

    std::unique_ptr<StreamSource> ownSource_;
    ByteSource& in_;
    std::size_t blockSize_;
    std::size_t maxLine_;
    // malloc'ed, so that growing a large buffer can move pages instead of copying them.
    char* buf_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0; // first unreturned byte
    std::size_t end_ = 0;   // end of valid data
    bool eof_ = false;
    bool readError_ = false;
    bool tooLong_ = false;
    bool settled_ = false;
    bool lfEnds_ = false;
    bool loneLfMayEnd_ = true;
    std::int64_t lines_ = 0;
    std::uint64_t consumed_ = 0;

    // The block read ahead starts kAheadRoom bytes into spare_: a line that began in the
    // current block is copied in front of it, so that the two buffers are swapped and the
    // block itself is never copied.
    static constexpr std::size_t kAheadRoom = 64 * 1024;
    static constexpr std::int64_t kNoAhead = -2;
    char* spare_ = nullptr;
    std::size_t spareCapacity_ = 0;
    // Both buffers start as the halves of one region, which the system may back with a
    // large page: touching small fresh pages one by one costs more than reading into them.
    // A buffer that must grow leaves the region for memory of its own.
    static constexpr std::size_t kRegion = std::size_t{2} << 20;
    char* region_ = nullptr;
    bool inRegion(const char* p) const { return region_ && p >= region_ && p < region_ + kRegion; }
    void release(char* p) const;
    std::int64_t aheadGot_ = kNoAhead; // bytes read ahead, 0 at the end, -1 on failure
};

} // namespace engine
