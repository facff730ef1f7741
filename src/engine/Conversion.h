#pragma once
// The conversion run over a whole file, as a machine that works in slices: the caller
// runs it until a deadline, serves its events, reads the settings afresh (they may
// have changed meanwhile) and runs it again. The source is read in large blocks, each
// line is split once, and output goes through a buffer into a file that stays open.
// The bytes written are exactly those that the line-by-line model (Out1Line, in
// tests/support) writes.
//
// Every check that decides whether a run may start or must stop lives here, so that
// the window, the command line and the benchmark behave alike: prepare() opens the
// source once and reads its first line, refuses an output that is the source, and only
// then touches an earlier output; the output is locked for the whole run, and after a
// failed write it is cut back to its last whole line.

#include "Classify.h"
#include "Encoding.h"
#include "Items.h"
#include "LineProcessing.h"
#include "LineReader.h"
#include "OutputFile.h"
#include "OutputForm.h"
#include "Tables.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// The whole-block walk's inputs and outputs (LineWalk.h).
struct HeldScan;
struct ScanOut;
struct Tiles;

struct ConversionSettings {
    ConversionSettings(std::string in = {}, std::string out = {}, ColumnMap columns = {}, OutputForm f = {})
        : inDeli(std::move(in)), outDeli(std::move(out)), map(std::move(columns)), form(f)
    {
    }
    std::string inDeli;
    std::string outDeli; // in the source's encoding; written in the output's
    ColumnMap map;
    OutputForm form;
};

// Why a run in another output encoding stopped at a character: the source line (from 1), the
// item number of the output column, and the character the output encoding cannot hold
// (codePoint) or the source bytes that form no character (codePoint kNoCharacter).
struct CharacterFault {
    static constexpr std::uint32_t kNoCharacter = 0xFFFFFFFF;
    std::int64_t line = 0;
    std::int32_t item = 0;
    std::uint32_t codePoint = kNoCharacter;
    std::string bytes; // as in the source
    Encoding from = Encoding::Cp932;
    OutputEncoding to = OutputEncoding::AsSource;
};

struct FormRules;

// How the output file is written.
enum class OutputMode {
    // The earlier output is removed at the start and lines are appended to a new file,
    // created when the first output line is produced: a run that writes nothing leaves
    // no file. A failed run keeps the whole lines written so far.
    Append,
    // Lines go to a temporary file beside the output, which replaces the output only
    // when the whole run has succeeded; on failure the earlier output stays as it was.
    Replace,
};

struct RunRequest {
    std::filesystem::path source; // ignored when sourceIsStandardInput
    bool sourceIsStandardInput = false;
    std::filesystem::path output; // ignored when outputIsStandardOutput
    bool outputIsStandardOutput = false;
    OutputMode mode = OutputMode::Append;
    // Files the output must not be either (a definition file the run reads).
    std::vector<std::filesystem::path> notOutputs;
    // The source's encoding, or Auto to decide it from the source's first bytes.
    EncodingChoice encoding = EncodingChoice::Auto;
};

// How a run reads its source. blockSize: bytes read at a time; maxLine: the longest line read.
struct ConversionOptions {
    bool skipFirstLine = false;
    std::size_t blockSize = LineReader::kDefaultBlock;
    std::size_t maxLine = LineReader::kMaxLine;
};

class Conversion {
public:
    enum class Status {
        Running,
        Done,
        // Stopped by cancel(): no output keeps anything of this run.
        Cancelled,
        // The source
        SourceMissing,
        SourceNotAFile,
        SourceCannotOpen,
        ReadFailed,
        LineTooLong,
        // The output
        OutputIsSource,
        OutputIsNotOutput, // one of RunRequest::notOutputs
        OutputBusy,
        CannotDeleteOutput,
        CannotCreateOutput,
        WriteFailed,
        CannotReplaceOutput,
        OutputPlanted, // a link or pipe another user put at the output's name
        OutputChanged, // removed or replaced by someone else while the run wrote beside it
        // A character of the source (characterFault() tells which)
        CannotEncode,  // the output encoding cannot hold it
        NotACharacter, // the source's bytes form no character
    };

    explicit Conversion(const ConversionOptions& options = {});
    // Writes out what was converted; a Replace run that did not finish leaves its
    // output as it was.
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // The checks before a run, in this order: the source opened (once) and its first
    // line read; the output compared with the source and with notOutputs; another run
    // writing the output refused; then the earlier output removed (Append) or the
    // temporary file made (Replace). Running when the run may start; otherwise why not,
    // and nothing was changed.
    Status prepare(const RunRequest& request);

    // The pieces of prepare(), for callers that need less.
    // Opens the source; false when it cannot be opened (status() says why).
    bool openSource(const std::filesystem::path& source);
    bool openStandardInput();
    // Reads a descriptor the process holds (standard input is 0).
    bool openDescriptor(int fd);
    // Reads from a stream or a byte source the caller keeps alive.
    void openSource(std::istream& source);
    void openSource(ByteSource& source);
    // The encoding to read the source in (before its first line is read); Auto decides
    // it from the first bytes. prepare() takes it from the request.
    void setEncoding(EncodingChoice choice) { encodingChoice_ = choice; }
    // The encoding decided once the first line was read. A byte order mark is left out of
    // the first line and put at the start of every output the run begins.
    SourceEncoding sourceEncoding() const { return encoding_; }
    // Reads the first line ahead, for detection; the run still converts it. False when
    // the source holds no line or it could not be read (status() tells). Valid until
    // the run starts.
    bool peekFirstLine(std::string_view& line);
    bool peekFirstLine(std::string& line);

    // Where the following lines go. What is buffered goes to the old output first; the
    // new file is opened for appending (created if missing) and locked when its first
    // line is produced. An output that is the source stops the run (OutputIsSource), as
    // does a failure to write the old output; Running otherwise.
    Status setOutput(const std::filesystem::path& output);
    // Output to a stream the caller keeps alive.
    void setOutput(std::ostream& output);

    // Converts lines until the source ends, a failure, or the deadline passes.
    Status run(const ConversionSettings& settings, std::chrono::steady_clock::time_point deadline);
    // Converts everything (no deadline) and finishes.
    Status runToEnd(const ConversionSettings& settings);
    // Writes out what is buffered and completes the output (a Replace run's file takes
    // the output's place). The run's final status.
    Status finish();
    // Writes out what is buffered. False when the write failed.
    bool flush();
    // Stops the run before finish() and takes back what it wrote, so that no output looks
    // complete: the buffer is dropped and the output closed; every ordinary file this run
    // created is removed, and every one it appended to is cut back to what it held, each
    // only while its path still leads to the very file the run wrote and no other run holds
    // it; a Replace run's temporary file is removed, the output left as it was. A device or
    // standard output keeps what reached it. Returns Cancelled; the run goes no further.
    Status cancel();

    Status status() const { return status_; }

    // Threads converting a block of held lines: 1 converts it on the calling thread
    // alone; 2 (the default where the machine has two cores) gives the last part of a
    // block of at least parallelFrom bytes to a worker thread, a part sized from each
    // thread's time on the last block. The output is the same.
    void setThreads(int threads) { threads_ = threads; }
    void setParallelFrom(std::size_t bytes) { parallelFrom_ = bytes; }
    static constexpr std::size_t kParallelFrom = 256 * 1024;
    // The vectors that find line ends, delimiters and quotes (the widest the processor
    // has unless set); every path gives the same output.
    void setVectorPath(VectorPath path) { vectorPath_ = pathRuns(path) ? path : fastestPath(); }

    // Lines read, a left-out first line included.
    std::int64_t count() const { return count_; }
    // Count after the last line that was converted (not left out); 0 if none. After a
    // failed write, the count of the last line whose output the file holds.
    std::int64_t shownCount() const { return shownCount_; }
    // Whole output lines that have reached the current output file.
    std::int64_t linesWritten() const { return linesWritten_; }
    // The line a read failure or an overlong line stopped at (1-based).
    std::int64_t stoppedAtLine() const { return count_ + 1; }
    std::uint64_t bytesRead() const { return reader_ ? reader_->consumed() : 0; }
    std::uint64_t sourceSize() const { return sourceSize_; }
    // The beginning of the last source line converted and of the last output line built
    // (for display; at most kShownBytes, cut at a character boundary).
    static constexpr std::size_t kShownBytes = 64 * 1024;
    const std::string& lastSource() const { return lastSource_; }
    const std::string& lastOutput() const { return lastOutput_; }
    bool anyOutput() const { return anyOutput_; }
    // True when the output is a file the system could not lock (a share without locks):
    // the run went on without the guard against a second run.
    bool lockless() const { return lockless_; }
    // True when the run writes a temporary file that replaces the output only at the end,
    // so that a failed run leaves the earlier output as it was.
    bool replacesOutput() const { return replacing_; }
    // After a failed write: true when the output may end in part of a line (a stream or a
    // device cannot be cut back, and a cut can fail).
    bool partialLine() const { return partialLine_; }
    // The output file a failure concerns.
    const std::filesystem::path& failedOutput() const { return failedOutput_; }
    // After CannotEncode or NotACharacter: where and which character.
    const CharacterFault& characterFault() const { return fault_; }
    // Characters written as '?' (OutputForm::replace), in lines converted so far.
    std::int64_t replacements() const { return replacements_; }
    // Lines written without quotes in which an item holds the output delimiter outside quotes,
    // so that a reader takes it for more columns; not counted when the form quotes.
    std::int64_t linesHoldingDelimiter() const { return delimiterLines_; }

private:
    Status fail(Status s);
    // What a run reports when one of its files has this problem.
    static Status failureOf(FileProblem problem);
    static Status failureOf(OutputProblem problem);
    bool openOutput();
    bool writeBuffer();
    // wholeLines: the bytes are whole lines from the buffer (not a piece of a line), whose
    // line ends tell how many reached the file when a write fails.
    bool writeOut(const char* from, std::size_t bytes, bool wholeLines = true);
    bool writeLineDirect(const ItemSplitter& splitter, const OutputColumns& columns, std::string_view outDeli);
    bool writeFormedDirect(const OutputColumns& columns, std::string_view outDeli);
    // Writes one line piece by piece: join(put) hands every piece to put, which writes it.
    template <typename Join> bool writePieces(Join&& join);
    // Takes a form's fault at the current line: the run stops.
    bool characterFailed(const OutputColumns& columns, std::size_t column, std::uint32_t codePoint,
                         std::string_view bytes);
    // The form's settings for a slice.
    void takeForm(const ConversionSettings& settings);
    void closeOutput();
    char* reserve(std::size_t bytes);
    void keepShown(std::string& to, std::string_view from);
    // Called with the first line as read: decides the encoding, drops a byte order mark.
    void takeFirstLine(std::string_view& line);

    // What the last line converted left for display: views into the reader's block and
    // into the output buffer, copied only when a slice ends.
    struct Shown {
        std::string_view source;
        bool haveSource = false;
        std::size_t outputAt = 0;
        std::size_t outputLength = 0;
        bool haveOutput = false;
    };
    enum class Held { Continue, Stop, Deadline };
    // Converts the last part of a large block on a thread of its own (Worker.h).
    class PartWorker;
    // Converts at once every whole line that the reader holds, finding line ends,
    // delimiters and quotes for the whole block 64 bytes at a time, so that a line costs a
    // few instructions more than its bytes. Lines it cannot finish here (one that may go
    // on in the next block, one too long, one whose output is written directly) are left
    // to the line-by-line loop. For a one-byte delimiter; checkTrail: it can be the second
    // byte of a multi-byte character, so each one found is checked. With two threads a
    // large block is cut at a line start, the worker's share following the threads' times
    // on the last blocks, and the worker converts the last part meanwhile; the run takes
    // its output after the first part's.
    Held convertHeldLines(const OutputColumns& columns, char delimiter, bool checkTrail, std::string_view outDeli,
                          Shown& shown, std::chrono::steady_clock::time_point deadline);
    // What this thread did of a block: the first line it did not convert, the lines it did,
    // and whether it reached the end of its part.
    struct OwnPart {
        std::size_t lineStart = 0;
        std::int64_t lines = 0;
        bool reached = true;
    };
    // This thread's part of a block, up to `to`; unless the block was split, in batches
    // between looks at the clock.
    Held convertOwnPart(const HeldScan& h, Tiles& tiles, std::size_t to, bool split, OwnPart& part, Shown& shown,
                        std::chrono::steady_clock::time_point deadline);
    // Counts the lines a scan of the reader's block put into the run's buffer, and keeps
    // the last one for display.
    void takeScan(const HeldScan& h, const ScanOut& o, Shown& shown);
    // Converts one line in the line-by-line loop; false when the run stops.
    bool convertLine(std::string_view line, const ConversionSettings& settings, const OutputColumns& columns,
                     Shown& shown);
    // A line in a form other than the default, gathered or (when long) written piece by piece.
    bool convertFormedLine(const OutputColumns& columns, std::string_view outDeli, Shown& shown);
    // Copies the shown output line for display before the buffer is written out.
    void keepShownOutput(Shown& shown);
    // Writes out the buffer once it holds kFlushAt bytes. False when the write failed.
    bool flushFull(Shown& shown);
    // Waits until the worker no longer reads ahead into the reader.
    void settleReader();

    bool skipFirst_;
    std::size_t blockSize_;
    std::size_t maxLine_;
    Status status_ = Status::Running;

    SourceFile source_;
    std::unique_ptr<StreamSource> streamSource_;
    std::unique_ptr<LineReader> reader_;
    std::string_view peeked_;
    bool havePeeked_ = false;
    EncodingChoice encodingChoice_ = EncodingChoice::Auto;
    SourceEncoding encoding_;
    // The current output is one this run begins and nothing is written to it yet: a byte
    // order mark is owed to it when the form wants one (wantBom_).
    bool bomPending_ = false;
    std::uint64_t sourceSize_ = 0;

    OutputMode mode_ = OutputMode::Append;
    std::filesystem::path outPath_;
    OutputTarget out_;
    std::ostream* outStream_ = nullptr;
    std::unique_ptr<ReplacedOutput> replaced_;
    // Bytes of whole lines written to the current output (after what it held before).
    std::uint64_t committed_ = 0;
    // Output gathered for one large write. Copies may run up to kSlack bytes past the
    // end of what they write; capacity always leaves that room.
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    using Buffer = std::unique_ptr<char[], Free>;
    static Buffer newBuffer(std::size_t bytes);
    Buffer buffer_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
    std::int64_t bufferedLines_ = 0;
    // The count of the last source line whose output has reached the file.
    std::int64_t countAtCommit_ = 0;
    std::filesystem::path failedOutput_;
    // Every file this run opened for its output, for cancel() to take back.
    struct Opened {
        std::filesystem::path path;
        FileIdentity identity;
        std::uint64_t sizeBefore;
        bool created;
    };
    std::vector<Opened> opened_;

    ItemSplitter splitter_;
    int threads_;
    std::size_t parallelFrom_ = kParallelFrom;
    VectorPath vectorPath_ = fastestPath();
    std::unique_ptr<PartWorker> worker_;
    // The worker reads the next block ahead; the reader waits for it.
    bool aheadInFlight_ = false;
    // The worker's part of a split block, moved towards where neither thread waits for
    // the other: the worker also reads ahead, this thread writes.
    static constexpr double kLeastPart = 0.125;
    double workerPart_ = 0.4;
    std::chrono::steady_clock::time_point blockBegan_;
    std::chrono::steady_clock::duration waitedForWorker_{};
    std::size_t blockBytes_ = 0;
    std::size_t workerBytes_ = 0;
    std::int64_t count_ = 0;
    std::int64_t shownCount_ = 0;
    // The output form, for the current slice.
    std::unique_ptr<FormRules> rules_; // null for the default encoding and no quotes
    OutputEncoding formTo_ = OutputEncoding::AsSource;
    std::string_view lineEnd_ = "\r\n";
    bool wantBom_ = false;
    // Output line ends are LF and items may hold LF: each line's end in the buffer is kept.
    bool recordEnds_ = false;
    std::vector<std::size_t> lineEnds_;
    std::int64_t replacements_ = 0;
    std::int64_t delimiterLines_ = 0;
    CharacterFault fault_;
    std::int64_t linesWritten_ = 0;
    std::string lastSource_;
    std::string lastOutput_;
    bool anyOutput_ = false;
    bool lockless_ = false;
    bool replacing_ = false;
    bool partialLine_ = false;
};

} // namespace engine
