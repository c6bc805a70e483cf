// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

namespace kestrune {

// One-line box for a signed integer: typed characters other than "-" and digits
// are dropped (pasted text is not filtered), and leaving the box rewrites its text
// as the leading integer, clamped to 32 bits, with 0 as the empty text.
class IntegerEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit IntegerEdit(QWidget *parent);

    // The text the box holds after losing the focus with `text` in it.
    static QString normalized(QStringView text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

} // namespace kestrune
