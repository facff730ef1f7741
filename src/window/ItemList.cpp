#include "ItemList.h"

#include "platform/Cp932.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

// The rows of one list: rows made on demand (a line's items, decoded as they are
// shown), then rows added as text.
class ItemListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : madeRows_ + static_cast<int>(rows_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return QVariant();
        if (role == Qt::ForegroundRole && !note(index.row()).isEmpty())
            return QBrush(QColor(128, 128, 128));
        if (role != Qt::DisplayRole)
            return QVariant();
        return text(index.row());
    }

    QString note(int row) const { return note_ && row >= 0 && row < rowCount() ? note_(row) : QString(); }
    void setNote(std::function<QString(int)> note) { note_ = std::move(note); }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

    QString text(int row) const
    {
        if (row < 0 || row >= rowCount())
            return QString();
        return row < madeRows_ ? make_(row) : rows_[row - madeRows_];
    }

    void append(const QStringList& texts)
    {
        if (texts.isEmpty())
            return;
        const int first = rowCount();
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(texts.size()) - 1);
        rows_ += texts;
        endInsertRows();
    }

    void setMade(int rows, std::function<QString(int)> make)
    {
        beginResetModel();
        madeRows_ = std::max(rows, 0);
        make_ = std::move(make);
        rows_.clear();
        endResetModel();
    }

    void removeRow(int row)
    {
        if (row < madeRows_ || row >= rowCount())
            return;
        beginRemoveRows(QModelIndex(), row, row);
        rows_.removeAt(row - madeRows_);
        endRemoveRows();
    }

    // The rows added as text become `texts`. A change that is one row added, removed or
    // changed in place is made as that change, so the view keeps its selection and
    // scroll as it would for the change itself; anything else starts the rows afresh.
    void setTexts(const QStringList& texts)
    {
        const auto have = rows_.size();
        const auto want = texts.size();
        qsizetype same = 0;
        while (same < have && same < want && rows_[same] == texts[same])
            ++same;
        if (same == have && same == want)
            return;
        if (same == have) {
            append(texts.mid(have));
        } else if (want == have - 1 && rows_.mid(same + 1) == texts.mid(same)) {
            removeRow(madeRows_ + static_cast<int>(same));
        } else if (want == have + 1 && rows_.mid(same) == texts.mid(same + 1)) {
            const int at = madeRows_ + static_cast<int>(same);
            beginInsertRows(QModelIndex(), at, at);
            rows_.insert(same, texts[same]);
            endInsertRows();
        } else if (want == have) {
            rows_ = texts;
            emit dataChanged(index(madeRows_ + static_cast<int>(same)), index(madeRows_ + static_cast<int>(have) - 1));
        } else {
            beginResetModel();
            rows_ = texts;
            endResetModel();
        }
    }

    void clear() { setMade(0, {}); }

private:
    int madeRows_ = 0;
    std::function<QString(int)> make_;
    QStringList rows_;
    std::function<QString(int)> note_;
};

ItemList::ItemList(QWidget* parent) : QAbstractItemView(parent), model_(new ItemListModel(this))
{
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows are elided rather than scrolled sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // The window starts drags itself; the view's own drag machinery stays off.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::DropOnly);
}

int ItemList::count() const
{
    return model_->rowCount();
}

QString ItemList::text(int row) const
{
    return model_->text(row);
}

void ItemList::addItem(const QString& text)
{
    model_->append(QStringList{text});
}

void ItemList::addItems(const QStringList& texts)
{
    model_->append(texts);
}

void ItemList::setRows(int rows, std::function<QString(int row)> text)
{
    model_->setMade(rows, std::move(text));
}

void ItemList::setLineItems(engine::LineItems items, engine::Encoding encoding)
{
    // A view counts its rows in int; rows past that many are never shown.
    const int rows = static_cast<int>(std::min<std::size_t>(items.size(), std::numeric_limits<int>::max() - 1));
    auto line = std::make_shared<const engine::LineItems>(std::move(items));
    setRows(rows, [line, encoding](int row) {
        return platform::decodeSource((*line)[static_cast<std::size_t>(row)], encoding);
    });
}

void ItemList::setTexts(const QStringList& texts)
{
    model_->setTexts(texts);
}

void ItemList::setNotes(std::function<QString(int row)> note)
{
    model_->setNote(std::move(note));
    viewport()->update();
}

void ItemList::clear()
{
    model_->clear();
}

int ItemList::currentRow() const
{
    return currentIndex().row();
}

void ItemList::setCurrentRow(int row)
{
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

int ItemList::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

int ItemList::rowHeight() const
{
    if (rowHeight_ == 0) {
        // What the delegate measures for a row, from a sample rather than from a row, so
        // that every row and every list gets the same height.
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = QStringLiteral("Ag表");
        rowHeight_ = std::max(1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
    }
    return rowHeight_;
}

int ItemList::firstShownRow() const
{
    return verticalScrollBar()->value();
}

int ItemList::rowsPerPage() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

long long ItemList::rowAtY(int y) const
{
    const int h = rowHeight();
    const int rows = y >= 0 ? y / h : -((h - 1 - y) / h);
    return static_cast<long long>(firstShownRow()) + rows;
}

QRect ItemList::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= count())
        return QRect();
    const int h = rowHeight();
    // Rows far from the screen are placed at a distance, never at an overflowed one.
    const long long y = (static_cast<long long>(index.row()) - firstShownRow()) * h;
    constexpr long long kFar = 1 << 29;
    return QRect(0, static_cast<int>(std::clamp(y, -kFar, kFar)), viewport()->width(), h);
}

void ItemList::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    // The scroll range follows the rows only once the pending layout has run.
    executeDelayedItemsLayout();
    const int row = index.row();
    const int first = firstShownRow();
    const int page = rowsPerPage();
    int value = first;
    switch (hint) {
    case PositionAtTop:
        value = row;
        break;
    case PositionAtBottom:
        value = row - page + 1;
        break;
    case PositionAtCenter:
        value = row - page / 2;
        break;
    case EnsureVisible:
        if (row < first)
            value = row;
        else if (row >= first + page)
            value = row - page + 1;
        break;
    }
    verticalScrollBar()->setValue(value);
}

QModelIndex ItemList::indexAt(const QPoint& point) const
{
    const long long row = rowAtY(point.y());
    if (point.x() < 0 || row < 0 || row >= count())
        return QModelIndex();
    return model_->index(static_cast<int>(row), 0);
}

QModelIndex ItemList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int n = count();
    if (n == 0)
        return QModelIndex();
    const long long current = currentIndex().row();
    long long row = current;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        row = current < 0 ? 0 : current - 1;
        break;
    case MoveDown:
    case MoveNext:
        row = current + 1;
        break;
    case MovePageUp:
        row = current - rowsPerPage();
        break;
    case MovePageDown:
        row = current + rowsPerPage();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = n - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return model_->index(static_cast<int>(std::clamp<long long>(row, 0, n - 1)), 0);
}

int ItemList::verticalOffset() const
{
    const long long y = static_cast<long long>(firstShownRow()) * rowHeight();
    return static_cast<int>(std::min<long long>(y, std::numeric_limits<int>::max()));
}

void ItemList::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect r = rect.normalized();
    const long long top = std::max<long long>(rowAtY(r.top()), 0);
    const long long bottom = std::min<long long>(rowAtY(r.bottom()), count() - 1);
    QItemSelection selection;
    if (top <= bottom)
        selection.select(model_->index(static_cast<int>(top), 0), model_->index(static_cast<int>(bottom), 0));
    selectionModel()->select(selection, command);
}

QRegion ItemList::visualRegionForSelection(const QItemSelection& selection) const
{
    const int first = firstShownRow();
    const int last = first + rowsPerPage() + 1;
    const int h = rowHeight();
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top <= bottom)
            region += QRect(0, (top - first) * h, viewport()->width(), (bottom - top + 1) * h);
    }
    return region;
}

void ItemList::updateGeometries()
{
    const int page = rowsPerPage();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setRange(0, std::max(0, count() - page));
    QAbstractItemView::updateGeometries();
}

void ItemList::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    // The base view leaves both to its subclasses: the scroll range takes in the new
    // rows, and a row dropped in shows at once, not at the next repaint of the window.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void ItemList::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    // Nor does it repaint the rows below a removed one: each moves up a place, and the last
    // place is left empty. The repaint comes after the removal.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void ItemList::scrollContentsBy(int, int)
{
    // The scroll bar counts rows, not pixels: the rows on screen are drawn afresh.
    viewport()->update();
}

void ItemList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const int first = firstShownRow();
    const int end = static_cast<int>(std::min<long long>(count(), static_cast<long long>(first) + rowsPerPage() + 2));
    for (int row = first; row < end; ++row) {
        const QModelIndex index = model_->index(row, 0);
        option.rect = visualRect(index);
        if (!event->region().intersects(option.rect))
            continue;
        option.state = state;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (focus && index == current)
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
    // A focused list without a current row still shows where the keyboard is.
    if ((hasFocus() || viewport()->hasFocus()) && !current.isValid()) {
        QStyleOptionFocusRect mark;
        mark.initFrom(viewport());
        mark.rect = QRect(0, 0, viewport()->width(), rowHeight());
        mark.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &mark, &painter, this);
    }
}

bool ItemList::event(QEvent* event)
{
    const bool handled = QAbstractItemView::event(event);
    // At a fractional scale (150 % on Windows) the style's frame can fall between device
    // pixels and lose a side, so that the caption above seems to lie over the list. A line
    // of whole logical pixels always covers at least one device pixel: drawn over the
    // style's frame, it keeps all four sides.
    if (event->type() == QEvent::Paint && frameShape() != QFrame::NoFrame) {
        const qreal ratio = devicePixelRatioF();
        if (ratio != std::floor(ratio)) {
            QPainter painter(this);
            const QColor line = palette().color(QPalette::Mid);
            const qreal w = width(), h = height();
            painter.fillRect(QRectF(0, 0, w, 1), line);
            painter.fillRect(QRectF(0, h - 1, w, 1), line);
            painter.fillRect(QRectF(0, 0, 1, h), line);
            painter.fillRect(QRectF(w - 1, 0, 1, h), line);
        }
    }
    return handled;
}

bool ItemList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // An item wider than the list shows whole in a tip; a short one needs none.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        // A row with a note says why it is grey, however short it is.
        if (const QString note = index.isValid() ? model_->note(index.row()) : QString(); !note.isEmpty()) {
            QToolTip::showText(help->globalPos(), note, viewport(), visualRect(index));
            return true;
        }
        const QString text = index.isValid() ? model_->text(index.row()) : QString();
        const int room =
            viewport()->width() - 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) - 4;
        if (!text.isEmpty() && fontMetrics().horizontalAdvance(text) > room)
            QToolTip::showText(help->globalPos(), tipText(text), viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractItemView::viewportEvent(event);
}

QString ItemList::tipText(const QString& text)
{
    // Rich text wraps to the screen; an item of megabytes is cut where no one reads on.
    constexpr qsizetype kMostShown = 4096;
    QString shown = text.left(kMostShown).toHtmlEscaped();
    if (text.size() > kMostShown)
        shown += QStringLiteral("…");
    return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(shown);
}

void ItemList::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        rowHeight_ = 0;
        scheduleDelayedItemsLayout();
    }
    QAbstractItemView::changeEvent(event);
}

void ItemList::mousePressEvent(QMouseEvent* event)
{
    // The press selects its row first; the handler then works on the selection.
    QAbstractItemView::mousePressEvent(event);
    const QModelIndex pressed = indexAt(event->position().toPoint());
    pressedRow_ = event->button() == Qt::LeftButton && pressed.isValid() ? pressed.row() : -1;
    pressedAt_ = event->position().toPoint();
    if (onMouseDown)
        onMouseDown(event->button(), event->modifiers(), event->position().x(), event->position().y());
}

void ItemList::mouseMoveEvent(QMouseEvent* event)
{
    if (onDragStart && pressedRow_ >= 0 && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        const int row = pressedRow_;
        pressedRow_ = -1;
        onDragStart(row);
        return;
    }
    QAbstractItemView::mouseMoveEvent(event);
}

void ItemList::keyPressEvent(QKeyEvent* event)
{
    // The keys the window acts on, by their key codes; every other key moves and selects
    // as in any list.
    const bool control = event->modifiers() & Qt::ControlModifier;
    int keyCode = 0;
    switch (event->key()) {
    case Qt::Key_Delete:
        keyCode = kKeyDelete;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        keyCode = kKeyReturn;
        break;
    case Qt::Key_Insert:
        keyCode = kKeyInsert;
        break;
    case Qt::Key_Up:
        keyCode = control ? kKeyUp : 0;
        break;
    case Qt::Key_Down:
        keyCode = control ? kKeyDown : 0;
        break;
    default:
        break;
    }
    if (keyCode != 0 && onKeyDown) {
        onKeyDown(keyCode, event->modifiers());
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
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
        onDrop(*event->mimeData(),
               static_cast<int>(std::clamp<long long>(rowAtY(event->position().toPoint().y()), 0, count())));
}
