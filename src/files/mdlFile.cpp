#include "mdlFile.h"

#include "window/frmConvert.h"

namespace mdlFile {

QString fGetOpenFile(frmConvert& frm)
{
    platform::CommonDialog& dialog = frm.CommonDialog1;
    dialog.CancelError = true;
    dialog.InitDir.clear();
    dialog.Filter = QStringLiteral("*.csv");
    dialog.FileName.clear();
    dialog.purpose = platform::CommonDialog::Purpose::Source;
    if (dialog.ShowOpen() == platform::CommonDialog::kCancelError)
        return QString();
    return dialog.FileName;
}

QString fGetSaveFile(const QString& sDefault, frmConvert& frm)
{
    platform::CommonDialog& dialog = frm.CommonDialog1;
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
