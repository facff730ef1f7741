#include "ItemList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

ItemList::ItemList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is one line of text; a first line may hold a hundred thousand items.
    setUniformItemSizes(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // The window starts drags itself; the view's own drag machinery stays off.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void ItemList::mousePressEvent(QMouseEvent* event)
{
    // The press selects its row first; the handler then works on the selection.
    QListWidget::mousePressEvent(event);
    if (onMouseDown)
        onMouseDown(event->button(), event->modifiers(), event->position().x(), event->position().y());
}

void ItemList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && onKeyDown) {
        onKeyDown(46, event->modifiers());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ItemList::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(kMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ItemList::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(kMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ItemList::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasFormat(kMimeType)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDrop)
        onDrop(QString::fromUtf8(event->mimeData()->data(kMimeType)));
}
