#pragma once
// A list box that reports presses, drops and the Delete key to its window, which
// handles them by the list's index. Drags carry the drag carrier's caption as text.

#include <QListWidget>

#include <functional>

class ItemList : public QListWidget {
public:
    static constexpr const char* kMimeType = "application/x-tolvane-column";

    explicit ItemList(QWidget* parent = nullptr);

    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y)> onMouseDown;
    std::function<void(const QString& payload)> onDrop;
    std::function<void(int keyCode, Qt::KeyboardModifiers shift)> onKeyDown;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
