#include "Console.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

void setBinaryStdio()
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

namespace {
bool utf8Text = false;

QByteArray textBytes(const QString& text)
{
#ifdef _WIN32
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0)
        codePage = GetOEMCP();
    if (!utf8Text && codePage != CP_UTF8 && !text.isEmpty()) {
        const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
        const int count = static_cast<int>(text.size());
        // No best fit: a character the code page lacks is ?, never a look-alike.
        DWORD flags = WC_NO_BEST_FIT_CHARS;
        int size = WideCharToMultiByte(codePage, flags, units, count, nullptr, 0, "?", nullptr);
        if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
            flags = 0;
            size = WideCharToMultiByte(codePage, flags, units, count, nullptr, 0, nullptr, nullptr);
        }
        if (size > 0) {
            QByteArray bytes(size, Qt::Uninitialized);
            WideCharToMultiByte(codePage, flags, units, count, bytes.data(), size, flags ? "?" : nullptr, nullptr);
            return bytes;
        }
    }
#endif
    return text.toUtf8();
}
} // namespace

void setUtf8Text(bool utf8)
{
    utf8Text = utf8;
}

bool writeText(StandardStream stream, const QString& text)
{
    std::FILE* const file = stream == StandardStream::Output ? stdout : stderr;
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // A console shows Unicode whatever its code page; what stdio holds goes first.
        std::fflush(file);
        const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
        qsizetype left = text.size();
        while (left > 0) {
            const DWORD ask = left > 16384 ? 16384 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteConsoleW(handle, units, ask, &written, nullptr) || written == 0)
                return false;
            units += written;
            left -= written;
        }
        return true;
    }
#endif
    const QByteArray bytes = textBytes(text);
    const auto size = static_cast<std::size_t>(bytes.size());
    const bool written = std::fwrite(bytes.constData(), 1, size, file) == size;
    return std::fflush(file) == 0 && written && !std::ferror(file);
}

bool enableLineRedraw()
{
#ifdef _WIN32
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return true;
#endif
}

} // namespace platform

namespace platform {

std::vector<Argument> commandLineArguments(int argc, char** argv)
{
    std::vector<Argument> result;
#ifdef _WIN32
    // argv holds the ANSI code page's lossy form; Qt's list comes from the wide command line.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    for (const QString& a : QCoreApplication::arguments())
        result.push_back({a, std::filesystem::path(a.toStdWString())});
#else
    for (int i = 0; i < argc; ++i)
        result.push_back({QString::fromLocal8Bit(argv[i]), std::filesystem::path(std::string(argv[i]))});
#endif
    return result;
}

bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ignored; // without a current folder, the paths as given
    const std::filesystem::path x = std::filesystem::absolute(a, ignored).lexically_normal();
    const std::filesystem::path y = std::filesystem::absolute(b, ignored).lexically_normal();
#ifdef _WIN32
    return QString::fromStdWString(x.native()).compare(QString::fromStdWString(y.native()), Qt::CaseInsensitive) == 0;
#else
    return x == y;
#endif
}

QString displayPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QDir::toNativeSeparators(QString::fromStdWString(path.native()));
#else
    const std::string& bytes = path.native();
    QString shown;
    std::size_t i = 0;
    while (i < bytes.size()) {
        // The length of a well-formed UTF-8 sequence starting here, 0 when there is none.
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(k < bytes.size() ? bytes[k] : 0); };
        const unsigned char c = b(i);
        std::size_t n = 0;
        if (c < 0x80)
            n = 1;
        else if (c >= 0xC2 && c <= 0xDF)
            n = (b(i + 1) & 0xC0) == 0x80 ? 2 : 0;
        else if (c >= 0xE0 && c <= 0xEF) {
            const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
            n = b(i + 1) >= lo && b(i + 1) <= hi && (b(i + 2) & 0xC0) == 0x80 ? 3 : 0;
        } else if (c >= 0xF0 && c <= 0xF4) {
            const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
            n = b(i + 1) >= lo && b(i + 1) <= hi && (b(i + 2) & 0xC0) == 0x80 && (b(i + 3) & 0xC0) == 0x80 ? 4 : 0;
        }
        if (n == 0) {
            shown += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++i;
        } else {
            shown += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(n));
            i += n;
        }
    }
    return shown;
#endif
}

} // namespace platform

namespace platform {

bool windowSystemMissing(int argc, char** argv)
{
#ifdef _WIN32
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#else
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
            std::strcmp(argv[i], "-display") == 0)
            return false;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v)
            return false;
    return true;
#endif
}

} // namespace platform
