#pragma once
// The conversion run over a whole file, as a machine that works in slices: the caller
// runs it until a deadline, serves its events, reads the settings afresh (they may
// have changed meanwhile) and runs it again. The source is read in large blocks, each
// line is split once, and output goes through a buffer into a file that stays open.
// The bytes written are exactly those that Out1Line, called line by line, writes.

#include "Items.h"
#include "LineReader.h"
#include "Tables.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace engine {

struct ConversionSettings {
    std::string inDeli;
    std::string outDeli;
    ColumnMap map;
};

class Conversion {
public:
    enum class Status { Running, Done, ReadFailed, WriteFailed };

    // blockSize: bytes read from the source at a time.
    explicit Conversion(bool skipFirstLine, std::size_t blockSize = LineReader::kDefaultBlock);
    ~Conversion();

    // Opens the source; false when it cannot be opened.
    bool openSource(const std::filesystem::path& source);
    // Reads from a stream the caller keeps alive (standard input, for instance).
    void openSource(std::istream& source);

    // Reads the first line ahead, for detection; the run still converts it. False when
    // the source holds no line. The line is copied into `line`.
    bool peekFirstLine(std::string& line);

    // Where the following lines go. When the path changes, what is buffered goes to
    // the old file first; the new file is opened for appending (created if missing)
    // when its first line is written, so a run that writes nothing creates nothing.
    // Returns false when flushing to the old file failed.
    bool setOutput(const std::filesystem::path& output);
    // Output to a stream the caller keeps alive (standard output, for instance).
    void setOutput(std::ostream& output);

    // Converts lines until the source ends, a failure, or the deadline passes.
    Status run(const ConversionSettings& settings, std::chrono::steady_clock::time_point deadline);
    // Converts everything (no deadline).
    Status runToEnd(const ConversionSettings& settings);

    // Writes out what is buffered. False when the write failed.
    bool flush();

    // Lines read, a left-out first line included.
    std::int64_t count() const { return count_; }
    // Count after the last line that was converted (not left out); 0 if none.
    std::int64_t shownCount() const { return shownCount_; }
    // Output lines that have reached the output file.
    std::int64_t linesWritten() const { return linesWritten_; }
    std::uint64_t bytesRead() const { return reader_ ? reader_->consumed() : 0; }
    std::uint64_t sourceSize() const { return sourceSize_; }
    // The last source line converted, and the last output line built (for display).
    const std::string& lastSource() const { return lastSource_; }
    const std::string& lastOutput() const { return lastOutput_; }
    bool anyOutput() const { return anyOutput_; }
    // The file a write failure concerns.
    const std::filesystem::path& failedOutput() const { return failedOutput_; }

private:
    bool openOutput();
    bool writeBuffer();

    bool skipFirst_;
    std::size_t blockSize_;
    std::ifstream source_;
    std::unique_ptr<LineReader> reader_;
    std::string_view peeked_;
    bool havePeeked_ = false;
    std::uint64_t sourceSize_ = 0;

    std::filesystem::path outPath_;
    std::ofstream out_;
    std::ostream* outStream_ = nullptr;
    bool outOpen_ = false;
    // Output gathered for one large write. Copies may run up to kSlack bytes past the
    // end of what they write; capacity always leaves that room.
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
    std::int64_t bufferedLines_ = 0;
    char* reserve(std::size_t bytes);
    std::filesystem::path failedOutput_;

    ItemSplitter splitter_;
    std::int64_t count_ = 0;
    std::int64_t shownCount_ = 0;
    std::int64_t linesWritten_ = 0;
    std::string lastSource_;
    std::string lastOutput_;
    bool anyOutput_ = false;
};

} // namespace engine
