#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Def : WindowFixture {
    void chooseTwelve()
    {
        std::string line;
        for (int i = 1; i <= 12; ++i)
            line += "c" + std::to_string(i) + (i < 12 ? "," : "\r\n");
        choose(write(QStringLiteral("twelve.csv"), line));
    }
    void saveAs(const QString& name)
    {
        dialog.answers.push_back(path(name));
        window.mnuSaveDef_Click();
    }
    void load(const QString& name)
    {
        dialog.answers.push_back(path(name));
        window.mnuOpenDef_Click();
    }
};

TEST(DefinitionFile, SaveThenLoadGivesTheSameRowsAndMap)
{
    Def f;
    f.chooseTwelve();
    f.columns({3, 1, 12});
    f.saveAs(QStringLiteral("cols.def"));
    EXPECT_EQ(f.read(QStringLiteral("cols.def")), std::string("CSV\r\n3\r\n1\r\n12\r\n"));
    EXPECT_EQ(f.global.sDefFile, f.path(QStringLiteral("cols.def")));
    const QStringList rows = f.rows(2);
    const auto map = f.map();

    f.ui.txtDELI->setText(QStringLiteral(","));
    f.window.cmd検出_Click(); // empties the output list
    EXPECT_TRUE(f.rows(2).isEmpty());
    f.load(QStringLiteral("cols.def"));
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("03;c3"), QStringLiteral("01;c1"), QStringLiteral("12;c12")}));
    EXPECT_EQ(f.rows(2), rows);
    EXPECT_EQ(f.map(), (std::vector<int>{0, 3, 1, 12}));
    EXPECT_EQ(std::vector<int>(map.begin(), map.begin() + 4), f.map());
    EXPECT_EQ(f.rows(1), (QStringList{QStringLiteral(" 3"), QStringLiteral(" 1"), QStringLiteral(" 12")}));

    // The open dialog filters on definitions; the next output dialog has its own filters.
    const auto& open = f.dialog.shown.back();
    EXPECT_FALSE(open.save);
    EXPECT_EQ(open.filter, QStringLiteral("定義ファイル (*.def)|*.def|すべてのファイル (*)|*"));
    EXPECT_EQ(open.defaultExt, QStringLiteral("def"));
    EXPECT_EQ(open.fileName, QString());
    f.dialog.answers.push_back(std::nullopt);
    f.window.cmdSave_Click();
    EXPECT_EQ(
        f.dialog.shown.back().filter,
        QStringLiteral("CSVファイル (*.csv)|*.csv|テキストファイル (*.txt;*.tsv)|*.txt;*.tsv|すべてのファイル (*)|*"));
    EXPECT_EQ(f.dialog.shown.back().defaultExt, QStringLiteral("csv"));

    // A drop after a load adds a column that is written too.
    f.columns({2});
    EXPECT_EQ(f.map(), (std::vector<int>{0, 3, 1, 12, 2}));
}

TEST(DefinitionFile, ProposedNamesAfterSavesLoadsAndCancels)
{
    Def f;
    f.chooseTwelve();
    f.columns({1});
    f.dialog.answers.push_back(std::nullopt);
    f.window.mnuSaveDef_Click();
    EXPECT_EQ(f.dialog.shown.back().fileName, QStringLiteral("NEW.DEF"));
    EXPECT_TRUE(f.global.sDefFile.isEmpty());

    f.saveAs(QStringLiteral("a.def"));
    EXPECT_EQ(f.dialog.shown.back().fileName, QStringLiteral("NEW.DEF"));
    f.dialog.answers.push_back(std::nullopt);
    f.window.mnuSaveDef_Click();
    EXPECT_EQ(f.dialog.shown.back().fileName, f.path(QStringLiteral("a.def")));
    EXPECT_EQ(f.global.sDefFile, f.path(QStringLiteral("a.def"))); // a cancel keeps it

    f.saveAs(QStringLiteral("b.def"));
    f.load(QStringLiteral("b.def"));
    f.dialog.answers.push_back(std::nullopt);
    f.window.mnuSaveDef_Click();
    EXPECT_EQ(f.dialog.shown.back().fileName, f.path(QStringLiteral("b.def")));

    // A rejected file is still the one proposed next.
    f.write(QStringLiteral("bad.def"), "csv\r\n1\r\n");
    f.load(QStringLiteral("bad.def"));
    f.dialog.answers.push_back(std::nullopt);
    f.window.mnuSaveDef_Click();
    EXPECT_EQ(f.dialog.shown.back().fileName, f.path(QStringLiteral("bad.def")));
    EXPECT_EQ(f.dialog.unexpected, 0);
}

TEST(DefinitionFile, MessagesAndRejections)
{
    Def f;
    frmConvert& w = f.window;
    // Opening before a source file: a message, no dialog.
    w.mnuOpenDef_Click();
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].prompt, QStringLiteral("変換元ファイルを先に指定してください"));
    EXPECT_EQ(f.messages.messages[0].flags, 0);
    EXPECT_TRUE(f.dialog.shown.empty());

    f.chooseTwelve();
    const auto dialogsBefore = f.dialog.shown.size();
    // Saving with an empty output list: a message, focus to the source list, nothing written.
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.mnuSaveDef_Click();
    EXPECT_EQ(f.messages.messages.back().prompt, QStringLiteral("変換先項目を指定してください"));
    EXPECT_EQ(f.messages.messages.back().flags, 0);
    EXPECT_EQ(QApplication::focusWidget(), f.ui.List[0]);
    EXPECT_EQ(f.dialog.shown.size(), dialogsBefore);

    f.columns({2, 5});
    for (const std::string bad : {"csv\r\n1\r\n", "CS\r\n1\r\n", ""}) {
        f.write(QStringLiteral("bad.def"), bad);
        f.load(QStringLiteral("bad.def"));
        EXPECT_EQ(f.messages.messages.back().prompt, QStringLiteral("Tolvaneの定義ファイルではありません。"));
        EXPECT_EQ(f.messages.messages.back().flags, 48);
        EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("02;c2"), QStringLiteral("05;c5")}));
        EXPECT_EQ(f.map()[1], 2);
        EXPECT_EQ(f.map()[2], 5);
    }
    // A file that cannot be opened says so.
    f.load(QStringLiteral("missing.def"));
    EXPECT_TRUE(f.messages.messages.back().prompt.contains(QStringLiteral("開けません")));
    EXPECT_TRUE(f.messages.messages.back().prompt.contains(QStringLiteral("missing.def")));
    // A file that cannot be written says so.
    f.dialog.answers.push_back(f.path(QStringLiteral("no-folder/x.def")));
    w.mnuSaveDef_Click();
    EXPECT_TRUE(f.messages.messages.back().prompt.contains(QStringLiteral("no-folder")));
    EXPECT_EQ(f.messages.messages.back().flags, 48);
    EXPECT_EQ(f.global.sDefFile, f.path(QStringLiteral("no-folder/x.def")));
}

TEST(DefinitionFile, NumberLinesAndTheMends)
{
    Def f;
    f.chooseTwelve();
    f.columns({4, 4});
    // Negative lines are passed over: rows and slots stay paired.
    f.write(QStringLiteral("neg.def"), "CSV\r\n3\r\n-1\r\n 2.5 \r\n0\r\n\r\nxyz\r\n40000\r\n");
    f.load(QStringLiteral("neg.def"));
    // Item 0 and item 40000 are not in the source's 12: their rows say so.
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("03;c3"), QStringLiteral("02;c2"), QStringLiteral("00;（なし）"),
                                      QStringLiteral("00;（なし）"), QStringLiteral("00;（なし）"),
                                      QStringLiteral("40000;（なし）")}));
    EXPECT_EQ(f.map(), (std::vector<int>{0, 3, 2, 0, 0, 0, 40000}));
    // Deleting the second row now removes the column it shows.
    f.ui.List[2]->setCurrentRow(1);
    f.window.List_KeyDown(2, 46, {});
    EXPECT_EQ(f.map(), (std::vector<int>{0, 3, 0, 0, 0, 40000, -1}));

    // A header-only file empties the list and frees every slot.
    f.write(QStringLiteral("empty.def"), "CSV\r\n");
    f.load(QStringLiteral("empty.def"));
    EXPECT_TRUE(f.rows(2).isEmpty());
    const auto freed = f.map();
    EXPECT_EQ(freed.size(), 7u);
    EXPECT_TRUE(std::all_of(freed.begin() + 1, freed.end(), [](int n) { return n == -1; }));
    f.columns({6});
    EXPECT_EQ(f.map()[1], 6);
    EXPECT_EQ(f.map()[2], -1); // no old column comes back

    // In a Unix editor's file a lone LF ends no line: it is one line that begins with CSV,
    // a definition without columns.
    f.write(QStringLiteral("unix.def"), "CSV\n12\n1\n");
    f.load(QStringLiteral("unix.def"));
    EXPECT_TRUE(f.rows(2).isEmpty());
}

TEST(DefinitionFile, ColumnsBeyondSixteenBitsSurviveSaveAndLoad)
{
    Def f;
    std::string line;
    for (int i = 1; i <= 40001; ++i)
        line += "c" + std::to_string(i) + (i < 40001 ? "," : "\r\n");
    f.choose(f.write(QStringLiteral("wide.csv"), line));
    f.columns({40000, 2});
    f.saveAs(QStringLiteral("wide.def"));
    EXPECT_EQ(f.read(QStringLiteral("wide.def")), "CSV\r\n40000\r\n2\r\n");

    f.window.cmd検出_Click(); // empties the output list
    f.load(QStringLiteral("wide.def"));
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("40000;c40000"), QStringLiteral("02;c2")}));
    f.global.sOutFile = f.path(QStringLiteral("wide-out.csv"));
    f.window.cmd開始_Click();
    EXPECT_EQ(f.read(QStringLiteral("wide-out.csv")), "c40000,c2\r\n"); // not the last item, c40001
}

TEST(DefinitionFile, SaveAColumnChoiceThenConvertAnotherFileOfTheSameLayout)
{
    Def f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("jan.csv"), "id,name,price,memo\r\n1,\x83\x5C,100,a\r\n"));
    f.columns({3, 1, 2});
    f.saveAs(QStringLiteral("layout.def"));

    // Another month's file: the same layout, other rows.
    f.choose(f.write(QStringLiteral("feb.csv"), "id,name,price,memo\r\n7,\x83\x7C,\"1,5\",b\r\n8,,9,c\r\n"));
    EXPECT_TRUE(f.rows(2).isEmpty());
    f.load(QStringLiteral("layout.def"));
    EXPECT_EQ(f.rows(2), (QStringList{QStringLiteral("03;price"), QStringLiteral("01;id"), QStringLiteral("02;name")}));
    f.global.sOutFile = f.path(QStringLiteral("feb-out.csv"));
    f.ui.chk先頭行->setChecked(true);
    w.cmd開始_Click();
    EXPECT_EQ(f.read(QStringLiteral("feb-out.csv")), "\"1,5\",7,\x83\x7C\r\n9,8,\r\n");
    EXPECT_EQ(f.messages.messages.back().prompt, QStringLiteral(" 3件"));
}

} // namespace
