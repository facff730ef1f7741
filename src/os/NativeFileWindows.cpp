#include "NativeFile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace os {

namespace {

NativeFile::OpenError errorOf(DWORD e)
{
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return NativeFile::OpenError::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return NativeFile::OpenError::Denied;
    default:
        return NativeFile::OpenError::Other;
    }
}

FileIdentity identityOfHandle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return {};
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            true};
}

bool isDiskFile(HANDLE h)
{
    return GetFileType(h) == FILE_TYPE_DISK;
}

} // namespace

FileIdentity identityOf(const std::filesystem::path& path)
{
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too, so that it is recognised.
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    const FileIdentity id = identityOfHandle(h);
    CloseHandle(h);
    return id;
}

NativeFile::~NativeFile()
{
    close();
}

NativeFile::NativeFile(NativeFile&& o) noexcept : handle_(o.handle_), owned_(o.owned_)
{
    o.handle_ = nullptr;
}

NativeFile& NativeFile::operator=(NativeFile&& o) noexcept
{
    if (this != &o) {
        close();
        handle_ = o.handle_;
        owned_ = o.owned_;
        o.handle_ = nullptr;
    }
    return *this;
}

NativeFile NativeFile::adopt(void* handle, OpenError& error)
{
    NativeFile f;
    if (handle == INVALID_HANDLE_VALUE) {
        error = errorOf(GetLastError());
        return f;
    }
    f.handle_ = handle;
    error = OpenError::None;
    return f;
}

NativeFile NativeFile::openRead(const std::filesystem::path& path, OpenError& error)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = OpenError::IsDirectory;
        return NativeFile();
    }
    return adopt(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                 error);
}

NativeFile NativeFile::openAppend(const std::filesystem::path& path, bool create, OpenError& error)
{
    NativeFile f = adopt(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                         error);
    f.toEnd();
    return f;
}

NativeFile NativeFile::descriptor(int fd)
{
    // Only the three standard streams have numbers here.
    static const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    NativeFile f;
    if (fd < 0 || fd > 2)
        return f;
    f.handle_ = GetStdHandle(streams[fd]);
    f.owned_ = false;
    return f;
}

void NativeFile::toEnd()
{
    // With FILE_WRITE_DATA (which cutting back needs) writes go where the file pointer
    // stands, not to the end: the pointer starts there.
    LARGE_INTEGER none{};
    if (isOpen() && isDiskFile(handle_))
        SetFilePointerEx(handle_, none, nullptr, FILE_END);
}

bool NativeFile::isOpen() const
{
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
}

std::int64_t NativeFile::read(char* to, std::size_t bytes)
{
    DWORD got = 0;
    const DWORD ask = bytes > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes);
    if (!ReadFile(handle_, to, ask, &got, nullptr)) {
        // A pipe whose writer has gone is the end of the input, not a failure.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got;
}

std::size_t NativeFile::write(const char* from, std::size_t bytes)
{
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t left = bytes - done;
        const DWORD ask = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!WriteFile(handle_, from + done, ask, &put, nullptr) || put == 0)
            break;
        done += put;
    }
    return done;
}

NativeFile::Lock NativeFile::tryLock()
{
    OVERLAPPED whole{};
    if (LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
        return Lock::Taken;
    const DWORD e = GetLastError();
    // A share that keeps no locks: a lock that cannot be had guards nothing.
    if (e == ERROR_NOT_SUPPORTED || e == ERROR_INVALID_FUNCTION)
        return Lock::Unsupported;
    return Lock::Busy;
}

bool NativeFile::truncate(std::uint64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end) != 0;
}

std::uint64_t NativeFile::size() const
{
    LARGE_INTEGER s{};
    if (!isDiskFile(handle_) || !GetFileSizeEx(handle_, &s))
        return 0;
    return static_cast<std::uint64_t>(s.QuadPart);
}

bool NativeFile::isRegular() const
{
    return isOpen() && isDiskFile(handle_);
}

bool NativeFile::isDirectory() const
{
    return false;
}

FileIdentity NativeFile::identity() const
{
    return isOpen() ? identityOfHandle(handle_) : FileIdentity{};
}

NativeFile::Permissions NativeFile::permissions() const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!isOpen() || !GetFileInformationByHandle(handle_, &info))
        return {};
    return {info.dwFileAttributes, 0, 0, true};
}

bool NativeFile::setPermissions(const Permissions& p)
{
    // Access rights come from the folder (ReplaceFileW keeps a replaced file's); what a
    // user sets by hand are the attributes, such as hidden. Zero times leave the times.
    if (!p.known)
        return false;
    FILE_BASIC_INFO info{};
    const DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    info.FileAttributes = (p.mode & kept) ? (p.mode & kept) : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle_, FileBasicInfo, &info, sizeof info) != 0;
}

bool NativeFile::sync()
{
    return FlushFileBuffers(handle_) != 0;
}

void NativeFile::close()
{
    closeChecked();
}

bool NativeFile::closeChecked()
{
    bool ok = true;
    if (isOpen() && owned_)
        ok = CloseHandle(handle_) != 0;
    handle_ = nullptr;
    owned_ = true;
    return ok;
}

bool plantedByAnother(const std::filesystem::path&)
{
    // Making a link needs rights that users seldom have, and a named pipe is no file name.
    return false;
}

int descriptorNamedBy(const std::filesystem::path&)
{
    return -1;
}

namespace {

// What a console's Ctrl+C or closing removes: the temporary file, and the output when
// the claim made it.
wchar_t cleanupTemporary[32768];
wchar_t cleanupOutput[32768];
volatile LONG cleanupArmed = 0;

BOOL WINAPI onEnding(DWORD)
{
    if (InterlockedExchange(&cleanupArmed, 0)) {
        if (cleanupTemporary[0])
            DeleteFileW(cleanupTemporary);
        if (cleanupOutput[0])
            DeleteFileW(cleanupOutput);
    }
    return FALSE; // the default handler ends the program
}

bool copyInto(wchar_t* to, std::size_t room, const std::wstring& from)
{
    if (from.size() >= room)
        return false;
    std::wmemcpy(to, from.c_str(), from.size() + 1);
    return true;
}

std::wstring randomName()
{
    static const wchar_t digits[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    std::uint64_t x =
        static_cast<std::uint64_t>(now.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
    std::wstring s;
    for (int i = 0; i < 6; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        s += digits[(x >> 33) % (sizeof digits / sizeof digits[0] - 1)];
    }
    return s;
}

} // namespace

void prepareEndings()
{
    static bool installed = false;
    if (!installed)
        installed = SetConsoleCtrlHandler(onEnding, TRUE) != 0;
}

OutputClaim::~OutputClaim()
{
    release(false);
}

bool OutputClaim::stillAtPath() const
{
    return identityOf(output_) == file_.identity();
}

OutputClaim::Result OutputClaim::claim(const std::filesystem::path& output, IfMissing ifMissing)
{
    const bool create = ifMissing == IfMissing::Create;
    release(false);
    output_ = output;
    folderPath_ = output.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        created_ = false;
        const DWORD access = FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE h = INVALID_HANDLE_VALUE;
        if (create) {
            h = CreateFileW(output.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            created_ = h != INVALID_HANDLE_VALUE;
        }
        if (h == INVALID_HANDLE_VALUE && (!create || GetLastError() == ERROR_FILE_EXISTS))
            h = CreateFileW(output.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (create && GetLastError() == ERROR_FILE_NOT_FOUND)
                continue;
            return Result::Failed;
        }
        file_.handle_ = h;
        file_.owned_ = true;
        file_.toEnd();
        if (!file_.isRegular()) {
            file_.close();
            return Result::NotRegular;
        }
        return lockOpened();
    }
    return Result::Busy;
}

bool OutputClaim::makeTemporary(NativeFile& temporary)
{
    std::wstring base = output_.filename().native();
    if (base.size() > 200)
        base.resize(200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path path = folderPath_ / (L"." + base + L".tolvane-" + randomName());
        // CREATE_NEW: nothing that lies at the name already, a link included, is opened.
        HANDLE h = CreateFileW(
            path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE,
            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return false;
        }
        temporary = NativeFile();
        temporary.handle_ = h;
        temporaryPath_ = path;
        haveTemporary_ = true;
        InterlockedExchange(&cleanupArmed, 0);
        copyInto(cleanupTemporary, sizeof cleanupTemporary / sizeof cleanupTemporary[0], path.native());
        cleanupOutput[0] = 0;
        if (created_)
            copyInto(cleanupOutput, sizeof cleanupOutput / sizeof cleanupOutput[0], output_.native());
        InterlockedExchange(&cleanupArmed, 1);
        return true;
    }
    return false;
}

OutputClaim::Commit OutputClaim::commit(NativeFile& temporary)
{
    // The attributes explicitly too: not every ReplaceFileW carries them over.
    bool ok = temporary.setPermissions(file_.permissions());
    ok = temporary.sync() && ok;
    ok = temporary.closeChecked() && ok;
    const bool changed = ok && !stillAtPath();
    ok = ok && !changed;
    // Windows replaces no file that is open without sharing its deletion, so the claim's
    // own handle goes first; a run that opens the output in the moment between makes the
    // replacement fail and keeps its file. ReplaceFileW keeps the output's attributes and
    // its access rights.
    file_.close();
    ok = ok &&
         (ReplaceFileW(output_.c_str(), temporaryPath_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr) ||
          MoveFileExW(temporaryPath_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    if (!ok) {
        temporary.close();
        release(true);
        return changed ? Commit::Changed : Commit::Failed;
    }
    haveTemporary_ = false;
    InterlockedExchange(&cleanupArmed, 0);
    created_ = false;
    release(false);
    return Commit::Done;
}

bool OutputClaim::removeClaimed()
{
    if (!file_.isOpen() || !stillAtPath())
        return false;
    return DeleteFileW(output_.c_str()) != 0;
}

void OutputClaim::release(bool removeIfCreated)
{
    if (haveTemporary_) {
        InterlockedExchange(&cleanupArmed, 0);
        DeleteFileW(temporaryPath_.c_str());
        haveTemporary_ = false;
    }
    if (removeIfCreated && created_)
        removeClaimed();
    created_ = false;
    file_.close();
    locked_ = false;
}

} // namespace os

namespace os {

// Large pages on Windows need a privilege users do not have.
void* allocateBuffer(std::size_t bytes)
{
    return std::malloc(bytes);
}

} // namespace os
