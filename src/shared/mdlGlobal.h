#pragma once
// State shared by the windows for the whole process. The program creates one and
// hands it to the windows; tests build a fresh one.

#include "engine/DelimiterTable.h"
#include "engine/Tables.h"

#include <QString>

#include <optional>

struct mdlGlobal {
    engine::DelimiterTable DelimiterTable;
    // Not created until a source file has been read or a definition loaded.
    std::optional<engine::ColumnMap> ColumnMap;
    engine::INData INData;
    QString sOutFile;
    QString sDefFile;
};
