#include "FirstLine.h"

#include "LineReader.h"

#include <fstream>

namespace engine {

FileProblem checkReadable(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        return FileProblem::Missing;
    if (std::filesystem::is_directory(status))
        return FileProblem::NotAFile;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return FileProblem::CannotOpen;
    return FileProblem::None;
}

FileProblem readFirstLine(const std::filesystem::path& path, std::string& line)
{
    if (const FileProblem p = checkReadable(path); p != FileProblem::None)
        return p;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return FileProblem::CannotOpen;
    // Small blocks: only the first line is wanted, and it grows the buffer if it is long.
    LineReader reader(in, 64 * 1024);
    std::string_view first;
    if (!reader.next(first))
        return reader.readError() ? FileProblem::ReadFailed : FileProblem::Empty;
    if (reader.readError())
        return FileProblem::ReadFailed;
    line.assign(first);
    return FileProblem::None;
}

} // namespace engine
