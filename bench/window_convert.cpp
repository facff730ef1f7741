// tolvane_window_convert: the main window's own conversion, driven through its handlers
// as a user would (choose the file, drag the columns, press start), so that the cost of
// serving events and showing progress is measured against the engine alone. With
// --detect it only chooses the file, which times filling the item list from a long first
// line, the one wait a user has before any conversion starts, and then showing the list,
// bringing its last row into view and starting that row's drag.

#include "BenchArgs.h"

#include "platform/Platform.h"
// Once ScriptedCommonDialog::ask is inlined here, GCC 12 wrongly reports the
// optional<QString> it copies as possibly uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "platform/TestDoubles.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include "shared/mdlGlobal.h"
#include "window/ItemList.h"
#include "window/frmConvert.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: tolvane_window_convert --columns 3,1,12 [--tab] SOURCE OUTPUT\n"
                         "       tolvane_window_convert --detect SOURCE\n");
    return 2;
}

int fail(const QString& what)
{
    std::fprintf(stderr, "tolvane_window_convert: %s\n", what.toUtf8().constData());
    return 1;
}

QString messagesText(const platform::RecordingMessageBox& mb)
{
    QStringList all;
    for (const auto& m : mb.messages)
        all << m.title + QStringLiteral(": ") + m.prompt;
    return all.join(QStringLiteral("; "));
}

} // namespace

int main(int argc, char** argv)
{
    // Arguments are read before QApplication, which may take some for itself.
    std::vector<int> columns;
    bool tab = false;
    bool detectOnly = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tab") {
            tab = true;
        } else if (arg == "--detect") {
            detectOnly = true;
        } else if (arg == "--columns" && i + 1 < argc) {
            const auto c = bench::parseColumns(argv[++i]);
            if (!c)
                return usage();
            columns = *c;
        } else if (arg.starts_with("--")) {
            return usage();
        } else {
            paths.push_back(arg);
        }
    }
    if (detectOnly ? (!columns.empty() || tab || paths.size() != 1) : (columns.empty() || paths.size() != 2))
        return usage();

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    mdlGlobal global;
    platform::RecordingMessageBox mb;
    platform::ScriptedCommonDialog dlg;
    platform::Platform p{mb, dlg, [] {}};
    frmConvert w(global, p);
    // The controls a user works, by the names the window gives them.
    ItemList* const source = w.findChild<ItemList*>(QStringLiteral("List_0"));
    ItemList* const output = w.findChild<ItemList*>(QStringLiteral("List_2"));
    QLineEdit* const txtInFile = w.findChild<QLineEdit*>(QStringLiteral("txtInFile"));
    QLineEdit* const txtOutFile = w.findChild<QLineEdit*>(QStringLiteral("txtOutFile"));
    QRadioButton* const tabOption = w.findChild<QRadioButton*>(QStringLiteral("Option1_1"));
    if (!source || !output || !txtInFile || !txtOutFile || !tabOption)
        return fail(QStringLiteral("the window lacks a control"));

    dlg.answers.push_back(QFile::decodeName(paths[0].c_str()));
    const auto chooseStart = std::chrono::steady_clock::now();
    w.cmdFile_Click();
    const std::chrono::duration<double, std::milli> choosing = std::chrono::steady_clock::now() - chooseStart;
    if (!mb.messages.empty() || txtInFile->text().isEmpty())
        return fail(QStringLiteral("choosing the source failed: ") + messagesText(mb));
    if (detectOnly) {
        std::fprintf(stderr, "detection milliseconds: %.3f\n", choosing.count());
        const int rows = source->count();
        std::fprintf(stderr, "rows: %d\n", rows);
        if (rows == 0)
            return 0;
        // What the user waits for next: the window drawn with the list, then the last row
        // brought into view and selected, then the drag of that row starting.
        using Clock = std::chrono::steady_clock;
        const auto since = [](Clock::time_point t) {
            return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
        };
        auto t = Clock::now();
        w.show();
        QApplication::processEvents();
        source->viewport()->repaint();
        std::fprintf(stderr, "shown milliseconds: %.3f\n", since(t));
        t = Clock::now();
        source->setCurrentRow(rows - 1);
        QApplication::processEvents();
        source->viewport()->repaint();
        std::fprintf(stderr, "last row milliseconds: %.3f\n", since(t));
        const QRect shown = source->visualRect(source->model()->index(rows - 1, 0));
        std::fprintf(stderr, "last row on screen: %s\n",
                     source->viewport()->rect().contains(shown.center()) ? "yes" : "no");
        QString payload;
        w.setDragStarter(
            [&payload](const QMimeData& mime) { payload = QString::fromUtf8(mime.data(ItemList::kMimeType)); });
        t = Clock::now();
        w.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
        std::fprintf(stderr, "drag start milliseconds: %.3f\n", since(t));
        std::fprintf(stderr, "dragged: %s\n", payload.toUtf8().constData());
        return 0;
    }

    // Offscreen a real drag would return at once; the drop is made by hand instead.
    w.setDragStarter([](const QMimeData&) {});
    for (int n : columns) {
        if (n > source->count())
            return fail(QStringLiteral("the source has only %1 items").arg(source->count()));
        source->setCurrentRow(n - 1);
        w.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
        w.List_DragDrop(2);
    }
    if (output->count() != static_cast<int>(columns.size()) || !mb.messages.empty())
        return fail(QStringLiteral("composing the columns failed: ") + messagesText(mb));

    global.sOutFile = QFile::decodeName(paths[1].c_str());
    txtOutFile->setText(global.sOutFile);
    if (tab) {
        tabOption->setChecked(true);
        w.Option1_Click(1);
    }

    const auto start = std::chrono::steady_clock::now();
    w.cmd開始_Click();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    if (mb.messages.empty())
        return fail(QStringLiteral("the conversion showed no message"));
    const platform::RecordedMessage& last = mb.messages.back();
    std::fprintf(stderr, "message: %s [%s]\n", last.prompt.toUtf8().constData(), last.title.toUtf8().constData());
    std::fprintf(stderr, "conversion seconds: %.6f\n", took.count());
    if (mb.messages.size() != 1 || last.title != QStringLiteral("変換終了"))
        return fail(QStringLiteral("the conversion did not finish: ") + messagesText(mb));
    return 0;
}
