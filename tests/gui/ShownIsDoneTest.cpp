// What the window shows is what a run does: a cancelled dialog changes nothing, columns
// that name no item say so, a run that writes no line says so, and an encoding chosen
// for one source is not carried to the next.

#include "TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Everything the window shows or keeps about its source, output and columns.
QStringList state(WindowFixture& f)
{
    return {f.probe.sInFile(),        f.ui.txtInFile->text(),
            f.ui.txtDELI->text(),     QString::fromStdString(f.probe.sInDeli()),
            f.rows(0).join(u'|'),     f.rows(2).join(u'|'),
            f.rows(1).join(u'|'),     f.global.sOutFile,
            f.ui.txtOutFile->text(),  f.global.sDefFile,
            f.ui.lblEncoding->text(), f.ui.txt件数->text()};
}

} // namespace

TEST(CancelChangesNothing, EveryFileDialogThenARunOfWhatIsShown)
{
    WindowFixture f;
    f.choose(f.write(QStringLiteral("tab.txt"), "a\tb\tc\r\n1\t2\t3\r\n"));
    f.columns({3, 1});
    f.dialog.answers = {f.path(QStringLiteral("out.csv")), f.path(QStringLiteral("a.def"))};
    QTest::mouseClick(f.ui.cmdSave, Qt::LeftButton);
    f.ui.mnuSaveDef->trigger();
    const QStringList before = state(f);
    const std::function<void()> cancelled[] = {
        [&] { QTest::mouseClick(f.ui.cmdFile, Qt::LeftButton); },
        [&] { f.ui.mnuOpenCSV->trigger(); },
        [&] { QTest::mouseClick(f.ui.cmdSave, Qt::LeftButton); },
        [&] { f.ui.mnuSaveCSV->trigger(); },
        [&] { f.ui.mnuOpenDef->trigger(); },
        [&] { f.ui.mnuSaveDef->trigger(); },
    };
    for (std::size_t i = 0; i < std::size(cancelled); ++i) {
        f.dialog.answers.push_back(std::nullopt);
        cancelled[i]();
        EXPECT_EQ(state(f), before) << "dialog " << i;
    }
    EXPECT_EQ(f.dialog.shown.size(), 3 + std::size(cancelled)); // 元ファイル, 保存, 定義 first
    // 変換 runs the source on show, split by its TAB, with the columns built for it.
    QTest::mouseClick(f.ui.cmd開始, Qt::LeftButton);
    EXPECT_EQ(f.dialog.unexpected, 0);
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "c,a\r\n3,1\r\n");
}
