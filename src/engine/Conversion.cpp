// The run itself: opening the source, the checks before a run, slices of converting
// (whole blocks of held lines, the line-by-line loop for the rest), finishing and stopping.
#include "Conversion.h"

#include "FormWriter.h"
#include "LineWalk.h"
#include "OutputLine.h"
#include "Worker.h"
#include "os/NativeFile.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace engine {

namespace fs = std::filesystem;

namespace {
// The clock is read every so many lines, not after each one.
constexpr int kLinesPerClockCheck = 64;
} // namespace

Conversion::Conversion(const ConversionOptions& options)
    : skipFirst_(options.skipFirstLine), blockSize_(options.blockSize), maxLine_(options.maxLine),
      threads_(std::thread::hardware_concurrency() >= 2 ? 2 : 1)
{
    reserve(kOutputBuffer - kSlack);
}

Conversion::~Conversion()
{
    static_assert(CharacterFault::kNoCharacter == kNoChar);
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

Conversion::Status Conversion::failureOf(FileProblem problem)
{
    switch (problem) {
    case FileProblem::None:
        return Status::Running;
    case FileProblem::Missing:
        return Status::SourceMissing;
    case FileProblem::NotAFile:
        return Status::SourceNotAFile;
    case FileProblem::ReadFailed:
        return Status::ReadFailed;
    case FileProblem::LineTooLong:
        return Status::LineTooLong;
    case FileProblem::CannotOpen:
    case FileProblem::Empty:
        break;
    }
    return Status::SourceCannotOpen;
}

Conversion::Status Conversion::failureOf(OutputProblem problem)
{
    switch (problem) {
    case OutputProblem::None:
        return Status::Running;
    case OutputProblem::Busy:
        return Status::OutputBusy;
    case OutputProblem::IsSource:
        return Status::OutputIsSource;
    case OutputProblem::CannotReplace:
        return Status::CannotReplaceOutput;
    case OutputProblem::Changed:
        return Status::OutputChanged;
    case OutputProblem::CannotCreate:
        break;
    }
    return Status::CannotCreateOutput;
}

bool Conversion::openSource(const fs::path& source)
{
    if (const FileProblem problem = source_.open(source); problem != FileProblem::None) {
        fail(failureOf(problem));
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
    if (const FileProblem problem = source_.openDescriptor(fd); problem != FileProblem::None) {
        fail(failureOf(problem));
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
    bomPending_ = true;
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
        if (const OutputProblem problem = replaced_->begin(request.output, out_, source);
            problem != OutputProblem::None) {
            replaced_.reset();
            return fail(failureOf(problem));
        }
        replacing_ = true;
        lockless_ = !replaced_->locked();
        return status_;
    }
    if (fs::exists(status)) {
        // The old output is removed under its claim: a run writing it holds the claim and
        // keeps its file.
        os::OutputClaim old;
        switch (old.claim(request.output, os::OutputClaim::IfMissing::Fail)) {
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

void Conversion::takeScan(const HeldScan& h, const ScanOut& o, Shown& shown)
{
    bufferedLines_ += o.lines;
    count_ += o.lines;
    shownCount_ = count_;
    shown.source = std::string_view(h.data + o.lastStart, o.lastEnd - o.lastStart);
    shown.haveSource = true;
    shown.outputAt = o.lastOutputAt;
    shown.outputLength = o.lastOutputLength;
    shown.haveOutput = true;
    replacements_ += o.replaced;
    delimiterLines_ += o.delimiterLines;
}

void Conversion::keepShownOutput(Shown& shown)
{
    keepShown(lastOutput_, std::string_view(buffer_.get() + shown.outputAt, shown.outputLength));
    anyOutput_ = true;
    shown.haveOutput = false;
}

bool Conversion::flushFull(Shown& shown)
{
    if (used_ < kFlushAt)
        return true;
    keepShownOutput(shown);
    return flush();
}

Conversion::Held Conversion::convertOwnPart(const HeldScan& h, Tiles& tiles, std::size_t to, bool split, OwnPart& part,
                                            Shown& shown, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        // Room for a line begun below kFlushAt; the buffer only grows.
        reserve(kDirectAt + kUtf8Bom.size() + (used_ < kFlushAt ? kFlushAt - used_ : 0));
        ScanOut o{buffer_.get(), used_, capacity_, kFlushAt, split ? INT64_MAX : kLinesPerClockCheck};
        const std::size_t endsBefore = lineEnds_.size();
        if (recordEnds_)
            o.ends = &lineEnds_;
        if (bomPending_ && wantBom_) {
            std::memcpy(buffer_.get() + o.used, kUtf8Bom.data(), kUtf8Bom.size());
            o.used += kUtf8Bom.size();
        }
        const std::size_t before = part.lineStart;
        const ScanEnd end = scanLines(h, part.lineStart, to, tiles, o);
        part.reached = end == ScanEnd::Reached;
        if (o.lines > 0) {
            // The output is created when its first line is produced.
            if (!openOutput()) {
                part.lineStart = before;
                lineEnds_.resize(endsBefore);
                return Held::Stop;
            }
            bomPending_ = false;
            used_ = o.used;
            part.lines += o.lines;
            takeScan(h, o, shown);
        }
        if (!flushFull(shown))
            return Held::Stop;
        if (end != ScanEnd::Limit || o.lines == 0)
            return Held::Continue;
        if (!split && std::chrono::steady_clock::now() >= deadline)
            return Held::Deadline;
    }
}

Conversion::Held Conversion::convertHeldLines(const OutputColumns& columns, char delimiter, bool checkTrail,
                                              std::string_view outDeli, Shown& shown,
                                              std::chrono::steady_clock::time_point deadline)
{
    Tiles tiles;
    const ClassifyWords classify = classifier(vectorPath_);
    const bool bitInstructions = vectorPath_ >= VectorPath::Avx2 && bitInstructionsRun();
    for (;;) {
        settleReader();
        const std::string_view held = reader_->unread();
        // Whether lines of the default form are looked at for an item holding the output
        // delimiter outside quotes: a form counts its own; the input's own delimiter is never
        // in an item outside quotes; and a block without the delimiter needs no look.
        const bool check = !rules_ && !outDeli.empty() && !(outDeli.size() == 1 && outDeli[0] == delimiter) &&
                           held.find(outDeli) != std::string_view::npos;
        const HeldScan h{held.data(),
                         held.size(),
                         reader_->inputEnded(),
                         reader_->lfEndsLines(),
                         reader_->maxLine(),
                         &columns,
                         delimiter,
                         checkTrail,
                         outDeli,
                         classify,
                         bitInstructions,
                         lineEnd_,
                         rules_.get(),
                         check,
                         recordEnds_,
                         encoding_.encoding};
        tiles.data = nullptr; // the block's bytes may have changed in place
        const std::size_t boundary = threads_ >= 2 && held.size() >= parallelFrom_
                                         ? splitPoint(held.data(), held.size(), h.lfEnds, workerPart_)
                                         : 0;
        if (boundary != 0) {
            if (!worker_)
                worker_ = std::make_unique<PartWorker>();
            aheadInFlight_ = !h.ended;
            blockBegan_ = std::chrono::steady_clock::now();
            blockBytes_ = held.size();
            workerBytes_ = held.size() - boundary;
            worker_->start(h, boundary, held.size(), aheadInFlight_ ? reader_.get() : nullptr);
        }
        // This thread's part: the whole block, or the part before the worker's. Split, it
        // is short enough to go without a look at the clock.
        OwnPart part;
        Held result =
            convertOwnPart(h, tiles, boundary != 0 ? boundary : held.size(), boundary != 0, part, shown, deadline);
        if (boundary == 0) {
            reader_->skip(part.lineStart, part.lines);
            return result;
        }

        const bool wholePart = result == Held::Continue && part.reached && part.lineStart == boundary;
        // What the buffer holds goes out first, while the worker is still busy.
        if (wholePart) {
            if (shown.haveOutput)
                keepShownOutput(shown);
            if (!flush())
                result = Held::Stop;
        }
        // The worker reads the block: it must be done before anything else is read.
        const auto waitBegan = std::chrono::steady_clock::now();
        const ScanOut& w = worker_->wait();
        waitedForWorker_ = std::chrono::steady_clock::now() - waitBegan;
        if (!wholePart || result != Held::Continue || w.lines == 0) {
            reader_->skip(part.lineStart, part.lines);
            return result;
        }
        // The worker's buffer, holding whole lines only, becomes the run's.
        std::swap(buffer_, worker_->buffer());
        std::swap(capacity_, worker_->capacity());
        std::swap(lineEnds_, worker_->ends());
        used_ = w.used;
        takeScan(h, w, shown);
        reader_->skip(worker_->stoppedAt(), part.lines + w.lines);
        if (!flushFull(shown))
            return Held::Stop;
        if (std::chrono::steady_clock::now() >= deadline)
            return Held::Deadline;
    }
}

bool Conversion::convertLine(std::string_view line, const ConversionSettings& settings, const OutputColumns& columns,
                             Shown& shown)
{
    // The output is created when its first line is produced.
    if (!openOutput()) {
        // Reading this line may have moved the earlier one's bytes.
        shown.haveSource = false;
        return false;
    }
    const std::string_view outDeli = settings.outDeli;
    splitter_.split(
        line, settings.inDeli,
        {.upTo = columns.upTo, .readableBeyond = true, .alsoLast = columns.needLast, .enc = encoding_.encoding});
    shown.source = line;
    shown.haveSource = true;
    if (rules_)
        return convertFormedLine(columns, outDeli, shown);
    const std::size_t length = outputLength(splitter_, columns, outDeli) + lineEnd_.size();
    ++count_;
    // The input's own delimiter is never in an item outside quotes; a line without the
    // output delimiter's first byte needs no look.
    if (!outDeli.empty() && !(outDeli == settings.inDeli && isSingleChar(outDeli, encoding_.encoding)) &&
        std::memchr(line.data(), outDeli[0], line.size()) != nullptr)
        for (const std::int32_t no : columns.items)
            if (holdsUnquoted(splitter_.item(no), outDeli, encoding_.encoding)) {
                ++delimiterLines_;
                break;
            }
    if (length > kDirectAt) {
        shown.haveOutput = false;
        return writeLineDirect(splitter_, columns, outDeli);
    }
    if (bomPending_ && wantBom_) {
        std::memcpy(reserve(kUtf8Bom.size()), kUtf8Bom.data(), kUtf8Bom.size());
        used_ += kUtf8Bom.size();
    }
    bomPending_ = false;
    char* const start = reserve(length);
    char* const to = joinSplitLine<true>(start, splitter_, columns, outDeli);
    std::memcpy(to, lineEnd_.data(), lineEnd_.size());
    shown.outputAt = used_;
    shown.outputLength = length - lineEnd_.size();
    shown.haveOutput = true;
    used_ += length;
    if (recordEnds_)
        lineEnds_.push_back(used_);
    ++bufferedLines_;
    return flushFull(shown);
}

bool Conversion::convertFormedLine(const OutputColumns& columns, std::string_view outDeli, Shown& shown)
{
    const std::size_t most =
        FormRules::kGrowth * outputLength(splitter_, columns, outDeli) + 2 * columns.items.size() + lineEnd_.size();
    if (most > kDirectAt) {
        shown.haveOutput = false;
        if (!writeFormedDirect(columns, outDeli))
            return false;
        ++count_;
        return true;
    }
    const std::size_t bom = bomPending_ && wantBom_ ? kUtf8Bom.size() : 0;
    char* const start = reserve(bom + most);
    std::memcpy(start, kUtf8Bom.data(), bom);
    FormSink<GatherDest> sink{*rules_, GatherDest{start + bom}};
    if (!joinLine(columns.items.size(), outDeli, splitterItems(splitter_, columns), sink))
        return characterFailed(columns, sink.fault.column, sink.fault.codePoint, sink.fault.bytes);
    ++count_;
    bomPending_ = false;
    replacements_ += sink.replaced;
    delimiterLines_ += sink.heldDelimiter ? 1 : 0;
    char* const to = sink.dest.to;
    std::memcpy(to, lineEnd_.data(), lineEnd_.size());
    shown.outputAt = used_ + bom;
    shown.outputLength = static_cast<std::size_t>(to - start) - bom;
    shown.haveOutput = true;
    used_ += static_cast<std::size_t>(to - start) + lineEnd_.size();
    if (recordEnds_)
        lineEnds_.push_back(used_);
    ++bufferedLines_;
    return flushFull(shown);
}

bool Conversion::characterFailed(const OutputColumns& columns, std::size_t column, std::uint32_t codePoint,
                                 std::string_view bytes)
{
    fault_.line = count_ + 1;
    fault_.item = column < columns.items.size() ? columns.items[column] : 0;
    fault_.codePoint = codePoint;
    fault_.bytes.assign(bytes);
    fault_.from = encoding_.encoding;
    fault_.to = formTo_;
    fail(codePoint == kNoChar ? Status::NotACharacter : Status::CannotEncode);
    return false;
}

void Conversion::takeForm(const ConversionSettings& settings)
{
    const OutputForm& form = settings.form;
    formTo_ = form.encoding;
    lineEnd_ = lineEndBytes(form.lineEnd);
    wantBom_ = form.encoding == OutputEncoding::Utf8Bom || (form.encoding == OutputEncoding::AsSource && encoding_.bom);
    if (form.encoding == OutputEncoding::AsSource && !form.quote)
        rules_.reset();
    else
        rules_ = std::make_unique<FormRules>(formRules(form, encoding_.encoding, settings.outDeli));
    // Whole lines are told by their ends when a write fails; an LF that ends a line looks like
    // one inside an item unless LF ends lines in the source too (items then hold none).
    const bool record = form.lineEnd == LineEnd::Lf && !(reader_ && reader_->lfEndsLines());
    if (record != recordEnds_ && used_ > 0)
        flush();
    recordEnds_ = record;
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
    Shown shown;
    int untilClock = kLinesPerClockCheck;
    // The columns, read once per slice.
    const OutputColumns columns = outputColumns(settings.map);
    const std::string_view inDeli = settings.inDeli;
    takeForm(settings);
    const bool wholeBlocks = !columns.items.empty() && columns.upTo <= kMostHeldColumns &&
                             columns.items.size() <= kMostHeldOutputs && inDeli.size() == 1 && inDeli[0] != '"';

    for (;;) {
        // Once the first line has settled the line rules, whole blocks of lines at a time;
        // the line that runs on into the next block goes through the loop below.
        // The encoding is known once the first line has been read.
        if (wholeBlocks && !havePeeked_ && count_ >= 1 && reader_->breaksKnown() &&
            isByteDelimiter(inDeli, encoding_.encoding)) {
            Shown held;
            const bool checkTrail = !byteScanIsExact(inDeli, encoding_.encoding);
            const Held end = convertHeldLines(columns, inDeli[0], checkTrail, settings.outDeli, held, deadline);
            if (held.haveSource)
                shown = held;
            if (end != Held::Continue)
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
                shown.haveSource = false;
            break;
        } else if (reader_->lineCount() == 1) {
            takeFirstLine(line);
            // The form's rules follow the encoding and the line rules just decided.
            takeForm(settings);
        }
        if (count_ == 0 && skipFirst_) {
            ++count_;
            if (used_ == 0)
                countAtCommit_ = count_;
            continue;
        }
        if (!columns.items.empty()) {
            if (!convertLine(line, settings, columns, shown))
                break;
        } else {
            ++count_;
            if (used_ == 0)
                countAtCommit_ = count_;
        }
        shownCount_ = count_;
        shown.source = line;
        shown.haveSource = true;
        if (--untilClock == 0) {
            untilClock = kLinesPerClockCheck;
            if (std::chrono::steady_clock::now() >= deadline)
                break;
        }
    }
    if (shown.haveSource)
        keepShown(lastSource_, shown.source);
    if (shown.haveOutput)
        keepShownOutput(shown);
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
            if (const OutputProblem problem = replaced_->commit(out_); problem != OutputProblem::None)
                status_ = failureOf(problem);
        } else {
            replaced_->abandon(out_);
        }
        return status_;
    }
    // Whatever stopped the run, the whole lines converted so far are kept.
    flush();
    // A run that wrote no line still leaves its output, empty, as a Replace run leaves its
    // empty temporary file in the output's place: the window and the command line agree,
    // and the file there is this run's, never an earlier run's or a run that never ended.
    if (before == Status::Done && !outStream_ && !out_.isOpen() && !outPath_.empty())
        openOutput();
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
    lineEnds_.clear();
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
        if (claim.claim(resolveLinks(o.path), os::OutputClaim::IfMissing::Fail) != os::OutputClaim::Result::Claimed ||
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
