#pragma once
// Standard streams for the command line.

#include <QString>

namespace platform {

// Standard input and output carry the files' bytes unchanged (no CR LF translation).
void setBinaryStdio();

bool stderrIsTerminal();

enum class StandardStream { Output, Error };

// Writes text to standard output or standard error: to a console window as Unicode,
// anywhere else (a file, a pipe, a terminal of this system) as UTF-8, the same bytes on
// every platform. False when the write failed.
bool writeText(StandardStream stream, const QString& text);

// Lets a line on the terminal be redrawn in place with control sequences; false when
// the terminal cannot, and the caller then clears the line with blanks.
bool enableLineRedraw();

} // namespace platform
