#pragma once
// A main window wired to scripted dialogs, and a private temporary folder.

#include "platform/TestDoubles.h"
#include "window/ItemList.h"
#include "window/frmConvert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>

#include <string>

struct WindowFixture {
    mdlGlobal global;
    platform::RecordingMessageBox messages;
    platform::ScriptedCommonDialog dialog;
    int endCalls = 0;
    platform::Platform platform{messages, dialog, [this] { ++endCalls; }};
    frmConvert window{global, platform};
    QTemporaryDir dir;

    // Offscreen a real drag returns at once; the handlers are driven directly instead.
    WindowFixture() { window.startDrag = [](const QString&) {}; }

    QString path(const QString& name) const { return dir.filePath(name); }

    // Drags source items 1-based onto the output list, one after another.
    void columns(std::initializer_list<int> items)
    {
        for (int n : items) {
            window.List[0]->setCurrentRow(n - 1);
            window.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
            window.List_DragDrop(2);
        }
    }

    // Names of `name` in the folder, written in other ways that lead to the same file:
    // through "/./", and through a symbolic link, or on Windows in other case and with
    // backslashes (a symbolic link there needs rights that a user seldom has).
    QStringList sameFileNames(const QString& name) const
    {
        QStringList names{path(name), dir.path() + QStringLiteral("/./") + name};
#ifdef _WIN32
        names << QDir::toNativeSeparators(path(name.toUpper()));
#else
        QFile::link(path(name), path(QStringLiteral("link-") + name));
        names << path(QStringLiteral("link-") + name);
#endif
        return names;
    }

    QString write(const QString& name, const std::string& bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return f.fileName();
    }

    std::string read(const QString& name) const
    {
        QFile f(QFileInfo(name).isAbsolute() ? name : path(name));
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll().toStdString();
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
        for (const auto& e : global.Columns.map())
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
