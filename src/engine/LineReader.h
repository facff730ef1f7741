#pragma once
// The one line reader for source and definition files. A line ends at CR LF or at a
// lone CR; the end mark is not part of the line; a last line without an end mark is
// read too. When the file's first line break is a lone LF, the file is a Unix file and
// a lone LF ends lines as well; elsewhere a lone LF stays in the line (spreadsheets put
// LF inside quoted cells of CR LF files). Reading is done in blocks: memory holds one
// block plus the longest line, whatever the file's size.

#include <cstdint>
#include <istream>
#include <string_view>
#include <vector>

namespace engine {

class LineReader {
public:
    static constexpr std::size_t kDefaultBlock = 1 << 20;
    // Bytes after the end of every line returned that may be read (never used): lets
    // the splitter scan whole 64-byte blocks without copying a line's tail.
    static constexpr std::size_t kSlack = 64;

    explicit LineReader(std::istream& in, std::size_t blockSize = kDefaultBlock);

    // The next line, valid until the next call that returns true. False at the end of
    // the input; the line returned before then stays valid.
    bool next(std::string_view& line);

    // True when reading stopped because the stream failed, not at its end.
    bool readError() const { return readError_; }
    // Bytes of the input taken up by the lines returned so far, end marks included.
    std::uint64_t consumed() const { return consumed_; }

private:
    enum class Breaks { Unknown, CrOnly, Unix };

    // Reads one more block; false when nothing more could be read.
    bool fill();

    std::istream& in_;
    std::size_t blockSize_;
    std::vector<char> buf_;
    std::size_t begin_ = 0; // first unreturned byte
    std::size_t end_ = 0;   // end of valid data
    bool eof_ = false;
    bool readError_ = false;
    Breaks breaks_ = Breaks::Unknown;
    std::uint64_t consumed_ = 0;
};

} // namespace engine
