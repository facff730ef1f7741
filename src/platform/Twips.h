#pragma once
// The windows' layout figures are in twips: 15 to a pixel at 96 dpi. Qt scales the pixels
// for high-DPI screens itself.

#include <QRect>

namespace platform {

inline QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

} // namespace platform
