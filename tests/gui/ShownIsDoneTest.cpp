// What the window shows is what a run does: a cancelled dialog changes nothing, columns
// that name no item say so, a run that writes no line says so, and an encoding chosen
// for one source is not carried to the next.

#include "TestSupport.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QScopeGuard>
#include <QTest>
#include <QToolTip>

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

// The darkest grey painted in a row of a list: black text is near 0, grey text is not.
int darkest(ItemList* list, int row)
{
    const QImage image = list->viewport()->grab(list->visualRect(list->model()->index(row, 0))).toImage();
    int least = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            least = std::min(least, qGray(image.pixel(x, y)));
    return least;
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

// A definition of items 1,3,4,5,6,8,10 for a source of 4 items: the rows beyond say so in
// grey with a tip, and 変換 asks once each time, naming the item numbers; No runs nothing.
TEST(ColumnsBeyondTheSource, AreShownAndAskedAbout)
{
    WindowFixture f;
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    f.choose(f.write(QStringLiteral("four.csv"), "a,b,c,d\r\n1,2,3,4\r\n"));
    f.dialog.answers = {f.write(QStringLiteral("wide.def"), "CSV\r\n1\r\n3\r\n4\r\n5\r\n6\r\n8\r\n10\r\n"),
                        f.path(QStringLiteral("out.csv"))};
    f.ui.mnuOpenDef->trigger();
    QTest::mouseClick(f.ui.cmdSave, Qt::LeftButton);
    const QString none = QStringLiteral("（なし）");
    EXPECT_EQ(f.rows(2), (QStringList{"01;a", "03;c", "04;d", "05;" + none, "06;" + none, "08;" + none, "10;" + none}));
    ItemList* output = f.ui.List[2];
    EXPECT_LT(darkest(output, 2), 80);
    EXPECT_GT(darkest(output, 3), 80);
    for (int row : {2, 3}) {
        const QPoint at = output->visualRect(output->model()->index(row, 0)).center();
        QHelpEvent tip(QEvent::ToolTip, at, output->viewport()->mapToGlobal(at));
        QApplication::sendEvent(output->viewport(), &tip);
        EXPECT_EQ(QToolTip::isVisible() && QToolTip::text().contains(QStringLiteral("最後の項目")), row == 3) << row;
    }

    const QString question =
        QStringLiteral("出力列 5, 6, 8, 10 は元データにありません。最後の項目が出力されます。変換しますか？");
    for (const bool yes : {false, true}) {
        f.messages.messages.clear();
        f.messages.answers = {yes};
        QTest::mouseClick(f.ui.cmd開始, Qt::LeftButton);
        ASSERT_FALSE(f.messages.messages.empty());
        EXPECT_EQ(f.messages.messages[0].prompt, question);
        EXPECT_EQ(std::count_if(f.messages.messages.begin(), f.messages.messages.end(),
                                [&](const auto& m) { return m.prompt == question; }),
                  1);
        EXPECT_EQ(f.read(QStringLiteral("out.csv")), yes ? "a,c,d,d,d,d,d\r\n1,3,4,4,4,4,4\r\n" : "<missing>");
    }
    EXPECT_EQ(f.messages.unexpected, 0);
}

// 編集 > 文字コード is for the source on show: its columns stay, and the next source opened
// is read as its own bytes say.
TEST(EncodingPerSource, AChoiceKeepsTheColumnsAndEndsWithItsSource)
{
    WindowFixture f;
    f.choose(f.write(QStringLiteral("sjis.csv"), "\x83\x5C,x\r\n"));
    f.columns({2, 1});
    f.ui.mnuEncodingUtf8->trigger();
    EXPECT_EQ(f.ui.lblEncoding->text(), QStringLiteral("UTF-8"));
    EXPECT_EQ(f.map(), (std::vector<int>{0, 2, 1}));
    ASSERT_EQ(f.rows(2).size(), 2);
    EXPECT_EQ(f.rows(2).first(), QStringLiteral("02;x"));

    f.dialog.answers.push_back(f.write(QStringLiteral("next.csv"), "\x95\x5C,y\r\n"));
    QTest::mouseClick(f.ui.cmdFile, Qt::LeftButton);
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("表"), QStringLiteral("y")}));
    EXPECT_EQ(f.ui.lblEncoding->text(), QStringLiteral("シフトJIS"));
    EXPECT_TRUE(f.ui.mnuEncodingAuto->isChecked());
}

// The 出力 menu worked with the keyboard: the form applies to the run, shows in the menu
// bar's corner, and is there again after a restart.
TEST(OutputForm, ChosenThroughTheMenuAndRemembered)
{
    const auto forget = qScopeGuard([] { platform::userSettings()->remove(QStringLiteral("output")); });
    // ソフト<TAB>"x,y" in code page 932; out: "x,y",ソフト in UTF-8 with a byte order mark, LF.
    const std::string source = "\x83\x5C\x83\x74\x83\x67\t\"x,y\"\r\n";
    const std::string expected = "\xEF\xBB\xBF\"x,y\",\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\n";
    const auto menu = [](frmConvert& w, std::initializer_list<Qt::Key> keys) {
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        for (const Qt::Key k : keys)
            QTest::keyClick(QApplication::activePopupWidget(), k);
    };
    const auto convert = [&](WindowFixture& f) {
        f.window.show();
        f.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
        f.choose(f.write(QStringLiteral("in.txt"), source));
        f.columns({2, 1});
        f.dialog.answers = {f.path(QStringLiteral("out.csv"))};
        QTest::mouseClick(f.ui.cmd開始, Qt::LeftButton);
        EXPECT_EQ(f.read(QStringLiteral("out.csv")), expected);
        EXPECT_EQ(f.ui.lblEncoding->text(), QStringLiteral("シフトJIS → UTF-8 BOM・LF・引用符"));
    };
    {
        WindowFixture f;
        f.window.show();
        f.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
        menu(f.window, {Qt::Key_C, Qt::Key_B}); // 文字コード > UTF-8 (BOM付き)
        menu(f.window, {Qt::Key_L, Qt::Key_L}); // 改行 > LF
        menu(f.window, {Qt::Key_Q, Qt::Key_Q}); // 引用符 > 必要なときだけ引用符を付ける
        convert(f);
    }
    WindowFixture restarted;
    convert(restarted);
    // Back to the default: the source's bytes, as ever.
    menu(restarted.window, {Qt::Key_C, Qt::Key_K});
    menu(restarted.window, {Qt::Key_L, Qt::Key_W});
    menu(restarted.window, {Qt::Key_Q, Qt::Key_N});
    EXPECT_EQ(restarted.ui.lblEncoding->text(), QStringLiteral("シフトJIS"));
    QTest::mouseClick(restarted.ui.cmd開始, Qt::LeftButton);
    EXPECT_EQ(restarted.read(QStringLiteral("out.csv")), "\"x,y\",\x83\x5C\x83\x74\x83\x67\r\n");
}
