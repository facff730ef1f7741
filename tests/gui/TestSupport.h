#pragma once
// A main window wired to scripted dialogs, and a private temporary folder.

#include "platform/TestDoubles.h"
#include "support/TempFolder.h"
#include "window/ItemList.h"
#include "window/frmConvert.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <stdexcept>
#include <string>

// The window's controls, found by their object names as any tool driving the window
// from outside finds them; each is the real widget the user works.
struct WindowControls {
private:
    // First: every control below is found through it.
    QObject& window_;

public:
    explicit WindowControls(QObject& window) : window_(window)
    {
        each(Label, "Label");
        each(txtCSV, "txtCSV");
        each(Option1, "Option1");
        each(List, "List");
    }

    std::array<QLabel*, 10> Label{};
    std::array<QLineEdit*, 2> txtCSV{};
    std::array<QRadioButton*, 2> Option1{};
    std::array<ItemList*, 3> List{};
    QLineEdit* txtDELI = find<QLineEdit>("txtDELI");
    QLineEdit* txtInFile = find<QLineEdit>("txtInFile");
    QLineEdit* txtOutFile = find<QLineEdit>("txtOutFile");
    QLineEdit* txt件数 = find<QLineEdit>("txt件数");
    QGroupBox* fra区切文字 = find<QGroupBox>("fra区切文字");
    QCheckBox* chk先頭行 = find<QCheckBox>("chk先頭行");
    QLabel* lbl属性 = find<QLabel>("lbl属性");
    QLabel* Label1 = find<QLabel>("Label1");
    QPushButton* cmdFile = find<QPushButton>("cmdFile");
    QPushButton* cmdSave = find<QPushButton>("cmdSave");
    QPushButton* cmd検出 = find<QPushButton>("cmd検出");
    QPushButton* cmd開始 = find<QPushButton>("cmd開始");
    QPushButton* cmdClose = find<QPushButton>("cmdClose");
    QProgressBar* prgRun = find<QProgressBar>("prgRun");
    QMenu* mnuFile = find<QMenu>("mnuFile");
    QAction* mnuOpenDef = find<QAction>("mnuOpenDef");
    QAction* mnuSaveDef = find<QAction>("mnuSaveDef");
    QAction* mnuOpenCSV = find<QAction>("mnuOpenCSV");
    QAction* mnuSaveCSV = find<QAction>("mnuSaveCSV");
    QAction* mnuExit = find<QAction>("mnuExit");
    QAction* mnuDELI = find<QAction>("mnuDELI");
    QAction* mnuPreview = find<QAction>("mnuPreview");
    QAction* mnuEncodingAuto = find<QAction>("mnuEncodingAuto");
    QAction* mnuEncodingCp932 = find<QAction>("mnuEncodingCp932");
    QAction* mnuEncodingUtf8 = find<QAction>("mnuEncodingUtf8");
    QLabel* lblEncoding = find<QLabel>("lblEncoding");

private:
    // A control that is missing fails the test at once rather than as a null pointer later.
    template <class T> T* find(const char* name) const
    {
        T* found = window_.findChild<T*>(QString::fromUtf8(name));
        if (!found)
            throw std::logic_error(std::string("no control named ") + name);
        return found;
    }
    template <class T, std::size_t N> void each(std::array<T*, N>& controls, const char* name)
    {
        for (std::size_t i = 0; i < N; ++i)
            controls[i] = window_.findChild<T*>(QStringLiteral("%1_%2").arg(QString::fromUtf8(name)).arg(i));
    }
};

// The state no control shows: the source path the window holds (which a cancelled choice
// leaves as the box shows it), the delimiters and the item count.
struct frmConvertProbe {
    frmConvert& window;
    QString& sInFile() const { return window.sInFile; }
    const std::string& sInDeli() const { return window.sInDeli; }
    const std::string& sOutDeli() const { return window.sOutDeli; }
    std::int64_t iItemCount() const { return window.iItemCount; }
};

struct WindowFixture : TempFolder {
    mdlGlobal global;
    platform::RecordingMessageBox messages;
    platform::ScriptedCommonDialog dialog;
    int endCalls = 0;
    platform::Platform platform{messages, dialog, [this] { ++endCalls; }};
    frmConvert window{global, platform};
    WindowControls ui{window};
    frmConvertProbe probe{window};

    // Offscreen a real drag returns at once; the handlers are driven directly instead.
    WindowFixture()
    {
        window.setDragStarter([](const QMimeData&) {});
    }

    // Drags source items 1-based onto the output list, one after another.
    void columns(std::initializer_list<int> items)
    {
        for (int n : items) {
            ui.List[0]->setCurrentRow(n - 1);
            window.List_MouseDown(0, Qt::LeftButton, {}, 0, 5);
            window.List_DragDrop(2);
        }
    }

    QStringList rows(int index) const
    {
        QStringList out;
        for (int i = 0; i < ui.List[index]->count(); ++i)
            out << ui.List[index]->text(i);
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
