#pragma once
// How output lines are written: the encoding, the line end and quoting. The default form
// writes the source's own bytes, CR LF and no quotes added, exactly as the run always has.
// A run reads the form with its other settings each slice, so a change applies from the
// next line.

namespace engine {

enum class OutputEncoding {
    AsSource, // the source's bytes unchanged; a byte order mark only where the source has one
    Cp932,    // code page 932 (the Windows table, round trip only), no byte order mark
    Utf8,     // UTF-8 without a byte order mark
    Utf8Bom,  // UTF-8 starting with a byte order mark
};

enum class LineEnd { CrLf, Lf };

struct OutputForm {
    OutputEncoding encoding = OutputEncoding::AsSource;
    LineEnd lineEnd = LineEnd::CrLf;
    // An item wholly in quotes is taken as its content; an item is written in quotes (inner
    // quotes doubled) exactly when it holds the output delimiter, a quote, CR or LF.
    bool quote = false;
    // A character the output cannot hold, or source bytes that form no character, become '?'
    // (counted) instead of stopping the run.
    bool replace = false;

    bool operator==(const OutputForm&) const = default;
};

} // namespace engine
