// A whole conversion against the line-by-line model: lines by the model's line rules,
// each output line the chosen items joined by the output delimiter, then CR LF.
// Input: a byte (bit 0: leave out the first line; bit 1: the source is UTF-8, whose byte
// order mark is no part of the first line and starts the output; bit 2: two threads, every
// block split; bits 3-4: the vector path, where it runs; bits 5-6: what goes before the
// source text, as FuzzInput::leadOf takes it), two bytes of block size, the input
// delimiter, the output delimiter, a byte giving 0 to 7 columns, one byte per column
// (0xFF: an entry without a column), then the source text.

#include "FuzzInput.h"
#include "support/Models.h"

#include "engine/Conversion.h"

#include <sstream>

namespace {

std::string expectedOutput(std::string_view source, bool skipFirst, bool utf8,
                           const engine::ConversionSettings& settings)
{
    std::string out;
    std::vector<std::string_view> lines = model::lines(source);
    const bool bom = utf8 && source.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom)
        lines[0].remove_prefix(3);
    for (std::size_t n = skipFirst ? 1 : 0; n < lines.size(); ++n) {
        const std::vector<std::string_view> items = model::items(lines[n], settings.inDeli, utf8);
        bool any = false;
        for (std::size_t c = 1; c < settings.map.size(); ++c) {
            if (settings.map[c].iItemNo == -1)
                continue;
            if (any)
                out += settings.outDeli;
            out += model::item(items, settings.map[c].iItemNo);
            any = true;
        }
        if (any)
            out += "\r\n";
    }
    return bom && !out.empty() ? "\xEF\xBB\xBF" + out : out;
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
    const std::string source = FuzzInput::leadOf(flags >> 5) + std::string(in.rest());

    std::istringstream src(source);
    std::ostringstream out;
    {
        engine::Conversion conv({.skipFirstLine = skipFirst, .blockSize = blockSize});
        conv.setEncoding(utf8 ? engine::EncodingChoice::Utf8 : engine::EncodingChoice::Cp932);
        conv.setThreads(flags & 4 ? 2 : 1);
        conv.setParallelFrom(0);
        conv.setVectorPath(static_cast<engine::VectorPath>((flags >> 3) & 3));
        conv.openSource(src);
        conv.setOutput(out);
        FUZZ_CHECK(conv.runToEnd(settings) == engine::Conversion::Status::Done);
        FUZZ_CHECK(conv.count() == static_cast<std::int64_t>(model::lines(source).size()));
    }
    FUZZ_CHECK(out.str() == expectedOutput(source, skipFirst, utf8, settings));
    return 0;
}
