#include "FirstLine.h"

#include "LineReader.h"
#include "OutputFile.h"

namespace engine {

FileProblem readFirstLine(const std::filesystem::path& path, std::string& line)
{
    SourceEncoding encoding;
    return readFirstLine(path, line, EncodingChoice::Cp932, encoding);
}

FileProblem readFirstLine(const std::filesystem::path& path, std::string& line, EncodingChoice choice,
                          SourceEncoding& encoding)
{
    SourceFile file;
    if (const FileProblem problem = file.open(path); problem != FileProblem::None)
        return problem;
    // Small blocks: only the first line is wanted, and it grows the buffer if it is long.
    LineReader reader(file, 64 * 1024);
    std::string_view first;
    if (!reader.next(first)) {
        if (reader.lineTooLong())
            return FileProblem::LineTooLong;
        return reader.readError() ? FileProblem::ReadFailed : FileProblem::Empty;
    }
    encoding = detectEncoding(reader.start(), choice);
    if (encoding.bom && first.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        first.remove_prefix(kUtf8Bom.size());
    line.assign(first);
    return FileProblem::None;
}

} // namespace engine
