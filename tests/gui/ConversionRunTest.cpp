#include "TestSupport.h"
#include "platform/Settings.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "os/NativeFile.h"
#include "platform/Cp932.h"
#include "platform/EndRequest.h"

namespace {

struct RunFixture : WindowFixture {
    void output(const QString& name)
    {
        global.sOutFile = path(name);
        ui.txtOutFile->setText(global.sOutFile);
    }
    QString lastPrompt() const { return messages.messages.empty() ? QString() : messages.messages.back().prompt; }
};

std::string numbered(int lines)
{
    std::string s = "no,name,price\r\n";
    for (int i = 1; i < lines; ++i)
        s += std::to_string(i) + ",\x83\x5C\x83\x74\x83\x67" + std::to_string(i) + ",\"1,00" + std::to_string(i % 10) +
             "\"\r\n";
    return s;
}

TEST(ConversionRun, AttributeRowsDescribeEachItemInOrder)
{
    RunFixture f;
    f.choose(f.write(QStringLiteral("in.csv"), "12,x, 3.5 ,,\"7\"\r\n"));
    f.columns({1});
    f.output(QStringLiteral("out.csv"));
    f.window.cmd開始_Click();
    EXPECT_EQ(f.rows(1), (QStringList{"数値", "文字列", "数値", "文字列", "文字列"}));
}

// A UTF-8 source with a byte order mark: taken for UTF-8 by itself, read again as chosen in
// 編集 > 文字コード, shown in the menu bar's corner; the run keeps the bytes and starts its
// output with the mark.
TEST(ConversionRun, Utf8SourcesReadAsDecidedOrAsChosen)
{
    RunFixture f;
    frmConvert& w = f.window;
    const std::string bom = "\xEF\xBB\xBF", a = "\xE3\x81\x82", hyo = "\xE8\xA1\xA8";
    f.choose(f.write(QStringLiteral("u.csv"), bom + a + "," + hyo + "|x,c\r\n1," + a + "|2,3\r\n"));
    EXPECT_EQ(f.rows(0), (QStringList{"あ", "表|x", "c"}));
    EXPECT_EQ(f.ui.lblEncoding->text(), QStringLiteral("UTF-8 (BOM付き)"));
    f.ui.mnuEncodingCp932->trigger();
    EXPECT_EQ(f.ui.lblEncoding->text(), QStringLiteral("シフトJIS"));
    EXPECT_NE(f.rows(0).first(), QStringLiteral("あ"));
    f.ui.mnuEncodingAuto->trigger();
    EXPECT_EQ(f.rows(0), (QStringList{"あ", "表|x", "c"}));
    // "|" typed as the delimiter splits after 表, whose last byte in UTF-8 is no ASCII.
    f.ui.txtDELI->setText(QStringLiteral("|"));
    w.cmd検出_Click();
    EXPECT_EQ(f.rows(0), (QStringList{"あ,表", "x,c"}));
    f.ui.txtDELI->setText(QStringLiteral(","));
    w.cmd検出_Click();
    f.columns({3, 1});
    f.output(QStringLiteral("out.csv"));
    w.cmd開始_Click();
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), bom + "c," + a + "\r\n3,1\r\n");
    EXPECT_EQ(f.ui.txtCSV[0]->text(), QStringLiteral("1,あ|2,3"));
}

TEST(ConversionRun, ConvertsCountsAndReports)
{
    RunFixture f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("in.csv"), "a,b,c\r\nd,e,f\r\ng,h,i\r\n"));
    f.columns({3, 1});
    f.output(QStringLiteral("out.csv"));

    f.ui.chk先頭行->setChecked(true);
    w.cmd開始_Click();
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "f,d\r\ni,g\r\n");
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].prompt, QStringLiteral(" 3件"));
    EXPECT_EQ(f.messages.messages[0].flags, 0);
    EXPECT_EQ(f.messages.messages[0].title, QStringLiteral("変換終了"));
    EXPECT_EQ(f.ui.txt件数->text(), QStringLiteral("3"));
    EXPECT_EQ(f.ui.txtCSV[0]->text(), QStringLiteral("g,h,i"));
    EXPECT_EQ(f.ui.txtCSV[1]->text(), QStringLiteral("i,g"));
    EXPECT_EQ(f.rows(1), (QStringList{"文字列", "文字列", "文字列"}));
    EXPECT_FALSE(f.ui.prgRun->isVisible());

    // Again, without skipping and with TAB: the old output is replaced, nothing is asked.
    f.ui.chk先頭行->setChecked(false);
    w.Option1_Click(1);
    w.cmd開始_Click();
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "c\ta\r\nf\td\r\ni\tg\r\n");
    EXPECT_EQ(f.lastPrompt(), QStringLiteral(" 3件"));
    EXPECT_TRUE(f.dialog.shown.size() == 1u && f.dialog.unexpected == 0);
}

TEST(ConversionRun, EmptySourcesSkippedOnlyLinesAndEmptyMaps)
{
    RunFixture f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("in.csv"), "a,b\r\nc,d\r\n"));
    f.columns({2});
    f.output(QStringLiteral("out.csv"));
    w.cmd開始_Click();
    EXPECT_EQ(f.ui.txt件数->text(), QStringLiteral("2"));

    // An empty source: an empty output in place of the earlier one, count 0 in the box too.
    f.write(QStringLiteral("in.csv"), "");
    w.cmd開始_Click();
    EXPECT_EQ(f.lastPrompt(), QStringLiteral(" 0件"));
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "");
    EXPECT_EQ(f.ui.txt件数->text(), QStringLiteral("0"));

    // A source whose only line is left out: no line converted, none counted.
    f.write(QStringLiteral("in.csv"), "x,y\r\n");
    f.ui.chk先頭行->setChecked(true);
    w.cmd開始_Click();
    EXPECT_EQ(f.lastPrompt(), QStringLiteral(" 0件"));
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "");

    // Rows but no column in the map: counts, writes nothing.
    f.ui.chk先頭行->setChecked(false);
    f.write(QStringLiteral("in.csv"), "a\r\nb\r\nc\r\n");
    const std::size_t rows = f.global.Columns.rowCount();
    f.global.Columns.clear();
    for (std::size_t i = 0; i < rows; ++i)
        f.global.Columns.add(engine::kNoColumn);
    w.cmd開始_Click();
    EXPECT_EQ(f.lastPrompt(), QStringLiteral(" 3件"));
    EXPECT_EQ(f.read(QStringLiteral("out.csv")), "");
}

TEST(ConversionRun, AsksForMissingPathsAndRefusesAnEmptyOutputList)
{
    RunFixture f;
    frmConvert& w = f.window;
    w.cmd開始_Click();
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].prompt, QStringLiteral("出力データを指定してください。"));
    EXPECT_EQ(f.messages.messages[0].flags, 48);
    EXPECT_TRUE(f.dialog.shown.empty());

    const QString in = f.write(QStringLiteral("in.csv"), "a,b\r\n");
    f.choose(in);
    f.columns({1});
    // 元ファイル cancelled: the source is kept, and 変換 asks only for the output.
    f.dialog.answers.push_back(std::nullopt);
    w.cmdFile_Click();
    f.dialog.answers = {std::nullopt};
    w.cmd開始_Click();
    EXPECT_EQ(f.probe.sInFile(), in);
    EXPECT_TRUE(f.global.sOutFile.isEmpty());
    ASSERT_EQ(f.dialog.shown.size(), 3u);
    EXPECT_TRUE(f.dialog.shown[2].save);
    EXPECT_EQ(f.dialog.shown[2].fileName, QStringLiteral("NEW.CSV"));

    f.dialog.answers = {f.path(QStringLiteral("chosen.csv"))};
    w.cmd開始_Click();
    EXPECT_EQ(f.ui.txtOutFile->text(), f.path(QStringLiteral("chosen.csv")));
    EXPECT_EQ(f.read(QStringLiteral("chosen.csv")), "a\r\n");
    EXPECT_EQ(f.lastPrompt(), QStringLiteral(" 1件"));
}

TEST(ConversionRun, ChangesServedDuringTheRunApplyToTheFollowingLines)
{
    // A small file goes line by line in the window's slices; a large one in blocks split
    // between two threads, a block a slice.
    for (const int lines : {400, 60000}) {
        SCOPED_TRACE(lines);
        // The 出力 menu's choice is remembered: each window starts from the default.
        const auto forget = qScopeGuard([] { platform::userSettings()->remove(QStringLiteral("output")); });
        RunFixture f;
        frmConvert& w = f.window;
        const std::string source = numbered(lines);
        f.choose(f.write(QStringLiteral("in.csv"), source));
        f.columns({1, 3});
        f.output(QStringLiteral("first.csv"));
        w.setSliceDuration(std::chrono::milliseconds(0));

        // At the first serving of events: TAB output, another output file, a third column.
        QTimer::singleShot(0, &w, [&] {
            EXPECT_TRUE(w.conversionRunning());
            EXPECT_TRUE(f.ui.prgRun->isVisible() || !w.isVisible());
            // Commands that would change the run's source are greyed, and a click does nothing.
            EXPECT_FALSE(f.ui.cmdFile->isEnabled() || f.ui.cmd検出->isEnabled() || f.ui.mnuOpenCSV->isEnabled() ||
                         f.ui.mnuOpenDef->isEnabled());
            const auto dialogsBefore = f.dialog.shown.size();
            f.ui.cmdFile->click();
            f.ui.mnuOpenDef->trigger();
            EXPECT_EQ(f.dialog.shown.size(), dialogsBefore);
            f.ui.Option1[1]->click();
            w.findChild<QAction*>(QStringLiteral("mnuLineEnd_1"))->trigger(); // 出力 > 改行 > LF
            f.dialog.answers.push_back(f.path(QStringLiteral("second.csv")));
            w.cmdSave_Click();
            f.ui.List[0]->setCurrentRow(1);
            w.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
            w.List_DragDrop(2);
            w.cmd開始_Click(); // ignored while running
        });
        w.cmd開始_Click();
        EXPECT_FALSE(w.conversionRunning());
        EXPECT_TRUE(f.ui.cmdFile->isEnabled() && f.ui.cmd検出->isEnabled() && f.ui.mnuOpenCSV->isEnabled() &&
                    f.ui.mnuOpenDef->isEnabled());
        EXPECT_EQ(f.lastPrompt(), QStringLiteral(" %1件").arg(lines));

        const std::string first = f.read(QStringLiteral("first.csv"));
        const std::string second = f.read(QStringLiteral("second.csv"));
        ASSERT_NE(first, "<missing>");
        ASSERT_NE(second, "<missing>");
        // Every line is in exactly one of the files, commas and CR LF before the change, and
        // TABs, LF and the third column after it.
        const auto countLines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
        EXPECT_EQ(countLines(first) + countLines(second), lines);
        EXPECT_EQ(first.find('\t'), std::string::npos);
        EXPECT_EQ(first.substr(0, 15), "no,price\r\n1,\"1,");
        const std::string last = std::to_string(lines - 1);
        EXPECT_EQ(second.find('\r'), std::string::npos);
        EXPECT_TRUE(("\n" + second).ends_with("\n" + last + "\t\"1,009\"\t\x83\x5C\x83\x74\x83\x67" + last + "\n"));
        EXPECT_EQ(f.read(QStringLiteral("in.csv")), source);
    }
}

// Esc, closing the window and the session's end ask whether to stop, and the run goes on
// while the question is up; Yes takes back the output (written in part by then), No lets
// the run finish. The system's polite request stops without asking. 変換 is greyed meanwhile.
TEST(ConversionRun, AStopDuringTheRunAsksAndLeavesNoOutput)
{
    enum Answer { None, Yes, No };
    struct Case {
        const char* what;
        std::function<void(frmConvert&)> act;
        Answer answer;
        bool stops, ends, tells;
    };
    const auto esc = [](frmConvert& w) { QTest::keyClick(WindowControls(w).txtDELI, Qt::Key_Escape); };
    const auto close = [](frmConvert& w) { EXPECT_FALSE(w.close()); };
    const Case cases[] = {
        {"Esc", esc, Yes, true, false, true},
        {"Esc", esc, No, false, false, false},
        {"title bar", close, Yes, true, true, true},
        {"title bar", close, No, false, false, false},
        {"閉じる", [](frmConvert& w) { WindowControls(w).cmdClose->click(); }, Yes, true, true, true},
        {"session", [](frmConvert& w) { EXPECT_FALSE(w.sessionEnding(true)); }, No, false, false, false},
        {"session", [](frmConvert& w) { EXPECT_TRUE(w.sessionEnding(true)); }, Yes, true, false, false},
        {"session, no asking", [](frmConvert& w) { EXPECT_TRUE(w.sessionEnding(false)); }, None, true, false, false},
#ifndef _WIN32
        {"SIGTERM",
         [](frmConvert& w) {
             platform::onEndRequest(&w, [&w] { w.endBySystem(); });
             ::raise(SIGTERM);
         },
         None, true, true, false},
#endif
    };
    const int lines = 40000;
    const std::string source = numbered(lines);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.answer == Yes ? ", Yes" : c.answer == No ? ", No" : ""));
        RunFixture f;
        frmConvert& w = f.window;
        f.choose(f.write(QStringLiteral("in.csv"), source));
        f.columns({1, 2, 3});
        f.output(QStringLiteral("out.csv"));
        w.setSliceDuration(std::chrono::milliseconds(0));
        if (c.answer != None)
            f.messages.answers.push_back(c.answer == Yes);
        bool wentOnWhileAsked = false;
        f.messages.onShow = [&](const platform::RecordedMessage& m) {
            if (m.flags != 36)
                return;
            const QString before = f.ui.txt件数->text();
            QElapsedTimer waited;
            waited.start();
            while (f.ui.txt件数->text() == before && waited.elapsed() < 5000)
                QCoreApplication::processEvents();
            wentOnWhileAsked = f.ui.txt件数->text() != before;
        };
        // Once lines have reached the file, the stop is asked for.
        bool greyed = false;
        QTimer trigger;
        QObject::connect(&trigger, &QTimer::timeout, [&] {
            if (QFileInfo(f.path(QStringLiteral("out.csv"))).size() == 0)
                return;
            trigger.stop();
            greyed = w.conversionRunning() && !f.ui.cmd開始->isEnabled();
            c.act(w);
        });
        trigger.start(0);
        w.cmd開始_Click();

        EXPECT_TRUE(greyed);
        EXPECT_TRUE(f.ui.cmd開始->isEnabled() && !w.conversionRunning());
        EXPECT_EQ(f.endCalls, c.ends ? 1 : 0);
        std::vector<platform::RecordedMessage> questions, results;
        for (const auto& m : f.messages.messages)
            (m.flags == 36 ? questions : results).push_back(m);
        ASSERT_EQ(questions.size(), c.answer == None ? 0u : 1u);
        if (c.answer != None) {
            EXPECT_EQ(questions[0].prompt, QStringLiteral("変換を中止しますか？"));
            EXPECT_EQ(questions[0].title, QStringLiteral("Tolvane"));
            EXPECT_TRUE(wentOnWhileAsked);
        }
        if (!c.stops) {
            EXPECT_EQ(f.read(QStringLiteral("out.csv")), source);
            ASSERT_EQ(results.size(), 1u);
            EXPECT_EQ(results[0].prompt, QStringLiteral(" %1件").arg(lines));
            continue;
        }
        EXPECT_EQ(f.read(QStringLiteral("out.csv")), "<missing>");
        const int read = f.ui.txt件数->text().toInt();
        EXPECT_TRUE(read > 0 && read < lines) << read;
        ASSERT_EQ(results.size(), c.tells ? 1u : 0u);
        if (c.tells) {
            EXPECT_EQ(results[0].flags, 48);
            EXPECT_EQ(results[0].title, QStringLiteral("Tolvane"));
            EXPECT_EQ(results[0].prompt,
                      QStringLiteral("%1行目まで読んだところで変換を中止しました。出力ファイル「%2」には何も"
                                     "書き込んでいません。")
                          .arg(read)
                          .arg(QDir::toNativeSeparators(f.path(QStringLiteral("out.csv")))));
        }
        // Outside a run, Esc asks nothing.
        esc(w);
        EXPECT_EQ(f.messages.messages.size(), questions.size() + results.size());
    }
}

TEST(ConversionRun, FailuresAreReportedAndTheSourceIsNeverTouched)
{
    RunFixture f;
    frmConvert& w = f.window;
    const std::string bytes = numbered(20000);
    const QString in = f.write(QStringLiteral("in.csv"), bytes);
    f.choose(in);
    f.columns({2, 1});
    const auto expectRefusal = [&](const QString& containing) {
        ASSERT_FALSE(f.messages.messages.empty());
        const auto& m = f.messages.messages.back();
        EXPECT_EQ(m.flags, 48);
        EXPECT_EQ(m.title, QStringLiteral("Tolvane"));
        EXPECT_TRUE(m.prompt.contains(containing)) << m.prompt.toStdString();
        EXPECT_EQ(f.read(in), bytes);
    };

    // The output is the source, however the path is written.
    for (const QString& same : f.sameFileNames(QStringLiteral("in.csv"))) {
        f.global.sOutFile = same;
        w.cmd開始_Click();
        expectRefusal(QStringLiteral("変換元ファイルと同じ"));
    }

    // A missing source: reported before the old output is deleted.
    f.write(QStringLiteral("old.csv"), "old\r\n");
    f.output(QStringLiteral("old.csv"));
    f.probe.sInFile() = f.path(QStringLiteral("gone.csv"));
    w.cmd開始_Click();
    expectRefusal(QStringLiteral("gone.csv"));
    EXPECT_EQ(f.read(QStringLiteral("old.csv")), "old\r\n");
    f.probe.sInFile() = in;

    // A missing output folder.
    f.output(QStringLiteral("no-folder/out.csv"));
    w.cmd開始_Click();
    expectRefusal(QStringLiteral("no-folder"));
    EXPECT_FALSE(f.lastPrompt().contains(QStringLiteral("件\n")));
}

TEST(ConversionRun, AFullDiskIsReported)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    RunFixture f;
    const std::string bytes = numbered(20000);
    const QString in = f.write(QStringLiteral("in.csv"), bytes);
    f.choose(in);
    f.columns({2, 1});
    // The run stops, names the file and the lines written; no closing message.
    QFile::link(QStringLiteral("/dev/full"), f.path(QStringLiteral("full.csv")));
    f.output(QStringLiteral("full.csv"));
    f.window.cmd開始_Click();
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].flags, 48);
    EXPECT_TRUE(f.lastPrompt().contains(QStringLiteral("full.csv"))) << f.lastPrompt().toStdString();
    EXPECT_TRUE(f.lastPrompt().contains(QStringLiteral("何も書き込まない")));
    EXPECT_TRUE(QFileInfo(f.path(QStringLiteral("full.csv"))).isSymLink());
    EXPECT_EQ(f.read(in), bytes);
}

TEST(ConversionRun, AReadOnlyOutputIsReported)
{
    RunFixture f;
    frmConvert& w = f.window;
    const std::string bytes = numbered(10);
    const QString in = f.write(QStringLiteral("in.csv"), bytes);
    f.choose(in);
    f.columns({1});
#ifdef _WIN32
    // Windows has no read-only folders, but read-only files: the old output cannot be
    // replaced.
    const QString locked = f.write(QStringLiteral("locked.csv"), "old\r\n");
    QFile::setPermissions(locked, QFile::ReadOwner);
    f.global.sOutFile = locked;
    w.cmd開始_Click();
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].flags, 48);
    EXPECT_TRUE(f.messages.messages[0].prompt.contains(QStringLiteral("locked.csv")));
    EXPECT_EQ(f.read(locked), "old\r\n");
    EXPECT_EQ(f.read(in), bytes);
#else
    const QString locked = f.path(QStringLiteral("locked"));
    QDir().mkdir(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    // Root writes into read-only folders all the same; the immutable attribute stops it.
    bool immutable = false;
    if (::access(locked.toLocal8Bit().constData(), W_OK) == 0)
        immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), locked}) == 0;
    const bool enforced = ::access(locked.toLocal8Bit().constData(), W_OK) != 0;
    if (enforced) {
        f.global.sOutFile = locked + QStringLiteral("/out.csv");
        w.cmd開始_Click();
        ASSERT_EQ(f.messages.messages.size(), 1u);
        EXPECT_EQ(f.messages.messages[0].flags, 48);
        EXPECT_TRUE(f.messages.messages[0].prompt.contains(QStringLiteral("locked")));
    }
    if (immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), locked});
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(f.read(in), bytes);
    if (!enforced)
        GTEST_SKIP() << "permissions are not enforced for this user";
#endif
}

TEST(ConversionRun, ABusyOutputIsLeftAlone)
{
    RunFixture f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("in.csv"), numbered(20000)));
    f.columns({2, 1});
    f.output(QStringLiteral("out.csv"));

    // Another run holds the output.
    f.write(QStringLiteral("out.csv"), "another run's line\r\n");
    {
        os::NativeFile::OpenError error;
        os::NativeFile other =
            os::NativeFile::openAppend(platform::toPath(f.path(QStringLiteral("out.csv"))), false, error);
        ASSERT_EQ(other.tryLock(), os::NativeFile::Lock::Taken);
        w.cmd開始_Click();
        EXPECT_TRUE(f.lastPrompt().contains(QStringLiteral("別の変換が書き込んでいます")))
            << f.lastPrompt().toStdString();
        EXPECT_EQ(f.read(QStringLiteral("out.csv")), "another run's line\r\n");
    }
}

TEST(ConversionRun, AFailedWriteKeepsWholeLines)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no limit on a file's size to make a write fail part way";
#else
    RunFixture f;
    frmConvert& w = f.window;
    f.choose(f.write(QStringLiteral("in.csv"), numbered(20000)));
    f.columns({2, 1});
    f.output(QStringLiteral("out.csv"));

    // The disk fills after about 100 kB: the file keeps whole lines, and the message,
    // 処理件数 and the file agree on how many.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 100003;
    setrlimit(RLIMIT_FSIZE, &limited);
    w.cmd開始_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    const std::string out = f.read(QStringLiteral("out.csv"));
    const auto lines = std::count(out.begin(), out.end(), '\n');
    EXPECT_TRUE(out.ends_with("\r\n"));
    EXPECT_GT(lines, 1000);
    EXPECT_TRUE(f.lastPrompt().contains(QStringLiteral("%1件を書き込んだ").arg(lines))) << f.lastPrompt().toStdString();
    EXPECT_EQ(f.ui.txt件数->text(), QString::number(lines));
#endif
}

TEST(ConversionRun, LongLinesShowWholeFromTheirBeginningAndANewListFromTheTop)
{
    RunFixture f;
    frmConvert& w = f.window;
    std::string items;
    for (int i = 1; i <= 500; ++i)
        items += (i > 1 ? "," : "") + std::to_string(i);
    const std::string longItem(40000, 'x');
    f.choose(f.write(QStringLiteral("in.csv"), items + "\r\nhead," + longItem + "\r\n"));
    f.columns({2});
    f.output(QStringLiteral("out.csv"));
    w.cmd開始_Click();
    for (QLineEdit* box : {f.ui.txtCSV[0], f.ui.txtCSV[1]}) {
        EXPECT_EQ(box->cursorPosition(), 0);
        EXPECT_GE(box->text().size(), 40000);
    }
    // Scrolled to the end of the list, then the source is chosen again.
    f.ui.List[0]->scrollToBottom();
    ASSERT_GT(f.ui.List[0]->verticalScrollBar()->value(), 0);
    f.choose(f.probe.sInFile());
    EXPECT_EQ(f.ui.List[0]->verticalScrollBar()->value(), 0);
}

} // namespace
