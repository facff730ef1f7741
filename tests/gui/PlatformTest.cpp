#include "TestSupport.h"

#include "engine/Transcode.h"
#include "files/mdlFile.h"
#include "platform/Cp932.h"
#include "platform/TestDoubles.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace platform;

namespace {

// Windows' own table (MultiByteToWideChar / WideCharToMultiByte with WC_NO_BEST_FIT_CHARS),
// so these rows hold for whichever converter sits behind the platform layer.
TEST(Cp932, DecodesAndEncodesWithTheWindowsTable)
{
    struct Case {
        std::string bytes;
        char16_t unicode;
        std::string encoded; // where Windows encodes the character to other bytes than these
    } cases[] = {
        // Single bytes below 0x80 are themselves, control bytes too.
        {"\x1A", u'\x1A', {}},
        {"\x1C", u'\x1C', {}},
        {"\x7F", u'\x7F', {}},
        {"\x5C", u'\\', {}},
        {"\x7E", u'~', {}},
        {"\x80", u'\u0080', {}},
        {"\xA0", u'\uF8F0', {}},
        {"\xFD", u'\uF8F1', {}},
        {"\xFE", u'\uF8F2', {}},
        {"\xFF", u'\uF8F3', {}},
        {"\xA1", u'\uFF61', {}},
        {"\xB1", u'\uFF71', {}},
        {"\xDF", u'\uFF9F', {}},
        {"\x81\x5F", u'\uFF3C', {}},
        {"\x81\x60", u'\uFF5E', {}},
        {"\x81\x41", u'\u3001', {}},
        {"\x83\x5C", u'\u30BD', {}},
        {"\x95\x5C", u'\u8868', {}},
        {"\x83\x7C", u'\u30DD', {}},
        {"\x87\x40", u'\u2460', {}},
        {"\x87\x8A", u'\u3231', {}},
        {"\x87\x54", u'\u2160', {}},
        {"\xFA\x40", u'\u2170', {}},
        {"\xFB\xFC", u'\u9AD9', {}},
        {"\xFA\xB1", u'\uFA11', {}},
        {"\xF0\x40", u'\uE000', {}},
        {"\xF9\xFC", u'\uE757', {}}, // user-defined characters
        // Characters with two codes: the second code decodes to the character, which
        // encodes to the first.
        {"\xFA\x4A", u'\u2160', "\x87\x54"},
        {"\xEE\xEF", u'\u2170', "\xFA\x40"},
        {"\xFA\x54", u'\uFFE2', "\x81\xCA"},
        {"\x87\x90", u'\u2252', "\x81\xE0"},
        {"\xED\x40", u'\u7E8A', "\xFA\x5C"},
    };
    std::string line;
    QString text;
    std::string encodedLine;
    for (const auto& c : cases) {
        const std::string encoded = c.encoded.empty() ? c.bytes : c.encoded;
        EXPECT_EQ(decodeCp932(c.bytes), QString(QChar(c.unicode))) << c.bytes;
        EXPECT_EQ(encodeCp932(QString(QChar(c.unicode))), encoded) << c.bytes;
        EXPECT_EQ(encodeDelimiter(QString(QChar(c.unicode))), encoded) << c.bytes;
        line += c.bytes;
        text += QChar(c.unicode);
        encodedLine += encoded;
    }
    // The same bytes in one line, and split into pieces, give the same text.
    EXPECT_EQ(decodeCp932(line), text);
    EXPECT_EQ(encodeCp932(text), encodedLine);
    std::vector<std::string_view> pieces;
    for (const auto& c : cases)
        pieces.push_back(c.bytes);
    EXPECT_EQ(decodeCp932Each(pieces).join(QString()), text);
}

// Every byte and every pair that starts with a lead byte, decoded, against a table kept
// beside the tests (one line a first byte: the byte, then the UTF-16 units of each
// second byte 00..FF joined by '+', or of the byte alone). Whatever converter the
// platform has, these results are the same; and every character found encodes to a
// code that decodes to it again.
TEST(Cp932, EveryByteAndPairDecodesAsTheTableSays)
{
    QFile file(QStringLiteral(TOLVANE_TEST_DATA "/cp932-decoded.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    int lines = 0;
    int mismatches = 0;
    while (!file.atEnd()) {
        const QStringList fields = QString::fromLatin1(file.readLine()).trimmed().split(QLatin1Char(' '));
        const int first = fields.value(0).toInt(nullptr, 16);
        const bool pairs = fields.size() == 257;
        ASSERT_TRUE(pairs || fields.size() == 2) << "line for " << first;
        for (int second = 0; second < fields.size() - 1; ++second) {
            QString expected;
            for (const QString& unit : fields[second + 1].split(QLatin1Char('+')))
                expected += QChar(char16_t(unit.toUInt(nullptr, 16)));
            std::string bytes(1, static_cast<char>(first));
            if (pairs)
                bytes += static_cast<char>(second);
            const QString decoded = decodeCp932(bytes);
            if (decoded != expected && ++mismatches <= 20)
                ADD_FAILURE() << std::hex << first << " " << second << ": " << decoded.toStdString();
            if (expected.size() == 1 && expected != QString(QChar(0xFFFD))) {
                const auto encoded = encodeCp932(expected);
                if (!encoded || decodeCp932(*encoded) != expected)
                    ADD_FAILURE() << std::hex << first << " " << second << " does not encode back";
            }
        }
        ++lines;
    }
    EXPECT_EQ(lines, 256);
    EXPECT_EQ(mismatches, 0);
}

// The engine writes output in code page 932 with a table of its own: for every character of
// the basic plane it gives exactly the bytes the platform's converter gives, or none where
// that has none.
TEST(Cp932, TheEnginesOutputTableEncodesAsThePlatform)
{
    int mismatches = 0;
    for (char32_t u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const std::uint16_t code = engine::cp932Code(u);
        const std::optional<std::string> platform = encodeCp932(QString(QChar(char16_t(u))));
        std::string engine;
        if (code > 0xFF)
            engine += static_cast<char>(code >> 8);
        if (code != 0 || u == 0)
            engine += static_cast<char>(code & 0xFF);
        if ((platform ? *platform : std::string()) != engine && ++mismatches <= 20)
            ADD_FAILURE() << std::hex << "U+" << int(u) << ": engine " << code;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Cp932, EncodesWhatTheUserTypesAndRefusesWhatItCannot)
{
    EXPECT_EQ(encodeCp932(QStringLiteral("|")), std::optional<std::string>("|"));
    EXPECT_EQ(encodeCp932(QStringLiteral("、")), std::optional<std::string>("\x81\x41"));
    EXPECT_EQ(encodeCp932(QStringLiteral("\\")), std::optional<std::string>("\x5C"));
    EXPECT_EQ(encodeCp932(QStringLiteral("①")), std::optional<std::string>("\x87\x40"));
    EXPECT_EQ(encodeCp932(QStringLiteral("髙")), std::optional<std::string>("\xFB\xFC"));
    EXPECT_EQ(encodeCp932(QString::fromUtf8("\xF0\x9F\x98\x80")), std::nullopt); // an emoji
    // Only near matches, which no exact form stands for.
    for (char16_t c : {u'\u00A5', u'\u203E', u'\u301C', u'\uFFFD'})
        EXPECT_EQ(encodeCp932(QString(QChar(c))), std::nullopt) << int(c);
    EXPECT_EQ(encodeCp932Replacing(QStringLiteral("a¥b")), "a?b");

    // A delimiter that cannot be encoded must not turn into some other character.
    const std::string never = encodeDelimiter(QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_GE(never.size(), 2u);
    EXPECT_EQ(encodeDelimiter(QStringLiteral("\t")), "\t");
}

TEST(Cp932, ALeadByteWithoutItsSecondByteIsShownNotDropped)
{
    const QString s = decodeCp932("a\x81");
    ASSERT_EQ(s.size(), 2);
    EXPECT_EQ(s.at(0), QLatin1Char('a'));
}

TEST(CommonDialogDouble, KeepsPropertiesAndReportsCancel)
{
    ScriptedCommonDialog dialog;
    dialog.answers = {QStringLiteral("/tmp/a.csv"), std::nullopt, std::nullopt};
    dialog.CancelError = true;
    dialog.Filter = QStringLiteral("*.csv");
    EXPECT_EQ(dialog.ShowOpen(), 0);
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.csv"));
    EXPECT_EQ(dialog.ShowSave(), CommonDialog::kCancelError);
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.csv"));
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[1].filter, QStringLiteral("*.csv")); // kept from the open
    EXPECT_TRUE(dialog.shown[1].save);
    dialog.CancelError = false;
    EXPECT_EQ(dialog.ShowOpen(), 0); // a cancel without CancelError is no error
    EXPECT_EQ(dialog.unexpected, 0);
    EXPECT_EQ(dialog.ShowOpen(), 0);
    EXPECT_EQ(dialog.unexpected, 1);
}

// Each command tells the dialog which kind of file it asks for.
TEST(CommonDialogDouble, CommandsNameTheKindOfFile)
{
    using P = CommonDialog::Purpose;
    WindowFixture f;
    f.choose(f.write(QStringLiteral("a.csv"), "x,y\r\n"));
    f.columns({1});
    f.dialog.answers = {std::nullopt, std::nullopt, std::nullopt};
    f.window.cmdSave_Click();
    f.window.mnuSaveDef_Click();
    f.window.mnuOpenDef_Click();
    std::vector<P> purposes;
    for (const auto& shown : f.dialog.shown)
        purposes.push_back(shown.purpose);
    EXPECT_EQ(purposes, (std::vector<P>{P::Source, P::Output, P::Definition, P::Definition}));
}

// Runs `show` and hands the first modal window it opens to `inspect`, then closes it.
template <typename Show, typename Inspect> void whileModal(Show show, Inspect inspect)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            seen = true;
            inspect(w);
            if (w->isVisible())
                w->close();
        }
    });
    show();
    EXPECT_TRUE(seen) << "no modal window";
}

// The title bar needs the title's width and room for its icon and buttons; a prompt is
// never cut to make room.
TEST(QtMessageBoxTest, IsWideEnoughForItsTitleAndPrompt)
{
    struct Case {
        QString title;
        QString prompt;
    } cases[] = {
        {QStringLiteral("変換終了"), QStringLiteral(" 3件")},
        {QStringLiteral("区切文字の指定"), QStringLiteral("削除する項目を指定してください。")},
        {QStringLiteral("Tolvane"), QStringLiteral("出力ファイル「/tmp/out/sales.csv」に書き込めません")},
    };
    const QFontMetrics metrics(QApplication::font());
    for (const Case& c : cases) {
        QtMessageBox boxes;
        int width = 0;
        whileModal([&] { boxes.show(c.prompt, 0, c.title); }, [&](QWidget* box) { width = box->width(); });
        EXPECT_GE(width, std::max(metrics.horizontalAdvance(c.title) + 120, 240)) << c.title.toStdString();
        EXPECT_GE(width, metrics.horizontalAdvance(c.prompt)) << c.prompt.toStdString();
    }
}

// A question keeps serving events while it waits, so a run driven by a timer goes on: here
// only the timer answers it. Yes is the default unless 256 asks for No; Esc says No.
TEST(QtMessageBoxTest, AsksYesOrNoWhileTimersGoOn)
{
    struct Case {
        int flags;
        bool pressYes; // else Esc
        QMessageBox::StandardButton defaultButton;
    } cases[] = {{4 + 32, true, QMessageBox::Yes}, {4 + 32 + 256, false, QMessageBox::No}};
    for (const Case& c : cases) {
        QtMessageBox boxes;
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || ++ticks < 5)
                return;
            timer.stop();
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Tolvane"));
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
            if (c.pressYes)
                box->button(QMessageBox::Yes)->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        timer.start(0);
        // Should the timer stand still, the box is closed for it and the answer is wrong.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        watchdog.start(5000);
        EXPECT_EQ(boxes.ask(QStringLiteral("変換を中止しますか？"), c.flags, QStringLiteral("Tolvane")), c.pressYes);
        EXPECT_EQ(ticks, 5);
    }
}

// The real (Qt's own) dialog of each kind, driven as a user would: its own filters, the
// filter and folder last chosen in it (in a fresh dialog object too: the settings keep
// them across runs), documents or home the first time and the source's folder for the
// first output; a typed extension stays as typed, a bare name gets the kind's one.
TEST(QtCommonDialogTest, EachKindHasItsFiltersFolderAndExtension)
{
    const QStringList data{QStringLiteral("CSVファイル (*.csv)"), QStringLiteral("テキストファイル (*.txt;*.tsv)"),
                           QStringLiteral("すべてのファイル (*)")};
    const QStringList definitions{QStringLiteral("定義ファイル (*.def)"), QStringLiteral("すべてのファイル (*)")};
    QTemporaryDir dir;
#ifdef _WIN32
    // Qt's dialog writes its state to this key; Tolvane's dialogs take it away again.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QtProject");
    const QString home = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#else
    const QString home = QDir::homePath();
#endif
    const auto same = [](const QString& a, const QString& b) {
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath() ||
               QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath();
    };
    struct Seen {
        QString start;
        QStringList filters;
        QString filter;
        QStringList listed;
    };
    // Picks the filter (arrow keys on the filter box, -1 leaves it), waits for `listed`
    // to appear in the view, types `name` and presses Enter.
    const auto drive = [](const std::function<QString()>& show, int filterDown, const QString& name,
                          const QString& listed) {
        Seen seen;
        QString result = QStringLiteral("(not shown)");
        whileModal([&] { result = show(); },
                   [&](QWidget* w) {
                       auto* fd = qobject_cast<QFileDialog*>(w);
                       ASSERT_TRUE(fd);
                       seen.start = fd->directory().absolutePath();
                       seen.filters = fd->nameFilters();
                       auto* combo = fd->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                       for (int i = 0; i < filterDown; ++i)
                           QTest::keyClick(combo, Qt::Key_Down);
                       seen.filter = fd->selectedNameFilter();
                       auto* view = fd->findChild<QListView*>(QStringLiteral("listView"));
                       for (int i = 0; i < 300 && !listed.isEmpty() && !seen.listed.contains(listed); ++i) {
                           QTest::qWait(10);
                           seen.listed.clear();
                           for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                               seen.listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
                       }
                       if (name.isEmpty())
                           return;
                       auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                       // With the focus elsewhere the dialog keeps every prefix it matched while the
                       // name was typed ("/", "/tmp" …) selected, and Enter would open the first.
                       fd->activateWindow();
                       EXPECT_TRUE(QTest::qWaitForWindowActive(fd));
                       edit->setFocus();
                       edit->clear();
                       for (const QChar ch : name) // keyClicks takes ASCII only
                           QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
                       if (QCompleter* completer = edit->completer()) // else Enter picks a completion
                           completer->popup()->hide();
                       QTest::keyClick(edit, Qt::Key_Return);
                   });
        return std::make_pair(seen, result);
    };

    const QString in = dir.filePath(QStringLiteral("in"));
    ASSERT_TRUE(QDir().mkpath(in));
    for (const char* name : {"a.csv", "b.tsv"}) {
        QFile f(QDir(in).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtCommonDialog dialog;
    // The source: home the first time; the text filter shows .tsv; a typed path opens it.
    auto [source, chosen] = drive([&] { return mdlFile::fGetOpenFile(dialog); }, 1, QDir(in).filePath("b.tsv"), {});
    EXPECT_TRUE(same(source.start, home)) << source.start.toStdString();
    EXPECT_EQ(source.filters, data);
    EXPECT_EQ(source.filter, data[1]);
    EXPECT_TRUE(same(chosen, QDir(in).filePath("b.tsv"))) << chosen.toStdString();
    source = drive([&] { return mdlFile::fGetOpenFile(dialog); }, -1, {}, QStringLiteral("b.tsv")).first;
    EXPECT_TRUE(same(source.start, in));
    EXPECT_EQ(source.filter, data[1]);
    EXPECT_TRUE(source.listed.contains(QStringLiteral("b.tsv"))) << source.listed.join(' ').toStdString();
    EXPECT_FALSE(source.listed.contains(QStringLiteral("a.csv")));

    // The outputs and the definitions, typed as the user typed them.
    struct Case {
        bool definition;
        QString typed;
        QString saved;
    } cases[] = {
        {false, QStringLiteral("定義出力.csv"), QStringLiteral("定義出力.csv")},
        {false, QStringLiteral("data.tsv"), QStringLiteral("data.tsv")},
        {false, QStringLiteral("月次"), QStringLiteral("月次.csv")},
        {true, QStringLiteral("月次.def"), QStringLiteral("月次.def")},
        {true, QStringLiteral("定義出力.csv"), QStringLiteral("定義出力.csv")},
        {true, QStringLiteral("NEW"), QStringLiteral("NEW.def")},
    };
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    for (const Case& c : cases) {
        const QString typed = QDir(out).filePath(c.typed);
        const auto [seen, saved] = drive(
            [&] {
                return c.definition ? mdlFile::fGetSaveDefFile(QStringLiteral("NEW.DEF"), dialog)
                                    : mdlFile::fGetSaveFile(QStringLiteral("NEW.CSV"), dialog, chosen);
            },
            -1, typed, {});
        EXPECT_EQ(seen.filters, c.definition ? definitions : data);
        EXPECT_EQ(seen.filter, seen.filters[0]) << "the source's filter stays with the source";
        EXPECT_TRUE(same(saved, QDir(out).filePath(c.saved))) << saved.toStdString();
        EXPECT_TRUE(&c != &cases[0] || same(seen.start, in)) << "the first output beside the source";
        EXPECT_TRUE(&c != &cases[3] || same(seen.start, home)) << "the first definition";
    }
    // The settings file lies in the test's folder (gui_main), and names each kind's folder and filter,
    // and the save dialog's history of folders.
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                       QCoreApplication::applicationName());
    EXPECT_EQ(settings.childGroups(),
              (QStringList{QStringLiteral("dialog"), QStringLiteral("filters"), QStringLiteral("folders")}));
    EXPECT_FALSE(settings.value(QStringLiteral("dialog/history")).toStringList().isEmpty());
#ifdef _WIN32
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\QtProject", 0, KEY_READ, &key), ERROR_SUCCESS);
#endif
    EXPECT_TRUE(QDir::cleanPath(settings.fileName()).startsWith(QDir::cleanPath(QDir::tempPath())))
        << settings.fileName().toStdString();

    // A named folder wins; a folder that went away is forgotten.
    QtCommonDialog fresh;
    fresh.Filter = QStringLiteral("*.def");
    fresh.purpose = CommonDialog::Purpose::Definition;
    EXPECT_TRUE(same(drive([&] { return fresh.ShowOpen(), QString(); }, -1, {}, {}).first.start, out));
    fresh.InitDir = dir.path();
    EXPECT_TRUE(same(drive([&] { return fresh.ShowOpen(), QString(); }, -1, {}, {}).first.start, dir.path()));
    ASSERT_TRUE(QDir(in).removeRecursively());
    EXPECT_TRUE(same(drive([&] { return QtCommonDialog().ShowOpen(), QString(); }, -1, {}, {}).first.start, home));
}

} // namespace
