// The window and the command line, side by side on the same files.
#include "TestSupport.h"
#include "support/ProgramRun.h"

#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using namespace program;

TEST(BothFaces, ConvertWritesTheWindowsBytes)
{
    WindowFixture f;
    std::string source = "id,name,memo,price\r\n";
    for (int i = 0; i < 500; ++i)
        source += std::to_string(i) + ",\x83\x5C" + std::to_string(i) + ",\"a,b\"\"c\"," + (i % 3 ? "" : "7") +
                  (i % 7 ? "\r\n" : "\r");
    const QString in = f.write(QStringLiteral("in.csv"), source);
    f.choose(in);
    f.columns({4, 1, 3, 2, 1});
    f.window.Option1_Click(1);
    f.ui.chk先頭行->setChecked(true);
    f.global.sOutFile = f.path(QStringLiteral("window.csv"));
    f.window.cmd開始_Click();
    const std::string windowBytes = f.read(QStringLiteral("window.csv"));
    ASSERT_NE(windowBytes, "<missing>");

    const Result r = tolvane({QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("4,1,3,2,1"),
                              QStringLiteral("-t"), QStringLiteral("-s"), in, f.path(QStringLiteral("cli.csv"))});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(f.read(QStringLiteral("cli.csv")), windowBytes);
}

// A run that writes no line: both faces leave an empty output in place of the earlier one
// and count 0, the window in its message and in 処理件数.
TEST(BothFaces, ARunOfNoLinesLeavesTheSameEmptyOutputAndCountsZero)
{
    const struct {
        std::string source;
        bool skipFirstLine;
    } cases[] = {{"", false}, {"x,y\r\n", true}};
    for (const auto& c : cases) {
        WindowFixture f;
        const QString in = f.write(QStringLiteral("in.csv"), "a,b\r\nc,d\r\n");
        f.choose(in);
        f.columns({2});
        f.dialog.answers.push_back(f.path(QStringLiteral("window.csv")));
        QTest::mouseClick(f.ui.cmdSave, Qt::LeftButton);
        QTest::mouseClick(f.ui.cmd開始, Qt::LeftButton);
        ASSERT_EQ(f.ui.txt件数->text(), QStringLiteral("2"));
        f.write(QStringLiteral("in.csv"), c.source);
        f.ui.chk先頭行->setChecked(c.skipFirstLine);
        QTest::mouseClick(f.ui.cmd開始, Qt::LeftButton);
        EXPECT_EQ(f.messages.messages.back().prompt, QStringLiteral(" 0件"));
        EXPECT_EQ(f.ui.txt件数->text(), QStringLiteral("0"));
        EXPECT_EQ(f.read(QStringLiteral("window.csv")), "");

        const QString cli = f.write(QStringLiteral("cli.csv"), "earlier\r\n");
        QStringList args{QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("2"), in, cli};
        if (c.skipFirstLine)
            args.insert(1, QStringLiteral("-s"));
        const Result r = tolvane(args);
        EXPECT_EQ(r.exit, 0);
        EXPECT_TRUE(r.err.contains(QStringLiteral("変換終了: 0件"))) << r.err.toStdString();
        EXPECT_EQ(f.read(QStringLiteral("cli.csv")), f.read(QStringLiteral("window.csv")));
    }
}

#ifdef TOLVANE_FAULT_SHIM
// The window starts into an output that a command-line run has just created but not yet
// locked (its lock is held back): one of the two runs is refused, and the output is the
// other's, whole.
TEST(BothFaces, TheWindowAndTheCommandLineNeverShareAnOutput)
{
    WindowFixture f;
    std::string source;
    for (int i = 1; i <= 3000; ++i)
        source += std::to_string(i) + ",x\r\n";
    const QString in = f.write(QStringLiteral("in.csv"), source);
    const QString out = f.path(QStringLiteral("out.csv"));
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TOLVANE_FAULT_SHIM));
    env.insert(QStringLiteral("SHIM_LOCK_DELAY"), QStringLiteral("2"));
    cli.setProcessEnvironment(env);
    cli.start(binary(), {QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("2,1"), in, out});
    for (int waited = 0; !QFile::exists(out) && waited < 5000; waited += 10)
        QThread::msleep(10);
    ASSERT_TRUE(QFile::exists(out));

    f.choose(in);
    f.columns({1});
    f.global.sOutFile = out;
    f.window.cmd開始_Click();
    const Result r = finish(cli, QByteArray());
    ASSERT_FALSE(f.messages.messages.empty());
    const QString said = f.messages.messages.back().prompt;
    const bool windowWon = said.contains(QStringLiteral("3000件"));
    EXPECT_NE(windowWon, r.exit == 0) << said.toStdString() << r.err.toStdString();
    EXPECT_TRUE((windowWon ? r.err : said).contains(QStringLiteral("別の変換")));
    std::string expected;
    for (int i = 1; i <= 3000; ++i)
        expected += windowWon ? std::to_string(i) + "\r\n" : "x," + std::to_string(i) + "\r\n";
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), expected);
}
#endif

} // namespace
