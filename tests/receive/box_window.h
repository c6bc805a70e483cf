// SPDX-License-Identifier: MIT
#pragma once
// The receive box in a window, at its size, with a second tab stop beside it.

#include "receive/receive_box.h"
#include "window_places.h"

#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QTest>

namespace kestrune::test {

struct Window {
    QWidget window;
    ReceiveBox *box = new ReceiveBox(&window);
    QLineEdit *other = new QLineEdit(&window);

    Window()
    {
        box->setGeometry(at::接收编辑框_in_group);
        other->setGeometry(11, 400, 100, 24);
        window.resize(340, 440);
        window.show();
        window.activateWindow();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QVariant query(Qt::InputMethodQuery q) const { return static_cast<QWidget *>(box)->inputMethodQuery(q); }
    void keys(const QString &text) { QTest::keyClicks(box, text); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(box, key, modifiers); }
    void key(QKeySequence::StandardKey standard)
    {
        const QKeyCombination combo = QKeySequence(standard)[0];
        QTest::keyClick(box, combo.key(), combo.keyboardModifiers());
    }
};

inline QString hex_text(int bytes)
{
    QString s;
    for (int i = 0; i < bytes; ++i)
        s += QString::number(i % 256, 16).toUpper().rightJustified(2, u'0') + u' ';
    return s;
}

// Whether a row of text lines has any ink in it.
inline bool row_has_ink(const QImage &image, int top, int height)
{
    for (int y = top; y < top + height && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace kestrune::test
