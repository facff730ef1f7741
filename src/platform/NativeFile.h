#pragma once
// Files through the operating system's own handles, for the engine's source and output:
// one open handle serves both the checks and the reading (a named pipe can be opened
// only once), an output can be locked for a whole run and cut back after a failed
// write. No Qt here: the engine uses it.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace platform {

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
    // The process's standard input and output; not closed by this object.
    static NativeFile standardInput();
    static NativeFile standardOutput();

    bool isOpen() const;
    // Bytes read, 0 at the end, -1 when reading failed.
    std::int64_t read(char* to, std::size_t bytes);
    // Bytes written before a failure; `bytes` when everything was written.
    std::size_t write(const char* from, std::size_t bytes);
    // An exclusive lock for as long as the handle is open; false when another holds it.
    bool tryLock();
    // Cuts the file to `size` bytes.
    bool truncate(std::uint64_t size);
    // The file's size now; 0 when it has none (a pipe).
    std::uint64_t size() const;
    bool isRegular() const;
    bool isDirectory() const;
    FileIdentity identity() const;
    void close();

private:
#ifdef _WIN32
    // Takes a handle just opened, or the reason it could not be.
    static NativeFile adopt(void* handle, OpenError& error);
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool owned_ = true;
};

// Removes a file name; false when it could not be removed.
bool removeFile(const std::filesystem::path& path);
// Renames `from` over `to` in one step, replacing `to`. `heldTo` is the caller's handle on
// `to`, if any: it keeps `to` locked until the rename where the system allows, but Windows
// renames nothing over an open file, so there it is closed first.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, NativeFile& heldTo);

} // namespace platform

namespace platform {

// While set, an interrupt (Ctrl+C, a terminal closed, a polite kill) removes this file
// before the program ends, so that no half-written temporary file is left behind.
void removeOnInterrupt(const std::filesystem::path& path);
void keepOnInterrupt();

} // namespace platform

namespace platform {

// Memory for the engine's large buffers, freed (or resized) with std::free and
// std::realloc. Where the system backs memory with large pages on request it is asked
// to: the first touch of each small page costs more than filling it.
void* allocateBuffer(std::size_t bytes);

} // namespace platform
