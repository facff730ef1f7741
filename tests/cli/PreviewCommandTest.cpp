// `tolvane preview`: its table, its raw bytes against what convert writes, --lines, --strict.
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using namespace program;

QStringList args(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// 商品 (wide), ｶﾅ (half-width), and a TAB file's item holding a comma: code page 932.
const std::string kSource = "code\t\x8F\xA4\x95\x69\tnote\r\n"
                            "A1\t\xB6\xC5\ta, b\r\n"
                            "A22\tx\r\n";

TEST(PreviewCommand, PrintsAnAlignedTableThenTheWarnings)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.txt"), kSource);
    const QStringList before = QDir(f.path(QString())).entryList(QDir::Files);
    Result r = tolvane(args("preview -c 2,3,1") + QStringList{in});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    // A wide character takes two columns; the last item stands for an item a line lacks.
    EXPECT_EQ(r.out.toStdString(), std::string("行 | [2] 商品 | [3] note | [1] code\n"
                                               "---+----------+----------+---------\n"
                                               "1  | 商品     | note     | code\n"
                                               "2  | ｶﾅ       | a, b     | A1\n"
                                               "3  | x        | x        | A22\n"
                                               "\n"
                                               "2行目: 2列目 (項目3)に出力の区切文字、引用符または改行があります "
                                               "(1行)。引用符を付けないため、読み込むと列や行が増えます。"
                                               "--quote で防げます。\n"
                                               "3行目: 2列目 (項目3)はこの行にありません (この行の項目数 2)。"
                                               "行の最後の項目を出力します (1行)。\n"
                                               "3行目: 項目数が 2 で、1行目の 3 と違います "
                                               "(項目数の違う行: 1行)。\n"));
    // Nothing is written beside the source.
    EXPECT_EQ(QDir(f.path(QString())).entryList(QDir::Files), before);

    // The left-out first line heads the table; --lines takes the first lines only; --strict
    // fails on a warning, and on none succeeds.
    r = tolvane(args("preview -c 1 -s --lines 1 --strict") + QStringList{in});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), std::string("1 (変換しない) | [1] code\n"
                                               "---------------+---------\n"
                                               "2              | A1\n"));
    r = tolvane(args("preview -c 3 --strict") + QStringList{in});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.out.contains("3行目: "));
    r = tolvane(args("preview -c 3 --lines 0") + QStringList{in});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--lines")));

    // An item beyond the part read of a long first line is not known to be missing.
    std::string longFirst;
    for (int i = 0; i < 600000; ++i)
        longFirst += "x,";
    const QString wide = f.write(QStringLiteral("wide.csv"), longFirst + "\r\n");
    r = tolvane(args("preview -c 1,600000") + QStringList{wide});
    EXPECT_TRUE(r.out.contains("[600000] (先頭 1024 KB より後)")) << r.out.toStdString();
}

// --raw writes the first bytes of what convert writes, for the same options.
TEST(PreviewCommand, RawIsWhatConvertWrites)
{
    TempFolder f;
    const QString in = f.write(QStringLiteral("in.csv"), "\xEF\xBB\xBFno,name,price\r\n1,\xE8\xA1\xA8,\"1,000\"\r\n"
                                                         "2,\xE3\x83\x9D \"x\",80\r\n3,\xF0\xA0\xAE\xB7,9\r\n");
    // Each with the lines it shows: 0 for as many as convert writes.
    const std::pair<const char*, int> options[] = {
        {"-c 3,1", 0},
        {"-c 2,2 -t -s", 0},
        {"-c 3,2 --quote --eol lf", 0},
        {"-n price,name --to utf-8-bom -t", 0},
        {"-c 2 --to cp932 --replace", 0},
        {"-c 1,3 -d , -e utf-8", 2},
    };
    for (const auto& [o, lines] : options) {
        SCOPED_TRACE(o);
        const Result converted = tolvane(QStringList{QStringLiteral("convert")} + args(o) + QStringList{in, "-"});
        ASSERT_EQ(converted.exit, 0) << converted.err.toStdString();
        const QStringList shown =
            lines ? QStringList{QStringLiteral("--lines"), QString::number(lines)} : QStringList();
        const Result raw = tolvane(QStringList{QStringLiteral("preview"), QStringLiteral("--raw")} + args(o) + shown +
                                       QStringList{QStringLiteral("-")},
                                   QByteArray::fromStdString(f.read(QStringLiteral("in.csv"))));
        EXPECT_EQ(raw.exit, 0) << raw.err.toStdString();
        QByteArray expected = converted.out;
        for (qsizetype end = 0, n = 0; lines && (end = expected.indexOf("\r\n", end) + 2) > 1;)
            if (++n == lines)
                expected.truncate(end);
        EXPECT_EQ(raw.out.toStdString(), expected.toStdString());
    }
    // The character code page 932 lacks stops a run: the preview says where, on stderr with --raw.
    const Result stops = tolvane(args("preview --raw -c 2 --to cp932") + QStringList{in});
    EXPECT_EQ(stops.exit, 0);
    EXPECT_TRUE(stops.err.contains(QStringLiteral("4行目: 項目2の文字「𠮷」"))) << stops.err.toStdString();
}

} // namespace
