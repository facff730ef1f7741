#include "Conversion.h"

#include "Encoding.h"
#include "Classify.h"
#include "ClassifyWide.h"
#include "LineProcessing.h"
#include "Simd.h"
#include "os/NativeFile.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace engine {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kFlushAt = 256 * 1024;
constexpr std::size_t kSlack = 64;
// An output line longer than this is written item by item instead of being gathered,
// so that a very long line is never copied whole.
constexpr std::size_t kDirectAt = 1 << 20;
// Each output buffer: a line begun below kFlushAt, or below the worker's limit, fits.
constexpr std::size_t kOutputBuffer = 2 * kDirectAt;
constexpr std::size_t kWorkerLimit = kDirectAt - kSlack;

// The clock is read every so many lines, not after each one.
constexpr int kLinesPerClockCheck = 64;
// Lines whose output takes items beyond this number, or more columns, go line by line.
constexpr std::int64_t kMostHeldColumns = 128;
constexpr std::size_t kMostHeldOutputs = 256;
} // namespace

Conversion::Conversion(bool skipFirstLine, std::size_t blockSize, std::size_t maxLine)
    : skipFirst_(skipFirstLine), blockSize_(blockSize), maxLine_(maxLine),
      threads_(std::thread::hardware_concurrency() >= 2 ? 2 : 1)
{
    reserve(kOutputBuffer - kSlack);
}

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

Conversion::~Conversion()
{
    if (replaced_) {
        // Only a finished run replaces the output.
        if (status_ != Status::Done)
            replaced_->abandon(out_);
        return;
    }
    // Ending the program in the middle of a run keeps what was converted.
    flush();
}

Conversion::Status Conversion::fail(Status s)
{
    status_ = s;
    return s;
}

bool Conversion::openSource(const fs::path& source)
{
    switch (source_.open(source)) {
    case SourceFile::Problem::None:
        break;
    case SourceFile::Problem::Missing:
        fail(Status::SourceMissing);
        return false;
    case SourceFile::Problem::NotAFile:
        fail(Status::SourceNotAFile);
        return false;
    case SourceFile::Problem::CannotOpen:
        fail(Status::SourceCannotOpen);
        return false;
    }
    sourceSize_ = source_.size();
    reader_ = std::make_unique<LineReader>(source_, blockSize_, maxLine_);
    return true;
}

bool Conversion::openStandardInput()
{
    return openDescriptor(0);
}

bool Conversion::openDescriptor(int fd)
{
    switch (source_.openDescriptor(fd)) {
    case SourceFile::Problem::None:
        break;
    case SourceFile::Problem::NotAFile:
        fail(Status::SourceNotAFile);
        return false;
    default:
        fail(Status::SourceCannotOpen);
        return false;
    }
    sourceSize_ = source_.size();
    reader_ = std::make_unique<LineReader>(source_, blockSize_, maxLine_);
    return true;
}

void Conversion::openSource(std::istream& source)
{
    streamSource_ = std::make_unique<StreamSource>(source);
    openSource(*streamSource_);
}

void Conversion::openSource(ByteSource& source)
{
    sourceSize_ = 0;
    reader_ = std::make_unique<LineReader>(source, blockSize_, maxLine_);
}

bool Conversion::peekFirstLine(std::string_view& line)
{
    if (havePeeked_) {
        line = peeked_;
        return true;
    }
    if (!reader_ || count_ != 0)
        return false;
    if (!reader_->next(peeked_)) {
        if (reader_->lineTooLong())
            fail(Status::LineTooLong);
        else if (reader_->readError())
            fail(Status::ReadFailed);
        return false;
    }
    takeFirstLine(peeked_);
    havePeeked_ = true;
    line = peeked_;
    return true;
}

bool Conversion::peekFirstLine(std::string& line)
{
    std::string_view view;
    if (!peekFirstLine(view))
        return false;
    line.assign(view);
    return true;
}

void Conversion::takeFirstLine(std::string_view& line)
{
    encoding_ = detectEncoding(reader_->start(), encodingChoice_);
    bomPending_ = encoding_.bom;
    // The mark belongs to no item: the first item starts after it.
    if (encoding_.bom && line.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        line.remove_prefix(kUtf8Bom.size());
}

Conversion::Status Conversion::prepare(const RunRequest& request)
{
    mode_ = request.mode;
    encodingChoice_ = request.encoding;
    // A source named by one of the process's own descriptors is that open stream.
    const int sourceDescriptor = request.sourceIsStandardInput ? 0 : os::descriptorNamedBy(request.source);
    if (!(sourceDescriptor >= 0 ? openDescriptor(sourceDescriptor) : openSource(request.source)))
        return status_;
    // The first read decides whether the source can be read at all, before any output
    // is touched.
    std::string_view first;
    if (!peekFirstLine(first) && status_ != Status::Running)
        return status_;

    const FileIdentity source = source_.identity();
    // Standard output in any spelling is written through the descriptor the process
    // holds: opened again by name, a file behind it would be replaced, not added to.
    const int outputDescriptor = request.outputIsStandardOutput ? 1 : os::descriptorNamedBy(request.output);
    if (outputDescriptor >= 0) {
        mode_ = OutputMode::Append;
        if (!out_.openDescriptor(outputDescriptor))
            return fail(Status::CannotCreateOutput);
        if (out_.file().identity() == source)
            return fail(Status::OutputIsSource);
        return status_;
    }
    outPath_ = request.output;
    failedOutput_ = request.output;
    if (os::plantedByAnother(request.output))
        return fail(Status::OutputPlanted);
    const FileIdentity output = os::identityOf(request.output);
    if (output == source)
        return fail(Status::OutputIsSource);
    for (const fs::path& other : request.notOutputs)
        if (output == os::identityOf(other) || sameFile(other, request.output))
            return fail(Status::OutputIsNotOutput);

    std::error_code ec;
    const fs::file_status status = fs::status(request.output, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a named pipe is written as it is, never removed or replaced.
        mode_ = OutputMode::Append;
        return status_;
    }
    if (mode_ == OutputMode::Replace) {
        replaced_ = std::make_unique<ReplacedOutput>();
        switch (replaced_->begin(request.output, out_, source)) {
        case ReplacedOutput::Problem::None:
            replacing_ = true;
            lockless_ = !replaced_->locked();
            return status_;
        case ReplacedOutput::Problem::Busy:
            replaced_.reset();
            return fail(Status::OutputBusy);
        case ReplacedOutput::Problem::IsSource:
            replaced_.reset();
            return fail(Status::OutputIsSource);
        default:
            replaced_.reset();
            return fail(Status::CannotCreateOutput);
        }
    }
    if (fs::exists(status)) {
        // The old output is removed under its claim: a run writing it holds the claim and
        // keeps its file.
        os::OutputClaim old;
        switch (old.claim(request.output, false)) {
        case os::OutputClaim::Result::Busy:
            return fail(Status::OutputBusy);
        case os::OutputClaim::Result::Claimed:
            // The new file is as private as the one it follows.
            out_.keepPermissions(old.file().permissions());
            if (!old.removeClaimed())
                return fail(Status::CannotDeleteOutput);
            break;
        default:
            // A file this user may not open for writing may still be removable.
            if (removeOldOutput(request.output) == RemoveResult::Failed)
                return fail(Status::CannotDeleteOutput);
            break;
        }
    }
    return status_;
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
    switch (out_.open(outPath_, source_.identity())) {
    case OutputTarget::Problem::None: {
        committed_ = 0;
        linesWritten_ = 0;
        lockless_ = lockless_ || !out_.locked();
        opened_.push_back({outPath_, out_.identity(), out_.base(), out_.created()});
        return true;
    }
    case OutputTarget::Problem::CannotCreate:
        fail(Status::CannotCreateOutput);
        break;
    case OutputTarget::Problem::Busy:
        fail(Status::OutputBusy);
        break;
    case OutputTarget::Problem::IsSource:
        fail(Status::OutputIsSource);
        break;
    }
    return false;
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
    bool first = true;
    const auto put = [&](std::string_view piece) {
        if (shown.size() < kShownBytes)
            shown.append(piece.substr(0, kShownBytes - shown.size()));
        if (!writeOut(piece.data(), piece.size()))
            return false;
        written += piece.size();
        return true;
    };
    for (const std::int32_t no : columns.items) {
        if (!first && !put(outDeli))
            return false;
        first = false;
        if (!put(splitter.item(no)))
            return false;
    }
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

namespace {

// What a scan over part of the reader's block needs. The block holds `held` bytes; a CR
// at its last byte may still be followed by LF unless the input has ended.
struct HeldScan {
    const char* data;
    std::size_t held;
    bool ended;
    bool lfEnds;
    std::size_t maxLine;
    const OutputColumns* columns;
    char delimiter;
    bool checkTrail;
    std::string_view outDeli;
    ClassifyWords classify;
    bool bitInstructions; // the walk compiled for AVX2 processors' bit instructions runs
};

// The masks of up to kTileWords words, found in one call: a tile stays in the first-level
// cache while its lines are walked.
constexpr std::size_t kTileWords = 64;
struct Tiles {
    const char* data = nullptr; // nullptr: nothing classified yet
    std::size_t start = 0;
    std::size_t words = 0;
    WordMasks masks[kTileWords];
};

// Where a scan puts output lines, and what it tells of them. The buffer should have room
// for flushAt + kDirectAt + kSlack bytes, so that any line begun below flushAt fits.
struct ScanOut {
    char* buffer;
    std::size_t used;
    std::size_t capacity;
    std::size_t flushAt;   // stop after the line that reaches this
    std::int64_t maxLines; // stop after so many lines
    std::int64_t lines = 0;
    std::size_t lastStart = 0, lastEnd = 0; // the last line converted
    std::size_t lastOutputAt = 0, lastOutputLength = 0;
};

enum class ScanEnd {
    Reached, // every whole line before `to` was converted
    Leave,   // the line at scanStart is left to the line-by-line loop
    Limit,   // flushAt or maxLines was reached, or the next line does not fit
};

// An item of a line: where it starts in the block, and its bytes.
struct Span {
    std::size_t start;
    std::size_t size;
};

// Copies an item to `to` and returns its end: 32 bytes whatever the item's size, then 16 at
// a time, so that most items need no test of their size. Copies run past the item's end:
// the reader's block and the output buffer both have the room.
inline char* copyItem(char* to, const char* from, std::size_t size)
{
    std::memcpy(to, from, 32);
    for (std::size_t i = 32; i < size; i += 16)
        std::memcpy(to + i, from + i, 16);
    return to + size;
}

// Writes a line's output (CR LF included) at `to`, which has kSlack bytes of room after it.
inline char* putLine(char* to, const char* data, std::string_view outDeli,
                     const Span* spans, std::size_t columnCount)
{
    const bool oneByteOutDeli = outDeli.size() == 1;
    for (std::size_t c = 0; c < columnCount; ++c) {
        if (c > 0) {
            if (oneByteOutDeli)
                *to++ = outDeli[0];
            else {
                std::memcpy(to, outDeli.data(), outDeli.size());
                to += outDeli.size();
            }
        }
        to = copyItem(to, data + spans[c].start, spans[c].size);
    }
    to[0] = '\r';
    to[1] = '\n';
    return to + 2;
}

// Converts the lines from scanStart (a line's start) up to `to` (a line's start or the held
// end) into out, walking the masks of whole tiles from line to line. scanStart ends at the
// first line not converted. Bits: compiled for the bit instructions of AVX2 processors.
template <bool Bits>
[[gnu::always_inline]] inline ScanEnd walkLines(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles,
                                                ScanOut& out)
{
    // Locals, not h's or out's fields: stores of output bytes could alias those, forcing reloads.
    const char* const data = h.data;
    char* const buffer = out.buffer;
    std::size_t used = out.used;
    std::size_t lineStart = scanStart;
    std::int64_t lines = 0;
    std::size_t lastStart = 0, lastEnd = 0, lastAt = 0;
    const auto stop = [&](ScanEnd end) {
        scanStart = lineStart;
        if (lines > 0) {
            out.lines += lines;
            out.lastStart = lastStart;
            out.lastEnd = lastEnd;
            out.lastOutputAt = lastAt;
            out.lastOutputLength = used - lastAt - 2;
        }
        out.used = used;
        return end;
    };
    const std::size_t held = h.held;
    const bool ended = h.ended;
    const bool lfEnds = h.lfEnds;
    const std::size_t maxLine = h.maxLine;
    const char delimiter = h.delimiter;
    const bool checkTrail = h.checkTrail;
    const std::string_view outDeli = h.outDeli;
    const std::size_t flushAt = out.flushAt;
    const std::size_t capacity = out.capacity;
    const std::int64_t maxLines = out.maxLines;
    const OutputColumns& columns = *h.columns;
    const auto need = static_cast<std::size_t>(columns.upTo);
    // Room for a whole word's cuts past the last one kept.
    // bounds[0]: the byte before the line; bounds[1 + i]: the i-th delimiter, kept for
    // the first `need`, with room for a whole word's past them and for the last item's two.
    std::size_t bounds[kMostHeldColumns + 64 + 3];
    std::size_t* const cuts = bounds + 1;
    std::size_t cutCount = 0;
    std::size_t lastCut = 0;
    std::uint64_t inQuotes = 0; // all ones while the scan is inside quotes
    const std::size_t columnCount = columns.items.size();
    const std::size_t outDelis = (columnCount - 1) * outDeli.size();
    Span spans[kMostHeldOutputs]; // not cleared: each is set before it is read
    // Each column's item from 0; a number below 1 becomes the largest, so that it takes
    // the last item as one beyond the line's items does.
    std::size_t wanted[kMostHeldOutputs];
    for (std::size_t c = 0; c < columnCount; ++c)
        wanted[c] = static_cast<std::size_t>(static_cast<std::int64_t>(columns.items[c]) - 1);
    // The tile in locals; one unsigned test finds a word outside it, before it included.
    std::size_t tileStart = tiles.start;
    std::size_t tileBytes = tiles.data == data ? 64 * tiles.words : 0;
    for (std::size_t base = lineStart & ~std::size_t{63}; base < to; base += 64) {
        if (base - tileStart >= tileBytes) {
            // Whole words up to `to`: the reader keeps kSlack bytes readable after its data.
            const std::size_t words = std::min(kTileWords, (to - base + 63) / 64);
            h.classify(data + base, words, delimiter, lfEnds, tiles.masks);
            tiles.data = data;
            tiles.start = tileStart = base;
            tiles.words = words;
            tileBytes = 64 * words;
        }
        const WordMasks& m = tiles.masks[(base - tileStart) / 64];
        const std::uint64_t valid = to - base >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to - base)) - 1;
        // The word's bytes from the current line's start on (it starts before base + 64).
        const std::uint64_t live = valid & (~std::uint64_t{0} << (lineStart > base ? lineStart - base : 0));
        std::uint64_t ends = m.ends & live;
        // Delimiters outside quotes for the whole word at once; the quote state restarts
        // after each line end.
        std::uint64_t found = m.delimiters & live;
        const std::uint64_t quotes = m.quotes & live;
        if (quotes == 0) {
            // Only the part before the first line end can be inside quotes, carried in.
            found &= ~(inQuotes & (ends ? (ends & (0 - ends)) - 1 : ~std::uint64_t{0}));
            if (ends != 0)
                inQuotes = 0;
        } else {
            const std::uint64_t parity = prefixXor(quotes);
            std::uint64_t inside = parity ^ inQuotes;
            for (std::uint64_t e = ends; e != 0; e &= e - 1) {
                const std::uint64_t upTo = e ^ (e - 1); // bits up to this end, the end included
                const std::uint64_t restart = 0 - ((parity >> std::countr_zero(e)) & 1);
                inside = (inside & upTo) | ((parity ^ restart) & ~upTo);
            }
            found &= ~inside;
            // A line end in the last byte leaves the next word outside quotes.
            inQuotes = ends >> 63 ? 0 : 0 - (inside >> 63);
        }
        for (;;) {
            // The current line's part of the word: up to its end, or the whole rest.
            const std::uint64_t below = ends ? (ends & (0 - ends)) - 1 : ~std::uint64_t{0};
            std::uint64_t segment = found & below;
            if (segment != 0) {
                if (checkTrail) {
                    while (segment != 0) {
                        const std::size_t pos = base + static_cast<std::size_t>(std::countr_zero(segment));
                        segment &= segment - 1;
                        // The line starts at a character boundary, and so does the block.
                        if (isTrailAt(data, pos))
                            continue;
                        if (cutCount < need)
                            cuts[cutCount] = pos;
                        lastCut = pos;
                        ++cutCount;
                    }
                } else {
                    // Eight places at a time without a test each: most words hold fewer.
                    std::size_t n;
                    if constexpr (Bits)
                        n = static_cast<std::size_t>(__builtin_popcountll(segment));
                    else
                        n = static_cast<std::size_t>(popcount64(segment));
                    if (cutCount < need) {
                        std::size_t* const to = cuts + cutCount;
                        std::uint64_t f = segment;
                        for (std::size_t i = 0; i < 8; ++i) {
                            to[i] = base + static_cast<std::size_t>(std::countr_zero(f));
                            f &= f - 1;
                        }
                        for (std::size_t i = 8; i < n; ++i) {
                            to[i] = base + static_cast<std::size_t>(std::countr_zero(f));
                            f &= f - 1;
                        }
                    }
                    lastCut = base + static_cast<std::size_t>(highestBit(segment));
                    cutCount += n;
                }
            }
            if (ends == 0)
                break;
            const std::size_t lineEnd = base + static_cast<std::size_t>(std::countr_zero(ends));
            std::size_t mark = 1;
            if (data[lineEnd] == '\r') {
                // CR LF or a lone CR: the next byte decides, and it may not have been read yet.
                if (lineEnd + 1 < held)
                    mark = data[lineEnd + 1] == '\n' ? 2 : 1;
                else if (!ended)
                    return stop(ScanEnd::Leave);
            }
            if (lineEnd - lineStart > maxLine)
                return stop(ScanEnd::Leave);
            // Item k (from 0) lies between bounds[k] and bounds[k + 1]. Past the kept cuts,
            // the last item is put at `top` from the last cut to the line's end.
            bounds[0] = lineStart - 1;
            std::size_t top = cutCount;
            if (cutCount > need) {
                top = need + 1;
                bounds[top] = lastCut;
            }
            bounds[top + 1] = lineEnd;
            std::size_t length;
            // No column is longer than the line: when even that many fit, the items go
            // straight to the buffer as their places are found.
            const std::size_t most = columnCount * (lineEnd - lineStart) + outDelis + 2;
            if (most <= kDirectAt && used + most + kSlack <= capacity) {
                char* o = buffer + used;
                for (std::size_t c = 0; c < columnCount; ++c) {
                    if (c > 0) {
                        if (outDeli.size() == 1)
                            *o++ = outDeli[0];
                        else {
                            std::memcpy(o, outDeli.data(), outDeli.size());
                            o += outDeli.size();
                        }
                    }
                    const std::size_t k = std::min(wanted[c], top);
                    const std::size_t start = bounds[k] + 1;
                    o = copyItem(o, data + start, bounds[k + 1] - start);
                }
                o[0] = '\r';
                o[1] = '\n';
                length = static_cast<std::size_t>(o + 2 - (buffer + used));
            } else {
                length = outDelis + 2;
                for (std::size_t c = 0; c < columnCount; ++c) {
                    const std::size_t k = std::min(wanted[c], top);
                    const std::size_t start = bounds[k] + 1;
                    spans[c] = {start, bounds[k + 1] - start};
                    length += bounds[k + 1] - start;
                }
                if (length > kDirectAt)
                    return stop(ScanEnd::Leave);
                if (used + length + kSlack > capacity)
                    return stop(ScanEnd::Limit);
                putLine(buffer + used, data, outDeli, spans, columnCount);
            }
            lastStart = lineStart;
            lastEnd = lineEnd;
            lastAt = used;
            used += length;
            ++lines;
            lineStart = lineEnd + mark;
            cutCount = 0;
            if (used >= flushAt || lines >= maxLines)
                return stop(ScanEnd::Limit);
            if (lineStart >= base + 64)
                break;
            // The LF of a CR LF is no line end of its own, even where LF ends lines.
            const std::uint64_t next = ~std::uint64_t{0} << (lineStart - base);
            ends &= next;
            found &= next;
        }
    }
    return stop(ScanEnd::Reached);
}

ScanEnd walkLinesBaseline(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<false>(h, scanStart, to, tiles, out);
}

#if TOLVANE_HAVE_WIDE
// The same walk with single instructions for counting and finding bits, and wider copies;
// only this function (and what is inlined into it) is compiled for them.
__attribute__((target("avx2,bmi,popcnt"))) ScanEnd walkLinesBits(const HeldScan& h, std::size_t& scanStart,
                                                                  std::size_t to, Tiles& tiles, ScanOut& out)
{
    return walkLines<true>(h, scanStart, to, tiles, out);
}
#endif

ScanEnd scanLines(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out)
{
#if TOLVANE_HAVE_WIDE
    if (h.bitInstructions)
        return walkLinesBits(h, scanStart, to, tiles, out);
#endif
    return walkLinesBaseline(h, scanStart, to, tiles, out);
}

// Where the held lines split, giving the worker about `part` of them: the start of the
// first line after the cut; 0 when there is no such line. Line ends do not depend on quotes.
std::size_t splitPoint(const char* data, std::size_t n, bool lfEnds, double part)
{
    if (n < 2)
        return 0;
    const char* const mid = data + static_cast<std::size_t>(static_cast<double>(n) * (1 - part));
    const char* const stop = data + n;
    const char* p = mid;
    if (lfEnds) {
        while (p < stop && *p != '\r' && *p != '\n')
            ++p;
    } else {
        p = static_cast<const char*>(std::memchr(mid, '\r', static_cast<std::size_t>(stop - mid)));
        if (p == nullptr)
            p = stop;
    }
    if (p + 1 >= stop)
        return 0; // no end mark, or a CR whose LF may be still to come
    // A LF here is a lone one or ends a CR LF that began before the cut.
    const std::size_t at = static_cast<std::size_t>(p - data);
    return at + (*p == '\r' && p[1] == '\n' ? 2 : 1);
}

} // namespace

// Converts the second part of a split block on a thread of its own, into a buffer of its
// own that the run then takes over, and then reads the next block ahead. It stops early at
// a line the fast path cannot finish and once its buffer holds kDirectAt bytes, so that
// memory stays bounded.
class Conversion::HalfWorker {
public:
    HalfWorker()
        : buffer_(newBuffer(kOutputBuffer)), capacity_(kOutputBuffer), thread_([this] { loop(); })
    {
    }
    ~HalfWorker()
    {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    // readAhead: the reader whose next block to read once the part is converted, or nullptr.
    void start(const HeldScan& scan, std::size_t from, std::size_t to, LineReader* readAhead)
    {
        {
            const std::lock_guard lock(mutex_);
            scan_ = scan;
            from_ = from;
            to_ = to;
            ahead_ = readAhead;
            converted_.store(false, std::memory_order_relaxed);
            idle_.store(false, std::memory_order_relaxed);
            pending_.store(true, std::memory_order_release);
        }
        wake_.notify_one();
    }
    // Waits for the converted part.
    const ScanOut& wait()
    {
        waitFor(converted_);
        return result_;
    }
    // Waits until the reader may be used again.
    void waitIdle() { waitFor(idle_); }
    // How long the last part took to convert and read ahead; only after waitIdle().
    std::chrono::steady_clock::duration busy() const { return busy_; }
    // The first line the worker did not convert; only between wait() and the next start().
    std::size_t stoppedAt() const { return stoppedAt_; }
    // The worker's buffer; only between wait() and the next start().
    Buffer& buffer() { return buffer_; }
    std::size_t& capacity() { return capacity_; }

private:
    // Blocks follow each other within microseconds: a short wait costs less than being
    // put to sleep and woken. True when the flag was set meanwhile.
    static bool spinUntil(const std::atomic<bool>& flag)
    {
        for (int i = 0; i < kSpins; ++i) {
            if (flag.load(std::memory_order_acquire))
                return true;
#if TOLVANE_HAVE_SSE2
            _mm_pause();
#else
            std::this_thread::yield();
#endif
        }
        return false;
    }
    void waitFor(const std::atomic<bool>& flag)
    {
        if (!spinUntil(flag)) {
            std::unique_lock lock(mutex_);
            finished_.wait(lock, [&] { return flag.load(std::memory_order_acquire); });
        }
    }
    void signal(std::atomic<bool>& flag)
    {
        {
            const std::lock_guard lock(mutex_);
            flag.store(true, std::memory_order_release);
        }
        finished_.notify_one();
    }

    void loop()
    {
        for (;;) {
            if (!spinUntil(pending_)) {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return pending_.load(std::memory_order_acquire) || quit_; });
                if (quit_)
                    return;
            }
            pending_.store(false, std::memory_order_relaxed);
            const auto began = std::chrono::steady_clock::now();
            Tiles tiles;
            ScanOut out{buffer_.get(), 0, capacity_, kWorkerLimit, INT64_MAX};
            std::size_t lineStart = from_;
            scanLines(scan_, lineStart, to_, tiles, out);
            result_ = out;
            stoppedAt_ = lineStart;
            signal(converted_);
            if (ahead_)
                ahead_->readAhead();
            busy_ = std::chrono::steady_clock::now() - began;
            signal(idle_);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    static constexpr int kSpins = 20000;
    std::atomic<bool> pending_{false};
    std::atomic<bool> converted_{true};
    std::atomic<bool> idle_{true};
    bool quit_ = false;
    HeldScan scan_{};
    std::size_t from_ = 0;
    std::size_t to_ = 0;
    LineReader* ahead_ = nullptr;
    ScanOut result_{nullptr, 0, 0, 0, 0};
    std::chrono::steady_clock::duration busy_{};
    Buffer buffer_;
    std::size_t capacity_ = 0;
    std::size_t stoppedAt_ = 0;
    std::thread thread_; // last: starts once the members above exist
};

void Conversion::settleReader()
{
    if (!aheadInFlight_)
        return;
    aheadInFlight_ = false;
    const auto now = std::chrono::steady_clock::now();
    worker_->waitIdle();
    // Each thread's time on the block without its waits, and the worker's time per byte:
    // the next split moves halfway to where both would have taken the same time, so that
    // neither waits for the other (halfway, as one block's times are noisy).
    const double mine = std::chrono::duration<double>(now - blockBegan_ - waitedForWorker_).count();
    const double theirs = std::chrono::duration<double>(worker_->busy()).count();
    if (workerBytes_ > 0 && theirs > 0 && blockBytes_ > 0) {
        const double perByte = theirs / static_cast<double>(workerBytes_);
        const double move = (mine - theirs) / 2 / perByte / static_cast<double>(blockBytes_);
        workerPart_ = std::clamp(workerPart_ + move / 2, kLeastPart, 1 - kLeastPart);
    }
}

Conversion::Held Conversion::convertHeldLines(const OutputColumns& columns, char delimiter, bool checkTrail,
                                              std::string_view outDeli, Shown& shown,
                                              std::chrono::steady_clock::time_point deadline)
{
    Tiles tiles;
    const ClassifyWords classify = classifier(vectorPath_);
    const bool bitInstructions = vectorPath_ >= VectorPath::Avx2 && bitInstructionsRun();
    // Counts the lines a scan of the reader's block put into the run's buffer, and keeps
    // the last one for display.
    const auto take = [&](const HeldScan& h, const ScanOut& o) {
        bufferedLines_ += o.lines;
        count_ += o.lines;
        shownCount_ = count_;
        shown.source = std::string_view(h.data + o.lastStart, o.lastEnd - o.lastStart);
        shown.haveSource = true;
        shown.outputAt = o.lastOutputAt;
        shown.outputLength = o.lastOutputLength;
        shown.haveOutput = true;
    };
    const auto flushFull = [&] {
        if (used_ < kFlushAt)
            return true;
        keepShown(lastOutput_, std::string_view(buffer_.get() + shown.outputAt, shown.outputLength));
        anyOutput_ = true;
        shown.haveOutput = false;
        return flush();
    };

    for (;;) {
        settleReader();
        const std::string_view held = reader_->unread();
        const HeldScan h{held.data(), held.size(), reader_->inputEnded(), reader_->lfEndsLines(), reader_->maxLine(),
                         &columns,    delimiter,   checkTrail,            outDeli,                classify,
                         bitInstructions};
        tiles.data = nullptr; // the block's bytes may have changed in place
        const std::size_t boundary =
            threads_ >= 2 && held.size() >= parallelFrom_ ? splitPoint(held.data(), held.size(), h.lfEnds, workerPart_) : 0;
        if (boundary != 0) {
            if (!worker_)
                worker_ = std::make_unique<HalfWorker>();
            aheadInFlight_ = !h.ended;
            blockBegan_ = std::chrono::steady_clock::now();
            blockBytes_ = held.size();
            workerBytes_ = held.size() - boundary;
            worker_->start(h, boundary, held.size(), aheadInFlight_ ? reader_.get() : nullptr);
        }
        // This thread's part: the whole block, or the part before the worker's. Split, it
        // is short enough to go without a look at the clock.
        const std::size_t to = boundary != 0 ? boundary : held.size();
        std::size_t lineStart = 0;
        std::int64_t lines = 0;
        Held result = Held::Continue;
        ScanEnd end = ScanEnd::Reached;
        for (;;) {
            // Room for a line begun below kFlushAt; the buffer only grows.
            reserve(kDirectAt + kUtf8Bom.size() + (used_ < kFlushAt ? kFlushAt - used_ : 0));
            ScanOut o{buffer_.get(), used_, capacity_, kFlushAt, boundary != 0 ? INT64_MAX : kLinesPerClockCheck};
            const bool bom = bomPending_;
            if (bom) {
                std::memcpy(buffer_.get() + o.used, kUtf8Bom.data(), kUtf8Bom.size());
                o.used += kUtf8Bom.size();
            }
            const std::size_t before = lineStart;
            end = scanLines(h, lineStart, to, tiles, o);
            if (o.lines > 0) {
                // The output is created when its first line is produced.
                if (!openOutput()) {
                    lineStart = before;
                    result = Held::Stop;
                    break;
                }
                bomPending_ = false;
                used_ = o.used;
                lines += o.lines;
                take(h, o);
            }
            if (!flushFull()) {
                result = Held::Stop;
                break;
            }
            if (end != ScanEnd::Limit || o.lines == 0)
                break;
            if (boundary == 0 && std::chrono::steady_clock::now() >= deadline) {
                result = Held::Deadline;
                break;
            }
        }
        if (boundary == 0) {
            reader_->skip(lineStart, lines);
            return result;
        }

        const bool wholePart = result == Held::Continue && end == ScanEnd::Reached && lineStart == boundary;
        // What the buffer holds goes out first, while the worker is still busy.
        if (wholePart) {
            if (shown.haveOutput) {
                keepShown(lastOutput_, std::string_view(buffer_.get() + shown.outputAt, shown.outputLength));
                anyOutput_ = true;
                shown.haveOutput = false;
            }
            if (!flush())
                result = Held::Stop;
        }
        // The worker reads the block: it must be done before anything else is read.
        const auto waitBegan = std::chrono::steady_clock::now();
        const ScanOut& w = worker_->wait();
        waitedForWorker_ = std::chrono::steady_clock::now() - waitBegan;
        if (!wholePart || result != Held::Continue || w.lines == 0) {
            reader_->skip(lineStart, lines);
            return result;
        }
        // The worker's buffer, holding whole lines only, becomes the run's.
        std::swap(buffer_, worker_->buffer());
        std::swap(capacity_, worker_->capacity());
        used_ = w.used;
        take(h, w);
        reader_->skip(worker_->stoppedAt(), lines + w.lines);
        if (!flushFull())
            return Held::Stop;
        if (std::chrono::steady_clock::now() >= deadline)
            return Held::Deadline;
    }
}

Conversion::Status Conversion::run(const ConversionSettings& settings, std::chrono::steady_clock::time_point deadline)
{
    if (!reader_)
        return fail(Status::ReadFailed);
    if (status_ != Status::Running)
        return status_;
    std::string_view line;
    // Views of the last converted line and of its output; copied for display only when
    // the slice ends, not for every line.
    std::string_view shownSource;
    bool haveSource = false;
    std::size_t outputAt = 0;
    std::size_t shownLength = 0;
    bool haveOutput = false;
    int untilClock = kLinesPerClockCheck;
    // The columns, read once per slice.
    const OutputColumns columns = outputColumns(settings.map);
    const std::string_view outDeli = settings.outDeli;
    const auto keepDisplay = [&] {
        if (haveSource)
            keepShown(lastSource_, shownSource);
        if (haveOutput) {
            keepShown(lastOutput_, std::string_view(buffer_.get() + outputAt, shownLength));
            anyOutput_ = true;
        }
    };
    const std::string_view inDeli = settings.inDeli;
    const bool wholeBlocks = !columns.items.empty() && columns.upTo <= kMostHeldColumns &&
                             columns.items.size() <= kMostHeldOutputs && inDeli.size() == 1 && inDeli[0] != '"';

    for (;;) {
        // Once the first line has settled the line rules, whole blocks of lines at a time;
        // the line that runs on into the next block goes through the loop below.
        // The encoding is known once the first line has been read.
        if (wholeBlocks && !havePeeked_ && count_ >= 1 && reader_->breaksKnown() &&
            isByteDelimiter(inDeli, encoding_.encoding)) {
            Shown shown;
            const bool checkTrail = !byteScanIsExact(inDeli, encoding_.encoding);
            const Held held = convertHeldLines(columns, inDeli[0], checkTrail, outDeli, shown, deadline);
            if (shown.haveSource) {
                shownSource = shown.source;
                haveSource = true;
                outputAt = shown.outputAt;
                shownLength = shown.outputLength;
                haveOutput = shown.haveOutput;
            }
            if (held != Held::Continue)
                break;
        }
        settleReader();
        if (havePeeked_) {
            line = peeked_;
            havePeeked_ = false;
        } else if (!reader_->next(line)) {
            if (reader_->lineTooLong())
                fail(Status::LineTooLong);
            else if (reader_->readError())
                fail(Status::ReadFailed);
            else
                status_ = Status::Done;
            // After a failure the reader may have reused the last line's bytes.
            if (status_ != Status::Done)
                haveSource = false;
            break;
        } else if (reader_->lineCount() == 1) {
            takeFirstLine(line);
        }
        if (count_ == 0 && skipFirst_) {
            ++count_;
            if (used_ == 0)
                countAtCommit_ = count_;
            continue;
        }
        if (!columns.items.empty()) {
            // The output is created when its first line is produced.
            if (!openOutput()) {
                // Reading this line may have moved the earlier one's bytes.
                haveSource = false;
                break;
            }
            splitter_.split(line, settings.inDeli,
                            {.upTo = columns.upTo,
                             .readableBeyond = true,
                             .alsoLast = columns.needLast,
                             .enc = encoding_.encoding});
            const std::size_t length = outputLength(splitter_, columns, outDeli) + 2;
            ++count_;
            shownSource = line;
            haveSource = true;
            if (length > kDirectAt) {
                haveOutput = false;
                if (!writeLineDirect(splitter_, columns, outDeli))
                    break;
            } else {
                if (bomPending_) {
                    std::memcpy(reserve(kUtf8Bom.size()), kUtf8Bom.data(), kUtf8Bom.size());
                    used_ += kUtf8Bom.size();
                    bomPending_ = false;
                }
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
                    keepShown(lastOutput_, std::string_view(buffer_.get() + outputAt, shownLength));
                    anyOutput_ = true;
                    haveOutput = false;
                    if (!flush())
                        break;
                }
            }
        } else {
            ++count_;
            if (used_ == 0)
                countAtCommit_ = count_;
        }
        shownCount_ = count_;
        shownSource = line;
        haveSource = true;
        if (--untilClock == 0) {
            untilClock = kLinesPerClockCheck;
            if (std::chrono::steady_clock::now() >= deadline)
                break;
        }
    }
    keepDisplay();
    return status_;
}

Conversion::Status Conversion::finish()
{
    const Status before = status_;
    const bool failedBefore = before != Status::Running && before != Status::Done;
    if (replaced_) {
        // Only a complete run takes the output's place.
        if (before == Status::Done && flush()) {
            failedOutput_ = outPath_;
            switch (replaced_->commit(out_)) {
            case ReplacedOutput::Problem::None:
                break;
            case ReplacedOutput::Problem::Changed:
                status_ = Status::OutputChanged;
                break;
            default:
                status_ = Status::CannotReplaceOutput;
                break;
            }
        } else {
            replaced_->abandon(out_);
        }
        return status_;
    }
    // Whatever stopped the run, the whole lines converted so far are kept.
    flush();
    if (failedBefore)
        status_ = before; // the first failure is the one to tell
    if (outStream_)
        outStream_->flush();
    if (!out_.close() && status_ == Status::Done)
        status_ = Status::WriteFailed;
    return status_;
}

Conversion::Status Conversion::cancel()
{
    used_ = 0;
    bufferedLines_ = 0;
    if (replaced_) {
        replaced_->abandon(out_);
        replaced_.reset();
    }
    out_.close();
    committed_ = 0;
    linesWritten_ = 0;
    for (const Opened& o : opened_) {
        // Claimed afresh: the path may have been given to another file meanwhile, or the
        // file may now be another run's. A link stays and the file it led to goes, as the
        // run had created that file.
        os::OutputClaim claim;
        if (claim.claim(resolveLinks(o.path), false) != os::OutputClaim::Result::Claimed ||
            !(claim.file().identity() == o.identity))
            continue;
        if (o.created)
            claim.removeClaimed();
        else
            claim.file().truncate(o.sizeBefore);
    }
    opened_.clear();
    return fail(Status::Cancelled);
}

Conversion::Status Conversion::runToEnd(const ConversionSettings& settings)
{
    run(settings, std::chrono::steady_clock::time_point::max());
    return finish();
}

} // namespace engine
