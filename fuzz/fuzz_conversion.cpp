// A whole conversion against the line-by-line model: lines by the model's line rules,
// each output line the chosen items joined by the output delimiter, then CR LF.
// Input: a byte (bit 0: leave out the first line; bit 1: the source is UTF-8, whose byte
// order mark is no part of the first line and starts the output; bit 2: two threads, every
// block split; bits 3-4: the vector path, where it runs; bits 5-6: what goes before the
// source text, as FuzzInput::leadOf takes it), two bytes of block size, the input
// delimiter, the output delimiter, a byte giving 0 to 7 columns, one byte per column
// (0xFF: an entry without a column), a byte for the output form (bits 0-1: the source's bytes,
// code page 932, UTF-8, UTF-8 with a mark; bit 2: LF; bit 3: quotes; bit 4: '?' for what
// cannot be written), then the source text. A line the form cannot write stops the run, its
// earlier lines kept.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/Conversion.h"

#include <sstream>

namespace {

struct Expected {
    std::string out;
    std::int64_t replaced = 0;
    std::int64_t delimiterLines = 0;
    std::int64_t stoppedAt = 0; // the line (from 1) a character stopped the run at; 0: none
    model::FormStop stop;
};

Expected expectedOutput(std::string_view source, bool skipFirst, bool utf8, const engine::ConversionSettings& settings)
{
    Expected e;
    const engine::OutputForm& form = settings.form;
    const model::Form f{form.encoding == engine::OutputEncoding::AsSource ? 0
                        : form.encoding == engine::OutputEncoding::Cp932  ? 1
                                                                          : 2,
                        form.quote, form.replace};
    std::vector<std::string_view> lines = model::lines(source);
    const bool bom = utf8 && source.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom)
        lines[0].remove_prefix(3);
    for (std::size_t n = skipFirst ? 1 : 0; n < lines.size(); ++n) {
        const std::vector<std::string_view> items = model::items(lines[n], settings.inDeli, utf8);
        std::vector<std::string_view> chosen;
        for (std::size_t c = 1; c < settings.map.size(); ++c)
            if (settings.map[c].iItemNo != -1)
                chosen.push_back(model::item(items, settings.map[c].iItemNo));
        if (chosen.empty())
            continue;
        std::string line;
        std::int64_t replaced = 0;
        bool held = false;
        if (!model::formLine(chosen, settings.outDeli, utf8, f, line, replaced, held, e.stop)) {
            e.stoppedAt = static_cast<std::int64_t>(n) + 1;
            break;
        }
        e.out += line + (form.lineEnd == engine::LineEnd::Lf ? "\n" : "\r\n");
        e.replaced += replaced;
        e.delimiterLines += held ? 1 : 0;
    }
    const bool mark =
        form.encoding == engine::OutputEncoding::Utf8Bom || (form.encoding == engine::OutputEncoding::AsSource && bom);
    if (mark && !e.out.empty())
        e.out = "\xEF\xBB\xBF" + e.out;
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const bool skipFirst = flags & 1;
    const bool utf8 = flags & 2;
    const std::size_t blockSize = in.blockSize();
    engine::ConversionSettings settings;
    settings.inDeli = in.delimiter();
    settings.outDeli = in.delimiter();
    settings.map.resize(1 + in.byte() % 8);
    for (std::size_t c = 1; c < settings.map.size(); ++c)
        settings.map[c].iItemNo = static_cast<std::int32_t>(in.itemNumber());
    const std::uint8_t form = in.byte();
    settings.form.encoding = static_cast<engine::OutputEncoding>(form & 3);
    settings.form.lineEnd = form & 4 ? engine::LineEnd::Lf : engine::LineEnd::CrLf;
    settings.form.quote = form & 8;
    settings.form.replace = form & 16;
    const std::string source = FuzzInput::leadOf(flags >> 5) + std::string(in.rest());

    std::istringstream src(source);
    std::ostringstream out;
    const Expected expected = expectedOutput(source, skipFirst, utf8, settings);
    {
        engine::Conversion conv({.skipFirstLine = skipFirst, .blockSize = blockSize});
        conv.setEncoding(utf8 ? engine::EncodingChoice::Utf8 : engine::EncodingChoice::Cp932);
        conv.setThreads(flags & 4 ? 2 : 1);
        conv.setParallelFrom(0);
        conv.setVectorPath(static_cast<engine::VectorPath>((flags >> 3) & 3));
        conv.openSource(src);
        conv.setOutput(out);
        const engine::Conversion::Status status = conv.runToEnd(settings);
        if (expected.stoppedAt == 0) {
            FUZZ_CHECK(status == engine::Conversion::Status::Done);
            FUZZ_CHECK(conv.count() == static_cast<std::int64_t>(model::lines(source).size()));
            FUZZ_CHECK(conv.linesHoldingDelimiter() == (settings.form.quote ? 0 : expected.delimiterLines));
        } else {
            FUZZ_CHECK(status == (expected.stop.codePoint == model::kNoChar
                                      ? engine::Conversion::Status::NotACharacter
                                      : engine::Conversion::Status::CannotEncode));
            FUZZ_CHECK(conv.characterFault().line == expected.stoppedAt);
            FUZZ_CHECK(conv.characterFault().codePoint == expected.stop.codePoint);
        }
        FUZZ_CHECK(conv.replacements() == expected.replaced);
    }
    FUZZ_CHECK(out.str() == expected.out);
    return 0;
}
