#include "NativeFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

NativeFile::OpenError errorOf(int e)
{
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return NativeFile::OpenError::Missing;
    case EISDIR:
        return NativeFile::OpenError::IsDirectory;
    case EACCES:
    case EPERM:
    case EROFS:
        return NativeFile::OpenError::Denied;
    default:
        return NativeFile::OpenError::Other;
    }
}

} // namespace

FileIdentity identityOf(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

NativeFile::~NativeFile()
{
    close();
}

NativeFile::NativeFile(NativeFile&& o) noexcept : fd_(o.fd_), owned_(o.owned_)
{
    o.fd_ = -1;
}

NativeFile& NativeFile::operator=(NativeFile&& o) noexcept
{
    if (this != &o) {
        close();
        fd_ = o.fd_;
        owned_ = o.owned_;
        o.fd_ = -1;
    }
    return *this;
}

NativeFile NativeFile::openRead(const std::filesystem::path& path, OpenError& error)
{
    NativeFile f;
    // A folder opens for reading on this system; the caller's isDirectory() tells.
    f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    error = f.fd_ < 0 ? errorOf(errno) : OpenError::None;
    return f;
}

NativeFile NativeFile::openAppend(const std::filesystem::path& path, bool create, OpenError& error)
{
    NativeFile f;
    f.fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    error = f.fd_ < 0 ? errorOf(errno) : OpenError::None;
    return f;
}

NativeFile NativeFile::standardInput()
{
    NativeFile f;
    f.fd_ = STDIN_FILENO;
    f.owned_ = false;
    return f;
}

NativeFile NativeFile::standardOutput()
{
    NativeFile f;
    f.fd_ = STDOUT_FILENO;
    f.owned_ = false;
    return f;
}

bool NativeFile::isOpen() const
{
    return fd_ >= 0;
}

std::int64_t NativeFile::read(char* to, std::size_t bytes)
{
    for (;;) {
        const ssize_t got = ::read(fd_, to, bytes);
        if (got >= 0)
            return got;
        if (errno != EINTR)
            return -1;
    }
}

std::size_t NativeFile::write(const char* from, std::size_t bytes)
{
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t put = ::write(fd_, from + done, bytes - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (put == 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    return done;
}

bool NativeFile::tryLock()
{
    return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

bool NativeFile::truncate(std::uint64_t size)
{
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

std::uint64_t NativeFile::size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool NativeFile::isRegular() const
{
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

bool NativeFile::isDirectory() const
{
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode);
}

FileIdentity NativeFile::identity() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

void NativeFile::close()
{
    if (fd_ >= 0 && owned_)
        ::close(fd_);
    fd_ = -1;
    owned_ = true;
}

bool removeFile(const std::filesystem::path& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, NativeFile&)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

// The path lives in a fixed buffer: a signal handler may not allocate.
char interruptPath[4096];
std::atomic<bool> interruptArmed{false};

void onInterrupt(int signal)
{
    if (interruptArmed.load())
        ::unlink(interruptPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void removeOnInterrupt(const std::filesystem::path& path)
{
    const std::string& name = path.native();
    if (name.size() >= sizeof interruptPath)
        return;
    interruptArmed = false;
    std::memcpy(interruptPath, name.c_str(), name.size() + 1);
    interruptArmed = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(s, onInterrupt);
}

void keepOnInterrupt()
{
    interruptArmed = false;
}

} // namespace platform

namespace platform {

void* allocateBuffer(std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    if (bytes >= kLargePage / 2) {
        const std::size_t size = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        if (void* p = std::aligned_alloc(kLargePage, size)) {
            // Only advice: without it the memory is the same, in small pages.
            madvise(p, size, MADV_HUGEPAGE);
            return p;
        }
    }
#endif
    return std::malloc(bytes);
}

} // namespace platform
