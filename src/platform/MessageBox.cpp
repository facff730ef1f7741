#include "MessageBox.h"

#include <QMessageBox>

namespace platform {

void QtMessageBox::show(const QString& prompt, int flags, const QString& title)
{
    QMessageBox box(flags == 48 ? QMessageBox::Warning : QMessageBox::NoIcon, title, prompt, QMessageBox::Ok,
                    parent_);
    box.exec();
}

} // namespace platform
