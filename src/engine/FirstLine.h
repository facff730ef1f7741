#pragma once
// Reading the first line of a source file, with the reason when it cannot be read.

#include "Encoding.h"
#include "Problems.h"

#include <filesystem>
#include <string>

namespace engine {

// Opens the file once (a named pipe can be opened only once) and reads its first line,
// as code page 932.
FileProblem readFirstLine(const std::filesystem::path& path, std::string& line);

// The same, deciding the encoding as a conversion does from the file's first bytes (or
// taking the one chosen); a byte order mark is left out of the line.
FileProblem readFirstLine(const std::filesystem::path& path, std::string& line, EncodingChoice choice,
                          SourceEncoding& encoding);

} // namespace engine
