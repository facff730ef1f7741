// The File menu's definition-file commands of the main window: saving the column
// choice and loading it back.

#include "engine/DefinitionFile.h"
#include "platform/Cp932.h"
#include "shared/Texts.h"
#include "window/ItemList.h"
#include "window/frmConvert.h"

#include <QDir>

namespace {
const QString kTitle = texts::title();
}

void frmConvert::mnuSaveDef_Click()
{
    if (List[2]->count() == 0) {
        platform_.messageBox.show(QStringLiteral("変換先項目を指定してください"), platform::kOkOnly, kTitle);
        List[0]->setFocus();
        return;
    }
    CommonDialog1.CancelError = true;
    CommonDialog1.InitDir.clear();
    CommonDialog1.FileName = g_.sDefFile.isEmpty() ? QStringLiteral("NEW.DEF") : g_.sDefFile;
    CommonDialog1.purpose = platform::CommonDialog::Purpose::Definition;
    if (CommonDialog1.ShowSave() == platform::CommonDialog::kCancelError) {
        g_.sDefFile.clear();
        return;
    }
    g_.sDefFile = CommonDialog1.FileName;

    std::vector<int> numbers;
    const int rows = List[2]->count();
    for (int i = 1; i <= rows; ++i) {
        if (g_.ColumnMap && static_cast<std::size_t>(i) < g_.ColumnMap->size())
            numbers.push_back((*g_.ColumnMap)[static_cast<std::size_t>(i)].iItemNo);
        else
            numbers.push_back(itemNumberOf(List[2]->text(i - 1)));
    }
    if (!engine::writeDefinition(platform::toPath(g_.sDefFile), numbers)) {
        platform_.messageBox.show(QStringLiteral("定義ファイル「%1」に書き込めません。")
                                      .arg(QDir::toNativeSeparators(g_.sDefFile)),
                                  platform::kExclamationIcon, kTitle);
    }
}

void frmConvert::mnuOpenDef_Click()
{
    if (sInFile.isEmpty()) {
        platform_.messageBox.show(QStringLiteral("変換元ファイルを先に指定してください"), platform::kOkOnly, kTitle);
        return;
    }
    g_.sDefFile.clear();
    CommonDialog1.CancelError = true;
    CommonDialog1.InitDir.clear();
    CommonDialog1.Filter = QStringLiteral("*.def");
    CommonDialog1.FileName = QStringLiteral("*.def");
    CommonDialog1.purpose = platform::CommonDialog::Purpose::Definition;
    if (CommonDialog1.ShowOpen() == platform::CommonDialog::kCancelError)
        return;
    g_.sDefFile = CommonDialog1.FileName;

    const engine::Definition definition = engine::readDefinition(platform::toPath(g_.sDefFile));
    if (definition.status == engine::Definition::Status::CannotOpen) {
        platform_.messageBox.show(texts::definitionCannotOpen(g_.sDefFile), platform::kExclamationIcon, kTitle);
        return;
    }
    if (definition.status == engine::Definition::Status::NotADefinition) {
        platform_.messageBox.show(QStringLiteral("Tolvaneの定義ファイルではありません。"), platform::kExclamationIcon, kTitle);
        return;
    }

    List[2]->clear();
    // Negative lines name no column: they get neither a slot nor a row, so that rows
    // and slots stay paired one to one.
    std::vector<int> columns;
    for (int n : definition.itemNumbers)
        if (n >= 0)
            columns.push_back(n);
    if (columns.empty()) {
        // No column at all: every slot is freed, so no old column comes back later.
        if (!g_.ColumnMap)
            g_.ColumnMap = engine::ColumnMap(1);
        for (std::size_t i = 1; i < g_.ColumnMap->size(); ++i)
            (*g_.ColumnMap)[i].iItemNo = engine::kNoColumn;
    } else {
        engine::ColumnMap map(1);
        if (g_.ColumnMap && !g_.ColumnMap->empty())
            map[0] = g_.ColumnMap->front();
        QStringList rows;
        for (int n : columns) {
            map.push_back({0, 0, n});
            rows << rowText(n, n >= 1 ? List[0]->text(n - 1) : QString());
        }
        g_.ColumnMap = std::move(map);
        List[2]->addItems(rows);
    }
    rebuildHiddenList();
}
