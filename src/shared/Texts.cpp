#include "Texts.h"

#include "platform/Cp932.h"

#include <QDir>

namespace texts {

QString fileProblem(engine::FileProblem problem, const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    switch (problem) {
    case engine::FileProblem::Missing:
        return QStringLiteral("ファイル「%1」が見つかりません。").arg(shown);
    case engine::FileProblem::NotAFile:
        return QStringLiteral("「%1」はファイルではありません。").arg(shown);
    case engine::FileProblem::CannotOpen:
        return QStringLiteral("ファイル「%1」を開けません。").arg(shown);
    case engine::FileProblem::ReadFailed:
        return QStringLiteral("ファイル「%1」を読み込めません。").arg(shown);
    case engine::FileProblem::Empty:
        return QStringLiteral("ファイル「%1」には行がありません。").arg(shown);
    case engine::FileProblem::LineTooLong:
        return QStringLiteral(
                   "ファイル「%1」の1行目が長すぎます（%2MBを超えています）。区切文字で区切られたテキストファイルではないようです。")
            .arg(shown)
            .arg(engine::LineReader::kMaxLine >> 20);
    case engine::FileProblem::None:
        break;
    }
    return QString();
}

QString runStopped(const engine::Conversion& run, const QString& source, const QString& output, OutputWriting writing)
{
    const bool replacing = writing == OutputWriting::ReplacedOnSuccess;
    using S = engine::Conversion::Status;
    const QString in = QDir::toNativeSeparators(source);
    const QString out = QDir::toNativeSeparators(output);
    // Only a run that writes beside its output leaves that output as it was; a device or
    // standard output has taken whatever reached it.
    const QString unchanged =
        replacing && run.replacesOutput() ? QStringLiteral("出力ファイルは元のままです。") : QString();
    switch (run.status()) {
    case S::Running:
    case S::Done:
        return QString();
    case S::SourceMissing:
        return fileProblem(engine::FileProblem::Missing, source);
    case S::SourceNotAFile:
        return fileProblem(engine::FileProblem::NotAFile, source);
    case S::SourceCannotOpen:
        return fileProblem(engine::FileProblem::CannotOpen, source);
    case S::ReadFailed:
        if (run.count() == 0)
            return fileProblem(engine::FileProblem::ReadFailed, source);
        return QStringLiteral("ファイル「%1」の%2行目を読み込めません。%3行目までで変換を中止しました。%4")
            .arg(in)
            .arg(run.stoppedAtLine())
            .arg(run.count())
            .arg(unchanged);
    case S::LineTooLong:
        return QStringLiteral(
                   "ファイル「%1」の%2行目が長すぎます（%3MBを超えています）。区切文字で区切られたテキストファイルではないようです。"
                   "%4%5")
            .arg(in)
            .arg(run.stoppedAtLine())
            .arg(engine::LineReader::kMaxLine >> 20)
            .arg(run.count() == 0 ? QString() : QStringLiteral("%1行目までで変換を中止しました。").arg(run.count()))
            .arg(unchanged);
    case S::OutputIsSource:
        return QStringLiteral("出力ファイル「%1」は変換元ファイルと同じです。別の出力ファイルを指定してください。")
            .arg(out);
    case S::OutputIsNotOutput:
        return QStringLiteral(
                   "出力ファイル「%1」は変換に使う定義ファイルと同じです。別の出力ファイルを指定してください。")
            .arg(out);
    case S::OutputBusy:
        return QStringLiteral(
                   "出力ファイル「%1」には別の変換が書き込んでいます。その変換が終わるのを待つか、別の出力ファイルを"
                   "指定してください。")
            .arg(out);
    case S::CannotDeleteOutput:
        return QStringLiteral("出力ファイル「%1」を削除できません。").arg(out);
    case S::CannotCreateOutput:
        return QStringLiteral(
                   "出力ファイル「%1」を作成できません。フォルダーがあるか、書き込みが許可されているかを確かめてください。")
            .arg(out);
    case S::WriteFailed:
        if (!unchanged.isEmpty())
            return QStringLiteral(
                       "出力ファイル「%1」に書き込めません（ディスクがいっぱいかもしれません）。変換を中止しました。%2")
                .arg(out, unchanged);
        if (run.partialLine())
            return QStringLiteral(
                       "出力「%1」に書き込めません（ディスクがいっぱいかもしれません）。"
                       "%2件を書き込んだところで変換を中止しました。その後に途中までの行が書き込まれているかもしれません。")
                .arg(out)
                .arg(run.linesWritten());
        if (run.linesWritten() == 0)
            return QStringLiteral("出力ファイル「%1」に書き込めません（ディスクがいっぱいかもしれません）。"
                                  "何も書き込まないまま変換を中止しました。")
                .arg(out);
        return QStringLiteral("出力ファイル「%1」に書き込めません（ディスクがいっぱいかもしれません）。"
                              "%2件を書き込んだところで変換を中止しました。ファイルにはその%2件があります。")
            .arg(out)
            .arg(run.linesWritten());
    case S::OutputPlanted:
        return QStringLiteral(
                   "出力ファイル「%1」は別のユーザーが置いたリンクか名前付きパイプです。書き込むと、そのユーザーに"
                   "データが渡るおそれがあります。別の出力ファイルを指定してください。")
            .arg(out);
    case S::OutputChanged:
        return QStringLiteral(
                   "出力ファイル「%1」は変換中に削除されたか、別のファイルに置き換えられました。そのファイルには"
                   "書き込まず、変換を中止しました。")
            .arg(out);
    case S::Cancelled: {
        const QString left = replacing ? QStringLiteral("出力ファイル「%1」は元のままです。").arg(out)
                                       : QStringLiteral("出力ファイル「%1」には何も書き込んでいません。").arg(out);
        if (run.count() == 0)
            return QStringLiteral("変換を中止しました。%1").arg(left);
        return QStringLiteral("%1行目まで読んだところで変換を中止しました。%2").arg(run.count()).arg(left);
    }
    case S::CannotReplaceOutput:
        return QStringLiteral("出力ファイル「%1」を置き換えられません。%2").arg(out, unchanged);
    case S::CannotEncode:
    case S::NotACharacter: {
        const engine::CharacterFault& f = run.characterFault();
        QString kept = unchanged;
        if (kept.isEmpty())
            kept = run.partialLine()
                       ? QStringLiteral("出力「%1」には%2件を書き込みました。その後に途中までの行が"
                                        "書き込まれているかもしれません。")
                             .arg(out)
                             .arg(run.linesWritten())
                       : QStringLiteral("出力ファイル「%1」には%2件があります。").arg(out).arg(run.linesWritten());
        if (run.status() == S::CannotEncode)
            return QStringLiteral("ファイル「%1」の%2行目、項目%3の文字「%4」(U+%5) は出力の文字コード (%6) で"
                                  "表せません。変換を中止しました。%7表せない文字を ? に置き換える指定"
                                  "をすると変換を続けられます。")
                .arg(in)
                .arg(f.line)
                .arg(f.item)
                .arg(QString::fromUcs4(reinterpret_cast<const char32_t*>(&f.codePoint), 1))
                .arg(QStringLiteral("%1").arg(f.codePoint, 4, 16, QLatin1Char('0')).toUpper())
                .arg(encodingName(f.to, f.from))
                .arg(kept);
        QString hex;
        for (const char c : f.bytes)
            hex += QStringLiteral("%1%2")
                       .arg(hex.isEmpty() ? QString() : QStringLiteral(" "))
                       .arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'))
                       .toUpper();
        return QStringLiteral("ファイル「%1」の%2行目、項目%3のバイト %4 は%5の文字になっていません。"
                              "変換を中止しました。%6")
            .arg(in)
            .arg(f.line)
            .arg(f.item)
            .arg(hex)
            .arg(f.from == engine::Encoding::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("シフトJIS"))
            .arg(kept);
    }
    }
    return QString();
}

QString encodingName(engine::OutputEncoding encoding, engine::Encoding source)
{
    switch (encoding) {
    case engine::OutputEncoding::AsSource:
        return source == engine::Encoding::Utf8 ? QStringLiteral("元のまま: UTF-8")
                                                : QStringLiteral("元のまま: シフトJIS");
    case engine::OutputEncoding::Cp932:
        return QStringLiteral("シフトJIS");
    case engine::OutputEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case engine::OutputEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM付き)");
    }
    return QString();
}

QStringList formNotes(const engine::Conversion& run, const engine::OutputForm& form)
{
    QStringList notes;
    if (run.replacements() > 0)
        notes << QStringLiteral("出力の文字コードで表せない文字などを ? に置き換えました: %1か所")
                     .arg(run.replacements());
    if (!form.quote && run.linesHoldingDelimiter() > 0)
        notes << QStringLiteral("出力の区切文字を含む項目がある行: %1行 (引用符を付けていないため、読み込むと"
                                "列が増えます。必要なときだけ引用符を付ける指定で防げます)")
                     .arg(run.linesHoldingDelimiter());
    return notes;
}

QString outputNotLocked(const QString& output)
{
    return QStringLiteral("注意: 出力ファイル「%1」はロックできない場所にあるため、ロックせずに書き込みます。"
                          "同じファイルに別の変換を同時に行わないでください。")
        .arg(QDir::toNativeSeparators(output));
}

QString outOfMemory()
{
    return QStringLiteral("メモリが足りないため、処理を中止しました。");
}

QString definitionCannotOpen(const QString& path)
{
    return QStringLiteral("定義ファイル「%1」を開けません。").arg(QDir::toNativeSeparators(path));
}

QString columnsBeyondSource(const std::vector<int>& itemNumbers)
{
    QStringList numbers;
    for (int n : itemNumbers)
        numbers << QString::number(n);
    return QStringLiteral("出力列 %1 は元データにありません。最後の項目が出力されます。")
        .arg(numbers.join(QStringLiteral(", ")));
}

QString previewWarning(const engine::PreviewWarning& w, Face face)
{
    const bool window = face == Face::Window;
    using K = engine::PreviewWarningKind;
    const QString at = QStringLiteral("%1行目: ").arg(w.line);
    const QString column = QStringLiteral("%1列目 (項目%2)").arg(w.column + 1).arg(w.itemNumber);
    switch (w.kind) {
    case K::NeedsQuotes:
        return at + QStringLiteral("%1に出力の区切文字、引用符または改行があります (%2行)。引用符を付けないため、"
                                   "読み込むと列や行が増えます。%3 で防げます。")
                        .arg(column)
                        .arg(w.lines)
                        .arg(window ? QStringLiteral("出力 > 引用符 > 必要なときだけ引用符を付ける")
                                    : QStringLiteral("--quote"));
    case K::ColumnBeyond:
        return at + QStringLiteral("%1はこの行にありません (この行の項目数 %2)。行の最後の項目を出力します (%3行)。")
                        .arg(column)
                        .arg(w.items)
                        .arg(w.lines);
    case K::ItemCountDiffers:
        return at + QStringLiteral("項目数が %1 で、1行目の %2 と違います (項目数の違う行: %3行)。")
                        .arg(w.items)
                        .arg(w.firstLineItems)
                        .arg(w.lines);
    case K::NotDecodable:
        return at + QStringLiteral("%1に文字として読めないバイトがあり、� と表示しています (%2行)。"
                                   "元ファイルの文字コードが違うかもしれません。%3")
                        .arg(column)
                        .arg(w.lines)
                        .arg(window ? QStringLiteral("編集 > 文字コード で選んでください。")
                                    : QStringLiteral("-e で指定してください。"));
    case K::LooksUtf8:
        return at + QStringLiteral("元ファイルは UTF-8 のようですが、シフトJIS として読んでいます (%1行)。%2")
                        .arg(w.lines)
                        .arg(window ? QStringLiteral("編集 > 文字コード で UTF-8 を選んでください。")
                                    : QStringLiteral("-e utf-8 を指定してください。"));
    case K::EmptyColumn:
        return at + QStringLiteral("%1はプレビューのどの行 (%2行) でも空です。").arg(column).arg(w.lines);
    case K::Replaced:
        return at + QStringLiteral("出力の文字コードで表せない文字などを ? に置き換えます (プレビューで%1か所)。")
                        .arg(w.lines);
    case K::RunStops: {
        const engine::CharacterFault& f = w.fault;
        const QString advice = window ? QStringLiteral("出力 > 表せない文字を ? にする で続けられます。")
                                      : QStringLiteral("--replace で続けられます。");
        if (f.codePoint != engine::CharacterFault::kNoCharacter)
            return at + QStringLiteral("項目%1の文字「%2」(U+%3) は出力の文字コード (%4) で表せないため、変換はこの行で"
                                       "止まります。%5")
                            .arg(f.item)
                            .arg(QString::fromUcs4(reinterpret_cast<const char32_t*>(&f.codePoint), 1))
                            .arg(QStringLiteral("%1").arg(f.codePoint, 4, 16, QLatin1Char('0')).toUpper())
                            .arg(encodingName(f.to, f.from))
                            .arg(advice);
        QString hex;
        for (const char c : f.bytes)
            hex += QStringLiteral("%1 ").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0')).toUpper();
        return at + QStringLiteral("項目%1のバイト %2は文字になっていないため、変換はこの行で止まります。%3")
                        .arg(f.item)
                        .arg(hex)
                        .arg(advice);
    }
    case K::FirstLineCut:
        return at +
               QStringLiteral("1行目が長いため、先頭の %1 KB だけを表示しています。").arg(engine::kPreviewBytes >> 10);
    }
    return QString();
}

QString noCp932Converter()
{
    return QStringLiteral(
        "この Qt にはコードページ 932 (Shift_JIS) の変換器 \"CP932\" がないため、Tolvane を起動できません。"
        "ICU 対応でビルドされた Qt が必要です。");
}

std::string typedDelimiter(const QString& text, engine::Encoding encoding)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return platform::encodeDelimiter(text.mid(first, last - first), encoding);
}

} // namespace texts
