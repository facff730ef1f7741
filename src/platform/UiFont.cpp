#include "UiFont.h"

#include <QStringList>

namespace platform {

QFont uiFont(QFont base)
{
    base.setPixelSize(12);
#ifdef _WIN32
    // Windows' default dialog font is a Latin one that borrows Japanese glyphs from
    // others; the Japanese UI fonts hold them all (and where none of these exists,
    // IPA Gothic is the one a wine setup finds; with the borrowing default, wine draws
    // no text in the text boxes at all).
    base.setFamilies({QStringLiteral("Yu Gothic UI"), QStringLiteral("Meiryo UI"), QStringLiteral("MS UI Gothic"),
                      QStringLiteral("IPAGothic")});
#endif
    return base;
}

} // namespace platform
