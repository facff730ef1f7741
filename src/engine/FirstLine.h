#pragma once
// Reading the first line of a source file, with the reason when it cannot be read.

#include <filesystem>
#include <string>

namespace engine {

enum class FileProblem { None, Missing, NotAFile, CannotOpen, ReadFailed, Empty, LineTooLong };

// Opens the file once (a named pipe can be opened only once) and reads its first line.
FileProblem readFirstLine(const std::filesystem::path& path, std::string& line);

} // namespace engine
