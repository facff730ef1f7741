#pragma once
// Modal message box: prompt, button flags (0 = OK only, 48 = OK with the exclamation
// icon) and title.

#include <QString>

class QWidget;

namespace platform {

class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& prompt, int flags, const QString& title) = 0;
};

class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& prompt, int flags, const QString& title) override;

private:
    QWidget* parent_;
};

} // namespace platform
