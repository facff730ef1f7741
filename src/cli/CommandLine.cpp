#include "CommandLine.h"

#include "engine/ColumnChoice.h"
#include "engine/Conversion.h"
#include "engine/Cp932Chars.h"
#include "engine/DefinitionFile.h"
#include "engine/Detection.h"
#include "engine/FirstLine.h"
#include "engine/LineProcessing.h"
#include "engine/OutputFile.h"
#include "engine/Preview.h"
#include "os/NativeFile.h"
#include "platform/Console.h"
#include "platform/Cp932.h"
#include "platform/DisplayWidth.h"
#include "shared/Texts.h"

#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>

namespace cli {

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The usage, a row at a time: a command (its left side holds %1, the program's name), an
// option, or a line of its own (no description). A row whose left side is empty continues the
// description above it. Commands' descriptions share one column and options' another, wherever
// the program's name ends, so the table is made when the name is known.
struct UsageRow {
    const char* left;
    const char* description;
};

const UsageRow kWindowRow = {"  %1 [FILE]", "メインウィンドウを開きます (FILE を元ファイルとして)"};

const UsageRow kUsageRows[] = {
    {"  %1 convert [OPTIONS] SOURCE OUTPUT", "SOURCE を変換して OUTPUT に書きます"},
    {"      -c, --columns LIST", "出力する項目の番号をカンマで区切って指定 (例: 3,1,12)"},
    {"      -f, --definition FILE", "出力する項目を定義ファイルから読みます"},
    {"      -n, --names LIST", "出力する項目を先頭行の項目名をカンマで区切って指定 (例: 商品コード,価格)"},
    {"      -t, --tab", "出力の区切りを TAB にします (既定: カンマ)"},
    {"      -s, --skip-first-line", "先頭行を変換しません"},
    {"      -d, --delimiter CHAR", "入力の区切文字 1 文字 (既定: 先頭行からカンマか TAB を検出)"},
    {"      -e, --encoding ENC", "SOURCE の文字コード: auto, cp932, utf-8 (既定: auto)"},
    {"          --strict", "先頭行にない項目を出力する列があれば変換しません (終了コード 1)"},
    {"          --to ENC", "出力の文字コード: cp932, utf-8, utf-8-bom (既定: SOURCE のまま)"},
    {"          --eol EOL", "出力の改行: crlf, lf (既定: crlf)"},
    {"          --quote", "区切文字・引用符・改行を含む項目を引用符で囲みます"},
    {"          --replace", "出力の文字コードで表せない文字を ? にして変換を続けます"},
    {"          --check-names", "定義ファイルの列が先頭行の項目数に収まるかを確かめます (常に確かめます)"},
    {"  %1 convert [OPTIONS] SOURCE... --output-dir DIR", nullptr},
    {"", "SOURCE ごとに DIR へ同じ名前で書きます"},
    {"          --suffix TEXT", "出力の名前の拡張子の前に TEXT を付けます (例: _out で 売上_out.csv)"},
    {"  %1 preview [OPTIONS] SOURCE", "変換後の先頭の行を表にして、気を付けることと共に表示します"},
    {"", "(ファイルには何も書きません)"},
    {"      convert の -c, -f, -n, -t, -s, -d, -e, --to, --eol, --quote, --replace を同じように指定できます", nullptr},
    {"          --lines N", "表示する行数 (既定: 10、最大: 500)"},
    {"          --raw", "表ではなく、出力に書かれるバイトをそのまま書きます (警告は標準エラーへ)"},
    {"          --strict", "警告があれば終了コード 1 にします"},
    {"  %1 detect [-d CHAR] [-e ENC] SOURCE", "区切文字と先頭行の項目を番号付きで表示します"},
    {"  %1 --help | --version", nullptr},
    {"  %1 --utf8 ...", "どのコマンドにも付けられます: リダイレクトした出力も UTF-8 で書きます"},
    {"", "(Windows の既定はコンソールのコードページ)"},
    {"SOURCE に - を指定すると標準入力、OUTPUT に - を指定すると標準出力を使います。", nullptr},
};

QString programName;
bool opensWindow = true;

QString usageText()
{
    std::vector<UsageRow> rows;
    if (opensWindow)
        rows.push_back(kWindowRow);
    rows.insert(rows.end(), std::begin(kUsageRows), std::end(kUsageRows));
    const auto left = [](const UsageRow& row) {
        return QString::fromUtf8(row.left).replace(QLatin1String("%1"), programName);
    };
    const auto isCommand = [](const UsageRow& row) {
        return std::string_view(row.left).find("%1") != std::string_view::npos;
    };
    // Each column starts two places after the longest left side that has a description beside it.
    int commandColumn = 0;
    int optionColumn = 0;
    for (const UsageRow& row : rows)
        if (row.description && *row.left) {
            int& column = isCommand(row) ? commandColumn : optionColumn;
            column = std::max(column, platform::displayWidth(left(row)) + 2);
        }
    QString text = QStringLiteral("使い方:\n");
    int column = 0;
    for (const UsageRow& row : rows) {
        if (*row.left)
            column = isCommand(row) ? commandColumn : optionColumn;
        QString line = left(row);
        if (row.description) {
            line += QString(column - platform::displayWidth(line), QLatin1Char(' '));
            line += QString::fromUtf8(row.description);
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

void say(const QString& text)
{
    platform::writeText(platform::StandardStream::Error, text + QLatin1Char('\n'));
}

// Writes the command's own output; a write that fails (a full disk) is a failure the user
// must hear of.
int writeOut(const QString& text)
{
    if (platform::writeText(platform::StandardStream::Output, text))
        return kOk;
    say(QStringLiteral("標準出力に書き込めません。"));
    return kFailed;
}

int usageError(const QString& text)
{
    say(text);
    say(QStringLiteral("詳しくは %1 --help を見てください。").arg(programName));
    return kUsage;
}

QString shown(const std::filesystem::path& path)
{
    return platform::displayPath(path);
}

struct Options {
    std::vector<platform::Argument> positional;
    std::optional<QString> columns;
    std::optional<platform::Argument> definition;
    std::optional<QString> names;
    std::optional<platform::Argument> outputDir;
    std::optional<platform::Argument> suffix;
    std::optional<QString> delimiter;
    std::string delimiterBytes; // the delimiter in the source's encoding, once found usable
    std::optional<QString> encoding;
    engine::EncodingChoice encodingChoice = engine::EncodingChoice::Auto;
    bool tab = false;
    bool skipFirstLine = false;
    bool strict = false;
    bool checkNames = false;
    std::optional<QString> lines; // preview
    bool raw = false;             // preview
    std::optional<QString> to;
    std::optional<QString> eol;
    engine::OutputForm form;
};

QString outputForm(const Options& o, engine::OutputForm& form)
{
    if (o.to) {
        const QString name = o.to->toLower();
        if (name == QLatin1String("cp932") || name == QLatin1String("shift_jis") || name == QLatin1String("sjis"))
            form.encoding = engine::OutputEncoding::Cp932;
        else if (name == QLatin1String("utf-8") || name == QLatin1String("utf8"))
            form.encoding = engine::OutputEncoding::Utf8;
        else if (name == QLatin1String("utf-8-bom") || name == QLatin1String("utf8-bom"))
            form.encoding = engine::OutputEncoding::Utf8Bom;
        else
            return QStringLiteral("--to には cp932, utf-8, utf-8-bom のいずれかを指定してください: %1").arg(*o.to);
    }
    if (o.eol) {
        const QString name = o.eol->toLower();
        if (name == QLatin1String("crlf"))
            form.lineEnd = engine::LineEnd::CrLf;
        else if (name == QLatin1String("lf"))
            form.lineEnd = engine::LineEnd::Lf;
        else
            return QStringLiteral("--eol には crlf か lf を指定してください: %1").arg(*o.eol);
    }
    return QString();
}

// The delimiter given to -d, exactly as given: unlike the window, the command line does
// not trim it, so " " is the space. The text arrives decoded from the locale's encoding
// (UTF-8): argument bytes that were not UTF-8, such as a character's own code page 932
// bytes, arrive as U+FFFD and cannot be recovered, so the character must be given as text.
QString checkDelimiterText(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("-d には区切文字を 1 文字指定してください。");
    if (text.contains(QChar::ReplacementCharacter))
        return QStringLiteral("-d の値「%1」には文字として読めないバイトがあります。"
                              "区切文字は文字そのもので指定してください (例: -d 、)。")
            .arg(text);
    return QString();
}

// The delimiter in the source's encoding, once that is known. Only one character can ever
// match, so anything else is refused.
QString delimiterBytes(const QString& text, engine::Encoding encoding, std::string& bytes)
{
    std::string encoded;
    if (encoding == engine::Encoding::Cp932) {
        const std::optional<std::string> cp932 = platform::encodeCp932(text);
        if (!cp932)
            return QStringLiteral("区切文字「%1」はコードページ 932 (Shift_JIS) で表せません。").arg(text);
        encoded = *cp932;
    } else {
        encoded = platform::encodeDelimiter(text, encoding);
    }
    if (!engine::isSingleChar(encoded, encoding))
        return QStringLiteral("区切文字は 1 文字で指定してください: 「%1」").arg(text);
    bytes = encoded;
    return QString();
}

QString encodingChoice(const QString& text, engine::EncodingChoice& choice)
{
    const QString name = text.toLower();
    if (name == QLatin1String("auto"))
        choice = engine::EncodingChoice::Auto;
    else if (name == QLatin1String("cp932") || name == QLatin1String("shift_jis") || name == QLatin1String("sjis"))
        choice = engine::EncodingChoice::Cp932;
    else if (name == QLatin1String("utf-8") || name == QLatin1String("utf8"))
        choice = engine::EncodingChoice::Utf8;
    else
        return QStringLiteral("-e には auto, cp932, utf-8 のいずれかを指定してください: %1").arg(text);
    return QString();
}

// Parses options after the command word; returns an error text, or empty.
using Arguments = std::vector<platform::Argument>;

// The commands that take options: convert and preview take the run's, detect only -d and -e.
enum class Command { Convert, Preview, Detect };

QString parse(const Arguments& args, Command command, Options& o)
{
    const bool convert = command != Command::Detect;
    const bool many = command == Command::Convert;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const QString& a = args[i].text;
        const auto value = [&](auto& into) -> QString {
            if (i + 1 >= args.size())
                return QStringLiteral("%1 には値が必要です。").arg(a);
            if (into)
                return QStringLiteral("%1 が二度指定されています。").arg(a);
            ++i;
            if constexpr (std::is_same_v<std::decay_t<decltype(into)>, std::optional<QString>>)
                into = args[i].text;
            else
                into = args[i];
            return QString();
        };
        QString error;
        if (a == QLatin1String("-d") || a == QLatin1String("--delimiter"))
            error = value(o.delimiter);
        else if (a == QLatin1String("-e") || a == QLatin1String("--encoding"))
            error = value(o.encoding);
        else if (convert && (a == QLatin1String("-c") || a == QLatin1String("--columns")))
            error = value(o.columns);
        else if (convert && (a == QLatin1String("-f") || a == QLatin1String("--definition")))
            error = value(o.definition);
        else if (convert && (a == QLatin1String("-n") || a == QLatin1String("--names")))
            error = value(o.names);
        else if (many && a == QLatin1String("--output-dir"))
            error = value(o.outputDir);
        else if (many && a == QLatin1String("--suffix"))
            error = value(o.suffix);
        else if (many && a == QLatin1String("--check-names"))
            o.checkNames = true;
        else if (convert && (a == QLatin1String("-t") || a == QLatin1String("--tab")))
            o.tab = true;
        else if (convert && (a == QLatin1String("-s") || a == QLatin1String("--skip-first-line")))
            o.skipFirstLine = true;
        else if (convert && a == QLatin1String("--strict"))
            o.strict = true;
        else if (convert && a == QLatin1String("--to"))
            error = value(o.to);
        else if (convert && a == QLatin1String("--eol"))
            error = value(o.eol);
        else if (convert && a == QLatin1String("--quote"))
            o.form.quote = true;
        else if (convert && a == QLatin1String("--replace"))
            o.form.replace = true;
        else if (command == Command::Preview && a == QLatin1String("--lines"))
            error = value(o.lines);
        else if (command == Command::Preview && a == QLatin1String("--raw"))
            o.raw = true;
        else if (a == QLatin1String("--")) {
            o.positional.insert(o.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-"))
            error = QStringLiteral("不明なオプションです: %1").arg(a);
        else
            o.positional.push_back(args[i]);
        if (!error.isEmpty())
            return error;
    }
    if (o.encoding)
        if (QString error = encodingChoice(*o.encoding, o.encodingChoice); !error.isEmpty())
            return error;
    if (QString error = outputForm(o, o.form); !error.isEmpty())
        return error;
    return o.delimiter ? checkDelimiterText(*o.delimiter) : QString();
}

// The source: a file, or standard input for "-".
struct Source {
    QString name;
    bool isStdin = false;
    std::filesystem::path path;
};

Source sourceOf(const platform::Argument& arg)
{
    Source s;
    s.isStdin = arg.text == QLatin1String("-") || os::descriptorNamedBy(arg.path) == 0;
    s.name = s.isStdin ? QStringLiteral("標準入力") : shown(arg.path);
    if (!s.isStdin)
        s.path = arg.path;
    return s;
}

// detect decodes a long item this many bytes at a time, and writes once a batch of pieces
// holds kBatchBytes: what it holds besides the line stays small, however long the items.
constexpr std::size_t kPiece = 64 * 1024;
constexpr std::size_t kBatchBytes = 1 << 20;

// Where the piece of an item longer than kPiece that starts at `from` (a character's start)
// ends: a character's start kPiece bytes on or just after, where decoding the two sides
// apart gives exactly the text of decoding them together.
std::size_t pieceEnd(std::string_view item, std::size_t from, engine::Encoding encoding)
{
    std::size_t at = from;
    if (encoding == engine::Encoding::Cp932) {
        // A trail byte may look like a lead byte: characters are found only by walking them.
        while (at < from + kPiece)
            at += engine::charLength(item, at);
        return at;
    }
    // A UTF-8 decoder takes a lead byte with at most three continuation bytes (10xxxxxx):
    // whatever it makes of invalid bytes, none of its sequences takes in another byte after
    // its first, nor a fourth continuation byte.
    const auto continuation = [&](std::size_t i) { return (static_cast<unsigned char>(item[i]) & 0xC0) == 0x80; };
    at += kPiece;
    while (at < item.size() && continuation(at) &&
           !(continuation(at - 1) && continuation(at - 2) && continuation(at - 3)))
        ++at;
    return at;
}

// The delimiter of a first line among the window's default candidates, as the window
// detects it before any candidate was changed.
void detectDefault(std::string_view line, engine::Encoding encoding, std::string& delimiter, std::int64_t& items)
{
    engine::DelimiterTable table;
    table.resetToDefaults();
    engine::fGetDeli(line, platform::delimitersFor(table, encoding), delimiter, items, encoding);
}

class Progress {
public:
    // label: the file being converted, shown beside the figures when many are.
    Progress(std::uint64_t total, const QString& label)
        : total_(total), label_(label), enabled_(platform::stderrIsTerminal()),
          redraw_(enabled_ && platform::enableLineRedraw())
    {
    }
    void show(std::uint64_t done)
    {
        if (!enabled_)
            return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0.0;
        if (total_ > 0) {
            const int width = 30;
            const int filled = static_cast<int>(static_cast<double>(done) * width / static_cast<double>(total_));
            std::fprintf(stderr, "\r[%-*.*s] %3d%%  %8.1f MB/s", width, filled, "##############################",
                         static_cast<int>(done * 100 / total_), rate);
        } else {
            std::fprintf(stderr, "\r%10.1f MB  %8.1f MB/s", static_cast<double>(done) / 1e6, rate);
        }
        if (!label_.isEmpty())
            platform::writeText(platform::StandardStream::Error, QStringLiteral("  ") + label_);
        std::fflush(stderr);
        shown_ = true;
    }
    void finish()
    {
        // Where the terminal cannot erase a line, blanks as long as the progress line do.
        if (shown_) {
            if (redraw_)
                std::fputs("\r\033[K", stderr);
            else // a wide character takes two columns
                platform::writeText(platform::StandardStream::Error,
                                    QLatin1Char('\r') + QString(55 + 2 * label_.size(), QLatin1Char(' ')) +
                                        QLatin1Char('\r'));
        }
    }

private:
    std::uint64_t total_;
    QString label_;
    bool enabled_;
    bool redraw_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Columns are named one way: by number, by a definition file or by name.
bool oneWayOfColumns(const Options& o)
{
    return int(o.columns.has_value()) + int(o.definition.has_value()) + int(o.names.has_value()) == 1;
}

// The columns of -c or -f, the same for every source; empty for -n, whose names are
// looked up in each source's own first line.
QString fixedColumns(const Options& o, engine::ColumnChoice& columns, int& code)
{
    code = kUsage;
    if (o.columns) {
        std::vector<int> numbers;
        for (const QString& part : o.columns->split(QLatin1Char(','))) {
            bool ok = false;
            const int n = part.trimmed().toInt(&ok);
            if (!ok || n < 1)
                return QStringLiteral("--columns の値が正しくありません: %1").arg(*o.columns);
            numbers.push_back(n);
        }
        columns.load(numbers);
    } else if (o.definition) {
        code = kFailed;
        const engine::Definition definition = engine::readDefinition(o.definition->path);
        if (definition.status == engine::Definition::Status::CannotOpen)
            return texts::definitionCannotOpen(shown(o.definition->path));
        if (definition.status == engine::Definition::Status::NotADefinition)
            return QStringLiteral("「%1」はTolvaneの定義ファイルではありません。").arg(shown(o.definition->path));
        // Read as the window loads it: a negative line names no column.
        columns.load(definition.itemNumbers);
        if (columns.rowCount() == 0)
            return QStringLiteral("定義ファイル「%1」には出力する項目がありません。").arg(shown(o.definition->path));
    }
    return QString();
}

// An item as a name: a whole item in quotes stands for what they enclose, "" for ".
QString nameOf(std::string_view item, engine::Encoding encoding)
{
    std::string bytes(item);
    if (bytes.size() >= 2 && bytes.front() == '"' && bytes.back() == '"') {
        std::string inner;
        for (std::size_t i = 1; i + 1 < bytes.size(); ++i) {
            inner += bytes[i];
            if (bytes[i] == '"' && bytes[i + 1] == '"' && i + 2 < bytes.size())
                ++i;
        }
        bytes = std::move(inner);
    }
    return platform::decodeSource(bytes, encoding);
}

// The item numbers of -n's names in a first line. A name the line lacks, or holds twice,
// cannot pick a column: the error then lists the line's names, so the user can correct it.
QString columnsByName(const QString& list, std::string_view first, const std::string& delimiter, std::int64_t items,
                      engine::Encoding encoding, engine::ColumnChoice& columns)
{
    QStringList names;
    engine::forEachListedItem(
        first, delimiter, items, [&](std::int64_t, std::string_view item) { names << nameOf(item, encoding); },
        encoding);
    QStringList problems;
    std::vector<int> numbers;
    for (const QString& wanted : list.split(QLatin1Char(','))) {
        const qsizetype at = names.indexOf(wanted);
        if (at < 0)
            problems << QStringLiteral("項目名「%1」は先頭行にありません。").arg(wanted);
        else if (names.indexOf(wanted, at + 1) >= 0)
            problems << QStringLiteral("項目名「%1」は先頭行に二つ以上あります。").arg(wanted);
        else
            numbers.push_back(static_cast<int>(at) + 1);
    }
    if (problems.isEmpty()) {
        columns.load(numbers);
        return QString();
    }
    problems.removeDuplicates();
    // A first line of millions of items is not listed whole.
    constexpr qsizetype kListed = 200;
    QString text = problems.join(QLatin1Char('\n')) + QStringLiteral("\n先頭行の項目名:");
    for (qsizetype i = 0; i < std::min(names.size(), kListed); ++i)
        text += QStringLiteral("\n  %1\t%2").arg(i + 1).arg(names[i]);
    if (names.size() > kListed)
        text += QStringLiteral("\n  …ほか %1 項目").arg(names.size() - kListed);
    return text;
}

// What a run over a source takes from its first line: the input delimiter (given, or detected
// as the window detects it), the line's item count, and the columns -n names in it. An error
// text (a usage error), or empty.
QString sourceSettings(const Options& o, std::string_view first, bool haveFirst, engine::Encoding encoding,
                       std::string& inDeli, std::int64_t& items, engine::ColumnChoice& byName)
{
    if (o.delimiter) {
        if (const QString error = delimiterBytes(*o.delimiter, encoding, inDeli); !error.isEmpty())
            return error;
    } else {
        detectDefault(haveFirst ? first : std::string_view(), encoding, inDeli, items);
    }
    if (o.delimiter && haveFirst) {
        std::string counted;
        engine::fGetDeli2(inDeli, first, counted, items, encoding);
    }
    if (o.names)
        return columnsByName(*o.names, haveFirst ? first : std::string_view(), inDeli, items, encoding, byName);
    return QString();
}

// How one source's run ended: the exit code, and what to say of it.
struct Outcome {
    int code = kOk;
    QString message;
};

Outcome convertOne(const Options& o, const engine::ColumnChoice& fixed, const Source& source,
                   const std::filesystem::path& output, bool toStdout, const QString& label)
{
    const QString outputShown = toStdout ? QStringLiteral("標準出力") : shown(output);
    // Warnings of a run among many name their source.
    const auto warn = [&](const QString& text) { say(label.isEmpty() ? text : label + QStringLiteral(": ") + text); };

    // The output replaces an earlier one only when the whole conversion has succeeded.
    engine::Conversion conversion({.skipFirstLine = o.skipFirstLine});
    engine::RunRequest request;
    request.source = source.path;
    request.sourceIsStandardInput = source.isStdin;
    request.output = toStdout ? std::filesystem::path() : output;
    request.outputIsStandardOutput = toStdout;
    request.mode = engine::OutputMode::Replace;
    if (o.definition)
        request.notOutputs.push_back(o.definition->path);
    request.encoding = o.encodingChoice;
    if (conversion.prepare(request) != engine::Conversion::Status::Running)
        return {kFailed,
                texts::runStopped(conversion, source.name, outputShown, texts::OutputWriting::ReplacedOnSuccess)};
    if (conversion.lockless())
        warn(texts::outputNotLocked(outputShown));

    std::string_view first;
    const bool haveFirst = conversion.peekFirstLine(first);
    const engine::Encoding encoding = conversion.sourceEncoding().encoding;
    std::string inDeli;
    std::int64_t items = 0;
    engine::ColumnChoice byName;
    // Refused before anything is written: a Replace run leaves the output as it was.
    if (const QString error = sourceSettings(o, first, haveFirst, encoding, inDeli, items, byName); !error.isEmpty())
        return {kUsage, error};
    const engine::ColumnChoice& columns = o.names ? byName : fixed;
    // The window's question, said instead of asked: the run goes on unless --strict,
    // which stops it before the output is touched.
    if (const std::vector<int> beyond = columns.beyond(items); haveFirst && !beyond.empty()) {
        if (o.strict)
            return {kFailed, texts::columnsBeyondSource(beyond)};
        warn(texts::columnsBeyondSource(beyond));
    }

    engine::ConversionSettings settings{inDeli, o.tab ? "\t" : ",", columns.map(), o.form};
    Progress progress(conversion.sourceSize(), label);
    engine::Conversion::Status status;
    do {
        status = conversion.run(settings, std::chrono::steady_clock::now() + std::chrono::milliseconds(250));
        progress.show(conversion.bytesRead());
    } while (status == engine::Conversion::Status::Running);
    status = conversion.finish();
    progress.finish();
    if (status != engine::Conversion::Status::Done)
        return {kFailed,
                texts::runStopped(conversion, source.name, outputShown,
                                  toStdout ? texts::OutputWriting::InPlace : texts::OutputWriting::ReplacedOnSuccess)};
    // As the window counts: a first line left out is counted only with the lines after it.
    QString said = QStringLiteral("変換終了: %1件").arg(conversion.shownCount());
    for (const QString& note : texts::formNotes(conversion, o.form))
        said += QLatin1Char('\n') + note;
    return {kOk, said};
}

// Each source's output in the folder: its own name, or with the suffix before its extension.
std::filesystem::path outputIn(const std::filesystem::path& folder, const std::filesystem::path& source,
                               const Options& o)
{
    const std::filesystem::path name = source.filename();
    if (!o.suffix)
        return folder / name;
    return folder / (name.stem().native() + o.suffix->path.native() + name.extension().native());
}

int convert(const Arguments& args)
{
    Options o;
    if (const QString error = parse(args, Command::Convert, o); !error.isEmpty())
        return usageError(error);
    if (o.outputDir ? o.positional.empty() : o.positional.size() != 2)
        return usageError(o.outputDir ? QStringLiteral("convert --output-dir には SOURCE を指定してください。")
                                      : QStringLiteral("convert には SOURCE と OUTPUT を指定してください。"));
    if (o.suffix && !o.outputDir)
        return usageError(QStringLiteral("--suffix は --output-dir と共に指定してください。"));
    if (!oneWayOfColumns(o))
        return usageError(QStringLiteral("--columns, --definition, --names のどれか一つを指定してください。"));
    if (o.checkNames && !o.definition)
        return usageError(QStringLiteral("--check-names は --definition と共に指定してください。"));

    engine::ColumnChoice columns;
    int code = kOk;
    if (const QString error = fixedColumns(o, columns, code); !error.isEmpty())
        return code == kUsage ? usageError(error) : (say(error), code);

    if (!o.outputDir) {
        const platform::Argument& outputArg = o.positional[1];
        const bool toStdout = outputArg.text == QLatin1String("-") || os::descriptorNamedBy(outputArg.path) == 1;
        const Outcome outcome = convertOne(o, columns, sourceOf(o.positional[0]), outputArg.path, toStdout, QString());
        if (outcome.code == kUsage && !o.names)
            return usageError(outcome.message);
        say(outcome.message);
        return outcome.code;
    }

    // Many sources: every name checked before anything is written, then each converted
    // alone, the others going on when one fails.
    std::error_code error;
    if (!std::filesystem::is_directory(o.outputDir->path, error)) {
        say(QStringLiteral("出力フォルダ「%1」がありません。").arg(shown(o.outputDir->path)));
        return kFailed;
    }
    std::vector<std::filesystem::path> outputs;
    for (const platform::Argument& arg : o.positional) {
        if (sourceOf(arg).isStdin)
            return usageError(QStringLiteral("--output-dir では標準入力を SOURCE にできません。"));
        outputs.push_back(outputIn(o.outputDir->path, arg.path, o));
        for (std::size_t i = 0; i + 1 < outputs.size(); ++i)
            if (platform::sameFileName(outputs[i], outputs.back()))
                return usageError(QStringLiteral("「%1」と「%2」はどちらも「%3」に書くことになります。")
                                      .arg(shown(o.positional[i].path), shown(arg.path), shown(outputs.back())));
    }
    int worst = kOk;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Source source = sourceOf(o.positional[i]);
        const QString label = shown(o.positional[i].path.filename());
        const Outcome outcome = convertOne(o, columns, source, outputs[i], false, label);
        say(label + QStringLiteral(": ") + outcome.message);
        worst = std::max(worst, outcome.code);
    }
    return worst;
}

// A cell as the table shows it: decoded, line ends and TABs written as \r \n \t, and cut at
// kCellWidth columns.
constexpr int kCellWidth = 40;

QString tableCell(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
    if (platform::displayWidth(text) <= kCellWidth)
        return text;
    QString cut;
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        width += platform::displayWidth(c);
        if (width > kCellWidth - 3)
            break;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut + QStringLiteral("...");
}

// Rows of cells, each column padded to its widest cell (a wide character counting two).
QString alignedTable(const std::vector<QStringList>& rows)
{
    std::vector<int> widths;
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (static_cast<std::size_t>(c) >= widths.size())
                widths.push_back(0);
            widths[static_cast<std::size_t>(c)] =
                std::max(widths[static_cast<std::size_t>(c)], platform::displayWidth(row[c]));
        }
    QString out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QStringList& row = rows[r];
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0)
                line += QStringLiteral(" | ");
            line += row[c];
            if (c + 1 < row.size())
                line += QString(widths[static_cast<std::size_t>(c)] - platform::displayWidth(row[c]), QLatin1Char(' '));
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
        // A rule under the headings.
        if (r == 0) {
            QString rule;
            for (std::size_t c = 0; c < widths.size(); ++c)
                rule += (c > 0 ? QStringLiteral("-+-") : QString()) + QString(widths[c], QLatin1Char('-'));
            out += rule + QLatin1Char('\n');
        }
    }
    return out;
}

int preview(const Arguments& args)
{
    Options o;
    if (const QString error = parse(args, Command::Preview, o); !error.isEmpty())
        return usageError(error);
    if (o.positional.size() != 1)
        return usageError(QStringLiteral("preview には SOURCE をひとつ指定してください。"));
    if (!oneWayOfColumns(o))
        return usageError(QStringLiteral("--columns, --definition, --names のどれか一つを指定してください。"));
    std::int64_t lines = 10;
    if (o.lines) {
        bool ok = false;
        lines = o.lines->toLongLong(&ok);
        if (!ok || lines < 1 || lines > engine::kPreviewMostLines)
            return usageError(QStringLiteral("--lines には 1 から %1 までの数を指定してください: %2")
                                  .arg(engine::kPreviewMostLines)
                                  .arg(*o.lines));
    }
    engine::ColumnChoice fixed;
    int code = kOk;
    if (const QString error = fixedColumns(o, fixed, code); !error.isEmpty())
        return code == kUsage ? usageError(error) : (say(error), code);

    // Only the start of the source is read, and nothing is written but to standard output.
    const Source source = sourceOf(o.positional[0]);
    engine::PreviewStart start;
    engine::FileProblem problem = engine::FileProblem::None;
    // A source named by one of the process's descriptors (/dev/stdin, /dev/fd/3) is that open
    // stream, never opened again by name, as a run reads it.
    if (const int fd = source.isStdin ? 0 : os::descriptorNamedBy(source.path); fd >= 0) {
        engine::SourceFile in;
        problem = in.openDescriptor(fd);
        if (problem == engine::FileProblem::None)
            problem = engine::readPreviewStart(in, start);
    } else {
        problem = engine::readPreviewStart(source.path, start);
    }
    if (problem != engine::FileProblem::None) {
        say(texts::fileProblem(problem, source.name));
        return kFailed;
    }
    std::string first;
    engine::SourceEncoding sourceEncoding;
    const bool haveFirst = engine::previewFirstLine(start, o.encodingChoice, first, sourceEncoding);
    const engine::Encoding encoding = sourceEncoding.encoding;
    std::string inDeli;
    std::int64_t items = 0;
    engine::ColumnChoice byName;
    if (const QString error = sourceSettings(o, first, haveFirst, encoding, inDeli, items, byName); !error.isEmpty())
        return o.names ? (say(error), kUsage) : usageError(error);
    const engine::ColumnChoice& columns = o.names ? byName : fixed;
    const engine::PreviewRequest request{
        {inDeli, o.tab ? "\t" : ",", columns.map(), o.form}, o.skipFirstLine, o.encodingChoice, lines};
    const engine::Preview p = engine::previewOutput(start, request);

    QStringList warnings;
    for (const engine::PreviewWarning& w : p.warnings)
        warnings << texts::previewWarning(w, texts::Face::CommandLine);
    if (o.raw) {
        const std::string raw = p.raw();
        const bool written = std::fwrite(raw.data(), 1, raw.size(), stdout) == raw.size() && std::fflush(stdout) == 0;
        for (const QString& w : warnings)
            say(w);
        if (!written) {
            say(QStringLiteral("標準出力に書き込めません。"));
            return kFailed;
        }
        return o.strict && !warnings.isEmpty() ? kFailed : kOk;
    }

    // The headings: each column's item number and the first line's item. Where the first line
    // is left out, the heading row is that line, and says so.
    std::vector<std::string_view> pieces;
    for (const engine::PreviewHeading& h : p.headings)
        pieces.push_back(h.text);
    for (const engine::PreviewLine& line : p.lines)
        for (const engine::PreviewCell& cell : line.cells)
            pieces.push_back(cell.bytes);
    const QStringList texts = platform::decodeSourceEach(pieces, p.encoding.encoding);
    qsizetype next = 0;
    std::vector<QStringList> rows;
    QStringList heading{p.header ? QStringLiteral("1 (変換しない)") : QStringLiteral("行")};
    for (const engine::PreviewHeading& h : p.headings) {
        const QString text = tableCell(texts[next++]);
        heading << QStringLiteral("[%1] ").arg(h.itemNumber) +
                       (h.beyond   ? QStringLiteral("(なし)")
                        : h.unread ? QStringLiteral("(先頭 %1 KB より後)").arg(engine::kPreviewBytes >> 10)
                                   : text);
    }
    rows.push_back(heading);
    for (const engine::PreviewLine& line : p.lines) {
        QStringList row{QString::number(line.sourceLine) + (line.cut ? QStringLiteral(" (途中まで)") : QString())};
        for (std::size_t c = 0; c < line.cells.size(); ++c)
            row << tableCell(texts[next++]);
        rows.push_back(row);
    }
    QString out = alignedTable(rows);
    if (p.lines.empty())
        out += QStringLiteral("(出力する行はありません)\n");
    if (!warnings.isEmpty())
        out += QLatin1Char('\n') + warnings.join(QLatin1Char('\n')) + QLatin1Char('\n');
    if (const int written = writeOut(out); written != kOk)
        return written;
    return o.strict && !warnings.isEmpty() ? kFailed : kOk;
}

int detect(const Arguments& args)
{
    Options o;
    if (const QString error = parse(args, Command::Detect, o); !error.isEmpty())
        return usageError(error);
    if (o.positional.size() != 1)
        return usageError(QStringLiteral("detect には SOURCE をひとつ指定してください。"));
    const Source source = sourceOf(o.positional[0]);
    std::string line;
    engine::SourceEncoding sourceEncoding;
    if (source.isStdin) {
        engine::Conversion reader;
        reader.setEncoding(o.encodingChoice);
        if (!reader.openStandardInput() || !reader.peekFirstLine(line)) {
            const QString problem = texts::runStopped(reader, source.name, QString(), texts::OutputWriting::InPlace);
            say(problem.isEmpty() ? texts::fileProblem(engine::FileProblem::Empty, source.name) : problem);
            return kFailed;
        }
        sourceEncoding = reader.sourceEncoding();
    } else if (const auto problem = engine::readFirstLine(source.path, line, o.encodingChoice, sourceEncoding);
               problem != engine::FileProblem::None) {
        say(texts::fileProblem(problem, source.name));
        return kFailed;
    }
    const engine::Encoding encoding = sourceEncoding.encoding;

    std::string delimiter;
    std::int64_t items = 0;
    if (o.delimiter) {
        if (const QString error = delimiterBytes(*o.delimiter, encoding, o.delimiterBytes); !error.isEmpty())
            return usageError(error);
        engine::fGetDeli2(o.delimiterBytes, line, delimiter, items, encoding);
    } else {
        detectDefault(line, encoding, delimiter, items);
    }
    QString name = platform::decodeSource(delimiter, encoding);
    if (delimiter == "\t")
        name = QStringLiteral("TAB");
    else if (delimiter.empty())
        name = QStringLiteral("(なし)");
    // Written piece by piece: a first line of millions of items never becomes one text, nor
    // does an item of hundreds of megabytes. Pieces are decoded in batches, one converter for
    // each: opening a converter costs more than decoding a short item.
    QString out = QStringLiteral("区切文字\t%1\n").arg(name);
    std::vector<std::string_view> batch;
    std::vector<std::uint8_t> marks; // each piece's place in its item
    constexpr std::uint8_t kStartsItem = 1, kEndsItem = 2;
    std::size_t batchBytes = 0;
    std::int64_t printed = 0;
    bool written = true;
    const auto flush = [&] {
        const QStringList texts = platform::decodeSourceEach(batch, encoding);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (marks[i] & kStartsItem) {
                char number[24];
                const char* end = std::to_chars(number, number + sizeof number, ++printed).ptr;
                out.append(QLatin1String(number, static_cast<qsizetype>(end - number)));
                out.append(QLatin1Char('\t'));
            }
            out.append(texts[static_cast<qsizetype>(i)]);
            if (marks[i] & kEndsItem)
                out.append(QLatin1Char('\n'));
        }
        batch.clear();
        marks.clear();
        batchBytes = 0;
        written = platform::writeText(platform::StandardStream::Output, out) && written;
        out.truncate(0); // keeps its room for the next batch
    };
    engine::forEachListedItem(
        line, delimiter, items,
        [&](std::int64_t, std::string_view item) {
            std::size_t at = 0;
            do {
                const std::size_t end = item.size() - at > kPiece ? pieceEnd(item, at, encoding) : item.size();
                batch.push_back(item.substr(at, end - at));
                marks.push_back(
                    static_cast<std::uint8_t>((at == 0 ? kStartsItem : 0) | (end == item.size() ? kEndsItem : 0)));
                batchBytes += end - at;
                at = end;
                if (batch.size() == 4096 || batchBytes >= kBatchBytes)
                    flush();
            } while (at < item.size());
        },
        encoding);
    flush();
    if (written)
        return kOk;
    say(QStringLiteral("標準出力に書き込めません。"));
    return kFailed;
}

} // namespace

bool isCommand(const QString& word)
{
    for (const char* command : {"convert", "preview", "detect", "--help", "-h", "--version", "--utf8"})
        if (word == QLatin1String(command))
            return true;
    return false;
}

int run(const std::vector<platform::Argument>& given, bool windowToo)
{
    opensWindow = windowToo;
    // --utf8 holds for every command, wherever it stands before --.
    std::vector<platform::Argument> args;
    bool optionsEnd = false;
    for (const platform::Argument& a : given) {
        optionsEnd = optionsEnd || a.text == QLatin1String("--");
        if (!optionsEnd && a.text == QLatin1String("--utf8"))
            platform::setUtf8Text(true);
        else
            args.push_back(a);
    }
    platform::setBinaryStdio();
    os::prepareEndings();
    std::ios::sync_with_stdio(false);
    programName = args.empty() ? QString() : QFileInfo(args[0].text).completeBaseName();
    if (programName.isEmpty())
        programName = QStringLiteral("tolvane");
    const QString command = args.size() > 1 ? args[1].text : QString();
    const Arguments rest(args.begin() + std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(args.size())),
                         args.end());
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        return writeOut(usageText());
    }
    if (command == QLatin1String("--version")) {
        return writeOut(QStringLiteral("tolvane " TOLVANE_VERSION "\n"));
    }
    if (args.size() < 2) {
        // Only a program that is nothing but the command line gets here: it says how it is used.
        say(usageText().chopped(1));
        return kUsage;
    }
    try {
        if (command == QLatin1String("convert"))
            return convert(rest);
        if (command == QLatin1String("detect"))
            return detect(rest);
        if (command == QLatin1String("preview"))
            return preview(rest);
    } catch (const std::bad_alloc&) {
        say(texts::outOfMemory());
        return kFailed;
    }
    return usageError(QStringLiteral("不明なコマンドです: %1").arg(command));
}

} // namespace cli
