#include "TestSupport.h"

#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// 商品コード,品名,価格,表示,ポイント in code page 932; 表 ends in 0x5C, ポ in 0x7C.
const std::string kJapaneseHeader = "\x8F\xA4\x95\x69\x83\x52\x81\x5B\x83\x68,\x95\x69\x96\xBC,\x89\xBF\x8A\x69,"
                                    "\x95\x5C\x8E\xA6,\x83\x7C\x83\x43\x83\x93\x83\x67";

TEST(Detection, ChoosingACodePage932FileListsItsItems)
{
    WindowFixture f;
    const QString file = f.write(QStringLiteral("商品.csv"), kJapaneseHeader + "\r\n1,2,3,4,5\r\n");
    f.choose(file);

    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_FALSE(f.dialog.shown[0].save);
    EXPECT_TRUE(f.dialog.shown[0].cancelError);
    EXPECT_EQ(
        f.dialog.shown[0].filter,
        QStringLiteral("CSVファイル (*.csv)|*.csv|テキストファイル (*.txt;*.tsv)|*.txt;*.tsv|すべてのファイル (*)|*"));
    EXPECT_EQ(f.dialog.shown[0].fileName, QString());

    EXPECT_EQ(f.probe.sInFile(), file);
    EXPECT_EQ(f.ui.txtInFile->text(), file);
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral(","));
    EXPECT_EQ(f.probe.sInDeli(), ",");
    EXPECT_EQ(f.probe.iItemCount(), 5);
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("商品コード"), QStringLiteral("品名"), QStringLiteral("価格"),
                                      QStringLiteral("表示"), QStringLiteral("ポイント")}));
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.map(), (std::vector<int>{0, -1, -1, -1, -1, -1}));
    ASSERT_EQ(f.global.INData.size(), 6u);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(f.global.INData[i].iNo, i);
        EXPECT_EQ(f.global.INData[i].iAttr, 1);
    }
    EXPECT_TRUE(f.messages.messages.empty());
}

TEST(Detection, TabFilesEmptyItemsAndTrailBytes)
{
    WindowFixture f;
    // 表\t\tポ|x\t12 : TAB wins, the empty item is listed, '|' inside ポ is no delimiter.
    f.global.DelimiterTable.add("|", "bar");
    f.choose(f.write(QStringLiteral("t.txt"), "\x95\x5C\t\t\x83\x7C|x\t12"));
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral("\t"));
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("表"), QString(), QStringLiteral("ポ|x"), QStringLiteral("12")}));
    EXPECT_EQ(f.global.INData[4].iAttr, 2);
    EXPECT_EQ(f.global.INData[2].iNo, 2);
}

TEST(Detection, TheDetectButtonSplitsWithTheTypedDelimiter)
{
    WindowFixture f;
    f.choose(f.write(QStringLiteral("s.csv"), "a;b;c\r\nx;y;z\r\n"));
    frmConvert& w = f.window;
    EXPECT_EQ(f.probe.iItemCount(), 1);
    EXPECT_EQ(f.rows(0), QStringList{QStringLiteral("a;b;c")});

    f.ui.txtDELI->setText(QStringLiteral(";"));
    f.columns({1}); // an output row, "01;a;b;c", that 検出 discards
    ASSERT_EQ(f.rows(2), QStringList{QStringLiteral("01;a;b;c")});
    w.cmd検出_Click();
    EXPECT_EQ(f.rows(0), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(f.map(), (std::vector<int>{0, -1, -1, -1}));
    EXPECT_TRUE(f.rows(2).isEmpty());
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral(";")); // the box is left as typed

    // Blanks around the typed delimiter are dropped for counting and for splitting alike.
    f.ui.txtDELI->setText(QStringLiteral(" ; "));
    w.cmd検出_Click();
    EXPECT_EQ(f.probe.sInDeli(), ";");
    EXPECT_EQ(f.probe.iItemCount(), 3);
    EXPECT_EQ(f.rows(0), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral(" ; "));

    // An empty box: one item, the whole line.
    f.ui.txtDELI->clear();
    w.cmd検出_Click();
    EXPECT_EQ(f.probe.iItemCount(), 1);
    EXPECT_EQ(f.map(), (std::vector<int>{0, -1}));
    EXPECT_EQ(f.rows(0), QStringList{QStringLiteral("a;b;c")});
    EXPECT_EQ(f.dialog.shown.size(), 1u); // no dialog: the file was known
}

TEST(Detection, CancelPathsChangeNothing)
{
    WindowFixture f;
    frmConvert& w = f.window;
    // 検出 before any file: asks; a cancel leaves everything.
    f.dialog.answers.push_back(std::nullopt);
    w.cmd検出_Click();
    EXPECT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_TRUE(f.global.Columns.map().empty());
    EXPECT_TRUE(f.ui.txtInFile->text().isEmpty());

    // 検出 before any file, with a choice: that file is read with the box's delimiter.
    const QString other = f.write(QStringLiteral("b.csv"), "p,q,r\r\n");
    QTest::keyClicks(f.ui.txtDELI, QStringLiteral(","));
    f.dialog.answers.push_back(other);
    w.cmd検出_Click();
    EXPECT_EQ(f.probe.sInFile(), other);
    EXPECT_EQ(f.ui.txtInFile->text(), other);
    EXPECT_EQ(f.rows(0), (QStringList{"p", "q", "r"}));

    const QString file = f.write(QStringLiteral("a.csv"), "a,b\r\n");
    f.choose(file);
    // 元ファイル again, cancelled: the source is kept, as the window shows it.
    f.dialog.answers.push_back(std::nullopt);
    w.cmdFile_Click();
    EXPECT_EQ(f.probe.sInFile(), file);
    EXPECT_EQ(f.ui.txtInFile->text(), file);
    EXPECT_EQ(f.rows(0), (QStringList{"a", "b"}));

    // 検出 then reads that source again, asking for none.
    w.cmd検出_Click();
    EXPECT_EQ(f.dialog.shown.size(), 4u);
    EXPECT_EQ(f.probe.sInFile(), file);
    EXPECT_EQ(f.rows(0), (QStringList{"a", "b"}));
    EXPECT_EQ(f.dialog.unexpected, 0);
}

TEST(Detection, AnUnreadableSourceIsReportedAndChangesNothing)
{
    WindowFixture f;
    frmConvert& w = f.window;
    const QString good = f.write(QStringLiteral("good.csv"), "a,b,c\r\n");
    f.choose(good);
    f.columns({1});

    const QString empty = f.write(QStringLiteral("empty.csv"), "");
    const QString missing = f.path(QStringLiteral("missing.csv"));
    const QString folder = f.path(QStringLiteral("folder"));
    QDir().mkdir(folder);
    for (const QString& bad : {empty, missing, folder}) {
        f.messages.messages.clear();
        f.choose(bad);
        ASSERT_EQ(f.messages.messages.size(), 1u) << bad.toStdString();
        const auto& m = f.messages.messages[0];
        EXPECT_EQ(m.flags, 48);
        EXPECT_EQ(m.title, QStringLiteral("Tolvane"));
        EXPECT_TRUE(m.prompt.contains(QDir::toNativeSeparators(bad))) << m.prompt.toStdString();
        EXPECT_EQ(f.probe.sInFile(), good);
        EXPECT_EQ(f.ui.txtInFile->text(), good);
        EXPECT_EQ(f.rows(0), (QStringList{"a", "b", "c"}));
        EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("01;a")});
        EXPECT_EQ(f.map(), (std::vector<int>{0, 1, -1, -1}));
        EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral(","));
    }
    EXPECT_TRUE(f.messages.messages[0].prompt.contains(QStringLiteral("ではありません")));

    // A source that went missing after it was chosen: 検出 reports it and keeps the lists.
    QFile::remove(good);
    f.messages.messages.clear();
    w.cmd検出_Click();
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_TRUE(f.messages.messages[0].prompt.contains(QStringLiteral("見つかりません")));
    EXPECT_EQ(f.rows(2), QStringList{QStringLiteral("01;a")});
}

// The output dialog has its own filters whatever was opened before, and first opens
// beside the source.
TEST(OutputFileChoice, ProposesNewCsvWithItsOwnFilters)
{
    WindowFixture f;
    frmConvert& w = f.window;
    f.dialog.answers.push_back(f.path(QStringLiteral("out.csv")));
    w.cmdSave_Click();
    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_TRUE(f.dialog.shown[0].save);
    EXPECT_EQ(f.dialog.shown[0].fileName, QStringLiteral("NEW.CSV"));
    EXPECT_EQ(
        f.dialog.shown[0].filter,
        QStringLiteral("CSVファイル (*.csv)|*.csv|テキストファイル (*.txt;*.tsv)|*.txt;*.tsv|すべてのファイル (*)|*"));
    EXPECT_EQ(f.dialog.shown[0].firstDir, QString()); // no source yet
    EXPECT_EQ(f.global.sOutFile, f.path(QStringLiteral("out.csv")));
    EXPECT_EQ(f.ui.txtOutFile->text(), f.global.sOutFile);

    f.choose(f.write(QStringLiteral("in.csv"), "a\r\n"));
    f.dialog.answers.push_back(std::nullopt);
    f.ui.mnuSaveCSV->trigger();
    EXPECT_EQ(f.dialog.shown.back().filter, f.dialog.shown[0].filter);
    EXPECT_EQ(f.dialog.shown.back().firstDir, QFileInfo(f.path(QStringLiteral("in.csv"))).absolutePath());
    EXPECT_EQ(f.dialog.shown.back().fileName, QStringLiteral("NEW.CSV")); // never the earlier path
    EXPECT_EQ(f.global.sOutFile, f.path(QStringLiteral("out.csv")));      // a cancel keeps it
    EXPECT_EQ(f.ui.txtOutFile->text(), f.global.sOutFile);
}

TEST(Detection, MenuAndButtonChooseTheSourceAlike)
{
    WindowFixture f;
    const QString file = f.write(QStringLiteral("m.csv"), "x\ty\r\n");
    f.dialog.answers.push_back(file);
    f.ui.mnuOpenCSV->trigger();
    EXPECT_EQ(f.probe.sInFile(), file);
    EXPECT_EQ(f.rows(0), (QStringList{"x", "y"}));
}

// A file from the file manager opens wherever on the window it is dropped, as 元ファイル
// would open it; what is not one local file is refused.
TEST(Detection, AFileDroppedOnTheWindowOpensAsTheSource)
{
    WindowFixture f;
    frmConvert& w = f.window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto drop = [&](QWidget* target, const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };
    QWidget* targets[] = {
        f.ui.txtDELI, f.ui.txtCSV[0], f.ui.List[0]->viewport(), f.ui.List[2]->viewport(), f.ui.cmdFile, &w};
    int n = 0;
    for (QWidget* target : targets) {
        ++n;
        const QString file = f.write(QStringLiteral("t%1.csv").arg(n), "a" + std::to_string(n) + "\tb\r\n");
        EXPECT_TRUE(drop(target, {QUrl::fromLocalFile(file)})) << n;
        EXPECT_EQ(f.probe.sInFile(), QDir::toNativeSeparators(file)) << n;
        EXPECT_EQ(f.ui.txtInFile->text(), f.probe.sInFile()) << n;
        EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("a%1").arg(n), "b"})) << n;
        EXPECT_EQ(f.ui.txtDELI->text(), QStringLiteral("\t")) << n;
    }
    const QString kept = f.probe.sInFile();
    const QUrl one = QUrl::fromLocalFile(f.path(QStringLiteral("t1.csv")));
    EXPECT_FALSE(drop(&w, {one, QUrl::fromLocalFile(f.path(QStringLiteral("t2.csv")))}));
    EXPECT_FALSE(drop(&w, {QUrl(QStringLiteral("https://example.invalid/x.csv"))}));
    EXPECT_EQ(f.probe.sInFile(), kept);
    EXPECT_EQ(f.dialog.shown.size(), 0u);
}

// 区切文字 shows a detected TAB (the box does not look empty) while its text stays the
// TAB; a delimiter typed there and confirmed with Enter runs 検出.
TEST(Detection, DelimiterBoxShowsTabAndEnterDetects)
{
    WindowFixture f;
    f.window.show();
    f.choose(f.write(QStringLiteral("tab.csv"), "a\tb\tc|d\r\n"));
    QLineEdit* box = f.ui.txtDELI;
    ASSERT_EQ(box->text(), QStringLiteral("\t"));
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c|d")}));
    const QImage tab = box->grab().toImage();
    box->setText(QString());
    EXPECT_NE(tab, box->grab().toImage()) << "a TAB looks like an empty box";

    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("|"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), QStringLiteral("|"));
    EXPECT_EQ(f.rows(0), (QStringList{QStringLiteral("a\tb\tc"), QStringLiteral("d")}));
}

} // namespace
