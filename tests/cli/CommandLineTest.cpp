#include "support/ProgramRun.h"
#include "support/TempFolder.h"

#include "platform/Cp932.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <map>
#include <optional>
#include <random>
#include <set>

#include <gtest/gtest.h>

namespace {

using namespace program;

// QProcess passes arguments as UTF-8, so bytes that are not UTF-8 go through a shell:
// printf makes the value of -d from octal escapes, put right after the command word.
// Windows hands arguments over as UTF-16, where such bytes cannot arise; its text that is
// not text is a lone surrogate.
Result tolvaneRawDelimiter(const char* octal, const QStringList& args)
{
#ifdef _WIN32
    Q_UNUSED(octal);
    return tolvane(QStringList{args[0], QStringLiteral("-d"), QString(QChar(0xD800))} + args.mid(1));
#endif
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("d=$(printf \"$1\"); shift; c=$1; shift; exec \"$0\" \"$c\" -d \"$d\" \"$@\""),
                        binary(), QString::fromLatin1(octal)} +
                args);
    return finish(p, QByteArray());
}

const std::string kSource = "no,name,price\r\n1,\x83\x5C\x83\x74\x83\x67,\"1,000\"\r\n2,\x83\x7C,80\r\n";

TEST(CommandLine, ConvertsWithColumnsTabAndSkip)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    const QString out = f.path(QStringLiteral("out.csv"));
    Result r = tolvane({QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("3,1"), in, out});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(f.read(out), "price,no\r\n\"1,000\",1\r\n80,2\r\n");
    EXPECT_TRUE(r.err.contains(QStringLiteral("3件"))) << r.err.toStdString();

    r = tolvane({QStringLiteral("convert"), QStringLiteral("--columns"), QStringLiteral("2,2"), QStringLiteral("--tab"),
                 QStringLiteral("--skip-first-line"), in, out});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(f.read(out), "\x83\x5C\x83\x74\x83\x67\t\x83\x5C\x83\x74\x83\x67\r\n\x83\x7C\t\x83\x7C\r\n");

    // A typed delimiter is taken as it stands, a space too; 0x7F is itself, not 0x1C.
    const struct {
        QString delimiter;
        std::string source;
    } typed[] = {
        {QStringLiteral(";"), "a;b;c\r\n"},
        {QStringLiteral(" "), "a b c\r\n"},
        // Kept on one line: a hex escape ends only where its literal does.
        // clang-format off
        {QStringLiteral("\x7F"), "a\x7F" "b\x1C" "x\x7F" "c\r\n"},
        {QStringLiteral("、"), "a\x81\x41" "b\x81\x41" "c\r\n"},
        {QStringLiteral("ｱ"), "a\xB1" "b\xB1" "c\r\n"},
        // clang-format on
    };
    for (const auto& t : typed) {
        const QString source = f.write(QStringLiteral("typed.txt"), t.source);
        r = tolvane({QStringLiteral("convert"), QStringLiteral("-d"), t.delimiter, QStringLiteral("-c"),
                     QStringLiteral("3,1"), source, out});
        EXPECT_EQ(r.exit, 0) << r.err.toStdString();
        EXPECT_EQ(f.read(out), "c,a\r\n") << t.source;
    }

    // Standard input and output.
    r = tolvane({QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-"),
                 QStringLiteral("-")},
                QByteArray("x\ty\r\nz\tw\r\n"));
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, QByteArray("y\r\nw\r\n"));
}

TEST(CommandLine, DefinitionsAreReadAsTheWindowReadsThem)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    const QString out = f.path(QStringLiteral("out.csv"));
    // A negative line names no column; a fraction rounds half to even (2.5 -> 2).
    const QString def = f.write(QStringLiteral("cols.def"), "CSV\r\n3\r\n-1\r\n2.5\r\n");
    Result r = tolvane({QStringLiteral("convert"), QStringLiteral("-f"), def, in, out});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(f.read(out), "price,name\r\n\"1,000\",\x83\x5C\x83\x74\x83\x67\r\n80,\x83\x7C\r\n");

    const QString notDef = f.write(QStringLiteral("not.def"), "csv\r\n1\r\n");
    r = tolvane({QStringLiteral("convert"), QStringLiteral("-f"), notDef, in, out});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not.def")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("定義ファイルではありません")));
    r = tolvane({QStringLiteral("convert"), QStringLiteral("-f"), f.path(QStringLiteral("none.def")), in, out});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("none.def")));
}

// Columns beyond the first line are named on stderr and converted, unless --strict, which
// writes nothing and leaves an earlier output as it was.
TEST(CommandLine, ColumnsBeyondTheFirstLineAreNamed)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    const QString out = f.write(QStringLiteral("out.csv"), "earlier\r\n");
    const QString def = f.write(QStringLiteral("wide.def"), "CSV\r\n1\r\n5\r\n3\r\n5\r\n");
    const QString warning = QStringLiteral("出力列 5 は元データにありません。最後の項目が出力されます。");
    const struct {
        QStringList options;
        int exit;
        std::string output;
    } cases[] = {
        {{QStringLiteral("--strict"), QStringLiteral("-f"), def}, 1, "earlier\r\n"},
        {{QStringLiteral("-d"), QStringLiteral(","), QStringLiteral("--strict"), QStringLiteral("-c"),
          QStringLiteral("1,5")},
         1,
         "earlier\r\n"},
        {{QStringLiteral("-f"), def}, 0, "no,price,price,price\r\n1,\"1,000\",\"1,000\",\"1,000\"\r\n2,80,80,80\r\n"},
    };
    for (const auto& c : cases) {
        const Result r = tolvane(QStringList{QStringLiteral("convert")} + c.options + QStringList{in, out});
        EXPECT_EQ(r.exit, c.exit) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(warning)) << r.err.toStdString();
        EXPECT_EQ(f.read(out), c.output);
    }
    // Columns that fit say nothing of the kind, --strict or not.
    const Result r = tolvane(
        {QStringLiteral("convert"), QStringLiteral("--strict"), QStringLiteral("-c"), QStringLiteral("3,1"), in, out});
    EXPECT_EQ(r.exit, 0);
    EXPECT_FALSE(r.err.contains(QStringLiteral("元データにありません")));
    EXPECT_TRUE(tolvane({QStringLiteral("--help")}).out.contains("--strict"));
}

// -n picks items by the first line's names: enclosing quotes and a byte order mark are no
// part of a name; a name the line lacks or holds twice stops with the line's names listed.
TEST(CommandLine, ColumnsByName)
{
    TempFolder f;
    const QString out = f.write(QStringLiteral("out.csv"), "earlier\r\n");
    // "商品コード",品名,価格 in UTF-8 with a byte order mark; the same in code page 932.
    const std::string utf8 = "\xEF\xBB\xBF\"\xE5\x95\x86\xE5\x93\x81\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89\","
                             "\xE5\x93\x81\xE5\x90\x8D,\xE4\xBE\xA1\xE6\xA0\xBC\r\nA1,x,10\r\n";
    const std::string cp932 =
        "\"\x8F\xA4\x95\x69\x83\x52\x81\x5B\x83\x68\",\x95\x69\x96\xBC,\x89\xBF\x8A\x69\r\nA1,x,10\r\n";
    const std::string twice = "id,name,name\r\n1,a,b\r\n";
    const QString names = QStringLiteral("価格,商品コード,価格");
    const struct {
        std::string source;
        QString names;
        int exit;
        std::string output;
        QString said;
    } cases[] = {
        {utf8, names, 0,
         "\xEF\xBB\xBF\xE4\xBE\xA1\xE6\xA0\xBC,\"\xE5\x95\x86\xE5\x93\x81\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89\","
         "\xE4\xBE\xA1\xE6\xA0\xBC\r\n10,A1,10\r\n",
         QStringLiteral("2件")},
        {cp932, names, 0,
         "\x89\xBF\x8A\x69,\"\x8F\xA4\x95\x69\x83\x52\x81\x5B\x83\x68\",\x89\xBF\x8A\x69\r\n10,A1,10\r\n",
         QStringLiteral("2件")},
        {utf8, QStringLiteral("価格,単価"), 2, "earlier\r\n", QStringLiteral("「単価」は先頭行にありません")},
        {twice, QStringLiteral("id,name"), 2, "earlier\r\n", QStringLiteral("「name」は先頭行に二つ以上")},
    };
    for (const auto& c : cases) {
        f.write(QStringLiteral("out.csv"), "earlier\r\n");
        const QString in = f.write(QStringLiteral("in.csv"), c.source);
        const Result r = tolvane({QStringLiteral("convert"), QStringLiteral("--names"), c.names, in, out});
        EXPECT_EQ(r.exit, c.exit) << r.err.toStdString();
        EXPECT_EQ(f.read(out), c.output) << c.names.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        if (c.exit != 0) { // the line's names, for the user to choose from
            EXPECT_TRUE(r.err.contains(QStringLiteral("先頭行の項目名:\n  1\t")) &&
                        r.err.contains(QStringLiteral("  2\t")))
                << r.err.toStdString();
        }
    }
    // One way of naming columns at a time.
    const QString in = f.write(QStringLiteral("in.csv"), twice);
    EXPECT_EQ(tolvane({QStringLiteral("convert"), QStringLiteral("-n"), QStringLiteral("id"), QStringLiteral("-c"),
                       QStringLiteral("1"), in, out})
                  .exit,
              2);
}

// Many sources into a folder: each under its own name (or with the suffix), one summary line
// each, the others converted when one fails; two sources of one output name write nothing.
TEST(CommandLine, ManySourcesIntoAFolder)
{
    TempFolder f;
    QDir().mkpath(f.path(QStringLiteral("sub")));
    const QString a = f.write(QStringLiteral("a.csv"), "x,y\r\n1,2\r\n");
    const QString b = f.write(QStringLiteral("sub/b.txt"), "x\ty\r\n");
    const QString dir = f.path(QStringLiteral("out"));
    QDir().mkpath(dir);
    const QString convert = QStringLiteral("convert"), cols = QStringLiteral("-c"), two = QStringLiteral("2,1");
    const QString outputDir = QStringLiteral("--output-dir");
    Result r = tolvane({convert, cols, two, a, f.path(QStringLiteral("gone.csv")), b, outputDir, dir});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(f.read(dir + QStringLiteral("/a.csv")), "y,x\r\n2,1\r\n");
    EXPECT_EQ(f.read(dir + QStringLiteral("/b.txt")), "y,x\r\n");
    const QStringList said = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(said.size(), 3) << r.err.toStdString();
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("a.csv: ")) && said[0].contains(QStringLiteral("2件")));
    EXPECT_TRUE(said[1].startsWith(QStringLiteral("gone.csv: ")) && said[1].contains(QStringLiteral("見つかりません")));
    EXPECT_TRUE(said[2].startsWith(QStringLiteral("b.txt: ")) && said[2].contains(QStringLiteral("1件")));

    r = tolvane({convert, cols, two, a, b, outputDir, dir, QStringLiteral("--suffix"), QStringLiteral("_月次")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(f.read(dir + QStringLiteral("/a_月次.csv")), "y,x\r\n2,1\r\n");
    EXPECT_EQ(f.read(dir + QStringLiteral("/b_月次.txt")), "y,x\r\n");

    // Refused before anything is written.
    const QString a2 = f.write(QStringLiteral("sub/a.csv"), "p,q\r\n");
    for (const QStringList& refused :
         {QStringList{convert, cols, two, b, a, a2, outputDir, dir, QStringLiteral("--suffix"), QStringLiteral("_2")},
          QStringList{convert, cols, two, QStringLiteral("-"), outputDir, dir},
          QStringList{convert, cols, two, a, QStringLiteral("--suffix"), QStringLiteral("_2")}}) {
        r = tolvane(refused);
        EXPECT_EQ(r.exit, 2) << r.err.toStdString();
    }
    EXPECT_EQ(f.read(dir + QStringLiteral("/b_2.txt")), "<missing>");
}

TEST(CommandLine, FailuresAndUsageErrors)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    const QString out = f.path(QStringLiteral("out.csv"));
    const QString c = QStringLiteral("convert");
    const QString cols = QStringLiteral("-c");
    const QString d = QStringLiteral("-d");
    const QString detect = QStringLiteral("detect");
    struct Usage {
        QStringList args;
        const char* rawDelimiter = nullptr; // octal escapes for printf
    } usages[] = {
        {{c, in, out}},                                                      // no columns
        {{c, cols, QStringLiteral("1"), QStringLiteral("-f"), in, in, out}}, // both
        {{c, cols, QStringLiteral("0"), in, out}},                           // not an item number
        {{c, cols, QStringLiteral("x"), in, out}},
        {{c, cols, QStringLiteral("1"), in}}, // no output
        {{c, cols, QStringLiteral("1"), QStringLiteral("--bogus"), in, out}},
#ifdef TOLVANE_BINARY_NAME
        {{QStringLiteral("frobnicate")}}, // the console program has nothing but commands
#else
        // Words that are no command go to the window, which refuses what it cannot open,
        // after Qt has taken its own options.
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus")}},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), in, out}},
#endif
        {{detect}},
        // Delimiters that could never match.
        {{c, cols, QStringLiteral("1"), d, QString(), in, out}},
        {{c, cols, QStringLiteral("1"), d, QStringLiteral("abc"), in, out}},
        {{c, cols, QStringLiteral("1"), d, QStringLiteral(" ; "), in, out}},
        {{detect, d, QStringLiteral("¥"), in}}, // no code page 932 form
        {{detect, d, QString::fromUtf8("\xF0\x9F\x98\x80"), in}},
        {{c, cols, QStringLiteral("1"), in, out}, "\\201"},      // not UTF-8
        {{c, cols, QStringLiteral("1"), in, out}, "\\203\\134"}, // ソ's code page 932 bytes
        {{detect, in}, "\\261"},
    };
    for (const auto& u : usages) {
        const Result r = u.rawDelimiter ? tolvaneRawDelimiter(u.rawDelimiter, u.args) : tolvane(u.args);
        EXPECT_EQ(r.exit, 2) << u.args.join(' ').toStdString() << (u.rawDelimiter ? u.rawDelimiter : "");
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.contains(QStringLiteral("-platform")));
    }
    EXPECT_EQ(f.read(out), "<missing>");

    // A missing source: the old output is left alone.
    f.write(QStringLiteral("out.csv"), "old");
    Result r = tolvane({c, cols, QStringLiteral("1"), f.path(QStringLiteral("gone.csv")), out});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("gone.csv")));
    EXPECT_EQ(f.read(out), "old");

    // The output is the source, however written, standard input too; or the definition file.
    for (const QString& same : f.sameFileNames(QStringLiteral("in.csv"))) {
        r = tolvane({c, cols, QStringLiteral("1"), in, same});
        EXPECT_EQ(r.exit, 1) << same.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("同じ")));
    }
    r = tolvane({c, cols, QStringLiteral("1"), QStringLiteral("-"), in}, QByteArray(), QString(), in);
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("同じ")));
    const QString def = f.write(QStringLiteral("x.def"), "CSV\r\n2\r\n");
    r = tolvane({c, QStringLiteral("-f"), def, in, def});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("定義ファイルと同じ")));
    EXPECT_EQ(f.read(in), kSource);
    EXPECT_EQ(f.read(def), "CSV\r\n2\r\n");

    r = tolvane({c, cols, QStringLiteral("1"), in, f.path(QStringLiteral("no-folder/out.csv"))});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no-folder")));

    r = tolvane({QStringLiteral("--help")});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(QFileInfo(binary()).completeBaseName() + QStringLiteral(" convert")));
    r = tolvane({QStringLiteral("--version")});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "tolvane " TOLVANE_VERSION "\n"); // the project's version, from CMake
}

// The usage tells only what this program does, and its descriptions stand in one column
// whatever the program is called: the commands' (continued lines too) and the options'.
TEST(CommandLine, UsageFitsTheProgram)
{
    const QString name = QFileInfo(binary()).completeBaseName();
    const QStringList lines = QString::fromUtf8(tolvane({QStringLiteral("--help")}).out).split(QLatin1Char('\n'));
#ifdef _WIN32
    const bool window = false; // tolvane-cli.exe; tolvane.exe is the window
#else
    const bool window = true;
#endif
    EXPECT_EQ(lines.filter(QStringLiteral("[FILE]")).size(), window ? 1 : 0);
    EXPECT_EQ(lines.filter(QStringLiteral("メインウィンドウ")).size(), window ? 1 : 0);
    std::map<bool, std::set<qsizetype>> columns; // by command (true) or option (false)
    for (const QString& line : lines) {
        qsizetype lead = 0;
        while (lead < line.size() && line[lead] == QLatin1Char(' '))
            ++lead;
        // A description continued alone stands far in; left sides hold no two blanks in a row.
        const bool continued = lead > 10;
        qsizetype column = continued ? lead : line.indexOf(QLatin1String("  "), lead);
        if (lead == 0 || column < 0)
            continue;
        while (column < line.size() && line[column] == QLatin1Char(' '))
            ++column;
        columns[continued || line.startsWith(QStringLiteral("  %1 ").arg(name))].insert(column);
    }
    EXPECT_EQ(columns[true].size(), 1u) << lines.join('\n').toStdString();
    EXPECT_EQ(columns[false].size(), 1u) << lines.join('\n').toStdString();
}

TEST(CommandLine, AFullDiskIsAFailure)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    QFile::link(QStringLiteral("/dev/full"), f.path(QStringLiteral("full.csv")));
    Result r = tolvane(
        {QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("1"), in, f.path(QStringLiteral("full.csv"))});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("full.csv")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("書き込めません")));

    // Output of its own that cannot be written is a failure, said on standard error.
    for (const QStringList& args : {QStringList{QStringLiteral("detect"), in}, QStringList{QStringLiteral("--help")},
                                    QStringList{QStringLiteral("--version")}}) {
        r = tolvane(args, QByteArray(), f.path(QStringLiteral("full.csv")));
        EXPECT_EQ(r.exit, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("書き込めません"))) << args.join(' ').toStdString();
    }
}

TEST(CommandLine, DetectPrintsTheDelimiterAndNumberedItems)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), kSource);
    Result r = tolvane({QStringLiteral("detect"), in});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("区切文字\t,\n1\tno\n2\tname\n3\tprice\n"));
    const QString tabs = f.write(QStringLiteral("t.txt"), "\x95\x5C\t\t\x83\x7C\r\n");
    r = tolvane({QStringLiteral("detect"), tabs});
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("区切文字\tTAB\n1\t表\n2\t\n3\tポ\n"));
    r = tolvane({QStringLiteral("detect"), QStringLiteral("-d"), QStringLiteral("|"), QStringLiteral("-")},
                QByteArray("a|\x83\x7C|b\r\n"));
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("区切文字\t|\n1\ta\n2\tポ\n3\tb\n"));
    r = tolvane({QStringLiteral("detect"), f.write(QStringLiteral("empty.csv"), "")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("empty.csv")));
}

// Long items are decoded some 64 KiB at a time: the text printed is the whole item's,
// whatever bytes stand where two pieces meet (characters, bytes that form none, runs of
// UTF-8 continuation bytes).
TEST(CommandLine, DetectPrintsLongItemsAsDecodedWhole)
{
    TempFolder f;
    const struct {
        const char* encoding;
        engine::Encoding e;
        std::vector<std::string> pieces;
    } cases[] = {
        {"utf-8",
         engine::Encoding::Utf8,
         {"a", "\xE3\x81\x82", "\xF0\x9F\x98\x80", "\xE3\x81", "\x80", "\xC3", "\xFF"}},
        {"cp932", engine::Encoding::Cp932, {"a", "\x95\x5C", "\xB1", "\x83", "\x81\x41", "\x80", "\xFD"}},
    };
    std::mt19937 random(5);
    for (const auto& c : cases) {
        std::string line;
        QString expected = QStringLiteral("区切文字\t|\n");
        for (int n = 1; n <= 9; ++n) {
            std::string item;
            const std::size_t size = n == 9 ? 150000 : 65536 + random() % 100000;
            while (item.size() < size)
                item += n == 9 ? "\x80" : c.pieces[random() % c.pieces.size()];
            item += "a"; // a lead byte would take the delimiter for its trail byte
            line += (n > 1 ? "|" : "") + item;
            expected += QString::number(n) + QLatin1Char('\t') + platform::decodeSource(item, c.e) + QLatin1Char('\n');
        }
        const QString in = f.write(QStringLiteral("long.txt"), line + "\r\n");
        const Result r = tolvane({QStringLiteral("detect"), QStringLiteral("-d"), QStringLiteral("|"),
                                  QStringLiteral("-e"), QString::fromLatin1(c.encoding), in});
        EXPECT_EQ(r.exit, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out == expected.toUtf8()) << c.encoding;
    }
}

// UTF-8 sources: taken for UTF-8 by themselves, or as chosen with -e; "|" after あ splits
// only when read as UTF-8; a byte order mark is no part of item 1 and starts the output.
TEST(CommandLine, Utf8SourcesAndTheEncodingOption)
{
    TempFolder f;
    const std::string bom = "\xEF\xBB\xBF";
    const QString in = f.write(QStringLiteral("u.csv"), bom + "\xE3\x81\x82|\xE8\xA1\xA8|c\r\n1|2|3\r\n");
    const QString out = f.path(QStringLiteral("out.csv"));
    const QString detect = QStringLiteral("detect"), d = QStringLiteral("-d"), e = QStringLiteral("-e");
    const struct {
        QStringList args;
        QString printed;
    } detections[] = {
        {{detect, d, QStringLiteral("|"), in}, QStringLiteral("区切文字\t|\n1\tあ\n2\t表\n3\tc\n")},
        {{detect, d, QStringLiteral("|"), e, QStringLiteral("utf-8"), QStringLiteral("-")},
         QStringLiteral("区切文字\t|\n1\tあ\n2\t表\n3\tc\n")},
        // As code page 932, the mark and あ are other characters and "|" after them a trail byte.
        {{detect, d, QStringLiteral("|"), e, QStringLiteral("cp932"), in}, QStringLiteral("区切文字\t|\n1\t")},
    };
    for (const auto& c : detections) {
        const Result r =
            tolvane(c.args, QByteArray(), QString(), c.args.contains(QStringLiteral("-")) ? in : QString());
        EXPECT_EQ(r.exit, 0) << r.err.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.out).startsWith(c.printed)) << r.out.toStdString();
    }
    Result r = tolvane(
        {QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("3,1"), d, QStringLiteral("|"), in, out});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(f.read(out), bom + "c,\xE3\x81\x82\r\n3,1\r\n");
    r = tolvane(
        {QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("1"), e, QStringLiteral("latin1"), in, out});
    EXPECT_EQ(r.exit, 2);
    // A delimiter that code page 932 cannot write serves a UTF-8 source.
    const QString emoji = f.write(QStringLiteral("e.csv"), "a\xF0\x9F\x98\x80\xE3\x81\x82\r\n");
    r = tolvane({detect, d, QString::fromUtf8("\xF0\x9F\x98\x80"), emoji});
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("区切文字\t😀\n1\ta\n2\tあ\n"));
}

// A shell script run in a fresh folder holding s.csv, old.csv and x.def, with $T the
// program: pipes, redirections, limits and signals as a user's shell gives them.
TEST(CommandLine, EdgesOfInputAndDisk)
{
#ifdef _WIN32
    GTEST_SKIP() << "shell scripts with named pipes, ulimit, prlimit, /proc and signals";
#endif
    struct Case {
        const char* script;
        int exit;
        const char* says; // in standard error
        const char* file;
        const char* content; // of `file` afterwards; nullptr: the file must not exist
    } cases[] = {
        // A named pipe is opened once, as source, definition file, and for detect.
        {"mkfifo p; printf 'x,y\\r\\nz,w\\r\\n' > p & timeout 10 \"$T\" convert -c 2 p out.csv", 0, "2件", "out.csv",
         "y\r\nw\r\n"},
        {"mkfifo d; printf 'CSV\\r\\n2\\r\\n' > d & timeout 10 \"$T\" convert -f d s.csv out.csv", 0, "2件", "out.csv",
         "b\r\nd\r\n"},
        {"mkfifo p; printf 'x|y\\r\\n' > p & timeout 10 \"$T\" detect -d '|' p > out.txt", 0, "", "out.txt",
         "区切文字\t|\n1\tx\n2\ty\n"},
        // Sources and outputs that are the same file; sources whose first read fails.
        {"\"$T\" convert -c 1 - s.csv < s.csv", 1, "同じ", "s.csv", "a,b\r\nc,d\r\n"},
        {"\"$T\" convert -f x.def s.csv x.def", 1, "定義ファイルと同じ", "x.def", "CSV\r\n2\r\n"},
        {"\"$T\" convert -c 1 /proc/self/mem old.csv", 1, "読み込めません", "old.csv", "old\r\n"},
        {"\"$T\" convert -c 1 - old.csv < .", 1, "ファイルではありません", "old.csv", "old\r\n"},
        // No line break at all: the line limit, or memory running out first.
        {"ulimit -v 4000000; \"$T\" convert -c 1 /dev/zero old.csv", 1, "1行目が長すぎます", "old.csv", "old\r\n"},
        {"ulimit -v 700000; \"$T\" convert -c 1 /dev/zero old.csv", 1, "メモリが足りない", "old.csv", "old\r\n"},
        // A full disk half way: the earlier output stays, no temporary file is left.
        {"seq 1 100000 | sed 's/$/,text\\r/' > big.csv; trap '' XFSZ; prlimit --fsize=100000 \"$T\" convert -c 2,1 "
         "big.csv old.csv",
         1, "書き込めません", "old.csv", "old\r\n"},
        // Interrupted while it waits for more input: the temporary file goes, the output stays.
        {"mkfifo p; (printf 'a,b%070000d\\r\\n' 0; sleep 5) > p & \"$T\" convert -c 1 p old.csv & sleep 1; ls -A | grep -q "
         "'^\\.old\\.csv\\.tolvane-' || exit 9; kill -TERM $!; wait $!; exit $?",
         143, "", "old.csv", "old\r\n"},
        {"mkfifo p; (printf 'a,b%070000d\\r\\n' 0; sleep 5) > p & \"$T\" convert -c 1 p new.csv & sleep 1; kill -USR1 $!; wait $!",
         138, "", "new.csv", nullptr},
        {"seq 1 100000 | sed 's/$/,text\\r/' > big.csv; ulimit -f 50; \"$T\" convert -c 2,1 big.csv old.csv", 1,
         "書き込めません", "old.csv", "old\r\n"},
        // Two runs into one output: the second is refused, the first completes.
        {"mkfifo p; (printf 'a,b%070000d\\r\\n' 0; sleep 2) > p & \"$T\" convert -c 1 p out.csv & sleep 1; \"$T\" "
         "convert -c 2 s.csv out.csv; r=$?; wait $!; exit $r",
         1, "別の変換が書き込んでいます", "out.csv", "a\r\n"},
        // An output someone else replaces during the run is left as they made it.
        {"mkfifo p; (printf 'a,b%070000d\\r\\n' 0; sleep 2) > p & \"$T\" convert -c 1 p old.csv & sleep 1; rm old.csv; echo other > "
         "old.csv; wait $!",
         1, "置き換えられました", "old.csv", "other\n"},
        // The same into an output that did not exist, the first run claiming it only after
        // a second one began: one run is refused, the output is one run's whole.
        {"SHIM_LOCK_DELAY=2 LD_PRELOAD=$SHIM \"$T\" convert -c 1 s.csv new.csv 2>a.err & sleep 1; \"$T\" convert -c 2 "
         "s.csv new.csv; b=$?; wait $!; a=$?; grep -q 別の変換 a.err; exit $a$b$?",
         100, "", "new.csv", "b\r\nd\r\n"},
        // Whatever another user planted at a temporary name is left alone: a link to a
        // victim, a named pipe, a plain file, a lock, a definition file the run reads.
        {"echo keep > victim; ln -s victim old.csv.tolvane-tmp; ln -s victim .old.csv.tolvane-AAAAAA; "
         "SHIM_ENTROPY=1 LD_PRELOAD=$SHIM \"$T\" convert -c 2 s.csv old.csv && printf 'b\\r\\nd\\r\\n' | cmp - old.csv && "
         "rm .old.csv.tolvane-AAAAAA old.csv.tolvane-tmp",
         0, "2件", "victim", "keep\n"},
        {"mkfifo .old.csv.tolvane-AAAAAA old.csv.tolvane-tmp; SHIM_ENTROPY=1 LD_PRELOAD=$SHIM timeout 10 \"$T\" convert "
         "-c 2 s.csv old.csv && test -p .old.csv.tolvane-AAAAAA && test -p old.csv.tolvane-tmp && rm "
         ".old.csv.tolvane-AAAAAA old.csv.tolvane-tmp",
         0, "2件", "old.csv", "b\r\nd\r\n"},
        {"for t in .old.csv.tolvane-AAAAAA old.csv.tolvane-tmp; do echo planted > $t; chmod 666 $t; (flock -x 9; "
         "sleep 3) 9>>$t & done; sleep 0.5; SHIM_ENTROPY=1 LD_PRELOAD=$SHIM \"$T\" convert -c 2 s.csv old.csv; r=$?; "
         "cat .old.csv.tolvane-AAAAAA old.csv.tolvane-tmp > planted; rm .old.csv.tolvane-AAAAAA old.csv.tolvane-tmp; exit $r",
         0, "2件", "planted", "planted\nplanted\n"},
        {"cp x.def old.csv.tolvane-tmp; \"$T\" convert -f old.csv.tolvane-tmp s.csv old.csv && printf 'b\\r\\nd\\r\\n' | "
         "cmp - old.csv && mv old.csv.tolvane-tmp kept.def",
         0, "2件", "kept.def", "CSV\r\n2\r\n"},
        // A link or a pipe another user put at the output's name in a shared folder.
        {"mkdir sh; chmod 1777 sh; echo keep > victim; ln -s ../victim sh/o.csv; mkfifo sh/p.csv; chown -h 4242 "
         "sh/o.csv sh/p.csv; \"$T\" convert -c 2 s.csv sh/o.csv; a=$?; timeout 5 \"$T\" convert -c 2 s.csv sh/p.csv; "
         "exit $a$?",
         11, "別のユーザーが置いた", "victim", "keep\n"},
        // A leftover at the old temporary name, with truncation failing: never the output's start.
        {"printf 'leftover\\r\\n' > old.csv.tolvane-tmp; SHIM_TRUNCATE_FAILS=1 LD_PRELOAD=$SHIM \"$T\" convert -c 2 s.csv "
         "old.csv; r=$?; mv old.csv.tolvane-tmp left; exit $r",
         0, "2件", "old.csv", "b\r\nd\r\n"},
        // Permissions: a private output stays private; a new one follows the umask.
        {"chmod 600 old.csv; \"$T\" convert -c 2 s.csv old.csv && stat -c %a old.csv > mode", 0, "", "mode", "600\n"},
        {"umask 027; \"$T\" convert -c 2 s.csv new.csv && stat -c %a new.csv > mode", 0, "", "mode", "640\n"},
        // Names are bytes: \xff and the three bytes of U+FFFD name two different files.
        {"printf 'a,b\\r\\n' > \"$(printf 's\\377.csv')\"; printf 'x,y\\r\\n' > \"$(printf 's\\357\\277\\275.csv')\"; "
         "\"$T\" convert -c 2 \"$(printf 's\\377.csv')\" \"$(printf 'o\\376.csv')\" && \"$T\" convert -c 1 "
         "\"$(printf 's\\357\\277\\275.csv')\" \"$(printf 'o\\357\\277\\275.csv')\" && cat \"$(printf 'o\\376.csv')\" "
         "\"$(printf 'o\\357\\277\\275.csv')\" > out.csv && \"$T\" convert -c 1 \"$(printf 'no\\377.csv')\" o.csv; "
         "r=$?; rm \"$(printf 's\\377.csv')\" \"$(printf 'o\\376.csv')\"; exit $r",
         1, "no\\xFF.csv", "out.csv", "b\r\nx\r\n"},
        // Standard output and input in every spelling are the open streams.
        {"printf 'kept\\r\\n' > all.csv; for o in /dev/stdout /dev/fd/1 /proc/self/fd/1; do \"$T\" convert -c 2 s.csv $o "
         ">> all.csv || exit; done; \"$T\" convert -c 1 /dev/stdin all.csv < s.csv; \"$T\" convert -c 1 /dev/fd/0 - < "
         "s.csv >> all.csv",
         0, "", "all.csv", "a\r\nc\r\na\r\nc\r\n"},
        {"printf 'kept\\r\\n' > all.csv; for o in /dev/stdout /dev/fd/1 /proc/self/fd/1; do \"$T\" convert -c 2 s.csv $o "
         ">> all.csv || exit; done",
         0, "", "all.csv", "kept\r\nb\r\nd\r\nb\r\nd\r\nb\r\nd\r\n"},
        // A device or standard output is never said to be unchanged; a fragment on it is told.
        {"\"$T\" convert -c 1 s.csv /dev/full 2> err; r=$?; grep -q 元のまま err && exit 9; cat err >&2; exit $r", 1,
         "書き込めません", "s.csv", "a,b\r\nc,d\r\n"},
        {"seq 1 100000 | sed 's/$/,text\\r/' > big.csv; ulimit -f 50; \"$T\" convert -c 2,1 big.csv - > out.csv", 1,
         "途中までの行", "s.csv", "a,b\r\nc,d\r\n"},
        // A file system without locks converts, with a notice.
        {"SHIM_NO_LOCKS=1 LD_PRELOAD=$SHIM \"$T\" convert -c 2 s.csv old.csv", 0, "ロックせずに", "old.csv",
         "b\r\nd\r\n"},
        // An output path a few bytes short of the limit still takes a temporary file beside it.
        {"p=$PWD; while [ ${#p} -lt 3850 ]; do p=$p/$(printf '%0200d' 0); done; mkdir -p \"$p\"; "
         "o=$p/$(printf \"%0$((4090 - ${#p} - 1))d\" 0); \"$T\" convert -c 2 s.csv \"$o\" && cat \"$o\" > out.csv; "
         "r=$?; rm -rf 0*; exit $r",
         0, "2件", "out.csv", "b\r\nd\r\n"},
        // Without a display an unknown option is a usage error, not a crash.
        {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"$T\" --bogus", 2, "不明なオプション", "s.csv",
         "a,b\r\nc,d\r\n"},
    };
    std::optional<QTemporaryDir> dir;
    for (const auto& c : cases) {
        {
            dir.emplace();
            for (const auto& [name, bytes] :
                 {std::pair{"s.csv", "a,b\r\nc,d\r\n"}, {"old.csv", "old\r\n"}, {"x.def", "CSV\r\n2\r\n"}}) {
                QFile file(dir->filePath(QString::fromLatin1(name)));
                file.open(QIODevice::WriteOnly);
                file.write(bytes);
            }
        }
        QProcess p;
        p.setWorkingDirectory(dir->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("T"), binary());
#ifdef TOLVANE_FAULT_SHIM
        env.insert(QStringLiteral("SHIM"), QStringLiteral(TOLVANE_FAULT_SHIM));
#endif
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(c.script)});
        const Result r = finish(p, QByteArray());
        EXPECT_EQ(r.exit, c.exit) << c.script << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << c.script << "\n" << r.err.toStdString();
        QFile file(dir->filePath(QString::fromLatin1(c.file)));
        if (c.content)
            EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == QByteArray(c.content)) << c.script;
        else
            EXPECT_FALSE(file.exists()) << c.script;
        // However a run ended, no temporary file of its is left.
        EXPECT_EQ(
            QDir(dir->path()).entryList({QStringLiteral("*.tolvane-*")}, QDir::Files | QDir::Hidden | QDir::System),
            QStringList())
            << c.script;
    }
}

} // namespace

namespace {

TEST(CommandLine, OutputEncodingLineEndsAndQuoting)
{
    TempFolder f;
    const QString out = f.path(QStringLiteral("out.csv"));
    f.write(QStringLiteral("out.csv"), std::string("earlier"));
    const QString c = QStringLiteral("-c");
    struct Case {
        QStringList options;
        std::string source;
        int exit;
        std::string output; // what the output holds afterwards
        QStringList said;   // in the messages
    };
    // ｱ① in code page 932 and in UTF-8; 𠮷 and é, which code page 932 lacks.
    const std::string sjis = "\xB1,\x87\x40\r\n";
    const std::string utf8 = "\xEF\xBD\xB1,\xE2\x91\xA0\r\n";
    const std::string lacking = "a,b\r\nx,\xF0\xA0\xAE\xB7\xC3\xA9\r\n";
    const Case cases[] = {
        {{QStringLiteral("--to"), QStringLiteral("utf-8")}, sjis, 0, utf8, {}},
        {{QStringLiteral("--to"), QStringLiteral("utf-8-bom")}, sjis, 0, "\xEF\xBB\xBF" + utf8, {}},
        {{QStringLiteral("--to"), QStringLiteral("cp932"), QStringLiteral("--eol"), QStringLiteral("lf")},
         utf8,
         0,
         "\xB1,\x87\x40\n",
         {}},
        {{QStringLiteral("--to"), QStringLiteral("cp932")},
         lacking,
         1,
         "earlier",
         {QStringLiteral("2行目、項目2の文字「𠮷」(U+20BB7)"), QStringLiteral("元のまま")}},
        {{QStringLiteral("--to"), QStringLiteral("cp932"), QStringLiteral("--replace")},
         lacking,
         0,
         "a,b\r\nx,??\r\n",
         {QStringLiteral("? に置き換えました: 2か所")}},
        {{QStringLiteral("-e"), QStringLiteral("cp932"), QStringLiteral("--to"), QStringLiteral("utf-8")},
         "a,\x81\r\n",
         1,
         "earlier",
         {QStringLiteral("1行目、項目2のバイト 81 はシフトJISの文字になっていません")}},
        {{QStringLiteral("-d"), QStringLiteral("\t")},
         "a, b\tc\r\n",
         0,
         "a, b,c\r\n",
         {QStringLiteral("出力の区切文字を含む項目がある行: 1行")}},
        {{QStringLiteral("-d"), QStringLiteral("\t"), QStringLiteral("--quote")},
         "a, b\tc\r\n",
         0,
         "\"a, b\",c\r\n",
         {}},
        {{QStringLiteral("--to"), QStringLiteral("latin1")}, sjis, 2, "earlier", {QStringLiteral("--to には")}},
        {{QStringLiteral("--eol"), QStringLiteral("cr")}, sjis, 2, "earlier", {QStringLiteral("--eol には")}},
    };
    for (const Case& k : cases) {
        f.write(QStringLiteral("out.csv"), std::string("earlier"));
        const QString in = f.write(QStringLiteral("in.csv"), k.source);
        const Result r = tolvane(QStringList{QStringLiteral("convert"), c, QStringLiteral("1,2")} + k.options +
                                 QStringList{in, out});
        const std::string name = k.options.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.exit, k.exit) << name << ": " << r.err.toStdString();
        EXPECT_EQ(f.read(out), k.output) << name;
        for (const QString& s : k.said)
            EXPECT_TRUE(r.err.contains(s)) << name << ": " << r.err.toStdString();
        if (k.said.isEmpty() && k.exit == 0) {
            EXPECT_FALSE(r.err.contains(QStringLiteral("区切文字を含む"))) << name;
        }
    }
}

// What --quote writes reads back, in a reader that follows RFC 4180 (Python's csv module),
// as the very items of the source, already-quoted ones taken as their content.
TEST(CommandLine, QuotedOutputReadsBackAsTheSameItems)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.txt"),
                               std::string("\xE5\xB1\xB1\xE7\x94\xB0, \xE5\xA4\xAA\xE9\x83\x8E\tsay \"hi\"\t\"a\tb\"\t"
                                           "\"x \"\"q\"\"\"\r\n\"l1\nl2\"\tplain\t\t\"\"\"quoted\"\"\"\r\n"));
    const QString expected = QStringLiteral(
        R"([["\u5c71\u7530, \u592a\u90ce", "say \"hi\"", "a\tb", "x \"q\""], ["l1\nl2", "plain", "", "\"quoted\""]])");
    for (const QString& eol : {QStringLiteral("crlf"), QStringLiteral("lf")}) {
        const QString out = f.path(QStringLiteral("out-%1.csv").arg(eol));
        const Result r = tolvane({QStringLiteral("convert"), QStringLiteral("-c"), QStringLiteral("1,2,3,4"),
                                  QStringLiteral("--quote"), QStringLiteral("--to"), QStringLiteral("utf-8-bom"),
                                  QStringLiteral("--eol"), eol, in, out});
        ASSERT_EQ(r.exit, 0) << r.err.toStdString();
        QProcess p;
        p.start(python, {QStringLiteral("-c"),
                         QStringLiteral("import csv, json, sys\n"
                                        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                        "    print(json.dumps(list(csv.reader(f))))"),
                         out});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), expected) << eol.toStdString();
    }
}

} // namespace
