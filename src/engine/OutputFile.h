#pragma once
// Guards around the output file: it must never be the source, and an old output is
// removed only when it is an ordinary file.

#include <filesystem>

namespace engine {

// True when both paths name the same file, however they are written (links, "./",
// "..", symbolic links).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

enum class RemoveResult { Removed, Absent, NotRegular, Failed };

// Deletes an earlier output if it is an ordinary file; anything else (a device, a
// folder) is left alone.
RemoveResult removeOldOutput(const std::filesystem::path& output);

} // namespace engine
