#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace platform {

std::optional<QString> QtCommonDialog::ask(Mode mode)
{
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == Mode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setWindowTitle(mode == Mode::Open ? QStringLiteral("開く") : QStringLiteral("名前を付けて保存"));
    // A bare pattern such as "*.csv" gets a readable label, with all files beside it.
    if (!Filter.isEmpty()) {
        dialog.setNameFilters({QStringLiteral("%1 (%1)").arg(Filter), QStringLiteral("すべてのファイル (*)")});
    }
    QString name = FileName;
    // A wildcard in the proposed name only repeats the filter.
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        name.clear();
    const QString dir = InitDir.isEmpty() ? QDir::currentPath() : InitDir;
    dialog.setDirectory(dir);
    if (!name.isEmpty())
        dialog.selectFile(QFileInfo(name).isAbsolute() ? name : QDir(dir).filePath(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace platform
