#include "CommonDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace platform {

namespace {

QString folderKey(CommonDialog::Purpose purpose)
{
    switch (purpose) {
    case CommonDialog::Purpose::Output:
        return QStringLiteral("folders/output");
    case CommonDialog::Purpose::Definition:
        return QStringLiteral("folders/definition");
    case CommonDialog::Purpose::Source:
        break;
    }
    return QStringLiteral("folders/source");
}

// An ini file, also on Windows, where the native format would be the registry.
std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

QString filterLabel(const QString& pattern)
{
    if (pattern.compare(QStringLiteral("*.csv"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("CSVファイル (%1)").arg(pattern);
    if (pattern.compare(QStringLiteral("*.def"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("定義ファイル (%1)").arg(pattern);
    return QStringLiteral("%1 (%1)").arg(pattern);
}

} // namespace

std::optional<QString> QtCommonDialog::ask(Mode mode)
{
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == Mode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setWindowTitle(mode == Mode::Open ? QStringLiteral("開く") : QStringLiteral("名前を付けて保存"));
    // A bare pattern such as "*.csv" gets a readable label, with all files beside it.
    if (!Filter.isEmpty())
        dialog.setNameFilters({filterLabel(Filter), QStringLiteral("すべてのファイル (*)")});
    QString name = FileName;
    // A wildcard in the proposed name only repeats the filter.
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        name.clear();
    QString dir = InitDir;
    if (dir.isEmpty()) {
        const QString remembered = settings()->value(folderKey(purpose)).toString();
        dir = !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : QDir::currentPath();
    }
    dialog.setDirectory(dir);
    if (!name.isEmpty())
        dialog.selectFile(QFileInfo(name).isAbsolute() ? name : QDir(dir).filePath(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    settings()->setValue(folderKey(purpose), QFileInfo(chosen).absolutePath());
    return QDir::toNativeSeparators(chosen);
}

} // namespace platform
