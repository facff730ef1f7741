#pragma once
// The delimiter dialog: adds and removes candidate input delimiters of the shared
// table, which the next detection uses. Modeless; closing only hides it.

#include "platform/Platform.h"
#include "shared/mdlGlobal.h"

#include <QWidget>

#include <array>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWindow;

class frmDELI : public QWidget {
    Q_OBJECT

public:
    frmDELI(mdlGlobal& global, platform::Platform& platform);

    std::array<QLabel*, 2> Label1{};
    QListWidget* lstDELI = nullptr;
    QPushButton* cmdDel = nullptr;
    std::array<QLineEdit*, 2> txtDELI{};
    QPushButton* cmdAdd = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdClose = nullptr;

    void Form_Activate();
    void cmdAdd_Click();
    void cmdDel_Click();
    void cmdClose_Click();
    void lstDELI_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift);

    // The row that stands for a table entry: delimiter, three spaces, name.
    static QString rowText(const engine::DelimiterEntry& entry);
    // A row as the list draws it: control characters, a TAB above all, as visible symbols.
    static QString shownText(const QString& row);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void otherWindowActivated(QWindow* window);

    mdlGlobal& g_;
    platform::Platform& platform_;
    platform::OwnedMessageBox messages_;
    // Whether the next activation builds the list afresh: after the program's other windows
    // were active, yes; after the dialog's own message box, or another program, no: the
    // user comes back to the list and to what was typed.
    bool rebuildOnActivation_ = true;
};
