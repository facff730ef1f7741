#include "CommonDialog.h"

#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace platform {

namespace {

QString kindName(CommonDialog::Purpose purpose)
{
    switch (purpose) {
    case CommonDialog::Purpose::Output:
        return QStringLiteral("output");
    case CommonDialog::Purpose::Definition:
        return QStringLiteral("definition");
    case CommonDialog::Purpose::Source:
        break;
    }
    return QStringLiteral("source");
}

// "desc|patterns|desc|patterns" as Qt's "desc (patterns)"; a description that already
// ends with its patterns in brackets is taken as it is.
QStringList nameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& patterns = parts[i + 1];
        result << (description.endsWith(QLatin1Char(')')) ? description
                                                          : QStringLiteral("%1 (%2)").arg(description, patterns));
    }
    if (parts.size() == 1 && !filter.isEmpty()) // a bare pattern
        result << QStringLiteral("%1 (%1)").arg(filter);
    return result;
}

QStringList patternsOf(const QString& nameFilter)
{
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const QString inside = open < 0 ? nameFilter : nameFilter.mid(open + 1).chopped(1);
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    return inside.split(separators, Qt::SkipEmptyParts);
}

QString firstFolder(const QString& firstDir)
{
    if (!firstDir.isEmpty() && QFileInfo(firstDir).isDir())
        return firstDir;
#ifdef Q_OS_WIN
    // Not the current folder: after a double-click that is the program's own folder.
    const auto location = QStandardPaths::DocumentsLocation;
#else
    const auto location = QStandardPaths::HomeLocation;
#endif
    const QString folder = QStandardPaths::writableLocation(location);
    return folder.isEmpty() ? QDir::homePath() : folder;
}

} // namespace

std::optional<QString> QtCommonDialog::ask(Mode mode)
{
    const QString kind = kindName(purpose);
    const auto stored = userSettings();
    QFileDialog dialog(parent_);
    // Qt's own save dialog on every platform: Qt gives the Windows one a default extension
    // always (the first filter's when none is set), and Windows appends it to a typed name
    // whose extension it does not know, so 月次.def would be saved as 月次.def.csv.
    if (mode == Mode::Save)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == Mode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setWindowTitle(mode == Mode::Open ? QStringLiteral("開く") : QStringLiteral("名前を付けて保存"));
    dialog.setDefaultSuffix(DefaultExt);
    const QStringList filters = nameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        // Qt's own dialog splits a filter's patterns at spaces only, so "*.txt;*.tsv" would
        // hide both; the native ones split at semicolons too.
        const QString remembered = stored->value(QStringLiteral("filters/") + kind).toString();
        if (filters.contains(remembered))
            dialog.selectNameFilter(remembered);
        // Set after the remembered filter is selected: selecting it applies Qt's reading.
        if (auto* model = dialog.findChild<QFileSystemModel*>()) {
            QObject::connect(&dialog, &QFileDialog::filterSelected, model,
                             [model](const QString& chosen) { model->setNameFilters(patternsOf(chosen)); });
            model->setNameFilters(patternsOf(dialog.selectedNameFilter()));
        }
    }
    QString name = FileName;
    // A wildcard in the proposed name only repeats the filter.
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        name.clear();
    QString dir = InitDir;
    if (dir.isEmpty()) {
        const QString remembered = stored->value(QStringLiteral("folders/") + kind).toString();
        dir = !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : firstFolder(FirstDir);
    }
    dialog.setDirectory(dir);
    if (!name.isEmpty())
        dialog.selectFile(QFileInfo(name).isAbsolute() ? name : QDir(dir).filePath(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    stored->setValue(QStringLiteral("folders/") + kind, QFileInfo(chosen).absolutePath());
    if (!filters.isEmpty())
        stored->setValue(QStringLiteral("filters/") + kind, dialog.selectedNameFilter());
    return QDir::toNativeSeparators(chosen);
}

} // namespace platform
