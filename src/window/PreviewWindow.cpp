#include "PreviewWindow.h"

#include "platform/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

PreviewWindow::PreviewWindow(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setWindowTitle(QStringLiteral("出力プレビュー"));
    setObjectName(QStringLiteral("frmPreview"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("lblPreviewWarnings"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid_ = new QTableWidget(this);
    grid_->setObjectName(QStringLiteral("grdPreview"));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setWordWrap(false);
    // Tab goes to the next cell, as in a spreadsheet; Ctrl+Tab leaves the grid.
    grid_->setTabKeyNavigation(true);
    grid_->installEventFilter(this);
    // One line of text a row, as in the lists.
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(grid_, 1);
    resize(560, 360);
}

void PreviewWindow::setContent(const PreviewContent& content)
{
    const int columns = static_cast<int>(content.headings.size());
    const int first = content.leftOut ? 1 : 0;
    grid_->clear();
    grid_->setColumnCount(columns);
    grid_->setRowCount(first + static_cast<int>(content.rows.size()));
    grid_->setHorizontalHeaderLabels(content.headings);
    QStringList lines;
    const auto fill = [&](int row, const QStringList& cells, bool greyed) {
        for (int c = 0; c < columns && c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (greyed)
                item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            grid_->setItem(row, c, item);
        }
    };
    // Rows are headed by the source line they come from, the number a warning names.
    if (content.leftOut) {
        fill(0, *content.leftOut, true);
        lines << QStringLiteral("1 (変換しない)");
    }
    for (std::size_t r = 0; r < content.rows.size(); ++r) {
        fill(first + static_cast<int>(r), content.rows[r].cells, false);
        lines << QString::number(content.rows[r].line);
    }
    grid_->setVerticalHeaderLabels(lines);
    for (const PreviewContent::Mark& mark : content.marks) {
        QTableWidgetItem* item = grid_->item(first + mark.row, mark.column);
        if (!item) {
            item = new QTableWidgetItem();
            grid_->setItem(first + mark.row, mark.column, item);
        }
        item->setBackground(QColor(255, 236, 179));
        item->setToolTip(mark.tip);
    }
    grid_->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c)
        grid_->setColumnWidth(c, std::min(grid_->columnWidth(c), 240));
    summary_->setText(!content.empty.isEmpty()     ? content.empty
                      : content.warnings.isEmpty() ? QStringLiteral("問題は見つかりません。")
                                                   : content.warnings.join(QLatin1Char('\n')));
}

void PreviewWindow::copyCurrent()
{
    if (const QTableWidgetItem* item = grid_->currentItem())
        QApplication::clipboard()->setText(item->text());
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == grid_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copyCurrent();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event)
{
    // Esc closes the preview, as it closes a dialog.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent* event)
{
    platform::userSettings()->setValue(QStringLiteral("preview/geometry"), saveGeometry());
    if (onClosed)
        onClosed();
    QWidget::closeEvent(event);
}
