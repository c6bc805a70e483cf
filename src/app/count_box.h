// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>
#include <QTimer>

namespace kestrune {

// A count box: its text is always the count just shown, but while counts come
// faster than a frame it is painted once a frame, not once per count. Every
// digit stays in view: a count too long for the box is drawn in a smaller font
// (down to min_point_size), and the tooltip gives the count with digit grouping.
class CountBox : public QLineEdit
{
    Q_OBJECT
public:
    static constexpr qreal min_point_size = 6;

    explicit CountBox(QWidget *parent);

    void show_count(qint64 count);

protected:
    bool event(QEvent *event) override;

private:
    void fit_text();
    bool text_fits(const QFont &font) const;

    QTimer frame_;                 // runs while painting is held back
    qsizetype fitted_length_ = 1;  // the length of text the font was chosen for
};

} // namespace kestrune
