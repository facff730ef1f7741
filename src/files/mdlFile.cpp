#include "mdlFile.h"

#include <QFileInfo>

namespace mdlFile {

namespace {

using Purpose = platform::CommonDialog::Purpose;

// Sources and outputs alike: exports often come as .txt or .tsv.
const QString kDataFilter =
    QStringLiteral("CSVファイル (*.csv)|*.csv|テキストファイル (*.txt;*.tsv)|*.txt;*.tsv|すべてのファイル (*)|*");
const QString kDefinitionFilter = QStringLiteral("定義ファイル (*.def)|*.def|すべてのファイル (*)|*");

// Every property is set each time: the dialog object keeps them from one use to the next.
QString ask(platform::CommonDialog& dialog, Purpose purpose, bool save, const QString& sDefault,
            const QString& firstDir = QString())
{
    const bool definition = purpose == Purpose::Definition;
    dialog.CancelError = true;
    dialog.InitDir.clear();
    dialog.Filter = definition ? kDefinitionFilter : kDataFilter;
    dialog.DefaultExt = definition ? QStringLiteral("def") : QStringLiteral("csv");
    dialog.FileName = sDefault;
    dialog.purpose = purpose;
    dialog.FirstDir = firstDir;
    const int result = save ? dialog.ShowSave() : dialog.ShowOpen();
    if (result == platform::CommonDialog::kCancelError)
        return QString();
    return dialog.FileName;
}

} // namespace

QString fGetOpenFile(platform::CommonDialog& dialog)
{
    return ask(dialog, Purpose::Source, false, QString());
}

QString fGetSaveFile(const QString& sDefault, platform::CommonDialog& dialog, const QString& sSource)
{
    return ask(dialog, Purpose::Output, true, sDefault,
               sSource.isEmpty() ? QString() : QFileInfo(sSource).absolutePath());
}

QString fGetOpenDefFile(platform::CommonDialog& dialog)
{
    return ask(dialog, Purpose::Definition, false, QString());
}

QString fGetSaveDefFile(const QString& sDefault, platform::CommonDialog& dialog)
{
    return ask(dialog, Purpose::Definition, true, sDefault);
}

} // namespace mdlFile
