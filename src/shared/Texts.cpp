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
