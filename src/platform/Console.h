#pragma once
// Standard streams for the command line.

#include <QString>

#include <filesystem>
#include <vector>

namespace platform {

// Standard input and output carry the files' bytes unchanged (no CR LF translation).
void setBinaryStdio();

bool stderrIsTerminal();

enum class StandardStream { Output, Error };

// Writes text to standard output or standard error: to a console window as Unicode.
// Anywhere else (a file, a pipe) Linux writes UTF-8; Windows writes the console's output
// code page (932 on a Japanese system, UTF-8 after chcp 65001; the OEM code page when the
// program has no console), which is what cmd.exe, find and for /f read, a character the
// code page lacks as ?, or UTF-8 once setUtf8Text(true). False when the write failed.
bool writeText(StandardStream stream, const QString& text);
void setUtf8Text(bool utf8);

// Lets a line on the terminal be redrawn in place with control sequences; false when
// the terminal cannot, and the caller then clears the line with blanks.
bool enableLineRedraw();

// One argument of the command line: as text, for options and values, and as the path it
// names. On Linux a name is bytes, which need not be text: the path keeps them as they
// came, while the text shows them as best it can. On Windows both come from the
// command line's own UTF-16.
struct Argument {
    QString text;
    std::filesystem::path path;
};
std::vector<Argument> commandLineArguments(int argc, char** argv);

// A path for a message: bytes that are not UTF-8 shown as \xFF, so that two names that
// differ only there still read differently.
QString displayPath(const std::filesystem::path& path);
// Whether two paths name the same file to the system, before either exists: the same
// bytes on Linux; the same letters in either case on Windows, whose names ignore case.
bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b);

// True when the window could not be shown at all: no display is named and no other
// window system was asked for. Arguments that would be refused anyway are then told
// without one.
bool windowSystemMissing(int argc, char** argv);

} // namespace platform
