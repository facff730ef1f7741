#include "TestSupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace {

struct Editing : WindowFixture {
    std::vector<QString> drags;
    Editing()
    {
        window.setDragStarter(
            [this](const QMimeData& mime) { drags.push_back(QString::fromUtf8(mime.data(ItemList::kMimeType))); });
    }

    // Presses on source row `row` and drops what it carries onto list `target`.
    void drag(int row, int target = 2)
    {
        ui.List[0]->setCurrentRow(row);
        window.List_MouseDown(0, Qt::LeftButton, {}, 10, 12);
        window.List_DragDrop(target);
    }
    void pressDelete(int row)
    {
        if (row >= 0)
            ui.List[2]->setCurrentRow(row);
        else
            ui.List[2]->clearSelection();
        window.List_KeyDown(2, 46, {});
    }
};

TEST(ColumnEditing, DropsAndDeletesFollowTheMap)
{
    Editing f;
    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    f.drag(1);
    f.drag(0);
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("02;b"), QStringLiteral("01;a")}));
    EXPECT_EQ(f.map(), (std::vector<int>{0, 2, 1, -1}));
    EXPECT_EQ(f.rows(1), (QStringList{QStringLiteral(" 2"), QStringLiteral(" 1")}));
    EXPECT_EQ(f.ui.Label1->text(), QStringLiteral(" "));

    f.pressDelete(0);
    EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("01;a")});
    EXPECT_EQ(f.map(), (std::vector<int>{0, 1, -1, -1}));
    EXPECT_EQ(f.rows(1), QStringList{QStringLiteral(" 1")});

    // A full map: deleting the first row moves the others up; deleting the last frees the last slot.
    f.pressDelete(0);
    f.drag(0);
    f.drag(1);
    f.drag(2);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 1, 2, 3}));
    f.pressDelete(0);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 2, 3, -1}));
    f.pressDelete(1);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 2, -1, -1}));
    EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("02;b")});

    // Delete with no row selected, and on other lists, changes nothing.
    f.pressDelete(-1);
    f.window.List_KeyDown(0, 46, {});
    f.window.List_KeyDown(2, 45, {});
    EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("02;b")});
    EXPECT_EQ(f.rows(0), (QStringList{"a", "b", "c"}));
}

TEST(ColumnEditing, DropsBeyondTheMapGrowItSoEveryRowIsAColumn)
{
    Editing f;
    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    for (int i = 0; i < 4; ++i)
        f.drag(0);
    EXPECT_EQ(f.rows(2).size(), 4);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 1, 1, 1, 1}));
    EXPECT_EQ(f.rows(1).size(), 4);
    // Deleting the second row keeps rows and slots paired.
    f.drag(2);
    f.pressDelete(1);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 1, 1, 1, 3, -1}));
    EXPECT_EQ(f.rows(2).last(), QStringLiteral("03;c"));
}

TEST(ColumnEditing, LargeItemNumbersAndEmptyItemsTravelWhole)
{
    Editing f;
    std::string line;
    for (int i = 1; i <= 130; ++i)
        line += (i == 2 ? std::string() : "i" + std::to_string(i)) + (i < 130 ? "," : "");
    f.choose(f.write(QStringLiteral("wide.csv"), line + "\r\n"));
    f.drag(122); // item 123
    f.drag(6);   // item 7
    f.drag(1);   // item 2, empty
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("123;i123"), QStringLiteral("07;i7"), QStringLiteral("02;")}));
    EXPECT_EQ(f.map()[1], 123);
    EXPECT_EQ(f.map()[2], 7);
    EXPECT_EQ(f.map()[3], 2);
}

// A first line of 100,000 items, worked with real keys and a real press: End brings the
// last row into view, a press on it starts its drag, Delete on the output row removes it.
TEST(ColumnEditing, TheLastOfAHundredThousandItemsIsShownAndDragged)
{
    Editing f;
    std::string line;
    for (int i = 1; i < 100000; ++i)
        line += "i" + std::to_string(i) + ",";
    f.choose(f.write(QStringLiteral("long.csv"), line + "\x95\x5C\r\nx\r\n")); // the last item is 表
    frmConvert& w = f.window;
    ItemList* source = f.ui.List[0];
    ASSERT_EQ(source->count(), 100000);
    EXPECT_EQ(source->text(0), QStringLiteral("i1"));
    EXPECT_EQ(source->text(99998), QStringLiteral("i99999"));
    EXPECT_EQ(source->text(99999), QStringLiteral("表"));

    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    source->setFocus();
    QTest::keyClick(source, Qt::Key_End);
    QTest::keyClick(source, Qt::Key_Up);
    EXPECT_EQ(source->selectedRow(), 99998);
    const QRect last = source->visualRect(source->model()->index(99999, 0));
    ASSERT_TRUE(source->viewport()->rect().contains(last.center()));
    QTest::mousePress(source->viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseRelease(source->viewport(), Qt::LeftButton, {}, last.center());
    ASSERT_EQ(f.drags, std::vector<QString>{QStringLiteral("100000;表")});
    w.List_DragDrop(2);
    EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("100000;表")});
    EXPECT_EQ(f.map()[1], 100000);

    ItemList* output = f.ui.List[2];
    const QPoint firstRow = output->visualRect(output->model()->index(0, 0)).center();
    QTest::mouseClick(output->viewport(), Qt::LeftButton, {}, firstRow);
    QTest::keyClick(output, Qt::Key_Delete);
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.map()[1], -1);
}

TEST(ColumnEditing, PressesDropsAndTheCarrier)
{
    Editing f;
    frmConvert& w = f.window;
    // A drop before any file was read.
    f.ui.Label1->setText(QStringLiteral("01;x"));
    w.List_DragDrop(2);
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].prompt, QStringLiteral("ファイルを指定してください"));
    EXPECT_EQ(f.messages.messages[0].flags, 0);
    EXPECT_EQ(f.messages.messages[0].title, QStringLiteral("Tolvane"));
    EXPECT_TRUE(f.rows(2).isEmpty());

    // A press with no selected row starts no drag; the caption shows item 0.
    w.List_MouseDown(0, Qt::LeftButton, {}, 0, 30);
    EXPECT_TRUE(f.drags.empty());
    EXPECT_EQ(f.ui.Label1->text(), QStringLiteral("00;"));

    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    // Any button starts a drag of the selected row; the carrier is laid over the source list.
    f.ui.List[0]->setCurrentRow(2);
    w.List_MouseDown(0, Qt::RightButton, {}, 0, 40);
    ASSERT_EQ(f.drags.size(), 1u);
    EXPECT_EQ(f.drags[0], QStringLiteral("03;c"));
    const int h = QFontMetrics(w.font()).height();
    EXPECT_EQ(f.ui.Label1->geometry(),
              QRect(f.ui.List[0]->x(), f.ui.List[0]->y() + 40 - h / 2, f.ui.List[0]->width(), h));
    // Presses on the other lists do nothing.
    w.List_MouseDown(2, Qt::LeftButton, {}, 0, 5);
    EXPECT_EQ(f.drags.size(), 1u);

    // A drop onto the source list adds nothing and keeps the caption.
    w.List_DragDrop(0);
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.ui.Label1->text(), QStringLiteral("03;c"));
}

TEST(ColumnEditing, DetectionAndANewSourceEmptyTheOutputList)
{
    Editing f;
    const QString file = f.write(QStringLiteral("abc.csv"), "a,b,c\r\n");
    f.choose(file);
    f.drag(0);
    f.ui.txtDELI->setText(QStringLiteral(","));
    f.window.cmd検出_Click();
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.map(), (std::vector<int>{0, -1, -1, -1}));
    f.drag(1);
    f.choose(file);
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.map(), (std::vector<int>{0, -1, -1, -1}));
}

// A row dropped into a list on screen shows at once, and rows beyond the list's height
// can be scrolled to.
TEST(ColumnEditing, DroppedRowsShowAndScroll)
{
    WindowFixture f;
    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QWidget* rows = f.ui.List[2]->viewport();
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    rows->installEventFilter(&counter);
    std::unique_ptr<QMimeData> mime(frmConvert::dragData(QStringLiteral("02;b")));
    for (int i = 0; i < 30; ++i) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &drop);
    }
    QTest::qWait(50);
    EXPECT_EQ(f.rows(2).size(), 30);
    EXPECT_GT(counter.paints, 0);
    EXPECT_GT(f.ui.List[2]->verticalScrollBar()->maximum(), 0);
}

TEST(ColumnEditing, OnlyTheListsTakeADraggedItem)
{
    WindowFixture f;
    // What a drag from 元データ carries is refused by a text box: 区切文字 stays as it was.
    std::unique_ptr<QMimeData> mime(frmConvert::dragData(QStringLiteral("02;b")));
    for (QWidget* target : {static_cast<QWidget*>(f.ui.txtDELI), static_cast<QWidget*>(f.ui.txtCSV[0])}) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_FALSE(enter.isAccepted());
    }
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.ui.List[2]->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
}

// The keyboard alone, with real key presses to whatever has the focus.
TEST(ColumnEditing, TheKeyboardBuildsMovesAndDeletesColumns)
{
    Editing f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    const auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 20 && QApplication::focusWidget() != target; ++i)
            press(Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    };
    // Empty and focused, a list still shows where the keyboard is.
    const QImage emptyUnfocused = f.ui.List[2]->grab().toImage();
    ASSERT_TRUE(tabTo(f.ui.List[2]));
    EXPECT_NE(f.ui.List[2]->grab().toImage(), emptyUnfocused);

    // Return takes the row the focus is on, even before anything is selected; Insert and
    // the keypad's Enter take the selected row.
    ASSERT_TRUE(tabTo(f.ui.List[0]));
    press(Qt::Key_Return);
    press(Qt::Key_End);
    press(Qt::Key_Insert);
    press(Qt::Key_Up);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(f.rows(2), (QStringList{"01;a", "03;c", "02;b"}));
    EXPECT_EQ(f.map(), (std::vector<int>{0, 1, 3, 2}));
    EXPECT_TRUE(f.drags.empty());

    // Ctrl+Up and Ctrl+Down carry the selected row, and the map with it; at either end
    // they do nothing.
    ASSERT_TRUE(tabTo(f.ui.List[2]));
    press(Qt::Key_End);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList rows;
        std::vector<int> map;
        QStringList hidden;
    } steps[] = {
        {Qt::Key_Up, Qt::ControlModifier, {"01;a", "02;b", "03;c"}, {0, 1, 2, 3}, {" 1", " 2", " 3"}},
        {Qt::Key_Up, Qt::ControlModifier, {"02;b", "01;a", "03;c"}, {0, 2, 1, 3}, {" 2", " 1", " 3"}},
        {Qt::Key_Up, Qt::ControlModifier, {"02;b", "01;a", "03;c"}, {0, 2, 1, 3}, {" 2", " 1", " 3"}},
        {Qt::Key_Down, Qt::ControlModifier, {"01;a", "02;b", "03;c"}, {0, 1, 2, 3}, {" 1", " 2", " 3"}},
        {Qt::Key_Down, Qt::NoModifier, {"01;a", "02;b", "03;c"}, {0, 1, 2, 3}, {" 1", " 2", " 3"}},
        {Qt::Key_Down, Qt::ControlModifier, {"01;a", "02;b", "03;c"}, {0, 1, 2, 3}, {" 1", " 2", " 3"}},
        {Qt::Key_Backspace, Qt::NoModifier, {"01;a", "02;b", "03;c"}, {0, 1, 2, 3}, {" 1", " 2", " 3"}},
        {Qt::Key_Delete, Qt::NoModifier, {"01;a", "02;b"}, {0, 1, 2, -1}, {" 1", " 2"}},
    };
    for (const auto& step : steps) {
        press(step.key, step.modifiers);
        EXPECT_EQ(f.rows(2), step.rows) << step.key;
        EXPECT_EQ(f.map(), step.map) << step.key;
        EXPECT_EQ(f.rows(1), step.hidden) << step.key;
    }

    // Enter on a focused button presses it.
    ASSERT_TRUE(tabTo(f.ui.cmdSave));
    press(Qt::Key_Return);
    ASSERT_EQ(f.dialog.shown.size(), 2u);
    EXPECT_TRUE(f.dialog.shown.back().save);
}

TEST(ColumnEditing, LongItemsShowWholeAsATip)
{
    WindowFixture f;
    const std::string longItem(300, 'x');
    f.choose(f.write(QStringLiteral("long.csv"), "short," + longItem + "\r\n"));
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    QWidget* rows = f.ui.List[0]->viewport();
    for (int row : {0, 1}) {
        const QPoint at(5, f.ui.List[0]->visualRect(f.ui.List[0]->model()->index(row, 0)).center().y());
        QHelpEvent tip(QEvent::ToolTip, at, rows->mapToGlobal(at));
        QApplication::sendEvent(rows, &tip);
        EXPECT_EQ(QToolTip::text().contains(QString::fromStdString(longItem)), row == 1) << row;
    }
}

// Items 1-6 in 出力データ, worked with real clicks and keys: a row moved and another deleted
// leave five rows on screen at once, the list, the hidden list and the map agreeing.
TEST(ColumnEditing, ADeletedRowLeavesTheScreenAtOnce)
{
    Editing f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("six.csv"), "a,b,c,d,e,f\r\n"));
    f.columns({1, 2, 3, 4, 5, 6});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ItemList* output = f.ui.List[2];
    const auto click = [&](int row) {
        QTest::mouseClick(output->viewport(), Qt::LeftButton, {},
                          output->visualRect(output->model()->index(row, 0)).center());
    };
    click(0);
    QTest::keyClick(output, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(f.rows(2), (QStringList{"02;b", "01;a", "03;c", "04;d", "05;e", "06;f"}));
    click(1);
    QTest::keyClick(output, Qt::Key_Delete);
    EXPECT_EQ(output->model()->rowCount(), 5);
    EXPECT_EQ(f.rows(2), (QStringList{"02;b", "03;c", "04;d", "05;e", "06;f"}));
    EXPECT_EQ(f.rows(1), (QStringList{" 2", " 3", " 4", " 5", " 6"}));
    EXPECT_EQ(f.map(), (std::vector<int>{0, 2, 3, 4, 5, 6, -1}));
    EXPECT_EQ(output->selectedRow(), 1); // 03;c, which moved up
}

// Columns chosen with the keyboard alone, a row moved and the first deleted: what the
// screen holds (only what was repainted since) is what the list paints afresh, with no
// removed row left below the others.
TEST(ColumnEditing, TheScreenHoldsNoRemovedRow)
{
    Editing f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("four.csv"), "a,b,c,d\r\n"));
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ItemList* source = f.ui.List[0];
    ItemList* output = f.ui.List[2];
    // After each step, painted at a user's pace, what the screen holds (only what was
    // repainted since) is what every shown list paints afresh.
    int step = 0;
    const auto painted = [&] {
        QTest::qWait(50);
        ++step;
        const QImage screen = w.screen()->grabWindow(w.winId()).toImage();
        for (ItemList* list : f.ui.List) {
            if (!list->isVisible())
                continue;
            const QImage fresh = list->viewport()->grab().toImage().convertToFormat(screen.format());
            EXPECT_EQ(screen.copy(QRect(list->viewport()->mapTo(&w, QPoint(0, 0)), fresh.size())), fresh)
                << "step " << step << ", " << list->objectName().toStdString();
        }
    };
    const auto click = [&](ItemList* list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        painted();
    };
    const auto key = [&](ItemList* list, Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(list, k, m);
        painted();
    };
    click(source, 0);
    for (const Qt::Key k : {Qt::Key_Return, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return, Qt::Key_Up, Qt::Key_Return,
                            Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
        key(source, k);
    click(output, 1);
    key(output, Qt::Key_Down, Qt::ControlModifier);
    click(output, 0);
    key(output, Qt::Key_Delete);
    EXPECT_EQ(f.rows(2), (QStringList{"02;b", "03;c", "04;d"}));
    click(output, 2);
    key(output, Qt::Key_Up, Qt::ControlModifier);
    key(output, Qt::Key_Delete);
    EXPECT_EQ(f.rows(2), (QStringList{"02;b", "03;c"}));
    // A definition of one column in place of two, then another encoding for the source.
    f.dialog.answers = {f.write(QStringLiteral("one.def"), "CSV\r\n4\r\n")};
    f.ui.mnuOpenDef->trigger();
    painted();
    EXPECT_EQ(f.rows(2), (QStringList{"04;d"}));
    f.ui.mnuEncodingUtf8->trigger();
    painted();
    EXPECT_EQ(f.rows(2), (QStringList{"04;d"}));
    EXPECT_EQ(source->count(), 4);
}

// After Delete the row that moved up (the new last one, when the last went) is selected,
// so Delete pressed again goes on deleting.
TEST(ColumnEditing, DeleteKeySelectsTheNextRow)
{
    Editing f;
    f.choose(f.write(QStringLiteral("abc.csv"), "a,b,c\r\n"));
    for (int row : {0, 1, 2})
        f.drag(row);
    ItemList* output = f.ui.List[2];
    output->setCurrentRow(1);
    output->setFocus();
    const struct {
        QStringList rows;
        int selected;
    } after[] = {{{QStringLiteral("01;a"), QStringLiteral("03;c")}, 1}, {{QStringLiteral("01;a")}, 0}, {{}, -1}};
    for (const auto& a : after) {
        QTest::keyClick(output, Qt::Key_Delete);
        EXPECT_EQ(f.rows(2), a.rows);
        EXPECT_EQ(output->selectedRow(), a.selected);
    }
}

// A row of 出力データ pressed and dragged with the mouse lands on the row it is dropped on
// (last when dropped below the rows), its item number with it; a drop from 元データ still
// appends, wherever it falls.
TEST(ColumnEditing, AnOutputRowDraggedWithinTheListMovesWhereItIsDropped)
{
    Editing f;
    f.choose(f.write(QStringLiteral("four.csv"), "a,b,c,d\r\n"));
    f.columns({1, 2, 3, 4});
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    ItemList* output = f.ui.List[2];
    QWidget* rows = output->viewport();
    std::unique_ptr<QMimeData> carried;
    f.window.setDragStarter([&](const QMimeData& mime) {
        carried = std::make_unique<QMimeData>();
        for (const QString& format : mime.formats())
            carried->setData(format, mime.data(format));
    });
    const auto at = [&](int row) { return output->visualRect(output->model()->index(row, 0)).center(); };
    const auto drop = [&](QPoint point) {
        QDragEnterEvent enter(point, Qt::CopyAction, carried.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &enter);
        QDropEvent dropped(point, Qt::CopyAction, carried.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &dropped);
    };
    const struct {
        int from;
        int to; // -1: below the last row
        QStringList rows;
        QStringList numbers;
        int selected;
    } cases[] = {
        {0, 2, {"02;b", "03;c", "01;a", "04;d"}, {" 2", " 3", " 1", " 4"}, 2},
        {3, 0, {"04;d", "02;b", "03;c", "01;a"}, {" 4", " 2", " 3", " 1"}, 0},
        {1, -1, {"04;d", "03;c", "01;a", "02;b"}, {" 4", " 3", " 1", " 2"}, 3},
    };
    for (const auto& c : cases) {
        carried.reset();
        QTest::mousePress(rows, Qt::LeftButton, {}, at(c.from));
        QTest::mouseMove(rows, at(c.from) + QPoint(0, QApplication::startDragDistance() + 2));
        QTest::mouseRelease(rows, Qt::LeftButton, {}, at(c.from));
        ASSERT_TRUE(carried) << "no drag started from row " << c.from;
        drop(c.to >= 0 ? at(c.to) : QPoint(5, rows->height() - 2));
        EXPECT_EQ(f.rows(2), c.rows) << c.from;
        EXPECT_EQ(f.rows(1), c.numbers) << c.from;
        EXPECT_EQ(output->selectedRow(), c.selected) << c.from;
    }
    // A click is no drag.
    carried.reset();
    QTest::mouseClick(rows, Qt::LeftButton, {}, at(1));
    EXPECT_FALSE(carried);
    carried.reset(frmConvert::dragData(QStringLiteral("02;b")));
    drop(at(0));
    EXPECT_EQ(f.rows(2), (QStringList{"04;d", "03;c", "01;a", "02;b", "02;b"}));
}

} // namespace
