#include "TestSupport.h"

#include "delimiters/frmDELI.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct Dialog : WindowFixture {
    frmDELI& open()
    {
        window.mnuDELI_Click();
        frmDELI* d = window.delimiterDialog();
        d->Form_Activate(); // offscreen windows are not always activated
        return *d;
    }
    QStringList dialogRows() const
    {
        QStringList out;
        QListWidget* list = window.delimiterDialog()->lstDELI;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    void select(int row) { window.delimiterDialog()->lstDELI->setCurrentRow(row); }
    void add(const QString& delimiter, const QString& name)
    {
        frmDELI& d = *window.delimiterDialog();
        d.txtDELI[0]->setText(delimiter);
        d.txtDELI[1]->setText(name);
        d.cmdAdd->click();
    }
};

TEST(DelimiterDialog, ListsTheTableAndAddsToIt)
{
    Dialog f;
    frmDELI& d = f.open();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("区切文字の指定"));
    EXPECT_EQ(f.dialogRows(), (QStringList{QStringLiteral(",   カンマ"), QStringLiteral("\t   TAB")}));
    EXPECT_TRUE(d.lstDELI->selectedItems().isEmpty());

    f.add(QStringLiteral("|"), QStringLiteral("縦棒"));
    EXPECT_EQ(f.dialogRows().last(), QStringLiteral("|   縦棒"));
    EXPECT_EQ(f.global.DelimiterTable.lastIndex(), 3);
    EXPECT_EQ(f.global.DelimiterTable[2].delimiter, "|");
    EXPECT_TRUE(f.global.DelimiterTable[3].delimiter.empty());
    // The boxes keep their text: adding again adds the same entry again. Empty entries are accepted.
    d.cmdAdd->click();
    f.add(QString(), QString());
    EXPECT_EQ(f.dialogRows().size(), 5);
    EXPECT_EQ(f.dialogRows().last(), QStringLiteral("   "));
    EXPECT_EQ(f.global.DelimiterTable.lastIndex(), 5);

    // The same instance serves every opening; reopening rebuilds the list and empties the boxes.
    d.txtDELI[0]->setText(QStringLiteral("x"));
    d.cmdClose->click();
    EXPECT_FALSE(d.isVisible());
    f.window.mnuDELI_Click();
    EXPECT_EQ(f.window.delimiterDialog(), &d);
    d.Form_Activate();
    EXPECT_TRUE(d.txtDELI[0]->text().isEmpty());
    EXPECT_EQ(f.dialogRows().size(), 5);
}

TEST(DelimiterDialog, DeletesAndRefuses)
{
    Dialog f;
    frmDELI& d = f.open();
    // Nothing selected (an added row would be).
    d.cmdDel->click();
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].prompt, QStringLiteral("削除する項目を指定してください。"));
    EXPECT_EQ(f.messages.messages[0].flags, 48);
    EXPECT_EQ(f.messages.messages[0].title, QStringLiteral("区切文字の指定"));
    EXPECT_EQ(f.messages.messages[0].owner, &d);
    f.add(QStringLiteral(";"), QStringLiteral("semi"));

    f.select(0);
    d.cmdDel->click();
    EXPECT_EQ(f.dialogRows(), (QStringList{QStringLiteral("\t   TAB"), QStringLiteral(";   semi")}));
    EXPECT_EQ(f.global.DelimiterTable[0].delimiter, "\t");
    EXPECT_EQ(f.global.DelimiterTable[1].delimiter, ";");
    EXPECT_EQ(f.global.DelimiterTable.lastIndex(), 2);
    EXPECT_TRUE(d.lstDELI->selectedItems().isEmpty());
    d.cmdDel->click(); // no selection after a deletion
    EXPECT_EQ(f.messages.messages.back().prompt, QStringLiteral("削除する項目を指定してください。"));

    // The Delete key does the same.
    f.select(1);
    d.show();
    QTest::keyClick(d.lstDELI, Qt::Key_Delete);
    EXPECT_EQ(f.dialogRows(), QStringList{QStringLiteral("\t   TAB")});

    // The last delimiter stays.
    f.select(0);
    d.lstDELI_KeyDown(46, {});
    EXPECT_EQ(f.messages.messages.back().prompt,
              QStringLiteral("すべての区切文字を削除することはできません。\r\nひとつは指定してください。"));
    EXPECT_EQ(f.dialogRows(), QStringList{QStringLiteral("\t   TAB")});
    EXPECT_EQ(f.global.DelimiterTable.lastIndex(), 1);
    d.lstDELI_KeyDown(45, {}); // other keys do nothing
    EXPECT_EQ(f.dialogRows().size(), 1);
}

TEST(DelimiterDialog, DetectionUsesTheEditedTable)
{
    Dialog f;
    frmDELI& d = f.open();
    // ポ ends in 0x7C: only the real bars count.
    const QString file = f.write(QStringLiteral("bar.txt"), "\x83\x7C\x83\x7C|b,c|d");
    f.choose(file);
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral(","));
    f.add(QStringLiteral("|"), QStringLiteral("bar"));
    f.choose(file);
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral("|"));
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("ポポ"), QStringLiteral("b,c"), QStringLiteral("d")}));

    // Without the comma candidate a comma file is no longer split.
    f.select(0);
    d.cmdDel_Click();
    const QString commas = f.write(QStringLiteral("c.csv"), "a,b,c\r\n");
    f.choose(commas);
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral("\t"));
    EXPECT_EQ(f.rows(0), QStringList{QStringLiteral("a,b,c")});
}

TEST(DelimiterDialog, EndingTheProgramWithTheDialogOpenEndsEverything)
{
    Dialog f;
    f.window.show();
    f.open();
    EXPECT_TRUE(f.window.delimiterDialog()->isVisible());
    EXPECT_EQ(f.window.delimiterDialog()->parentWidget(), nullptr); // no owner window
    f.window.close();
    EXPECT_EQ(f.endCalls, 1);
}

// The row's text stays the table's; only what the list draws shows control characters.
TEST(DelimiterDialog, ShowsControlCharactersVisibly)
{
    Dialog f;
    frmDELI& d = f.open();
    f.add(QStringLiteral("\x1F"), QStringLiteral("us\x7F"));
    const QStringList shown{QStringLiteral(",   カンマ"), QStringLiteral("→   TAB"), QStringLiteral("␟   us␡")};
    ASSERT_EQ(d.lstDELI->count(), 3);
    EXPECT_EQ(f.dialogRows()[1], QStringLiteral("\t   TAB"));
    for (int row = 0; row < 3; ++row) {
        const QModelIndex index = d.lstDELI->model()->index(row, 0);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(d.lstDELI->itemDelegateForIndex(index));
        ASSERT_NE(delegate, nullptr);
        EXPECT_EQ(delegate->displayText(index.data(), QLocale()), shown[row]) << row;
    }
}

// With the real message box and the platform's own activation: the box appears over the
// dialog; coming back from it keeps the list and the typed text, coming back from the
// main window builds them afresh.
TEST(DelimiterDialog, RebuildsOnlyWhenComingFromAnotherWindow)
{
    mdlGlobal global;
    platform::QtMessageBox boxes;
    platform::ScriptedCommonDialog files;
    platform::Platform platform{boxes, files, [] {}};
    frmConvert window{global, platform};
    boxes.setParent(&window);
    window.show();
    window.mnuDELI_Click();
    frmDELI& d = *window.delimiterDialog();
    const auto activate = [](QWidget* w) {
        w->activateWindow();
        QApplication::processEvents();
        return QApplication::activeWindow() == w;
    };
    ASSERT_TRUE(activate(&d)) << "the platform activates no window";
    EXPECT_EQ(d.lstDELI->count(), 2);

    QTest::keyClicks(d.txtDELI[0], QStringLiteral("|"));
    QWidget* boxParent = nullptr;
    bool boxActive = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxParent = box->parentWidget();
            boxActive = activate(box);
            box->close();
        }
    });
    QTest::mouseClick(d.cmdDel, Qt::LeftButton); // nothing selected: the message
    EXPECT_EQ(boxParent, &d);
    EXPECT_TRUE(boxActive);
    // The window system hands the activation back to the box's owner.
    ASSERT_TRUE(activate(&d));
    EXPECT_EQ(d.txtDELI[0]->text(), QStringLiteral("|"));

    global.DelimiterTable.add(";", "semi");
    ASSERT_TRUE(activate(&window));
    ASSERT_TRUE(activate(&d));
    EXPECT_TRUE(d.txtDELI[0]->text().isEmpty());
    EXPECT_EQ(d.lstDELI->count(), 3);

    // Enter on the focused 閉じる closes the dialog.
    d.cmdClose->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
}

// Added with the keyboard and the mouse, beyond the rows that fit: each new row is
// selected and scrolled into view.
TEST(DelimiterDialog, ANewRowIsSelectedAndShown)
{
    Dialog f;
    frmDELI& d = f.open();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QListWidget* list = d.lstDELI;
    for (int i = 0; i < 12; ++i) {
        d.txtDELI[0]->clear();
        QTest::keyClicks(d.txtDELI[0], QString(QChar(u'a' + i)));
        QTest::mouseClick(d.cmdAdd, Qt::LeftButton);
        ASSERT_EQ(list->count(), 3 + i);
        EXPECT_EQ(list->currentRow(), 2 + i);
        EXPECT_TRUE(list->currentItem()->isSelected());
        EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->currentItem()))) << i;
    }
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
}

} // namespace
