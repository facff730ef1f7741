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

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {

namespace {

#ifdef Q_OS_WIN
// Qt's file dialog reads and writes its state (lastVisited, history, the sidebar) under
// HKCU\Software\QtProject whatever format QSettings is told to use. Tolvane keeps what it
// needs of that (the history) in its own ini file, so the key goes again once the dialog
// is gone, unless it was there before: then it is another Qt program's, and stays.
class QtRegistryTraces {
public:
    QtRegistryTraces()
    {
        HKEY key = nullptr;
        existed_ = RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (existed_)
            RegCloseKey(key);
    }
    ~QtRegistryTraces()
    {
        if (!existed_)
            RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
    QtRegistryTraces(const QtRegistryTraces&) = delete;
    QtRegistryTraces& operator=(const QtRegistryTraces&) = delete;

private:
    static constexpr const wchar_t* kKey = L"Software\\QtProject";
    bool existed_ = false;
};
#else
// Elsewhere Qt's dialog keeps its state in a file of its own (QtProject.conf), as every Qt
// program's does.
struct QtRegistryTraces {};
#endif

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
    // Made before the dialog, so that it is gone before the traces are wiped.
    [[maybe_unused]] const QtRegistryTraces traces;
    QFileDialog dialog(parent_);
    // The history of folders (the save dialog's list of places) is Tolvane's own.
    dialog.setHistory(stored->value(QStringLiteral("dialog/history")).toStringList());
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
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // Only Qt's own dialog has a history; a native one tells none, which would wipe it.
    if (const QStringList history = dialog.history(); !history.isEmpty())
        stored->setValue(QStringLiteral("dialog/history"), history);
    if (!accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    stored->setValue(QStringLiteral("folders/") + kind, QFileInfo(chosen).absolutePath());
    if (!filters.isEmpty())
        stored->setValue(QStringLiteral("filters/") + kind, dialog.selectedNameFilter());
    return QDir::toNativeSeparators(chosen);
}

} // namespace platform
