#pragma once
// A main window wired to scripted dialogs, and a private temporary folder.

#include "platform/TestDoubles.h"
#include "support/TempFolder.h"
#include "window/ItemList.h"
#include "window/frmConvert.h"

#include <QListWidget>

#include <string>

struct WindowFixture : TempFolder {
    mdlGlobal global;
    platform::RecordingMessageBox messages;
    platform::ScriptedCommonDialog dialog;
    int endCalls = 0;
    platform::Platform platform{messages, dialog, [this] { ++endCalls; }};
    frmConvert window{global, platform};

    // Offscreen a real drag returns at once; the handlers are driven directly instead.
    WindowFixture() { window.startDrag = [](const QString&) {}; }

    // Drags source items 1-based onto the output list, one after another.
    void columns(std::initializer_list<int> items)
    {
        for (int n : items) {
            window.List[0]->setCurrentRow(n - 1);
            window.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
            window.List_DragDrop(2);
        }
    }

    QStringList rows(int index) const
    {
        QStringList out;
        for (int i = 0; i < window.List[index]->count(); ++i)
            out << window.List[index]->text(i);
        return out;
    }

    std::vector<int> map() const
    {
        std::vector<int> out;
        if (global.ColumnMap)
            for (const auto& e : *global.ColumnMap)
                out.push_back(e.iItemNo);
        return out;
    }

    // Chooses a source file through 元ファイル.
    void choose(const QString& file)
    {
        dialog.answers.push_back(file);
        window.cmdFile_Click();
    }
};
