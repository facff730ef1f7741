#pragma once
// Modal message box: prompt, button flags (0 = OK only, 48 = OK with the exclamation
// icon) and title; and the same box asking a question (flags 4 = Yes and No, + 32 the
// question icon, + 256 No as the default button).

#include <QString>

class QWidget;

namespace platform {

// The button and icon flags that a box takes, combined with |.
enum BoxFlags : int {
    kOkOnly = 0,
    kYesNo = 4,
    kQuestionIcon = 32,
    kExclamationIcon = 48,
    kNoByDefault = 256,
};

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Over the main window.
    void show(const QString& prompt, int flags, const QString& title) { showOver(nullptr, prompt, flags, title); }
    // Over `owner`, the window whose command raised the message; null means the main window.
    virtual void showOver(QWidget* owner, const QString& prompt, int flags, const QString& title) = 0;
    // True when the answer is Yes; No or closing the box is false. Events are served while
    // the box is up, so work driven by timers goes on.
    bool ask(const QString& prompt, int flags, const QString& title) { return askOver(nullptr, prompt, flags, title); }
    virtual bool askOver(QWidget* owner, const QString& prompt, int flags, const QString& title) = 0;
};

// The boxes of one window: every message, out-of-memory ones included, appears over it.
class OwnedMessageBox : public MessageBox {
public:
    OwnedMessageBox(MessageBox& boxes, QWidget* owner) : boxes_(boxes), owner_(owner) {}
    void showOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override
    {
        boxes_.showOver(owner ? owner : owner_, prompt, flags, title);
    }
    bool askOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override
    {
        return boxes_.askOver(owner ? owner : owner_, prompt, flags, title);
    }

private:
    MessageBox& boxes_;
    QWidget* owner_;
};

class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override;
    bool askOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override;

    // The narrowest box that still shows `title` whole in its title bar, frame buttons beside it.
    static int widthForTitle(const QString& title);

private:
    QWidget* parent_;
};

} // namespace platform
