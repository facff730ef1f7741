// The run's output side: the buffer lines are gathered in, the output opened when its
// first line is produced, writes that keep count of the whole lines that reached the file
// and cut it back to them after a failure, and a line too long to gather.
#include "Conversion.h"

#include "FormWriter.h"
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
    bomPending_ = !fs::exists(output, ec) || fs::file_size(output, ec) == 0;
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

bool Conversion::writeOut(const char* from, std::size_t bytes, bool wholeLines)
{
    if (outStream_) {
        outStream_->write(from, static_cast<std::streamsize>(bytes));
        return static_cast<bool>(*outStream_);
    }
    const std::size_t put = out_.write(from, bytes);
    if (put == bytes)
        return true;
    // Keep the whole lines of what did reach the file. Output holds CR only at line
    // ends (a CR always ends a source line), so whole lines are found by their CR LF; LF
    // ends are found alike where items hold no LF, and are kept as they are written where
    // they may.
    std::size_t whole = 0;
    std::int64_t lines = 0;
    if (!wholeLines) {
    } else if (recordEnds_) {
        for (const std::size_t end : lineEnds_)
            if (end <= put) {
                whole = end;
                ++lines;
            }
    } else if (lineEnd_.size() == 1) {
        for (std::size_t i = 0; i < put; ++i)
            if (from[i] == '\n') {
                whole = i + 1;
                ++lines;
            }
    } else {
        for (std::size_t i = 0; i + 1 < put; ++i)
            if (from[i] == '\r' && from[i + 1] == '\n') {
                whole = i + 2;
                ++lines;
            }
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
    lineEnds_.clear();
    return true;
}

bool Conversion::flush()
{
    if (!writeBuffer()) {
        // What could not be written is dropped, so that a later flush does not retry it.
        used_ = 0;
        bufferedLines_ = 0;
        lineEnds_.clear();
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
    return writePieces([&](auto&& put) {
        return joinLine(columns.items.size(), outDeli, splitterItems(splitter, columns), EachPiece{put});
    });
}

namespace {

// Where a form writes a line too long to gather: a staging area handed on in pieces.
template <typename Put> struct PieceDest {
    Put& put;
    std::unique_ptr<char[]> stage;
    std::size_t used = 0;
    static constexpr std::size_t kSize = FormRules::kGrowth * kFormPiece + 4096;
    char* reserve(std::size_t bytes)
    {
        if (used + bytes > kSize) {
            if (!drain())
                return nullptr;
        }
        return stage.get() + used;
    }
    bool commit(char* end)
    {
        used = static_cast<std::size_t>(end - stage.get());
        return true;
    }
    bool copy(std::string_view item)
    {
        // An item too long for the stage goes straight on.
        if (item.size() > kSize)
            return drain() && put(item);
        char* const to = reserve(item.size());
        if (to == nullptr)
            return false;
        std::memcpy(to, item.data(), item.size());
        return commit(to + item.size());
    }
    bool drain()
    {
        const bool ok = used == 0 || put(std::string_view(stage.get(), used));
        used = 0;
        return ok;
    }
};

// Where a long line goes to be checked before any of it is written: nowhere.
struct CheckDest {
    std::unique_ptr<char[]> scratch = std::make_unique<char[]>(FormRules::kGrowth * kFormPiece + 4096);
    char* reserve(std::size_t) { return scratch.get(); }
    bool commit(char*) { return true; }
    bool copy(std::string_view) { return true; }
};

} // namespace

bool Conversion::writeFormedDirect(const OutputColumns& columns, std::string_view outDeli)
{
    if (!rules_->replace) {
        // A character that cannot be written stops the run before any of its line is: a
        // stream or a device could not take the line's start back.
        CheckDest nowhere;
        FormSink<CheckDest&> check{*rules_, nowhere};
        if (!joinLine(columns.items.size(), outDeli, splitterItems(splitter_, columns), check))
            return characterFailed(columns, check.fault.column, check.fault.codePoint, check.fault.bytes);
    }
    bool faulted = false;
    FormFault fault;
    std::int64_t replaced = 0;
    bool held = false;
    const bool ok = writePieces([&](auto&& put) {
        PieceDest<std::remove_reference_t<decltype(put)>> dest{
            put, std::make_unique<char[]>(PieceDest<std::remove_reference_t<decltype(put)>>::kSize)};
        FormSink<PieceDest<std::remove_reference_t<decltype(put)>>&> sink{*rules_, dest};
        const bool joined = joinLine(columns.items.size(), outDeli, splitterItems(splitter_, columns), sink);
        if (!joined && !sink.failed) {
            faulted = true;
            fault = sink.fault;
        }
        replaced = sink.replaced;
        held = sink.heldDelimiter;
        return dest.drain() && joined;
    });
    if (faulted)
        return characterFailed(columns, fault.column, fault.codePoint, fault.bytes); // not after the check
    if (!ok)
        return false;
    replacements_ += replaced;
    delimiterLines_ += held ? 1 : 0;
    return true;
}

template <typename Join> bool Conversion::writePieces(Join&& join)
{
    if (!flush())
        return false;
    std::size_t written = 0;
    if (bomPending_ && wantBom_) {
        if (!writeOut(kUtf8Bom.data(), kUtf8Bom.size(), false))
            return false;
        written += kUtf8Bom.size();
    }
    bomPending_ = false;
    std::string shown;
    const auto put = [&](std::string_view piece) {
        if (shown.size() < kShownBytes)
            shown.append(piece.substr(0, kShownBytes - shown.size()));
        if (!writeOut(piece.data(), piece.size(), false))
            return false;
        written += piece.size();
        return true;
    };
    if (!join(put))
        return false;
    if (!writeOut(lineEnd_.data(), lineEnd_.size(), false))
        return false;
    if (outStream_ && !outStream_->flush()) {
        fail(Status::WriteFailed);
        return false;
    }
    committed_ += written + lineEnd_.size();
    ++linesWritten_;
    ++countAtCommit_;
    keepShown(lastOutput_, shown);
    anyOutput_ = true;
    return true;
}

} // namespace engine
