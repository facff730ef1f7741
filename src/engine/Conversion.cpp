#include "Conversion.h"

#include "LineProcessing.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {
constexpr std::size_t kFlushAt = 1 << 20;
constexpr std::size_t kSlack = 64;

// The clock is read every so many lines, not after each one.
constexpr int kLinesPerClockCheck = 64;
} // namespace

Conversion::Conversion(bool skipFirstLine, std::size_t blockSize) : skipFirst_(skipFirstLine), blockSize_(blockSize)
{
    reserve(kFlushAt + 4096);
}

char* Conversion::reserve(std::size_t bytes)
{
    if (used_ + bytes + kSlack > capacity_) {
        const std::size_t capacity = std::max(2 * capacity_, used_ + bytes + kSlack);
        auto bigger = std::make_unique<char[]>(capacity);
        if (used_ > 0)
            std::memcpy(bigger.get(), buffer_.get(), used_);
        buffer_ = std::move(bigger);
        capacity_ = capacity;
    }
    return buffer_.get() + used_;
}

Conversion::~Conversion()
{
    flush();
}

bool Conversion::openSource(const std::filesystem::path& source)
{
    source_.open(source, std::ios::binary);
    if (!source_.is_open())
        return false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(source, ec);
    sourceSize_ = ec ? 0 : size;
    reader_ = std::make_unique<LineReader>(source_, blockSize_);
    return true;
}

void Conversion::openSource(std::istream& source)
{
    sourceSize_ = 0;
    reader_ = std::make_unique<LineReader>(source, blockSize_);
}

bool Conversion::peekFirstLine(std::string& line)
{
    if (!reader_ || count_ != 0 || havePeeked_)
        return false;
    if (!reader_->next(peeked_))
        return false;
    havePeeked_ = true;
    line.assign(peeked_);
    return true;
}

void Conversion::setOutput(std::ostream& output)
{
    flush();
    outStream_ = &output;
}

bool Conversion::setOutput(const std::filesystem::path& output)
{
    if (output == outPath_)
        return true;
    const bool flushed = flush();
    if (outOpen_) {
        out_.close();
        outOpen_ = false;
    }
    outPath_ = output;
    return flushed;
}

bool Conversion::openOutput()
{
    out_.clear();
    out_.open(outPath_, std::ios::binary | std::ios::app);
    if (!out_.is_open()) {
        failedOutput_ = outPath_;
        return false;
    }
    // Writes are already gathered into large pieces here.
    outOpen_ = true;
    return true;
}

bool Conversion::writeBuffer()
{
    if (used_ == 0)
        return true;
    std::ostream* target = outStream_;
    if (!target) {
        if (!outOpen_ && !openOutput())
            return false;
        target = &out_;
    }
    target->write(buffer_.get(), static_cast<std::streamsize>(used_));
    target->flush();
    if (!*target) {
        failedOutput_ = outPath_;
        return false;
    }
    linesWritten_ += bufferedLines_;
    bufferedLines_ = 0;
    used_ = 0;
    return true;
}

bool Conversion::flush()
{
    if (!writeBuffer()) {
        // What could not be written is dropped, so that a later flush does not retry it.
        used_ = 0;
        bufferedLines_ = 0;
        return false;
    }
    return true;
}

Conversion::Status Conversion::run(const ConversionSettings& settings,
                                   std::chrono::steady_clock::time_point deadline)
{
    if (!reader_)
        return Status::ReadFailed;
    std::string_view line;
    // Views of the last converted line and of its output; copied for display only when
    // the slice ends, not for every line.
    std::string_view shownSource;
    bool haveSource = false;
    std::size_t outputAt = 0;
    std::size_t shownLength = 0;
    bool haveOutput = false;
    int untilClock = kLinesPerClockCheck;
    Status status = Status::Running;
    // The columns, read once per slice.
    const OutputColumns columns = outputColumns(settings.map);
    const std::string_view outDeli = settings.outDeli;

    for (;;) {
        if (havePeeked_) {
            line = peeked_;
            havePeeked_ = false;
        } else if (!reader_->next(line)) {
            status = reader_->readError() ? Status::ReadFailed : Status::Done;
            break;
        }
        if (count_ == 0 && skipFirst_) {
            ++count_;
            continue;
        }
        if (!columns.items.empty()) {
            splitter_.split(line, settings.inDeli, columns.upTo, true);
            const std::size_t length = outputLength(splitter_, columns, outDeli) + 2;
            char* const start = reserve(length);
            char* const to = writeOutputLine<true>(start, splitter_, columns, outDeli);
            to[0] = '\r';
            to[1] = '\n';
            outputAt = used_;
            shownLength = length - 2;
            haveOutput = true;
            used_ += length;
            ++bufferedLines_;
            if (used_ >= kFlushAt) {
                lastOutput_.assign(buffer_.get() + outputAt, shownLength);
                anyOutput_ = true;
                haveOutput = false;
                if (!flush()) {
                    ++count_;
                    shownCount_ = count_;
                    lastSource_.assign(line);
                    return Status::WriteFailed;
                }
            }
        }
        ++count_;
        shownCount_ = count_;
        shownSource = line;
        haveSource = true;
        if (--untilClock == 0) {
            untilClock = kLinesPerClockCheck;
            if (std::chrono::steady_clock::now() >= deadline)
                break;
        }
    }
    // The reader keeps the last line's bytes in place when it reports the end.
    if (haveSource)
        lastSource_.assign(shownSource);
    if (haveOutput) {
        lastOutput_.assign(buffer_.get() + outputAt, shownLength);
        anyOutput_ = true;
    }
    return status;
}

Conversion::Status Conversion::runToEnd(const ConversionSettings& settings)
{
    const Status s = run(settings, std::chrono::steady_clock::time_point::max());
    if (s == Status::Done && !flush())
        return Status::WriteFailed;
    return s;
}

} // namespace engine
