#include "TestSupport.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Fixture = WindowFixture;

TEST(MainWindow, StartUpState)
{
    Fixture f;
    frmConvert& w = f.window;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tolvane"));
    ASSERT_EQ(f.global.DelimiterTable.lastIndex(), 2);
    EXPECT_EQ(f.global.DelimiterTable[0].delimiter, ",");
    EXPECT_EQ(f.global.DelimiterTable[1].delimiter, "\t");
    EXPECT_EQ(f.global.DelimiterTable[1].name, "TAB");
    EXPECT_TRUE(f.global.DelimiterTable[2].delimiter.empty());
    EXPECT_EQ(f.probe.sOutDeli(), ",");
    EXPECT_TRUE(f.probe.sInDeli().empty());
    EXPECT_TRUE(f.probe.sInFile().isEmpty());
    EXPECT_EQ(f.probe.iItemCount(), 0);
    for (QLineEdit* box : {f.ui.txtCSV[0], f.ui.txtCSV[1], f.ui.txtDELI, f.ui.txtInFile, f.ui.txtOutFile, f.ui.txt件数})
        EXPECT_TRUE(box->text().isEmpty());
    EXPECT_TRUE(f.ui.Option1[0]->isChecked());
    EXPECT_FALSE(f.ui.chk先頭行->isChecked());
    EXPECT_TRUE(f.global.Columns.map().empty());
    EXPECT_TRUE(f.global.sOutFile.isEmpty() && f.global.sDefFile.isEmpty());
    EXPECT_TRUE(f.messages.messages.empty());

    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_FALSE(f.ui.List[1]->isVisible());
    EXPECT_FALSE(f.ui.lbl属性->isVisible());
    EXPECT_TRUE(f.ui.List[0]->isVisible() && f.ui.List[2]->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), f.ui.txtDELI);
    // Display boxes are grey and read-only; the delimiter box is white and editable.
    EXPECT_EQ(f.ui.txtInFile->palette().color(QPalette::Base), QColor(192, 192, 192));
    EXPECT_TRUE(f.ui.txtInFile->isReadOnly());
    EXPECT_FALSE(f.ui.txtDELI->isReadOnly());
}

TEST(MainWindow, LayoutFollowsTheTwipTable)
{
    Fixture f;
    frmConvert& w = f.window;
    EXPECT_EQ(f.ui.List[0]->geometry(), QRect(88, 280, 105, 148));
    EXPECT_EQ(f.ui.List[2]->geometry(), QRect(216, 280, 105, 148));
    EXPECT_EQ(f.ui.cmd開始->geometry(), QRect(280, 448, 73, 33));
    EXPECT_EQ(f.ui.Option1[1]->geometry(), QRect(120, 16, 81, 17));
    EXPECT_EQ(w.centralWidget()->size(), QSize(463, 511));
    // Tab walks the controls in the table's order (the frame and the hidden list take no focus).
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    f.ui.txtDELI->setFocus();
    std::vector<QWidget*> walked;
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    const std::vector<QWidget*> expected = {f.ui.Option1[0], f.ui.chk先頭行, f.ui.List[0],   f.ui.List[2],
                                            f.ui.cmdFile,    f.ui.cmdSave,   f.ui.cmd検出,   f.ui.cmd開始,
                                            f.ui.cmdClose,   f.ui.txtCSV[0], f.ui.txtCSV[1], f.ui.txtInFile,
                                            f.ui.txtOutFile, f.ui.txt件数,   f.ui.txtDELI};
    EXPECT_EQ(walked, expected);

    QStringList menus;
    for (QAction* a : w.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("編集(&E)"), QStringLiteral("出力(&O)")}));
    QStringList items;
    for (QAction* a : f.ui.mnuFile->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("定義ﾌｧｲﾙを開く(&O)"), QStringLiteral("定義ﾌｧｲﾙを保存(&S)"),
                                  QStringLiteral("CSVﾌｧｲﾙを開く(&F)"), QStringLiteral("保存CSVﾌｧｲﾙを指定(&W)"),
                                  QStringLiteral("-"), QStringLiteral("終了(&X)")}));
    EXPECT_EQ(f.ui.mnuDELI->text(), QStringLiteral("区切文字の指定(&D)"));
}

// A larger window gives its room to the boxes and lists; it cannot be made smaller than laid out.
TEST(MainWindow, ControlsFollowTheFrame)
{
    Fixture f;
    frmConvert& w = f.window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    std::vector<QRect> laidOut;
    for (QWidget* c : w.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        laidOut.push_back(c->geometry());
    const QSize start = w.size();
    w.resize(start + QSize(200, 100));
    QApplication::processEvents();
    ASSERT_EQ(w.centralWidget()->size(), QSize(663, 611));
    const struct {
        QWidget* control;
        QRect expected;
    } grown[] = {
        {f.ui.txtCSV[0], QRect(88, 24, 361 + 200, 18)},
        {f.ui.txtOutFile, QRect(88, 120, 361 + 200, 18)},
        {f.ui.txtDELI, QRect(88, 72, 65, 18)},
        {f.ui.Label[6], QRect(8, 96, 57, 17)},
        {f.ui.List[0], QRect(88, 280, 105 + 100, 148 + 100)},
        {f.ui.List[2], QRect(216 + 100, 280, 105 + 100, 148 + 100)},
        {f.ui.Label[5], QRect(216 + 100, 264, 65, 17)},
        {f.ui.cmdFile, QRect(40 + 100, 448 + 100, 73, 33)},
        {f.ui.cmdClose, QRect(360 + 100, 448 + 100, 73, 33)},
    };
    for (const auto& g : grown)
        EXPECT_EQ(g.control->geometry(), g.expected)
            << g.control->objectName().toStdString() << " " << g.control->metaObject()->className();
    w.resize(100, 100);
    QApplication::processEvents();
    EXPECT_EQ(w.size(), start);
    std::vector<QRect> back;
    for (QWidget* c : w.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        back.push_back(c->geometry());
    EXPECT_EQ(back, laidOut);
}

// Each side of each list shows a line of the frame, darker than the window and the list,
// under the captions too; run again at fractional scales, where a style's line can fall
// between device pixels.
TEST(MainWindow, ListFramesShowWhole)
{
    Fixture f;
    frmConvert& w = f.window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QImage shot = w.grab().toImage();
    const qreal r = shot.devicePixelRatio();
    const auto dark = [&](int x, int y) { return qGray(shot.pixel(x, y)) < 0xe0; };
    // Whether some device line within a pixel of the logical one is dark along [from, to).
    const auto lineShows = [&](bool across, qreal at, qreal from, qreal to) {
        for (int d = int(std::floor(at * r)) - 1; d <= int(std::ceil((at + 1) * r)); ++d) {
            bool whole = true;
            for (int e = int(std::ceil(from * r)); whole && e < int(std::floor(to * r)); ++e)
                whole = across ? dark(e, d) : dark(d, e);
            if (whole)
                return true;
        }
        return false;
    };
    for (ItemList* list : {f.ui.List[0], f.ui.List[2]}) {
        const QRectF g(list->mapTo(&w, QPoint(0, 0)), list->size());
        EXPECT_TRUE(lineShows(true, g.top(), g.left() + 2, g.right() - 2)) << "top, scale " << r;
        EXPECT_TRUE(lineShows(true, g.bottom() - 1, g.left() + 2, g.right() - 2)) << "bottom, scale " << r;
        EXPECT_TRUE(lineShows(false, g.left(), g.top() + 2, g.bottom() - 2)) << "left, scale " << r;
        EXPECT_TRUE(lineShows(false, g.right() - 1, g.top() + 2, g.bottom() - 2)) << "right, scale " << r;
    }
}

TEST(MainWindow, OutputDelimiterFollowsTheOptionButtons)
{
    Fixture f;
    frmConvert& w = f.window;
    w.show();
    QTest::mouseClick(f.ui.Option1[1], Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(f.probe.sOutDeli(), "\t");
    QTest::mouseClick(f.ui.Option1[0], Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(f.probe.sOutDeli(), ",");
    w.Option1_Click(1);
    EXPECT_EQ(f.probe.sOutDeli(), "\t");
    w.Option1_Click(7);
    EXPECT_EQ(f.probe.sOutDeli(), ",");
}

TEST(MainWindow, DelimiterBoxIsMirroredOnEveryChange)
{
    Fixture f;
    frmConvert& w = f.window;
    w.show();
    f.ui.txtDELI->setFocus();
    QTest::keyClick(f.ui.txtDELI, Qt::Key_Semicolon);
    EXPECT_EQ(f.probe.sInDeli(), ";");
    QTest::keyClick(f.ui.txtDELI, Qt::Key_Space);
    EXPECT_EQ(f.probe.sInDeli(), "; "); // no trimming
    f.ui.txtDELI->clear();
    EXPECT_EQ(f.probe.sInDeli(), "");
    f.ui.txtDELI->insert(QStringLiteral("、|"));
    EXPECT_EQ(f.probe.sInDeli(), "\x81\x41|");
    f.ui.txtDELI->setText(QStringLiteral("\t"));
    EXPECT_EQ(f.probe.sInDeli(), "\t");
}

TEST(MainWindow, CloseButtonMenuAndTitleBarEndTheProgram)
{
    Fixture f;
    frmConvert& w = f.window;
    w.show();
    f.ui.cmdClose->click();
    EXPECT_EQ(f.endCalls, 1);
    f.ui.mnuExit->trigger();
    EXPECT_EQ(f.endCalls, 2);
    w.close();
    EXPECT_EQ(f.endCalls, 3);
    EXPECT_TRUE(f.messages.messages.empty());
}

} // namespace
