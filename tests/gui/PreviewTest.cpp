// 出力プレビュー follows the window as the user works it: keys, clicks and menus, each
// change shown in the grid once its events are done.

#include "TestSupport.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The grid as text: the headings, then each row with its row heading, cells joined by |.
QStringList gridText(QTableWidget* grid)
{
    QStringList headings;
    for (int c = 0; c < grid->columnCount(); ++c)
        headings << grid->horizontalHeaderItem(c)->text();
    QStringList out{headings.join(u'|')};
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells{grid->verticalHeaderItem(r)->text()};
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        out << cells.join(u'|');
    }
    return out;
}

} // namespace

TEST(Preview, FollowsEveryChange)
{
    const auto forget = qScopeGuard([] { platform::userSettings()->remove(QStringLiteral("preview")); });
    WindowFixture f;
    frmConvert& w = f.window;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    f.choose(f.write(QStringLiteral("in.txt"), "a\tb\tc\r\n1\tx,y\t3\r\n4\t5\r\n"));
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    auto* preview = w.findChild<QWidget*>(QStringLiteral("frmPreview"));
    ASSERT_TRUE(preview && preview->isVisible());
    // Beside the main window, narrowed to the room there, and whole on the screen.
    EXPECT_TRUE(preview->screen()->availableGeometry().contains(preview->frameGeometry()));
    EXPECT_FALSE(preview->frameGeometry().intersects(w.frameGeometry()))
        << w.frameGeometry().right() << " " << preview->frameGeometry().left();
    auto* grid = preview->findChild<QTableWidget*>(QStringLiteral("grdPreview"));
    auto* summary = preview->findChild<QLabel*>(QStringLiteral("lblPreviewWarnings"));
    EXPECT_EQ(grid->columnCount(), 0);
    EXPECT_TRUE(summary->text().contains(QStringLiteral("出力データ"))) << summary->text().toStdString();

    ItemList* source = f.ui.List[0];
    ItemList* output = f.ui.List[2];
    const auto key = [&](QWidget* to, Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(to, k, m);
        QTest::qWait(20); // the grid follows once the change's events are done
    };
    const auto click = [&](QWidget* at, QPoint point = {}) {
        QTest::mouseClick(at, Qt::LeftButton, {}, point.isNull() ? at->rect().center() : point);
        QTest::qWait(20);
    };
    const auto row = [](ItemList* list, int r) { return list->visualRect(list->model()->index(r, 0)).center(); };
    const auto marked = [&](int r, int c) { return grid->item(r, c) && !grid->item(r, c)->toolTip().isEmpty(); };

    click(source->viewport(), row(source, 0));
    for (const Qt::Key k : {Qt::Key_Return, Qt::Key_Down, Qt::Key_Return, Qt::Key_Down, Qt::Key_Return})
        key(source, k);
    EXPECT_EQ(gridText(grid), (QStringList{"01;a|02;b|03;c", "1|a|b|c", "2|1|x,y|3", "3|4|5|5"}));
    // With comma output, x,y would make a column; line 3 lacks item 3 and has fewer items.
    EXPECT_TRUE(marked(1, 1) && marked(2, 2));
    EXPECT_FALSE(marked(1, 0) || marked(2, 1));
    EXPECT_EQ(summary->text().count(u'\n'), 2) << summary->text().toStdString();

    click(output->viewport(), row(output, 2));
    key(output, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(gridText(grid), (QStringList{"01;a|03;c|02;b", "1|a|c|b", "2|1|3|x,y", "3|4|5|5"}));
    click(output->viewport(), row(output, 0));
    key(output, Qt::Key_Delete);
    EXPECT_EQ(gridText(grid), (QStringList{"03;c|02;b", "1|c|b", "2|3|x,y", "3|5|5"}));

    click(f.ui.chk先頭行);
    EXPECT_EQ(gridText(grid), (QStringList{"03;c|02;b", "1 (変換しない)|c|b", "2|3|x,y", "3|5|5"}));
    EXPECT_TRUE(marked(1, 1));
    click(f.ui.Option1[1]); // TAB: the comma is only text now
    EXPECT_FALSE(marked(1, 1));

    f.dialog.answers = {f.write(QStringLiteral("b.def"), "CSV\r\n2\r\n")};
    f.ui.mnuOpenDef->trigger();
    QTest::qWait(20);
    EXPECT_EQ(gridText(grid), (QStringList{"02;b", "1 (変換しない)|b", "2|x,y", "3|5"}));
    click(grid->viewport(), grid->visualItemRect(grid->item(1, 0)).center());
    key(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("x,y"));

    // A delimiter typed and detected: the first line is one item, and the columns start again.
    f.ui.txtDELI->selectAll();
    QTest::keyClicks(f.ui.txtDELI, QStringLiteral(";"));
    click(f.ui.cmd検出);
    EXPECT_EQ(grid->columnCount(), 0);
    EXPECT_TRUE(summary->text().contains(QStringLiteral("出力データ"))) << summary->text().toStdString();

    // Left open, it opens again at the next start; closed, the menu says so.
    {
        WindowFixture again;
        again.window.show();
        QTest::qWait(50);
        auto* reopened = again.window.findChild<QWidget*>(QStringLiteral("frmPreview"));
        EXPECT_TRUE(reopened && reopened->isVisible() && again.ui.mnuPreview->isChecked());
    }
    key(preview, Qt::Key_Escape);
    EXPECT_FALSE(preview->isVisible());
    EXPECT_FALSE(f.ui.mnuPreview->isChecked());
}

// Enlarged, the window brings the preview up beside it, once for each enlargement.
TEST(Preview, ComesUpWhenTheWindowIsEnlarged)
{
    const auto forget = qScopeGuard([] { platform::userSettings()->remove(QStringLiteral("preview")); });
    WindowFixture f;
    frmConvert& w = f.window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QSize laidOut = w.size();
    const auto shown = [&] {
        QTest::qWait(20);
        auto* preview = w.findChild<QWidget*>(QStringLiteral("frmPreview"));
        return preview && preview->isVisible();
    };
    EXPECT_FALSE(shown());
    w.resize(laidOut + QSize(100, 0));
    EXPECT_FALSE(shown());
    w.resize(laidOut + QSize(300, 200));
    EXPECT_TRUE(shown());
    QTest::keyClick(w.findChild<QWidget*>(QStringLiteral("frmPreview")), Qt::Key_Escape);
    w.resize(laidOut + QSize(400, 300));
    EXPECT_FALSE(shown());
    w.resize(laidOut);
    w.resize(laidOut + QSize(0, 200));
    EXPECT_TRUE(shown());
}
