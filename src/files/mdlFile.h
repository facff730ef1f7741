#pragma once
// Asking the user for a source or an output file through the main window's file
// dialog. An empty result means the user cancelled.

#include <QString>

class frmConvert;

namespace mdlFile {

QString fGetOpenFile(frmConvert& frm);
QString fGetSaveFile(const QString& sDefault, frmConvert& frm);

} // namespace mdlFile
