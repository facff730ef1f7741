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

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    mdlGlobal& g_;
    platform::Platform& platform_;
};
