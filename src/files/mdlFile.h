#pragma once
// Asking the user for a source or an output file through the main window's file
// dialog. An empty result means the user cancelled.

#include "platform/CommonDialog.h"

#include <QString>

namespace mdlFile {

QString fGetOpenFile(platform::CommonDialog& dialog);
QString fGetSaveFile(const QString& sDefault, platform::CommonDialog& dialog);

} // namespace mdlFile
