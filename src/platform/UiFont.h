#pragma once
// The window's font: the layout is drawn for a 9-point UI font, about 12 pixels at 96 dpi.

#include <QFont>

namespace platform {

// The application's default font, set to the window's size and, where the system's
// default needs it, to a family that holds Japanese.
QFont uiFont(QFont base);

} // namespace platform
