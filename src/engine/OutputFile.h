#pragma once
// The files of a run, opened through the operating system's own handles: the source, opened
// once and read through the same handle that was checked (a named pipe can be opened
// only once); the output, locked for the whole run so that a second run cannot write
// into it, and cut back to its last whole line after a failed write; and the
// temporary file that replaces an output only when a run has succeeded.

#include "LineReader.h"
#include "Problems.h"

#include "os/NativeFile.h"

#include <cstdint>
#include <filesystem>

namespace engine {

using os::FileIdentity;

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
    // Missing, NotAFile or CannotOpen when it cannot be read.
    FileProblem open(const std::filesystem::path& path);
    // A descriptor the process holds (a pipe, a terminal, a file it was given).
    FileProblem openDescriptor(int fd);
    std::int64_t read(char* to, std::size_t bytes) override { return file_.read(to, bytes); }
    FileIdentity identity() const { return file_.identity(); }
    std::uint64_t size() const { return file_.size(); }

private:
    os::NativeFile file_;
};

// An open output: a file claimed at its path (locked where the file system keeps locks),
// a device, or a stream the process holds (standard output, /dev/fd/N).
class OutputTarget {
public:
    // None, CannotCreate, Busy or IsSource.
    // Claims `path` and writes at its end, creating it when missing; refuses a file
    // another run holds or one that is `notThis`. A device is written as it is.
    OutputProblem open(const std::filesystem::path& path, const FileIdentity& notThis);
    // A file that open() creates takes these permissions (those of the output it follows).
    void keepPermissions(const os::NativeFile::Permissions& p) { permissions_ = p; }
    // A descriptor the process holds; false when it is not open.
    bool openDescriptor(int fd);
    // A new file of the caller's (a temporary file), written from its start.
    void adopt(os::NativeFile file);
    bool isOpen() const { return file_.isOpen() || claim_.claimed(); }
    FileIdentity identity() { return file().identity(); }
    // Whether open() made the file, and what it held before.
    bool created() const { return claim_.claimed() && claim_.created(); }
    std::uint64_t base() const { return base_; }
    // Bytes written before a failure.
    std::size_t write(const char* from, std::size_t bytes) { return file().write(from, bytes); }
    // Cuts an ordinary file back to what it held when opened plus `bytes`. False when
    // nothing could be cut (a stream, a device) or the cut failed: the output may then end
    // in part of a line.
    bool cutBack(std::uint64_t bytes);
    // False when the system reported a failure on closing (a share may report a failed
    // write only then).
    bool close();
    // False when the output is a file the system could not lock.
    bool locked() const { return !claim_.claimed() || claim_.locked(); }
    os::NativeFile& file() { return claim_.claimed() ? claim_.file() : file_; }

private:
    os::OutputClaim claim_;
    os::NativeFile file_;
    std::uint64_t base_ = 0;
    bool regular_ = false;
    os::NativeFile::Permissions permissions_;
};

// The temporary file beside an output that takes the output's place only when the run
// has succeeded; meanwhile the output path itself is claimed, so that no other run
// writes it or replaces it.
class ReplacedOutput {
public:
    ~ReplacedOutput();
    // Claims the output (a link is written through: the claim is on its target) and makes
    // the temporary file, which `target` then writes.
    OutputProblem begin(const std::filesystem::path& output, OutputTarget& target, const FileIdentity& notThis);
    // Puts the temporary file in the output's place, with the output's permissions.
    OutputProblem commit(OutputTarget& target);
    // Removes the temporary file, and the output when the claim made it; an earlier
    // output stays as it was.
    void abandon(OutputTarget& target);
    bool locked() const { return claim_.locked(); }

private:
    os::OutputClaim claim_;
    bool active_ = false;
};

} // namespace engine
