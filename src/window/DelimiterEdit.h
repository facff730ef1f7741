#pragma once
// The 区切文字 box: a TAB or another control character is drawn as the delimiter dialog
// draws it (→, ␟ …), so a detected TAB does not look like an empty box; text() stays
// the real character, for 検出 and for the run.

#include <QLineEdit>

class DelimiterEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent* event) override;
};
