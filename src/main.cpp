#include "cli/CommandLine.h"
#include "platform/Cp932.h"
#include "shared/Texts.h"

#include <QCoreApplication>

#include <cstdio>

#ifndef TOLVANE_COMMAND_LINE_ONLY
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/UiFont.h"
#include "shared/mdlGlobal.h"
#include "window/frmConvert.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#endif

// One source, two faces. On Linux one program is both: the window without arguments,
// the command line with them. Windows gives a program a console or none before it runs,
// so there the window (TOLVANE_WINDOW_ONLY, no console on a double-click) and the
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
    return cli::run(QCoreApplication::arguments());
}
#endif

#ifndef TOLVANE_COMMAND_LINE_ONLY
int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
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

    // Without the converter every item would show empty: say why and stop instead.
    if (!platform::cp932Available()) {
        platform::QtMessageBox().show(texts::noCp932Converter(), 48, QStringLiteral("Tolvane"));
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
    return argc > 1 ? runCommandLine(argc, argv) : runWindow(argc, argv);
#endif
}
