#pragma once
// The first lines of a conversion's output, seen before anything is written: for the
// window's preview grid and `tolvane preview`. Every output line is made by a Conversion
// (the run's own reader, splitter, joiner and output form), never by a joiner of its own,
// so the preview cannot disagree with the file a run writes.
//
// A preview reads only the start of a source (at most kPreviewBytes), so it costs little
// however large the file or its first line: a first line longer than that is cut to what
// fits, and the preview says so. Cells and headings are the source's bytes: decode them
// with Preview::encoding.encoding (platform::decodeSource).

#include "Conversion.h"
#include "Encoding.h"
#include "LineReader.h"
#include "Problems.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The most of a source a preview reads, and the most lines it shows.
inline constexpr std::size_t kPreviewBytes = 1 << 20;
inline constexpr std::int64_t kPreviewMostLines = 500;

// The start of a source, as a preview reads it.
struct PreviewStart {
    std::string bytes;  // at most kPreviewBytes
    bool whole = false; // the source ended within them
};

// Reads up to kPreviewBytes of a file, or of a source already open (standard input).
FileProblem readPreviewStart(const std::filesystem::path& path, PreviewStart& start);
FileProblem readPreviewStart(ByteSource& source, PreviewStart& start);

// The first line of a start and the source's encoding, decided as a run decides them (a byte
// order mark left out of the line). False when it holds no line. A first line that runs past
// the start is cut to whole characters.
bool previewFirstLine(const PreviewStart& start, EncodingChoice choice, std::string& line, SourceEncoding& encoding);

// What to preview: the settings a run takes, and how many output lines.
struct PreviewRequest {
    ConversionSettings settings;
    bool skipFirstLine = false;
    EncodingChoice encoding = EncodingChoice::Auto;
    std::int64_t lines = 20; // at most kPreviewMostLines are made
};

// One output column's item on one line.
struct PreviewCell {
    // The item as the form writes it, in the source's bytes: a quoted item's quotes taken
    // off ("" read as ") when the form quotes, otherwise the item as it is.
    std::string bytes;
    // Without quoting, the item holds the output delimiter outside quotes, or a quote, CR or
    // LF outside a wholly quoted item: a reader would find more columns or lines.
    bool needsQuotes = false;
    // The column's item number is beyond the line's items: the line's last item is taken.
    bool beyond = false;
    // Some bytes form no character in the source's encoding (displayed as U+FFFD).
    bool undecodable = false;
};

struct PreviewLine {
    std::int64_t sourceLine = 0; // from 1, as the user counts
    // The bytes a run writes for this line, line end included (the byte order mark, if
    // any, is Preview::bom). Empty for the left-out header.
    std::string output;
    std::vector<PreviewCell> cells; // one per output column
    std::int64_t items = 0;         // the line's items
    bool cut = false;               // a first line cut at kPreviewBytes
    bool leftOut = false;           // the first line, which skip-first-line leaves out
};

// An output column's heading: the item number it takes and the first line's item.
struct PreviewHeading {
    std::int32_t itemNumber = 0;
    std::string text;    // source bytes, as a cell's
    bool beyond = false; // the first line has no such item (its last is shown)
    bool unread = false; // the item lies beyond the part of a cut first line that was read
};

enum class PreviewWarningKind {
    NeedsQuotes,      // an item holds the output delimiter, a quote, CR or LF, and quoting is off
    ColumnBeyond,     // a column's item is beyond a line's items (one warning per column)
    ItemCountDiffers, // lines whose item count differs from the first line's
    NotDecodable,     // bytes that form no character in the source's encoding
    LooksUtf8,        // read as code page 932 by choice, but the start is UTF-8 (one warning)
    EmptyColumn,      // an output column empty on every previewed line (one per column)
    Replaced,         // characters the run writes as '?' (OutputForm::replace)
    RunStops,         // a character stops the run (fault says which)
    FirstLineCut,     // the first line is longer than the preview reads
};

struct PreviewWarning {
    PreviewWarningKind kind = PreviewWarningKind::NeedsQuotes;
    std::int64_t line = 0;           // the first source line (from 1) where it happens
    std::int64_t lines = 0;          // previewed lines where it happens (characters, for Replaced)
    std::int32_t column = -1;        // output column (from 0) of the first place; -1 for none
    std::int32_t itemNumber = 0;     // that column's item number
    std::int64_t items = 0;          // ItemCountDiffers, ColumnBeyond: the items of the first line named
    std::int64_t firstLineItems = 0; // ItemCountDiffers: the first line's items
    CharacterFault fault;            // RunStops: line and item as the run reports them
};

struct Preview {
    SourceEncoding encoding;              // the source's, as the run decides it
    std::string bom;                      // what the output starts with before its first line
    std::vector<PreviewHeading> headings; // one per output column
    std::optional<PreviewLine> header;    // the left-out first line, when skip-first-line
    std::vector<PreviewLine> lines;       // the output lines, in order
    std::vector<PreviewWarning> warnings; // RunStops first, then in the order of the kinds
    std::int64_t firstLineItems = 0;
    bool firstLineCut = false;
    bool moreLines = false; // the source goes on after the lines shown
    bool stopped = false;   // the run would stop at a line (RunStops); no lines follow it

    // The output's first bytes, exactly as a run writes them.
    std::string raw() const;
};

// The first request.lines output lines of a source whose start is given. It depends on its
// arguments alone (no file is opened, nothing is kept), so it may run on any thread; its cost
// follows the bytes of the lines it shows, at most kPreviewBytes.
Preview previewOutput(const PreviewStart& start, const PreviewRequest& request);

} // namespace engine
