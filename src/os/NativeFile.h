#pragma once
// Files through the operating system's own handles, for the engine's source and output:
// one open handle serves both the checks and the reading (a named pipe can be opened
// only once), an output can be locked for a whole run and cut back after a failed
// write. No Qt here: the engine uses it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace os {

// Which file a handle or a path leads to; equal identities are the same file, however
// it was named.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool known = false;
    bool operator==(const FileIdentity& o) const { return known && o.known && device == o.device && file == o.file; }
};

// The identity of the file a path leads to (symbolic links followed); unknown when
// there is none.
FileIdentity identityOf(const std::filesystem::path& path);

class NativeFile {
public:
    enum class OpenError { None, Missing, IsDirectory, Denied, Other };

    NativeFile() = default;
    ~NativeFile();
    NativeFile(NativeFile&& o) noexcept;
    NativeFile& operator=(NativeFile&& o) noexcept;
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    static NativeFile openRead(const std::filesystem::path& path, OpenError& error);
    // Opens for writing at the end, creating the file when `create` is set.
    static NativeFile openAppend(const std::filesystem::path& path, bool create, OpenError& error);
    // A descriptor the process holds (0, 1, 2: the standard streams), not closed by this
    // object; not open when it is not valid.
    static NativeFile descriptor(int fd);

    bool isOpen() const;
    // Bytes read, 0 at the end, -1 when reading failed.
    std::int64_t read(char* to, std::size_t bytes);
    // Bytes written before a failure; `bytes` when everything was written.
    std::size_t write(const char* from, std::size_t bytes);
    // An exclusive lock for as long as the handle is open. Unsupported where the file
    // system keeps no locks (some network shares): there a run goes on without one.
    enum class Lock { Taken, Busy, Unsupported };
    Lock tryLock();
    // Cuts the file to `size` bytes.
    bool truncate(std::uint64_t size);
    // The file's size now; 0 when it has none (a pipe).
    std::uint64_t size() const;
    bool isRegular() const;
    bool isDirectory() const;
    FileIdentity identity() const;
    // Who may read and write the file, as the system keeps it.
    struct Permissions {
        std::uint32_t mode = 0;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
        bool known = false;
    };
    Permissions permissions() const;
    // Gives the file these permissions, and their owner where the process may give a file
    // away; false when the mode could not be set.
    bool setPermissions(const Permissions& p);
    // Writes what the system still holds in its caches to the disk; false when it failed.
    bool sync();
    void close();
    // Closes and tells whether the system took every byte: a network share may report a
    // failed write only here.
    bool closeChecked();

private:
    friend class OutputClaim;
#ifdef _WIN32
    // Takes a handle just opened, or the reason it could not be.
    static NativeFile adopt(void* handle, OpenError& error);
    // Puts the file pointer at the end, where an appending handle writes.
    void toEnd();
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool owned_ = true;
};

// The output path of one run, claimed before anything is written: the file at that path
// is opened (created when missing, never through a symbolic link) and locked, so that
// every run into the same path, whichever starts first and whether the file existed,
// meets the same lock. A temporary file made here takes the output's place only at the
// end. Names are looked up in the output's folder, held open, so that the temporary
// name never makes a path too long.
class OutputClaim {
public:
    enum class Result { Claimed, Busy, NotRegular, Failed };
    OutputClaim() = default;
    ~OutputClaim();
    OutputClaim(const OutputClaim&) = delete;
    OutputClaim& operator=(const OutputClaim&) = delete;

    // What a claim does when no file is at the path.
    enum class IfMissing { Create, Fail };
    Result claim(const std::filesystem::path& output, IfMissing ifMissing);
    bool claimed() const { return file_.isOpen(); }
    // False when the file system keeps no locks, so that the claim guards nothing.
    bool locked() const { return locked_; }
    // Whether this claim made the file.
    bool created() const { return created_; }
    NativeFile& file() { return file_; }

    // A new, empty file beside the output that only this run can have made: created
    // exclusively, never through a link, readable by this user alone until it takes the
    // output's place. Its name is the output's with a dot in front and a random end
    // (".OUTPUT.tolvane-XXXXXX"). Until commit or release, an interrupt of the program
    // removes it (and the output, when the claim made it).
    bool makeTemporary(NativeFile& temporary);
    // Gives the temporary file the output's permissions, writes it to the disk, closes
    // it and puts it in the output's place. Otherwise the temporary file is removed:
    // Changed when the output path no longer names the claimed file (someone removed or
    // replaced it meanwhile), Failed when a step failed.
    enum class Commit { Done, Changed, Failed };
    Commit commit(NativeFile& temporary);
    // Removes the claimed file while it is still the one at the output path.
    bool removeClaimed();
    // Ends the claim: removes the temporary file, and the output too when this claim made
    // it and `removeIfCreated` is set.
    void release(bool removeIfCreated);

private:
    bool stillAtPath() const;
    // The claim's last step, once the file at the path is open.
    Result lockOpened();
    std::filesystem::path output_;
    NativeFile file_;
    bool locked_ = false;
    bool created_ = false;
    bool haveTemporary_ = false;
#ifdef _WIN32
    std::filesystem::path folderPath_;
    std::filesystem::path temporaryPath_;
#else
    int folder_ = -1;
    std::string name_;
    std::string temporaryName_;
#endif
};

// True when `path` is a symbolic link or a named pipe that another user put into a folder
// others may write to (a shared folder): following it would hand the run's output to
// whoever planted it. The folder's owner and this user are trusted.
bool plantedByAnother(const std::filesystem::path& path);

inline OutputClaim::Result OutputClaim::lockOpened()
{
    switch (file_.tryLock()) {
    case NativeFile::Lock::Taken:
        locked_ = true;
        break;
    case NativeFile::Lock::Unsupported:
        locked_ = false;
        break;
    case NativeFile::Lock::Busy:
        file_.close();
        created_ = false;
        return Result::Busy;
    }
    if (stillAtPath())
        return Result::Claimed;
    // Another run replaced or removed the file between the open and the lock: it is at
    // work on this output, and this run keeps out of its way.
    file_.close();
    created_ = false;
    return Result::Busy;
}

// The process's own descriptor that a path names (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), to be written or read as the open stream it is: re-opening it would
// replace the file behind it instead of adding to it. -1 for any other path.
int descriptorNamedBy(const std::filesystem::path& path);

// The program's endings that can be cleaned up after: a signal that ends it removes the
// file an OutputClaim made, and a file grown past the size limit fails a write (with
// a message) instead of ending the program.
void prepareEndings();

} // namespace os

namespace os {

// Memory for the engine's large buffers, freed (or resized) with std::free and
// std::realloc. Where the system backs memory with large pages on request it is asked
// to: the first touch of each small page costs more than filling it.
void* allocateBuffer(std::size_t bytes);

} // namespace os
