#include "cli/CommandLine.h"
#include "platform/Console.h"
#include "platform/Cp932.h"
#include "shared/Texts.h"

#include <QCoreApplication>

#include <cstdio>

#ifndef TOLVANE_COMMAND_LINE_ONLY
#include "platform/CommonDialog.h"
#include "platform/EndRequest.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/UiFont.h"
#include "platform/WhenPlaced.h"
#include "shared/Guarded.h"
#include "shared/mdlGlobal.h"
#include "window/frmConvert.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#endif

// One source, two faces. On Linux one program is both: the command line when its first
// argument is one of its commands, the window otherwise. Windows gives a program a
// console or none before it runs, so there the window (TOLVANE_WINDOW_ONLY, no console on a double-click) and the
// command line (TOLVANE_COMMAND_LINE_ONLY, bound to the console it was typed in) are
// two programs.

namespace {

#ifndef TOLVANE_WINDOW_ONLY
int runCommandLine(int argc, char** argv)
{
    // The command line needs no window system.
    QCoreApplication app(argc, argv);
    if (!platform::cp932Available()) {
        std::fprintf(stderr, "%s\n", texts::noCp932Converter().toLocal8Bit().constData());
        return 1;
    }
#ifdef TOLVANE_COMMAND_LINE_ONLY
    const bool windowToo = false;
#else
    const bool windowToo = true;
#endif
    return cli::run(platform::commandLineArguments(argc, argv), windowToo);
}
#endif

#ifndef TOLVANE_COMMAND_LINE_ONLY
// The source named on the command line, if any: what a desktop's "open with" passes. Qt
// has taken its own options (-platform, -style, ...) out of the list by now.
struct WindowArguments {
    QString file;
    QString error;
};

WindowArguments windowArguments(const QStringList& args)
{
    WindowArguments result;
    QStringList files;
    bool optionsEnd = false;
    for (const QString& a : args.mid(1)) {
        if (!optionsEnd && a == QLatin1String("--"))
            optionsEnd = true;
        else if (!optionsEnd && a.startsWith(QLatin1Char('-')) && a.size() > 1)
            result.error = QStringLiteral("不明なオプションです: %1").arg(a);
        else
            files << a;
    }
    if (result.error.isEmpty() && files.size() > 1)
        result.error = QStringLiteral("開くファイルは 1 つだけ指定してください。");
    // The path as the file dialog would give it: whole, in the platform's own form.
    if (result.error.isEmpty() && !files.isEmpty())
        result.file = QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
    return result;
}

int runWindow(int argc, char** argv)
{
#ifndef TOLVANE_WINDOW_ONLY
    // Qt ends the program when it finds no display; a mistyped option deserves its message.
    if (platform::windowSystemMissing(argc, argv)) {
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        if (const WindowArguments arguments = windowArguments(args); !arguments.error.isEmpty()) {
            std::fprintf(stderr, "%s\n%s\n", arguments.error.toLocal8Bit().constData(),
                         QStringLiteral("詳しくは tolvane --help を見てください。").toLocal8Bit().constData());
            return 2;
        }
    }
#endif
    QApplication app(argc, argv);
    const WindowArguments arguments = windowArguments(QCoreApplication::arguments());
#ifndef TOLVANE_WINDOW_ONLY
    if (!arguments.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", arguments.error.toLocal8Bit().constData());
        return 2;
    }
#endif
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setOrganizationName(QStringLiteral("Tolvane")); // where the file dialogs' folders are kept
    QApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));
    // The icon the desktop installs, built in; the menu entry's name lets a Wayland desktop match the window to it.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/" TOLVANE_APP_ID ".png").arg(size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral(TOLVANE_APP_ID));
    QApplication::setFont(platform::uiFont(QApplication::font()));
    // The window speaks Japanese, so Qt's own dialogs (files, messages) do too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

#ifdef TOLVANE_WINDOW_ONLY
    // A program without a console says it in a box, in the window's font and words.
    if (!arguments.error.isEmpty()) {
        platform::QtMessageBox().show(arguments.error, platform::kExclamationIcon, texts::title());
        return 2;
    }
#endif

    // Without the converter every item would show empty: say why and stop instead.
    if (!platform::cp932Available()) {
        platform::QtMessageBox().show(texts::noCp932Converter(), platform::kExclamationIcon, texts::title());
        return 1;
    }

    mdlGlobal global;
    platform::QtMessageBox messageBox;
    platform::QtCommonDialog commonDialog;
    platform::Platform platform{messageBox, commonDialog, [] { QCoreApplication::exit(0); }};

    frmConvert window(global, platform);
    messageBox.setParent(&window);
    commonDialog.setParent(&window);
    window.show();
    // Ended by the system (a shutdown, kill), the window first takes back a run's half-written output.
    platform::onEndRequest(&window, [&] { guarded(messageBox, [&] { window.endBySystem(); }); });
    // Opened once the window stands where it will stay, so that any message about the file appears over it.
    if (!arguments.file.isEmpty())
        platform::whenPlaced(window, [&] { guarded(messageBox, [&] { window.openSourceFile(arguments.file); }); });
    return app.exec();
}
#endif

} // namespace

int main(int argc, char** argv)
{
#if defined(TOLVANE_COMMAND_LINE_ONLY)
    return runCommandLine(argc, argv);
#elif defined(TOLVANE_WINDOW_ONLY)
    return runWindow(argc, argv);
#else
    // Only the command line's own words go to it; anything else, a file or Qt's options
    // included, opens the window.
    return argc > 1 && cli::isCommand(QString::fromLocal8Bit(argv[1])) ? runCommandLine(argc, argv)
                                                                       : runWindow(argc, argv);
#endif
}
