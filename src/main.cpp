#include "cli/CommandLine.h"
#include "platform/CommonDialog.h"
#include "platform/Cp932.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "shared/Texts.h"
#include "shared/mdlGlobal.h"
#include "window/frmConvert.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc > 1) {
        // The command line needs no window system.
        QCoreApplication app(argc, argv);
        if (!platform::cp932Available()) {
            std::fprintf(stderr, "%s\n", texts::noCp932Converter().toLocal8Bit().constData());
            return 1;
        }
        return cli::run(QCoreApplication::arguments());
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    // The layout is drawn for a 9-point UI font, about 12 pixels at 96 dpi.
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QApplication::setFont(font);
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
