#pragma once
// Texts and conversions that the window and the command line share, so that both
// say the same things and treat typed delimiters alike.

#include "engine/Conversion.h"
#include "engine/FirstLine.h"
#include "engine/Preview.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace texts {

// The program's name: the main window's caption and the title of its messages.
inline QString title()
{
    return QStringLiteral("Tolvane");
}

// What went wrong with a file, naming it; empty for FileProblem::None.
QString fileProblem(engine::FileProblem problem, const QString& path);

// How a run writes its output: into the file itself (the window, standard output), or
// beside it, the output replaced only on success, so that a failure leaves it as it was.
enum class OutputWriting { InPlace, ReplacedOnSuccess };

// Why a run could not start or why it stopped, naming the file concerned; empty when
// it ran to its end.
QString runStopped(const engine::Conversion& run, const QString& source, const QString& output, OutputWriting writing);
// The name of an output encoding as the user chooses it; for AsSource, with the source's.
QString encodingName(engine::OutputEncoding encoding, engine::Encoding source);
// What a finished run adds to its closing message, a line each: characters replaced by '?',
// and (without quoting) lines whose items held the output delimiter.
QStringList formNotes(const engine::Conversion& run, const engine::OutputForm& form);
// The one-line notice of a run whose output could not be locked (a share without locks).
QString outputNotLocked(const QString& output);
QString definitionCannotOpen(const QString& path);
// Output columns naming items the source's first line does not have (item numbers): each
// gets the line's last item. The window asks on; the command line says it and goes on.
QString columnsBeyondSource(const std::vector<int>& itemNumbers);
// Where a text is read: its advice names the window's menus or the command's options.
enum class Face { Window, CommandLine };
// A preview's warning, one line naming the source line where it first happens: the window's
// grid and `tolvane preview` say the same words.
QString previewWarning(const engine::PreviewWarning& warning, Face face);
// Memory ran out in the middle of a command.
QString outOfMemory();

// Why the program cannot start: its Qt has no code page 932 converter.
QString noCp932Converter();

// A delimiter typed into the window's 区切文字 box, with the leading and trailing spaces
// dropped (a TAB stays), encoded to code page 932. The command line takes -d as given.
std::string typedDelimiter(const QString& text, engine::Encoding encoding = engine::Encoding::Cp932);

} // namespace texts
