#pragma once
// Asking the user for a source, an output or a definition file through the main
// window's file dialog. Each kind has its own filters and extension; an empty result
// means the user cancelled.

#include "platform/CommonDialog.h"

#include <QString>

namespace mdlFile {

QString fGetOpenFile(platform::CommonDialog& dialog);
// sSource: the source being converted; the first output dialog opens in its folder.
QString fGetSaveFile(const QString& sDefault, platform::CommonDialog& dialog, const QString& sSource = QString());
QString fGetOpenDefFile(platform::CommonDialog& dialog);
QString fGetSaveDefFile(const QString& sDefault, platform::CommonDialog& dialog);

} // namespace mdlFile
