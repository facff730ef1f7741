#pragma once
// Texts and conversions that the window and the command line share, so that both
// say the same things and treat typed delimiters alike.

#include "engine/FirstLine.h"

#include <QString>

#include <cstdint>
#include <string>

namespace texts {

// What went wrong with a file, naming it; empty for FileProblem::None.
QString fileProblem(engine::FileProblem problem, const QString& path);

// The conversion's refusals and failures, naming the file.
QString outputIsSource(const QString& output);
QString cannotDeleteOutput(const QString& output);
QString writeStopped(const QString& output, long long linesWritten);
QString readStopped(const QString& source, long long linesRead);
QString definitionCannotOpen(const QString& path);

// Why the program cannot start: its Qt has no code page 932 converter.
QString noCp932Converter();

// A delimiter typed into the window's 区切文字 box, with the leading and trailing spaces
// dropped (a TAB stays), encoded to code page 932. The command line takes -d as given.
std::string typedDelimiter(const QString& text);

} // namespace texts
