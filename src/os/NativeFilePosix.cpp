#include "NativeFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

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

NativeFile NativeFile::descriptor(int fd)
{
    NativeFile f;
    f.owned_ = false;
    if (fd >= 0 && ::fcntl(fd, F_GETFD) != -1)
        f.fd_ = fd;
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

NativeFile::Lock NativeFile::tryLock()
{
    // A lock on the open file (not the process, so that two runs in one program exclude
    // each other too) that only a writer can take: someone who may merely read the
    // output cannot hold it to keep every run out.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(fd_, F_OFD_SETLK, &whole) == 0)
            return Lock::Taken;
        if (errno == EINTR)
            continue;
        // A share without a lock service (ENOLCK) or a file system without locks: a
        // lock that cannot be had guards nothing, and refusing would leave the folder
        // unwritable for ever.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return Lock::Unsupported;
        return Lock::Busy;
    }
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

NativeFile::Permissions NativeFile::permissions() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return {};
    return {static_cast<std::uint32_t>(st.st_mode & 07777), static_cast<std::uint32_t>(st.st_uid),
            static_cast<std::uint32_t>(st.st_gid), true};
}

namespace {

// The process's umask, read without changing it (threads may be creating files).
mode_t currentUmask()
{
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        std::fclose(status);
    }
    return mask;
}

} // namespace

bool NativeFile::setPermissions(const Permissions& p)
{
    // The owner first, since a change of owner clears the set-id bits.
    if (!p.known)
        return false;
    mode_t mode = p.mode;
    if (::fchown(fd_, p.owner, p.group) != 0) {
        if (errno != EPERM)
            return false;
        // Only a privileged process may give a file away. The file stays this user's,
        // and what another user's file allowed (everyone writing, say) is not handed on
        // beyond what this user's umask allows.
        mode &= ~currentUmask();
    }
    return ::fchmod(fd_, mode) == 0;
}

bool NativeFile::sync()
{
    return ::fsync(fd_) == 0;
}

void NativeFile::close()
{
    closeChecked();
}

bool NativeFile::closeChecked()
{
    bool ok = true;
    // A close interrupted by a signal has closed the descriptor all the same on Linux:
    // closing it again could close another thread's new file.
    if (fd_ >= 0 && owned_)
        ok = ::close(fd_) == 0 || errno == EINTR;
    fd_ = -1;
    owned_ = true;
    return ok;
}

bool plantedByAnother(const std::filesystem::path& path)
{
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0 || !(S_ISLNK(entry.st_mode) || S_ISFIFO(entry.st_mode)) ||
        entry.st_uid == ::geteuid())
        return false;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    struct stat holder {};
    if (::stat(folder.c_str(), &holder) != 0)
        return false;
    return entry.st_uid != holder.st_uid && (holder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

int descriptorNamedBy(const std::filesystem::path& path)
{
    const std::string& p = path.native();
    if (p == "/dev/stdin")
        return STDIN_FILENO;
    if (p == "/dev/stdout")
        return STDOUT_FILENO;
    if (p == "/dev/stderr")
        return STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"}) {
        const std::size_t n = std::strlen(prefix);
        if (p.size() <= n || p.size() > n + 9 || p.compare(0, n, prefix) != 0)
            continue;
        int fd = 0;
        for (std::size_t i = n; i < p.size(); ++i) {
            if (p[i] < '0' || p[i] > '9')
                return -1;
            fd = fd * 10 + (p[i] - '0');
        }
        return fd;
    }
    return -1;
}

namespace {

// What an ending signal removes. A handler may neither allocate nor take a lock, so the
// names live in fixed buffers, the folder is held open, and the armed flag is set last.
struct Cleanup {
    std::atomic<bool> armed{false};
    int folder = -1;
    char temporary[NAME_MAX + 1] = {};
    char output[NAME_MAX + 1] = {}; // empty unless the claim made the output
    dev_t outputDevice = 0;
    ino_t outputInode = 0;
} cleanup;

void cleanUp()
{
    if (!cleanup.armed.exchange(false))
        return;
    if (cleanup.temporary[0])
        ::unlinkat(cleanup.folder, cleanup.temporary, 0);
    struct stat st {};
    if (cleanup.output[0] && ::fstatat(cleanup.folder, cleanup.output, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_dev == cleanup.outputDevice && st.st_ino == cleanup.outputInode)
        ::unlinkat(cleanup.folder, cleanup.output, 0);
}

void onEndingSignal(int signal)
{
    cleanUp();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string randomName()
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    std::uint64_t fallback = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                             static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&bytes));
    if (::getentropy(bytes, sizeof bytes) != 0)
        for (unsigned char& b : bytes) {
            fallback = fallback * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(fallback >> 56);
        }
    std::string s;
    for (unsigned char b : bytes)
        s += digits[b % (sizeof digits - 1)];
    return s;
}

} // namespace

void prepareEndings()
{
    // Past the size limit a write then fails with EFBIG, like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU})
        if (std::signal(s, onEndingSignal) == SIG_IGN)
            std::signal(s, SIG_IGN); // a signal the caller chose to ignore stays ignored
}

OutputClaim::~OutputClaim()
{
    release(false);
}

bool OutputClaim::stillAtPath() const
{
    struct stat atPath {};
    struct stat held {};
    return ::fstatat(folder_, name_.c_str(), &atPath, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(file_.fd_, &held) == 0 &&
           atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino;
}

OutputClaim::Result OutputClaim::claim(const std::filesystem::path& output, IfMissing ifMissing)
{
    const bool create = ifMissing == IfMissing::Create;
    release(false);
    output_ = output;
    const std::filesystem::path folder = output.has_parent_path() ? output.parent_path() : std::filesystem::path(".");
    name_ = output.filename().native();
    if (name_.empty() || name_ == "." || name_ == "..")
        return Result::NotRegular;
    folder_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        return Result::Failed;
    // Another run may create, replace or remove the file between any two steps: the
    // claim holds only once the locked file is still the one at the path.
    for (int attempt = 0; attempt < 100; ++attempt) {
        created_ = false;
        int fd = -1;
        if (create) {
            fd =
                ::openat(folder_, name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            created_ = fd >= 0;
        }
        if (fd < 0 && (!create || errno == EEXIST))
            fd = ::openat(folder_, name_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (create && errno == ENOENT)
                continue; // removed between the two opens
            if (errno == ELOOP || errno == ENXIO || errno == EISDIR)
                return Result::NotRegular;
            return Result::Failed;
        }
        file_.fd_ = fd;
        file_.owned_ = true;
        if (!file_.isRegular()) {
            file_.close();
            return Result::NotRegular;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return lockOpened();
    }
    return Result::Busy;
}

bool OutputClaim::makeTemporary(NativeFile& temporary)
{
    // A name the folder can hold: the output's name shortened when it is near the limit.
    std::string base = name_;
    const std::size_t room = NAME_MAX - std::strlen("..tolvane-XXXXXX");
    if (base.size() > room)
        base.resize(room);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + base + ".tolvane-" + randomName();
        const int fd = ::openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        temporary = NativeFile();
        temporary.fd_ = fd;
        temporaryName_ = name;
        haveTemporary_ = true;
        // Armed for the signal handler: folder and names first, the flag last.
        cleanup.armed = false;
        cleanup.folder = folder_;
        std::memcpy(cleanup.temporary, name.c_str(), name.size() + 1);
        cleanup.output[0] = '\0';
        struct stat st {};
        if (created_ && ::fstat(file_.fd_, &st) == 0) {
            cleanup.outputDevice = st.st_dev;
            cleanup.outputInode = st.st_ino;
            std::memcpy(cleanup.output, name_.c_str(), name_.size() + 1);
        }
        cleanup.armed = true;
        return true;
    }
    return false;
}

OutputClaim::Commit OutputClaim::commit(NativeFile& temporary)
{
    // The output's own permissions (a new output's are those the user's umask gave the
    // claimed file): a private file stays private.
    bool ok = temporary.setPermissions(file_.permissions());
    ok = temporary.sync() && ok;
    ok = temporary.closeChecked() && ok;
    const bool changed = ok && !stillAtPath();
    ok = ok && !changed;
    ok = ok && ::renameat(folder_, temporaryName_.c_str(), folder_, name_.c_str()) == 0;
    if (!ok) {
        temporary.close();
        release(true);
        return changed ? Commit::Changed : Commit::Failed;
    }
    haveTemporary_ = false;
    cleanup.armed = false;
    // The rename itself reaches the disk with the folder.
    ::fsync(folder_);
    created_ = false;
    release(false);
    return Commit::Done;
}

bool OutputClaim::removeClaimed()
{
    if (!file_.isOpen() || !stillAtPath())
        return false;
    return ::unlinkat(folder_, name_.c_str(), 0) == 0;
}

void OutputClaim::release(bool removeIfCreated)
{
    if (haveTemporary_) {
        cleanup.armed = false;
        ::unlinkat(folder_, temporaryName_.c_str(), 0);
        haveTemporary_ = false;
    }
    if (removeIfCreated && created_)
        removeClaimed();
    created_ = false;
    file_.close();
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
    locked_ = false;
}

} // namespace os

namespace os {

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

} // namespace os
