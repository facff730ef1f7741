#include "WhenPlaced.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

class PlacedWatch : public QObject {
public:
    PlacedWatch(QWidget& window, std::function<void()> action)
        : QObject(&window), window_(window), action_(std::move(action))
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && window_.windowHandle() && window_.windowHandle()->isExposed())
            fire();
        return QObject::eventFilter(watched, event);
    }

    void fire()
    {
        if (fired_)
            return;
        fired_ = true;
        // After the exposure is handled, so that the window has painted and knows where it stands.
        QTimer::singleShot(0, &window_, [this] {
            auto action = std::move(action_);
            deleteLater();
            action();
        });
    }

private:
    QWidget& window_;
    std::function<void()> action_;
    bool fired_ = false;
};

} // namespace

void whenPlaced(QWidget& window, std::function<void()> action)
{
    auto* watch = new PlacedWatch(window, std::move(action));
    window.winId(); // the native window exists from here on, so it can be watched
    QWindow* handle = window.windowHandle();
    if (handle->isExposed())
        watch->fire();
    else
        handle->installEventFilter(watch);
}

} // namespace platform
