#include "MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include <algorithm>

namespace platform {

int QtMessageBox::widthForTitle(const QString& title)
{
    // The title bar's font is the system's; the widest guess of the two Qt knows wins. The
    // room beside it is for the icon and the close button, which differ by platform.
    const QFontMetrics app(QApplication::font());
    const QFontMetrics titleBar(QApplication::font("QMdiSubWindowTitleBar"));
    const int text = std::max(app.horizontalAdvance(title), titleBar.horizontalAdvance(title));
    return std::max(text + 120, 240);
}

namespace {

// Qt sizes a box to its prompt, allowing the title only a little: a short prompt under a
// title such as "変換終了" would cut the title. A spacer across the grid raises the minimum
// width Qt computes, and never lowers it.
void widenForTitle(QMessageBox& box, const QString& title)
{
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(QtMessageBox::widthForTitle(title), 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

void QtMessageBox::showOver(QWidget* owner, const QString& prompt, int flags, const QString& title)
{
    QMessageBox box(flags == kExclamationIcon ? QMessageBox::Warning : QMessageBox::NoIcon, title, prompt,
                    QMessageBox::Ok, owner ? owner : parent_);
    widenForTitle(box, title);
    box.exec();
}

bool QtMessageBox::askOver(QWidget* owner, const QString& prompt, int flags, const QString& title)
{
    const int icon = flags & 0x70;
    QMessageBox box(icon == kQuestionIcon      ? QMessageBox::Question
                    : icon == kExclamationIcon ? QMessageBox::Warning
                                               : QMessageBox::NoIcon,
                    title, prompt, QMessageBox::Yes | QMessageBox::No, owner ? owner : parent_);
    box.setDefaultButton((flags & kNoByDefault) ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    widenForTitle(box, title);
    return box.exec() == QMessageBox::Yes;
}

} // namespace platform
