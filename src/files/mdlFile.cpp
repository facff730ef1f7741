#include "mdlFile.h"

namespace mdlFile {

QString fGetOpenFile(platform::CommonDialog& dialog)
{
    dialog.CancelError = true;
    dialog.InitDir.clear();
    dialog.Filter = QStringLiteral("*.csv");
    dialog.FileName.clear();
    dialog.purpose = platform::CommonDialog::Purpose::Source;
    if (dialog.ShowOpen() == platform::CommonDialog::kCancelError)
        return QString();
    return dialog.FileName;
}

QString fGetSaveFile(const QString& sDefault, platform::CommonDialog& dialog)
{
    dialog.CancelError = true;
    dialog.InitDir.clear();
    dialog.FileName = sDefault;
    dialog.purpose = platform::CommonDialog::Purpose::Output;
    // The filter is left as the last open dialog set it.
    if (dialog.ShowSave() == platform::CommonDialog::kCancelError)
        return QString();
    return dialog.FileName;
}

} // namespace mdlFile
