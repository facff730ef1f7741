#pragma once
// A list box that reports presses, drops and its editing keys to its window, which
// handles them by the list's index. Drags carry the drag carrier's caption as text.
//
// It shows a first line of millions of items at the cost of the line: the items are
// kept as offsets into the line and decoded only for the rows on screen, and every row
// is one line of text of the same height, so the view places a row by arithmetic and
// keeps nothing per row.

#include "engine/Items.h"
#include "platform/KeyCodes.h"

#include <QAbstractItemView>
#include <QMimeData>

#include <functional>

class ItemListModel;

class ItemList : public QAbstractItemView {
public:
    static constexpr const char* kMimeType = "application/x-tolvane-column";
    // Beside kMimeType when the drag carries a row of 出力データ: that row's number.
    static constexpr const char* kRowMimeType = "application/x-tolvane-output-row";
    // Key codes handed to onKeyDown.
    static constexpr int kKeyReturn = platform::kKeyReturn;
    static constexpr int kKeyUp = platform::kKeyUp;
    static constexpr int kKeyDown = platform::kKeyDown;
    static constexpr int kKeyInsert = platform::kKeyInsert;
    static constexpr int kKeyDelete = platform::kKeyDelete;

    explicit ItemList(QWidget* parent = nullptr);

    // Rows: first rows made on demand (setRows, setLineItems), then rows added as text.
    int count() const;
    // The text of a row; empty beyond the last row.
    QString text(int row) const;
    void addItem(const QString& text);
    void addItems(const QStringList& texts);
    // In place of every row, `rows` rows whose texts text(row) makes as they are needed.
    void setRows(int rows, std::function<QString(int row)> text);
    // In place of every row, the items of a line, decoded as they are shown.
    void setLineItems(engine::LineItems items, engine::Encoding encoding = engine::Encoding::Cp932);
    // Makes the rows added as text read `texts`, changing only the rows that differ: one
    // row added, removed or changed keeps the selection and the scroll as that change
    // alone would.
    void setTexts(const QStringList& texts);
    void clear();
    // Rows with a note (non-empty) show in grey, the note as their tip.
    void setNotes(std::function<QString(int row)> note);

    int currentRow() const;
    // Makes the row current and the only one selected; a list on screen scrolls to it.
    void setCurrentRow(int row);
    // The selected row, -1 when none is.
    int selectedRow() const;

    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y)> onMouseDown;
    // What was dropped, and the row at the drop point (count() below the last row).
    std::function<void(const QMimeData& mime, int row)> onDrop;
    // A row pressed and then moved with the left button held, beyond the drag distance:
    // the window drags it, when it set this.
    std::function<void(int row)> onDragStart;
    std::function<void(int keyCode, Qt::KeyboardModifiers shift)> onKeyDown;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    // Typing does not search: a search through millions of rows would decode every one.
    void keyboardSearch(const QString&) override {}

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Every row's height: one line of text, Latin or Japanese.
    int rowHeight() const;
    static QString tipText(const QString& text);
    int firstShownRow() const;
    // Rows that fit whole in the viewport, at least one.
    int rowsPerPage() const;
    // The row at viewport height y, which may lie outside 0..count() - 1.
    long long rowAtY(int y) const;

    ItemListModel* model_;
    // The row the left button was pressed on, until a drag of it starts.
    int pressedRow_ = -1;
    QPoint pressedAt_;
    mutable int rowHeight_ = 0;
};
