#pragma once
// The files of a run, opened through the platform's own handles: the source, opened
// once and read through the same handle that was checked (a named pipe can be opened
// only once); the output, locked for the whole run so that a second run cannot write
// into it, and cut back to its last whole line after a failed write; and the
// temporary file that replaces an output only when a run has succeeded.

#include "LineReader.h"

#include "platform/NativeFile.h"

#include <cstdint>
#include <filesystem>

namespace engine {

using platform::FileIdentity;

// True when both paths name the same file, however they are written (links, "./",
// "..", symbolic links).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

enum class RemoveResult { Removed, Absent, NotRegular, Failed };

// Deletes an earlier output if it is an ordinary file; anything else (a device, a
// folder) is left alone.
RemoveResult removeOldOutput(const std::filesystem::path& output);

// Where a path finally leads when it is a symbolic link (the path itself otherwise);
// a link's target may not exist yet.
std::filesystem::path resolveLinks(const std::filesystem::path& path);

// A source file or standard input, as bytes for a LineReader.
class SourceFile : public ByteSource {
public:
    enum class Problem { None, Missing, NotAFile, CannotOpen };
    Problem open(const std::filesystem::path& path);
    Problem openStandardInput();
    std::int64_t read(char* to, std::size_t bytes) override { return file_.read(to, bytes); }
    FileIdentity identity() const { return file_.identity(); }
    std::uint64_t size() const { return file_.size(); }

private:
    platform::NativeFile file_;
};

// An open output: a file (locked when it is an ordinary one) or standard output.
class OutputTarget {
public:
    enum class Problem { None, CannotCreate, Busy, IsSource };
    // Opens `path` for appending, creating it; refuses a file another run holds or one
    // that is `notThis`.
    Problem open(const std::filesystem::path& path, const FileIdentity& notThis);
    void openStandardOutput();
    bool isOpen() const { return file_.isOpen(); }
    FileIdentity identity() const { return file_.identity(); }
    // Bytes written before a failure.
    std::size_t write(const char* from, std::size_t bytes) { return file_.write(from, bytes); }
    // Empties an ordinary file.
    void discardContents();
    // Cuts an ordinary file back to what it held when opened plus `bytes`.
    void cutBack(std::uint64_t bytes);
    void close() { file_.close(); }

private:
    platform::NativeFile file_;
    std::uint64_t base_ = 0;
    bool regular_ = false;
};

// The temporary file beside an output that takes the output's place at the end.
// Its name is the output's with ".tolvane-tmp" added, so a user recognises it.
class ReplacedOutput {
public:
    enum class Problem { None, CannotCreate, Busy, CannotReplace };
    ~ReplacedOutput();
    // Locks the earlier output (so that a window writing it is not overrun) and creates
    // and locks the temporary file.
    Problem begin(const std::filesystem::path& output, OutputTarget& target, const FileIdentity& notThis);
    // Puts the temporary file in the output's place.
    Problem commit(OutputTarget& target);
    // Removes the temporary file; the output stays as it was.
    void abandon(OutputTarget& target);
    const std::filesystem::path& temporary() const { return temporary_; }

private:
    std::filesystem::path output_;
    std::filesystem::path temporary_;
    platform::NativeFile heldOutput_;
    bool active_ = false;
};

} // namespace engine
