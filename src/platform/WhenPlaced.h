#pragma once
// A window manager places a new window only after it is mapped; until then Qt takes the
// window to stand at the screen's corner, and a message box parented to it is centred
// there, far from the window. What must appear over the window waits for this.

#include <functional>

class QWidget;

namespace platform {

// Calls `action` from the event loop once `window` is shown on the screen (at once if it
// already is); never once `window` is gone.
void whenPlaced(QWidget& window, std::function<void()> action);

} // namespace platform
