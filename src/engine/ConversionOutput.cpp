// The run's output side: the buffer lines are gathered in, the output opened when its
// first line is produced, writes that keep count of the whole lines that reached the file
// and cut it back to them after a failure, and a line too long to gather.
#include "Conversion.h"

#include "OutputLine.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace fs = std::filesystem;

Conversion::Buffer Conversion::newBuffer(std::size_t bytes)
{
    Buffer buffer(static_cast<char*>(std::malloc(bytes)));
    if (!buffer)
        throw std::bad_alloc();
    return buffer;
}

char* Conversion::reserve(std::size_t bytes)
{
    if (used_ + bytes + kSlack > capacity_) {
        const std::size_t capacity = std::max(2 * capacity_, used_ + bytes + kSlack);
        Buffer bigger = newBuffer(capacity);
        if (used_ > 0)
            std::memcpy(bigger.get(), buffer_.get(), used_);
        buffer_ = std::move(bigger);
        capacity_ = capacity;
    }
    return buffer_.get() + used_;
}

void Conversion::setOutput(std::ostream& output)
{
    flush();
    closeOutput();
    outStream_ = &output;
}

Conversion::Status Conversion::setOutput(const fs::path& output)
{
    if (output == outPath_ && !outStream_)
        return Status::Running;
    if (os::plantedByAnother(output)) {
        failedOutput_ = output;
        return fail(Status::OutputPlanted);
    }
    if (os::identityOf(output) == source_.identity()) {
        failedOutput_ = output;
        return fail(Status::OutputIsSource);
    }
    if (!flush())
        return status_;
    closeOutput();
    out_.keepPermissions({});
    outStream_ = nullptr;
    outPath_ = output;
    failedOutput_ = output;
    // A file that the run begins starts with the source's mark too; lines appended to a
    // file that already holds some do not.
    std::error_code ec;
    bomPending_ = encoding_.bom && (!fs::exists(output, ec) || fs::file_size(output, ec) == 0);
    return status_;
}

void Conversion::closeOutput()
{
    if (!out_.close() && status_ == Status::Running)
        fail(Status::WriteFailed);
    committed_ = 0;
    linesWritten_ = 0;
}

bool Conversion::openOutput()
{
    if (outStream_ || out_.isOpen())
        return true;
    failedOutput_ = outPath_;
    if (const OutputProblem problem = out_.open(outPath_, source_.identity()); problem != OutputProblem::None) {
        fail(failureOf(problem));
        return false;
    }
    committed_ = 0;
    linesWritten_ = 0;
    lockless_ = lockless_ || !out_.locked();
    opened_.push_back({outPath_, out_.identity(), out_.base(), out_.created()});
    return true;
}

bool Conversion::writeOut(const char* from, std::size_t bytes)
{
    if (outStream_) {
        outStream_->write(from, static_cast<std::streamsize>(bytes));
        return static_cast<bool>(*outStream_);
    }
    const std::size_t put = out_.write(from, bytes);
    if (put == bytes)
        return true;
    // Keep the whole lines of what did reach the file. Output holds CR only at line
    // ends (a CR always ends a source line), so whole lines are found by their CR LF.
    std::size_t whole = 0;
    std::int64_t lines = 0;
    for (std::size_t i = 0; i + 1 < put; ++i)
        if (from[i] == '\r' && from[i + 1] == '\n') {
            whole = i + 2;
            ++lines;
        }
    committed_ += whole;
    linesWritten_ += lines;
    shownCount_ = countAtCommit_ + lines;
    // A stream, a device or a failed cut may keep the start of the next line.
    partialLine_ = put > whole && !out_.cutBack(committed_);
    fail(Status::WriteFailed);
    return false;
}

bool Conversion::writeBuffer()
{
    if (used_ == 0)
        return true;
    if (!openOutput())
        return false;
    if (!writeOut(buffer_.get(), used_))
        return false;
    if (outStream_ && !outStream_->flush()) {
        fail(Status::WriteFailed);
        return false;
    }
    committed_ += used_;
    linesWritten_ += bufferedLines_;
    countAtCommit_ += bufferedLines_;
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

void Conversion::keepShown(std::string& to, std::string_view from)
{
    if (from.size() <= kShownBytes) {
        to.assign(from);
        return;
    }
    std::size_t end = 0;
    while (end < kShownBytes) {
        const std::size_t length = charLength(from, end, encoding_.encoding);
        if (end + length > kShownBytes)
            break;
        end += length;
    }
    to.assign(from.substr(0, end));
}

bool Conversion::writeLineDirect(const ItemSplitter& splitter, const OutputColumns& columns, std::string_view outDeli)
{
    if (!flush())
        return false;
    std::size_t written = 0;
    if (bomPending_) {
        if (!writeOut(kUtf8Bom.data(), kUtf8Bom.size()))
            return false;
        written += kUtf8Bom.size();
        bomPending_ = false;
    }
    std::string shown;
    const auto put = [&](std::string_view piece) {
        if (shown.size() < kShownBytes)
            shown.append(piece.substr(0, kShownBytes - shown.size()));
        if (!writeOut(piece.data(), piece.size()))
            return false;
        written += piece.size();
        return true;
    };
    if (!joinLine(columns.items.size(), outDeli, splitterItems(splitter, columns), EachPiece{put}))
        return false;
    if (!writeOut("\r\n", 2))
        return false;
    if (outStream_ && !outStream_->flush()) {
        fail(Status::WriteFailed);
        return false;
    }
    committed_ += written + 2;
    ++linesWritten_;
    ++countAtCommit_;
    keepShown(lastOutput_, shown);
    anyOutput_ = true;
    return true;
}

} // namespace engine
