#pragma once
// How many terminal columns text takes: East Asian wide and fullwidth characters (Unicode's
// East Asian Width W and F) take two, combining marks and format characters none, every other
// character one (ambiguous ones too: a Japanese console's font may draw them wide, but most
// terminals do not).

#include <QString>

namespace platform {

int displayWidth(char32_t codePoint);
int displayWidth(const QString& text);

} // namespace platform
