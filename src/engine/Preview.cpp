#include "Preview.h"

#include "FormWriter.h"
#include "LineProcessing.h"
#include "OutputFile.h"
#include "Transcode.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace engine {

namespace {

// Bytes held in memory as a source.
class BytesSource : public ByteSource {
public:
    explicit BytesSource(std::string_view bytes) : bytes_(bytes) {}
    std::int64_t read(char* to, std::size_t bytes) override
    {
        const std::size_t n = std::min(bytes, bytes_.size() - at_);
        std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return static_cast<std::int64_t>(n);
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Drops an unfinished character from the end of a line cut short.
void cutToCharacters(std::string& line, Encoding e)
{
    std::size_t at = 0;
    std::size_t last = 0;
    while (at < line.size()) {
        last = at;
        at += charLength(line, at, e);
    }
    if (line.empty())
        return;
    const auto b = static_cast<unsigned char>(line[last]);
    if (e == Encoding::Cp932) {
        if (last + 1 == line.size() && isLeadByte(b))
            line.resize(last);
        return;
    }
    // A UTF-8 lead byte whose continuation bytes run to the end, but not far enough.
    for (std::size_t back = 1; back <= 3 && back <= line.size(); ++back) {
        const auto c = static_cast<unsigned char>(line[line.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
        if (len > back)
            line.resize(line.size() - back);
        return;
    }
}

struct ReadLine {
    std::string text; // a first line without its byte order mark
    bool cut = false;
};

// The start's lines as a run reads them, up to `most`. The reader, over the whole start,
// decides the encoding and whether a lone LF ends lines from the same first bytes as a run
// over the whole source does.
struct ReadLines {
    std::vector<ReadLine> lines;
    SourceEncoding encoding;
    bool more = false; // a line follows the last one read, or may
};

ReadLines readLines(const PreviewStart& start, EncodingChoice choice, std::int64_t most)
{
    ReadLines r;
    BytesSource source(start.bytes);
    LineReader reader(source, 64 * 1024);
    std::string_view line;
    std::uint64_t before = 0;
    while (reader.next(line)) {
        // No end mark was taken: the line runs on past the start, unless the source ended.
        const bool ended = start.whole || reader.consumed() - before > line.size();
        before = reader.consumed();
        if (reader.lineCount() == 1) {
            r.encoding = detectEncoding(reader.start(), choice);
            if (r.encoding.bom && line.substr(0, kUtf8Bom.size()) == kUtf8Bom)
                line.remove_prefix(kUtf8Bom.size());
        }
        if (static_cast<std::int64_t>(r.lines.size()) >= most || (!ended && !r.lines.empty())) {
            r.more = true;
            return r;
        }
        r.lines.push_back({std::string(line), !ended});
        if (!ended) {
            cutToCharacters(r.lines.back().text, r.encoding.encoding);
            r.more = true;
            return r;
        }
    }
    r.more = !start.whole;
    return r;
}

bool whollyQuoted(std::string_view item)
{
    return item.size() >= 2 && item.front() == '"' && item.back() == '"';
}

// A quoted item's content, "" read as ".
std::string unquoted(std::string_view item)
{
    std::string out;
    const std::string_view inner = item.substr(1, item.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        out += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"')
            ++i;
    }
    return out;
}

bool undecodable(std::string_view bytes, Encoding e)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeChar(bytes, i, e);
        if (d.codePoint == kNoChar)
            return true;
        i += d.length;
    }
    return false;
}

// The cells of a line, split by the run's splitter.
void fillCells(PreviewLine& line, std::string_view text, const ConversionSettings& settings,
               const OutputColumns& columns, Encoding e, ItemSplitter& splitter)
{
    // The whole line is scanned for its count, but only the positions of the columns are kept.
    splitter.split(text, settings.inDeli, {.upTo = columns.upTo, .alsoLast = true, .enc = e});
    line.items = static_cast<std::int64_t>(splitter.count());
    const bool quote = settings.form.quote;
    for (const std::int32_t no : columns.items) {
        const std::string_view item = splitter.item(no);
        PreviewCell cell;
        cell.beyond = no < 1 || no > line.items;
        const bool whole = whollyQuoted(item);
        cell.bytes = quote && whole ? unquoted(item) : std::string(item);
        if (!quote)
            cell.needsQuotes = holdsUnquoted(item, settings.outDeli, e) ||
                               (!whole && item.find_first_of("\"\r\n") != std::string_view::npos);
        cell.undecodable = undecodable(cell.bytes, e);
        line.cells.push_back(std::move(cell));
    }
}

// Adds a line to a warning of one kind (and column): the first line and column where it
// happens, and how many lines. Lines come in order, each at most once.
void note(std::vector<PreviewWarning>& found, PreviewWarningKind kind, const PreviewLine& line, std::int32_t column,
          std::int32_t itemNumber)
{
    if (!found.empty()) {
        ++found.back().lines;
        return;
    }
    PreviewWarning w;
    w.kind = kind;
    w.line = line.sourceLine;
    w.lines = 1;
    w.column = column;
    w.itemNumber = itemNumber;
    w.items = line.items;
    found.push_back(w);
}

} // namespace

FileProblem readPreviewStart(ByteSource& source, PreviewStart& start)
{
    start.bytes.resize(kPreviewBytes);
    std::size_t got = 0;
    start.whole = false;
    while (got < kPreviewBytes) {
        const std::int64_t n = source.read(start.bytes.data() + got, kPreviewBytes - got);
        if (n < 0) {
            start.bytes.clear();
            return FileProblem::ReadFailed;
        }
        if (n == 0) {
            start.whole = true;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    // A source of exactly kPreviewBytes: one more read tells whether it ended.
    if (!start.whole) {
        char probe;
        start.whole = source.read(&probe, 1) == 0;
    }
    start.bytes.resize(got);
    return got == 0 && start.whole ? FileProblem::Empty : FileProblem::None;
}

FileProblem readPreviewStart(const std::filesystem::path& path, PreviewStart& start)
{
    SourceFile file;
    if (const FileProblem problem = file.open(path); problem != FileProblem::None)
        return problem;
    return readPreviewStart(file, start);
}

bool previewFirstLine(const PreviewStart& start, EncodingChoice choice, std::string& line, SourceEncoding& encoding)
{
    ReadLines r = readLines(start, choice, 1);
    encoding = r.encoding;
    if (r.lines.empty())
        return false;
    line = std::move(r.lines.front().text);
    return true;
}

std::string Preview::raw() const
{
    std::string out = bom;
    for (const PreviewLine& line : lines)
        out += line.output;
    return out;
}

Preview previewOutput(const PreviewStart& start, const PreviewRequest& request)
{
    Preview p;
    const ConversionSettings& settings = request.settings;
    const OutputForm& form = settings.form;
    const std::int64_t wanted = std::clamp<std::int64_t>(request.lines, 0, kPreviewMostLines);
    const std::size_t skip = request.skipFirstLine ? 1 : 0;
    // The first line is read even when no line is shown: it heads the columns.
    ReadLines read =
        readLines(start, request.encoding, std::max<std::int64_t>(1, wanted + static_cast<std::int64_t>(skip)));
    const std::size_t shown = std::min(read.lines.size(), static_cast<std::size_t>(wanted) + skip);
    p.encoding = read.encoding;
    p.moreLines = read.more || read.lines.size() > shown;
    if (read.lines.empty())
        return p;
    const Encoding e = p.encoding.encoding;
    const OutputColumns columns = outputColumns(settings.map);
    const bool bomEach = form.encoding == OutputEncoding::Utf8Bom;
    p.firstLineCut = read.lines.front().cut;

    ItemSplitter splitter;
    PreviewLine first;
    first.sourceLine = 1;
    first.cut = p.firstLineCut;
    fillCells(first, read.lines.front().text, settings, columns, e, splitter);
    p.firstLineItems = first.items;
    // Past the end of a cut first line nothing is known: the item may well exist.
    for (std::size_t c = 0; c < columns.items.size(); ++c) {
        const bool unread = p.firstLineCut && first.cells[c].beyond && columns.items[c] >= 1;
        p.headings.push_back({columns.items[c], unread ? std::string() : first.cells[c].bytes,
                              first.cells[c].beyond && !unread, unread});
    }
    if (skip) {
        first.leftOut = true;
        p.header = std::move(first);
    }

    // The lines go through a run that first reads a line it leaves out, then the lines, each
    // ended by CR LF. The run's encoding is the one decided for the whole source, and its rule
    // for a lone LF holds: where LF is text, a CR keeps it so; where LF ends lines, no line
    // holds LF. Its output is cut at its line ends, which no item holds unless the output ends
    // lines with LF alone and the line holds LF: such a line has a run of its own.
    const std::string_view end = "\r\n";
    const std::string_view outEnd = lineEndBytes(form.lineEnd);
    const EncodingChoice forced = e == Encoding::Utf8 ? EncodingChoice::Utf8 : EncodingChoice::Cp932;
    const bool deliHoldsEnd = settings.outDeli.find_first_of("\r\n") != std::string::npos;
    const auto alone = [&](const ReadLine& line) {
        return deliHoldsEnd || (form.lineEnd == LineEnd::Lf && line.text.find('\n') != std::string::npos);
    };
    struct Batch {
        Conversion::Status status;
        std::string out;
        std::int64_t replacements;
        CharacterFault fault;
    };
    std::string fed;
    const auto runLines = [&](std::size_t from, std::size_t to) {
        fed.assign("-");
        fed += end;
        for (std::size_t i = from; i < to; ++i) {
            fed += read.lines[i].text;
            fed += end;
        }
        BytesSource bytes(fed);
        Conversion run({.skipFirstLine = true});
        run.setThreads(1);
        run.setEncoding(forced);
        run.openSource(bytes);
        std::ostringstream out;
        run.setOutput(out);
        const Conversion::Status status = run.runToEnd(settings);
        Batch b{status, std::move(out).str(), run.replacements(), run.characterFault()};
        // A run begins its output with the mark the form wants; only the first line has it.
        if (bomEach && b.out.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0)
            b.out.erase(0, kUtf8Bom.size());
        return b;
    };
    // The output of lines from..to, a piece each; false when it does not cut into as many.
    const auto cut = [&](const std::string& out, std::size_t lines, std::vector<std::string>& pieces) {
        pieces.assign(lines, std::string());
        if (columns.items.empty())
            return out.empty();
        std::size_t at = 0;
        for (std::string& piece : pieces) {
            const std::size_t next = out.find(outEnd, at);
            if (next == std::string::npos)
                return false;
            piece = out.substr(at, next + outEnd.size() - at);
            at = next + outEnd.size();
        }
        return at == out.size();
    };
    std::int64_t replaced = 0;
    std::int64_t replacedAt = 0;
    std::vector<std::string> pieces;
    for (std::size_t from = skip; from < shown && !p.stopped;) {
        std::size_t to = from + 1;
        if (!alone(read.lines[from]))
            while (to < shown && !alone(read.lines[to]))
                ++to;
        Batch b = runLines(from, to);
        if (b.status != Conversion::Status::Done) {
            // The line where the run stops: the lines before it are written, none after.
            const std::size_t at = from + static_cast<std::size_t>(std::max<std::int64_t>(b.fault.line - 2, 0));
            PreviewWarning w;
            w.kind = PreviewWarningKind::RunStops;
            w.line = static_cast<std::int64_t>(at) + 1;
            w.lines = 1;
            w.fault = b.fault;
            w.fault.line = w.line;
            p.warnings.push_back(w);
            p.stopped = true;
            to = std::min(at, to);
            b = to > from ? runLines(from, to) : Batch{Conversion::Status::Done, {}, 0, {}};
            if (b.status != Conversion::Status::Done)
                break;
        }
        if (!cut(b.out, to - from, pieces))
            for (std::size_t i = from; i < to; ++i)
                pieces[i - from] = runLines(i, i + 1).out;
        if (b.replacements > 0 && replacedAt == 0)
            for (std::size_t i = from; i < to && replacedAt == 0; ++i)
                if (runLines(i, i + 1).replacements > 0)
                    replacedAt = static_cast<std::int64_t>(i) + 1;
        replaced += b.replacements;
        for (std::size_t i = from; i < to; ++i) {
            PreviewLine line;
            line.sourceLine = static_cast<std::int64_t>(i) + 1;
            line.cut = read.lines[i].cut;
            line.output = std::move(pieces[i - from]);
            if (i == 0)
                line.cells = first.cells, line.items = first.items;
            else
                fillCells(line, read.lines[i].text, settings, columns, e, splitter);
            p.lines.push_back(std::move(line));
        }
        from = to;
    }

    // The mark comes with the first line a run writes.
    if (!p.lines.empty() && !columns.items.empty() &&
        (bomEach || (form.encoding == OutputEncoding::AsSource && p.encoding.bom)))
        p.bom = kUtf8Bom;

    // The warnings, kind by kind, each at the first line where it happens.
    std::vector<PreviewWarning> found;
    const auto byKind = [&](PreviewWarningKind kind, const auto& has) {
        std::vector<PreviewWarning> w;
        const auto scan = [&](const PreviewLine& line) {
            for (std::size_t c = 0; c < line.cells.size(); ++c)
                if (has(line.cells[c])) {
                    note(w, kind, line, static_cast<std::int32_t>(c), columns.items[c]);
                    return;
                }
        };
        if (kind == PreviewWarningKind::NotDecodable && p.header)
            scan(*p.header);
        for (const PreviewLine& line : p.lines)
            scan(line);
        found.insert(found.end(), w.begin(), w.end());
    };
    byKind(PreviewWarningKind::NeedsQuotes, [](const PreviewCell& c) { return c.needsQuotes; });
    // One warning for each column beyond some line's items; a cut line's count is not known.
    for (std::size_t c = 0; c < columns.items.size(); ++c) {
        std::vector<PreviewWarning> w;
        for (const PreviewLine& line : p.lines)
            if (!line.cut && line.cells[c].beyond)
                note(w, PreviewWarningKind::ColumnBeyond, line, static_cast<std::int32_t>(c), columns.items[c]);
        found.insert(found.end(), w.begin(), w.end());
    }
    if (!p.firstLineCut) {
        std::vector<PreviewWarning> w;
        for (const PreviewLine& line : p.lines)
            if (line.sourceLine > 1 && !line.cut && line.items != p.firstLineItems)
                note(w, PreviewWarningKind::ItemCountDiffers, line, -1, 0);
        for (PreviewWarning& x : w)
            x.firstLineItems = p.firstLineItems;
        found.insert(found.end(), w.begin(), w.end());
    }
    byKind(PreviewWarningKind::NotDecodable, [](const PreviewCell& c) { return c.undecodable; });
    // Text that decodes as UTF-8 also decodes, wrongly, as code page 932 where the user chose it.
    if (request.encoding == EncodingChoice::Cp932 &&
        detectEncoding(start.bytes, EncodingChoice::Auto).encoding == Encoding::Utf8) {
        const auto wide = [](const ReadLine& line) {
            return std::any_of(line.text.begin(), line.text.end(), [](char c) { return c & 0x80; });
        };
        const auto last = read.lines.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(shown, 1));
        const auto at = std::find_if(read.lines.begin(), last, wide);
        if (at != last) {
            PreviewWarning w;
            w.kind = PreviewWarningKind::LooksUtf8;
            w.line = at - read.lines.begin() + 1;
            w.lines = std::count_if(at, last, wide);
            found.push_back(w);
        }
    }
    if (!p.lines.empty())
        for (std::size_t c = 0; c < columns.items.size(); ++c)
            if (std::all_of(p.lines.begin(), p.lines.end(),
                            [c](const PreviewLine& line) { return line.cells[c].bytes.empty(); })) {
                PreviewWarning w;
                w.kind = PreviewWarningKind::EmptyColumn;
                w.line = p.lines.front().sourceLine;
                w.lines = static_cast<std::int64_t>(p.lines.size());
                w.column = static_cast<std::int32_t>(c);
                w.itemNumber = columns.items[c];
                found.push_back(w);
            }
    if (replaced > 0) {
        PreviewWarning w;
        w.kind = PreviewWarningKind::Replaced;
        w.line = replacedAt;
        w.lines = replaced;
        found.push_back(w);
    }
    if (p.firstLineCut) {
        PreviewWarning w;
        w.kind = PreviewWarningKind::FirstLineCut;
        w.line = 1;
        w.lines = 1;
        found.push_back(w);
    }
    // A stopping character comes first: nothing after it is written.
    found.insert(found.begin(), p.warnings.begin(), p.warnings.end());
    p.warnings = std::move(found);
    return p;
}

} // namespace engine
