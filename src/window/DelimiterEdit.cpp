#include "DelimiterEdit.h"

#include "delimiters/frmDELI.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

void DelimiterEdit::paintEvent(QPaintEvent* event)
{
    const QString real = text();
    const QString shown = frmDELI::shownText(real);
    if (shown == real) {
        QLineEdit::paintEvent(event);
        return;
    }
    // Drawn here in full: QLineEdit offers no way to show other text than it holds. The
    // box holds a delimiter of a few characters, so it never scrolls.
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    // QLineEdit's own margins inside its contents: 2 across, 1 up and down.
    const QRect area = style()
                           ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                           .marginsRemoved(textMargins())
                           .adjusted(2, 1, -2, -1);
    const QFontMetrics metrics(font());
    const auto xAt = [&](int position) {
        return area.left() + metrics.horizontalAdvance(frmDELI::shownText(real.left(position)));
    };
    const int top = area.top() + (area.height() - metrics.height()) / 2;
    if (hasSelectedText()) {
        const int from = selectionStart();
        const int to = from + int(selectedText().size());
        painter.fillRect(QRect(xAt(from), top, xAt(to) - xAt(from), metrics.height()), palette().highlight());
    }
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
    if (hasFocus() && !hasSelectedText()) {
        const int x = xAt(cursorPosition());
        painter.drawLine(x, top, x, top + metrics.height() - 1);
    }
}
