// The File menu's definition-file commands of the main window: saving the column
// choice and loading it back.

#include "ItemList.h"
#include "engine/DefinitionFile.h"
#include "files/mdlFile.h"
#include "frmConvert.h"
#include "platform/Cp932.h"
#include "shared/Texts.h"

#include <QDir>

namespace {
const QString kTitle = texts::title();
}

void frmConvert::mnuSaveDef_Click()
{
    if (g_.Columns.rowCount() == 0) {
        platform_.messageBox.show(QStringLiteral("変換先項目を指定してください"), platform::kOkOnly, kTitle);
        List[0]->setFocus();
        return;
    }
    const QString chosen =
        mdlFile::fGetSaveDefFile(g_.sDefFile.isEmpty() ? QStringLiteral("NEW.DEF") : g_.sDefFile, CommonDialog1);
    // A cancel keeps the name proposed next time, as it keeps everything else.
    if (chosen.isEmpty())
        return;
    g_.sDefFile = chosen;

    if (!engine::writeDefinition(platform::toPath(g_.sDefFile), g_.Columns.definition())) {
        platform_.messageBox.show(
            QStringLiteral("定義ファイル「%1」に書き込めません。").arg(QDir::toNativeSeparators(g_.sDefFile)),
            platform::kExclamationIcon, kTitle);
    }
}

void frmConvert::mnuOpenDef_Click()
{
    if (sInFile.isEmpty()) {
        platform_.messageBox.show(QStringLiteral("変換元ファイルを先に指定してください"), platform::kOkOnly, kTitle);
        return;
    }
    const QString chosen = mdlFile::fGetOpenDefFile(CommonDialog1);
    if (chosen.isEmpty())
        return;
    g_.sDefFile = chosen;

    const engine::Definition definition = engine::readDefinition(platform::toPath(g_.sDefFile));
    if (definition.status == engine::Definition::Status::CannotOpen) {
        platform_.messageBox.show(texts::definitionCannotOpen(g_.sDefFile), platform::kExclamationIcon, kTitle);
        return;
    }
    if (definition.status == engine::Definition::Status::NotADefinition) {
        platform_.messageBox.show(QStringLiteral("Tolvaneの定義ファイルではありません。"), platform::kExclamationIcon,
                                  kTitle);
        return;
    }

    g_.Columns.load(definition.itemNumbers);
    // A loaded definition is a new list: no row of the old one stays selected.
    List[2]->clear();
    showColumns();
}
