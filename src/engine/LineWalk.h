#pragma once
// The whole-block line walk of a conversion: the lines a reader's block holds, converted
// from tiles of masks (line ends, delimiters, quotes: Classify) walked from line to line.
// Internal to the engine: the run (Conversion.cpp) and its worker (Worker.cpp) use it.

#include "Classify.h"
#include "Encoding.h"
#include "LineProcessing.h"
#include "OutputLine.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace engine {

struct FormRules;

// Lines whose output takes items beyond this number, or more columns, go line by line.
constexpr std::int64_t kMostHeldColumns = 128;
constexpr std::size_t kMostHeldOutputs = 256;

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
    std::string_view lineEnd = "\r\n";
    // A form other than the default (FormWriter.h); null: the items' bytes as they are.
    const FormRules* form = nullptr;
    // Whether the default form's lines are looked at for an item holding outDeli (in the
    // source's encoding) outside quotes.
    bool delimiterCheck = false;
    // Each line's end in the output is kept (ScanOut::ends).
    bool keepEnds = false;
    Encoding encoding = Encoding::Cp932;
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
    std::int64_t replaced = 0;       // characters written as '?'
    std::int64_t delimiterLines = 0; // lines with an item holding the output delimiter
    // Where each line converted ends in the buffer, kept when the line end alone cannot tell
    // (LF ends, and items may hold LF); nullptr otherwise.
    std::vector<std::size_t>* ends = nullptr;
};

enum class ScanEnd {
    Reached, // every whole line before `to` was converted
    Leave,   // the line at scanStart is left to the line-by-line loop
    Limit,   // flushAt or maxLines was reached, or the next line does not fit
};

// Converts the lines from scanStart (a line's start) up to `to` (a line's start or the held
// end) into out, walking the masks of whole tiles from line to line. A line in a form
// whose character the output cannot hold is left to the line-by-line loop, which tells. scanStart ends at the
// first line not converted. For a one-byte delimiter; h.checkTrail: it can be the second
// byte of a multi-byte character, so each one found is checked.
ScanEnd scanLines(const HeldScan& h, std::size_t& scanStart, std::size_t to, Tiles& tiles, ScanOut& out);

// Where the held lines split, giving the worker about `part` of them: the start of the
// first line after the cut; 0 when there is no such line. Line ends do not depend on quotes.
std::size_t splitPoint(const char* data, std::size_t n, bool lfEnds, double part);

} // namespace engine
