// The main window's column lists: a press on 元データ starts a drag of its row, a drop
// on 出力データ or Enter adds the column; a row of 出力データ dragged within it, Ctrl+Up
// and Ctrl+Down move a column and Delete removes it (the next row is then selected). Every change goes to the column
// choice, which the lists then show.

#include "ItemList.h"
#include "frmConvert.h"

#include "shared/Texts.h"

#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
const QString kTitle = texts::title();
}

QString frmConvert::rowText(long long number, const QString& item)
{
    return QStringLiteral("%1;%2").arg(number, 2, 10, QLatin1Char('0')).arg(item);
}

int frmConvert::itemNumberOf(const QString& caption)
{
    const qsizetype end = caption.indexOf(QLatin1Char(';'));
    bool ok = false;
    const int n = caption.left(end < 0 ? caption.size() : end).trimmed().toInt(&ok);
    return ok ? n : 0;
}

void frmConvert::List_MouseDown(int Index, Qt::MouseButton, Qt::KeyboardModifiers, double, double Y)
{
    if (Index != 0)
        return;
    ItemList* source = List[0];
    const int h = QFontMetrics(font()).height();
    Label1->setGeometry(source->x(), source->y() + static_cast<int>(Y) - h / 2, source->width(), h);
    const int r = source->selectedRow();
    Label1->setText(rowText(r + 1, source->text(r)));
    // Any selected row can be taken, an empty item too.
    if (r < 0)
        return;
    dragCaption(source);
}

QMimeData* frmConvert::dragData(const QString& payload, int outputRow)
{
    // Only the program's own types: no text box takes a column for text it could type.
    auto* mime = new QMimeData;
    mime->setData(ItemList::kMimeType, payload.toUtf8());
    if (outputRow >= 0)
        mime->setData(ItemList::kRowMimeType, QByteArray::number(outputRow));
    return mime;
}

void frmConvert::dragCaption(ItemList* source, int outputRow)
{
    QMimeData* mime = dragData(Label1->text(), outputRow);
    if (startDrag) {
        startDrag(*mime);
        delete mime;
    } else {
        beginDrag(mime, source);
    }
}

void frmConvert::beginDrag(QMimeData* mime, ItemList* source)
{
    const QString payload = Label1->text();
    QPixmap picture(Label1->size() * devicePixelRatioF());
    picture.setDevicePixelRatio(devicePixelRatioF());
    picture.fill(palette().color(QPalette::Highlight));
    {
        QPainter painter(&picture);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.setFont(font());
        painter.drawText(QRect(QPoint(2, 0), Label1->size()), Qt::AlignVCenter | Qt::AlignLeft, payload);
    }
    auto* drag = new QDrag(source);
    drag->setMimeData(mime);
    drag->setPixmap(picture);
    drag->setHotSpot(QPoint(8, Label1->height() / 2));
    drag->exec(Qt::CopyAction);
}

void frmConvert::List_DragDrop(int Index)
{
    if (Index == 2) {
        if (!g_.Columns.hasSlots()) {
            platform_.messageBox.show(QStringLiteral("ファイルを指定してください"), platform::kOkOnly, kTitle);
            return;
        }
        g_.Columns.add(itemNumberOf(Label1->text()));
        Label1->setText(QStringLiteral(" "));
    }
    showColumns();
}

void frmConvert::List_KeyDown(int Index, int KeyCode, Qt::KeyboardModifiers Shift)
{
    if (Index == 0 && (KeyCode == ItemList::kKeyReturn || KeyCode == ItemList::kKeyInsert)) {
        appendSourceRow();
        return;
    }
    if (Index == 2 && (Shift & Qt::ControlModifier) && (KeyCode == ItemList::kKeyUp || KeyCode == ItemList::kKeyDown)) {
        moveOutputRow(KeyCode == ItemList::kKeyUp ? -1 : 1);
        return;
    }
    if (Index != 2 || KeyCode != ItemList::kKeyDelete)
        return;
    const int r = List[2]->selectedRow();
    if (r >= 0)
        g_.Columns.remove(static_cast<std::size_t>(r));
    showColumns();
    // The row that took the deleted one's place is selected, so that Delete goes on.
    if (r >= 0 && List[2]->count() > 0)
        List[2]->setCurrentRow(std::min(r, List[2]->count() - 1));
}

void frmConvert::appendSourceRow()
{
    // The keyboard's drag: the chosen row goes to the end of the output list, as a drop
    // there would put it. A list just tabbed into has a current row but no selection yet.
    ItemList* source = List[0];
    int r = source->selectedRow();
    if (r < 0)
        r = source->currentRow();
    if (r < 0)
        return;
    Label1->setText(rowText(r + 1, source->text(r)));
    List_DragDrop(2);
}

void frmConvert::moveOutputRow(int step)
{
    const int from = List[2]->selectedRow();
    if (from >= 0)
        moveOutputRowTo(from, from + step);
}

void frmConvert::moveOutputRowTo(int from, int to)
{
    // Dropped below the last row, the row goes last.
    if (to == List[2]->count())
        to = List[2]->count() - 1;
    if (from < 0 || to < 0 || !g_.Columns.move(static_cast<std::size_t>(from), static_cast<std::size_t>(to)))
        return;
    showColumns();
    List[2]->setCurrentRow(to);
}

void frmConvert::showColumns()
{
    // The output list shows the column choice as it now is, whatever changed it; the
    // hidden list holds each row's item number.
    // A row naming an item the source's first line lacks says so: the run writes the
    // line's last item there, not the empty text a row of nothing would suggest.
    const engine::ColumnChoice& columns = g_.Columns;
    const std::int64_t items = iItemCount;
    const bool sourceRead = !sInFile.isEmpty();
    QStringList rows;
    QStringList numbers;
    auto beyond = std::make_shared<std::vector<bool>>();
    for (std::size_t i = 0; i < columns.rowCount(); ++i) {
        const int n = columns.row(i);
        const bool missing = sourceRead && n >= 0 && !engine::ColumnChoice::names(n, items);
        beyond->push_back(missing);
        rows << rowText(n, missing ? QStringLiteral("（なし）") : n >= 1 ? List[0]->text(n - 1) : QString());
        numbers << (n >= 0 ? QStringLiteral(" %1").arg(n) : QString::number(n));
    }
    const QString note =
        QStringLiteral("元データの先頭行は %1 項目です。この列には最後の項目が出力されます。").arg(items);
    List[2]->setNotes([beyond, note](int row) {
        return static_cast<std::size_t>(row) < beyond->size() && (*beyond)[static_cast<std::size_t>(row)] ? note
                                                                                                          : QString();
    });
    List[2]->setTexts(rows);
    List[1]->clear();
    List[1]->addItems(numbers);
    schedulePreview();
}
