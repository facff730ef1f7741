#pragma once
// Reading the first line of a source file, with the reason when it cannot be read.

#include <filesystem>
#include <string>

namespace engine {

enum class FileProblem { None, Missing, NotAFile, CannotOpen, ReadFailed, Empty };

FileProblem readFirstLine(const std::filesystem::path& path, std::string& line);

// Checks that path names a regular file that can be opened for reading.
FileProblem checkReadable(const std::filesystem::path& path);

} // namespace engine
