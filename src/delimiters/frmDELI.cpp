#include "frmDELI.h"

#include "platform/Cp932.h"
#include "platform/KeyCodes.h"
#include "platform/Twips.h"
#include "shared/Guarded.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <limits>

namespace {

using platform::twips;

const QString kCaption = QStringLiteral("区切文字の指定");

// Draws a row's control characters visibly; the row's text itself stays as it is.
class VisibleControls : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        return frmDELI::shownText(QStyledItemDelegate::displayText(value, locale));
    }
};

// Whether `window` belongs to `owner`: a box or dialog opened over it.
bool ownedBy(const QWidget* window, const QWidget* owner)
{
    for (const QWidget* w = window ? window->parentWidget() : nullptr; w; w = w->parentWidget())
        if (w == owner)
            return true;
    return false;
}

} // namespace

frmDELI::frmDELI(mdlGlobal& global, platform::Platform& platform)
    : QWidget(nullptr, Qt::Window), g_(global), platform_(platform), messages_(platform.messageBox, this)
{
    setWindowTitle(kCaption);
    setFixedSize(4665 / 15, 4080 / 15);

    Label1[0] = new QLabel(QStringLiteral("指定されている区切文字"), this);
    Label1[0]->setGeometry(twips(120, 120, 1935, 255));
    lstDELI = new QListWidget(this);
    lstDELI->setGeometry(twips(240, 480, 2655, 1320));
    lstDELI->setSelectionMode(QAbstractItemView::SingleSelection);
    lstDELI->installEventFilter(this);
    lstDELI->setItemDelegate(new VisibleControls(lstDELI));
    cmdDel = new QPushButton(QStringLiteral("削除(&D)"), this);
    cmdDel->setGeometry(twips(3240, 480, 1095, 495));
    Label1[1] = new QLabel(QStringLiteral("追加する区切文字"), this);
    Label1[1]->setGeometry(twips(120, 2160, 1575, 255));
    txtDELI[0] = new QLineEdit(this);
    txtDELI[0]->setGeometry(twips(240, 2520, 495, 270));
    txtDELI[1] = new QLineEdit(this);
    txtDELI[1]->setGeometry(twips(960, 2520, 855, 270));
    // Neither box has a length limit (Qt would cut at 32,767 characters).
    for (QLineEdit* box : txtDELI)
        box->setMaxLength(std::numeric_limits<int>::max());
    cmdAdd = new QPushButton(QStringLiteral("追加(&A)"), this);
    cmdAdd->setGeometry(twips(3240, 2400, 1095, 495));
    Line1 = new QFrame(this);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(120 / 15, 3120 / 15 - 1, (4440 - 120) / 15, 2);
    cmdClose = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    cmdClose->setGeometry(twips(3240, 3360, 1095, 495));

    QWidget* order[] = {lstDELI, cmdDel, txtDELI[0], txtDELI[1], cmdAdd, cmdClose};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    // Enter on a focused button presses it, as Space does.
    for (QPushButton* button : {cmdDel, cmdAdd, cmdClose})
        button->setAutoDefault(true);

    const auto on = [this](void (frmDELI::*handler)()) {
        return [this, handler] { guarded(messages_, [this, handler] { (this->*handler)(); }); };
    };
    connect(cmdAdd, &QPushButton::clicked, this, on(&frmDELI::cmdAdd_Click));
    connect(cmdDel, &QPushButton::clicked, this, on(&frmDELI::cmdDel_Click));
    connect(cmdClose, &QPushButton::clicked, this, on(&frmDELI::cmdClose_Click));
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &frmDELI::otherWindowActivated);
}

QString frmDELI::rowText(const engine::DelimiterEntry& entry)
{
    return platform::decodeCp932(entry.delimiter) + QStringLiteral("   ") + platform::decodeCp932(entry.name);
}

QString frmDELI::shownText(const QString& row)
{
    QString shown;
    shown.reserve(row.size());
    for (const QChar c : row) {
        const char16_t u = c.unicode();
        if (u == u'\t')
            shown += QChar(u'\u2192'); // →
        else if (u < 0x20)
            shown += QChar(char16_t(0x2400 + u)); // the control pictures: ␀ ␁ … ␟
        else if (u == 0x7F)
            shown += QChar(u'\u2421'); // ␡
        else if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("<%1>").arg(int(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

void frmDELI::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && rebuildOnActivation_) {
        rebuildOnActivation_ = false;
        Form_Activate();
    }
    QWidget::changeEvent(event);
}

void frmDELI::showEvent(QShowEvent* event)
{
    // Opened from the menu: build afresh, whatever happened before it was hidden.
    if (!event->spontaneous())
        rebuildOnActivation_ = true;
    QWidget::showEvent(event);
}

void frmDELI::otherWindowActivated(QWindow* window)
{
    // No active window at all means another program is; that changes nothing here.
    if (!window || window == windowHandle())
        return;
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto widget = std::find_if(windows.begin(), windows.end(),
                                     [window](const QWidget* w) { return w->windowHandle() == window; });
    if (widget == windows.end() || !ownedBy(*widget, this))
        rebuildOnActivation_ = true;
}

bool frmDELI::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstDELI && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            lstDELI_KeyDown(platform::kKeyDelete, key->modifiers());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDELI::Form_Activate()
{
    try {
        lstDELI->clear();
        txtDELI[0]->setText(QString());
        txtDELI[1]->setText(QString());
        const engine::DelimiterTable& table = g_.DelimiterTable;
        QStringList rows;
        for (int r = 0; r < table.lastIndex(); ++r)
            rows << rowText(table[r]);
        lstDELI->addItems(rows);
        lstDELI->setCurrentRow(-1);
        lstDELI->clearSelection();
    } catch (const std::exception& e) {
        messages_.show(QString::fromLocal8Bit(e.what()), platform::kOkOnly, texts::title());
    }
}

void frmDELI::cmdAdd_Click()
{
    engine::DelimiterTable& table = g_.DelimiterTable;
    table.add(platform::encodeDelimiter(txtDELI[0]->text()), platform::encodeCp932Replacing(txtDELI[1]->text()));
    lstDELI->addItem(rowText(table[table.lastIndex() - 1]));
    // The new row is shown and selected, also below the rows that fit: the user sees what
    // was added, and Delete takes it back.
    lstDELI->setCurrentRow(lstDELI->count() - 1);
    lstDELI->scrollToItem(lstDELI->currentItem());
}

void frmDELI::cmdDel_Click()
{
    const QList<QListWidgetItem*> selected = lstDELI->selectedItems();
    if (selected.isEmpty()) {
        messages_.show(QStringLiteral("削除する項目を指定してください。"), platform::kExclamationIcon, kCaption);
        return;
    }
    if (g_.DelimiterTable.lastIndex() == 1) {
        messages_.show(QStringLiteral("すべての区切文字を削除することはできません。\r\nひとつは指定してください。"),
                       platform::kExclamationIcon, kCaption);
        return;
    }
    const int s = lstDELI->row(selected.first());
    g_.DelimiterTable.remove(s);
    delete lstDELI->takeItem(s);
    lstDELI->setCurrentRow(-1);
    lstDELI->clearSelection();
}

void frmDELI::cmdClose_Click()
{
    hide();
}

void frmDELI::lstDELI_KeyDown(int KeyCode, Qt::KeyboardModifiers)
{
    if (KeyCode == platform::kKeyDelete)
        cmdDel_Click();
}
