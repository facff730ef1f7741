#pragma once
// 出力プレビュー: the first lines of the output as the run would write them now, one grid
// column per output column, with what would go wrong said above them. A window of its
// own beside the main one, so that the laid-out main window stays as it is and the grid
// can be as large as the user makes it.

#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QTableWidget;

// What the grid shows, as text.
struct PreviewContent {
    // One heading per output column: the item's number and the first line's text.
    QStringList headings;
    // The first line when 先頭行は変換しない leaves it out: shown first, greyed, as not written.
    std::optional<QStringList> leftOut;
    // The output lines, each as its columns' items, with the source line it comes from.
    struct Row {
        qint64 line;
        QStringList cells;
    };
    std::vector<Row> rows;
    // Cells to mark, by row (of `rows`) and column, with their tip.
    struct Mark {
        int row;
        int column;
        QString tip;
    };
    std::vector<Mark> marks;
    // One line each, naming the first line where it happens; empty when all is well.
    QStringList warnings;
    // Why the grid is empty (no source, no columns), shown in place of the warnings.
    QString empty;
};

class PreviewWindow : public QWidget {
public:
    explicit PreviewWindow(QWidget* owner);
    void setContent(const PreviewContent& content);
    QTableWidget* grid() const { return grid_; }
    QLabel* summary() const { return summary_; }
    // Called when the user closes the preview; it keeps its place for the next time.
    std::function<void()> onClosed;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void copyCurrent();
    QLabel* summary_;
    QTableWidget* grid_;
};
