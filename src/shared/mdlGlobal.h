#pragma once
// State shared by the windows for the whole process. The program creates one and
// hands it to the windows; tests build a fresh one.

#include "engine/ColumnChoice.h"
#include "engine/DelimiterTable.h"
#include "engine/OutputForm.h"
#include "engine/Tables.h"

#include <QString>

struct mdlGlobal {
    engine::DelimiterTable DelimiterTable;
    // The output columns and the map the conversion reads; the map is empty until a
    // source file has been read or a definition loaded.
    engine::ColumnChoice Columns;
    engine::INData INData;
    QString sOutFile;
    QString sDefFile;
    // The form of the output (出力 menu), read by a run for every slice.
    engine::OutputForm OutputForm;
};
