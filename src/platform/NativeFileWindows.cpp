#include "NativeFile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace platform {

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
    return adopt(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                 error);
}

NativeFile NativeFile::standardInput()
{
    NativeFile f;
    f.handle_ = GetStdHandle(STD_INPUT_HANDLE);
    f.owned_ = false;
    return f;
}

NativeFile NativeFile::standardOutput()
{
    NativeFile f;
    f.handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
    f.owned_ = false;
    return f;
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

bool NativeFile::tryLock()
{
    OVERLAPPED whole{};
    return LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) !=
           0;
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

void NativeFile::close()
{
    if (isOpen() && owned_)
        CloseHandle(handle_);
    handle_ = nullptr;
    owned_ = true;
}

bool removeFile(const std::filesystem::path& path)
{
    return DeleteFileW(path.c_str()) != 0;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, NativeFile& heldTo)
{
    // Should another run open `to` in the moment between, the rename fails and its file stays.
    heldTo.close();
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

namespace {

wchar_t interruptPath[32768];
volatile LONG interruptArmed = 0;

BOOL WINAPI onInterrupt(DWORD)
{
    if (interruptArmed)
        DeleteFileW(interruptPath);
    return FALSE; // the default handler ends the program
}

} // namespace

void removeOnInterrupt(const std::filesystem::path& path)
{
    const std::wstring& name = path.native();
    if (name.size() >= sizeof interruptPath / sizeof interruptPath[0])
        return;
    InterlockedExchange(&interruptArmed, 0);
    std::wmemcpy(interruptPath, name.c_str(), name.size() + 1);
    InterlockedExchange(&interruptArmed, 1);
    static bool installed = false;
    if (!installed)
        installed = SetConsoleCtrlHandler(onInterrupt, TRUE) != 0;
}

void keepOnInterrupt()
{
    InterlockedExchange(&interruptArmed, 0);
}

} // namespace platform

namespace platform {

// Large pages on Windows need a privilege users do not have.
void* allocateBuffer(std::size_t bytes)
{
    return std::malloc(bytes);
}

} // namespace platform
