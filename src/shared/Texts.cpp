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
    case engine::FileProblem::None:
        break;
    }
    return QString();
}

QString outputIsSource(const QString& output)
{
    return QStringLiteral("出力ファイル「%1」は変換元ファイルと同じです。別の出力ファイルを指定してください。")
        .arg(QDir::toNativeSeparators(output));
}

QString cannotDeleteOutput(const QString& output)
{
    return QStringLiteral("出力ファイル「%1」を削除できません。").arg(QDir::toNativeSeparators(output));
}

QString writeStopped(const QString& output, long long linesWritten)
{
    return QStringLiteral("出力ファイル「%1」に書き込めません。%2件を書き込んだところで変換を中止しました。")
        .arg(QDir::toNativeSeparators(output))
        .arg(linesWritten);
}

QString readStopped(const QString& source, long long linesRead)
{
    return QStringLiteral("ファイル「%1」を読み込めません。%2行目までで変換を中止しました。")
        .arg(QDir::toNativeSeparators(source))
        .arg(linesRead);
}

QString definitionCannotOpen(const QString& path)
{
    return QStringLiteral("定義ファイル「%1」を開けません。").arg(QDir::toNativeSeparators(path));
}

QString noCp932Converter()
{
    return QStringLiteral("この Qt にはコードページ 932 (Shift_JIS) の変換器 \"CP932\" がないため、Tolvane を起動できません。"
                          "ICU 対応でビルドされた Qt が必要です。");
}

std::string typedDelimiter(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return platform::encodeDelimiter(text.mid(first, last - first));
}

} // namespace texts
