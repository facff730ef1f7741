#include "Conversion.h"

#include "LineProcessing.h"

namespace engine {

namespace {
constexpr std::size_t kFlushAt = 1 << 20;
// The clock is read every so many lines, not after each one.
constexpr int kLinesPerClockCheck = 64;
} // namespace

Conversion::Conversion(bool skipFirstLine, std::size_t blockSize) : skipFirst_(skipFirstLine), blockSize_(blockSize)
{
    buffer_.reserve(kFlushAt + 4096);
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
    if (buffer_.empty())
        return true;
    if (!outOpen_ && !openOutput())
        return false;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.flush();
    if (!out_) {
        failedOutput_ = outPath_;
        return false;
    }
    linesWritten_ += bufferedLines_;
    bufferedLines_ = 0;
    buffer_.clear();
    return true;
}

bool Conversion::flush()
{
    if (!writeBuffer()) {
        // What could not be written is dropped, so that a later flush does not retry it.
        buffer_.clear();
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
    std::size_t outputLength = 0;
    bool haveOutput = false;
    int untilClock = kLinesPerClockCheck;
    Status status = Status::Running;

    for (;;) {
        if (!reader_->next(line)) {
            status = reader_->readError() ? Status::ReadFailed : Status::Done;
            break;
        }
        if (count_ == 0 && skipFirst_) {
            ++count_;
            continue;
        }
        const std::size_t before = buffer_.size();
        if (buildOutputLine(line, settings.inDeli, settings.map, settings.outDeli, splitter_, buffer_)) {
            outputAt = before;
            outputLength = buffer_.size() - before;
            haveOutput = true;
            buffer_.append("\r\n", 2);
            ++bufferedLines_;
            if (buffer_.size() >= kFlushAt) {
                lastOutput_.assign(buffer_, outputAt, outputLength);
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
        lastOutput_.assign(buffer_, outputAt, outputLength);
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
