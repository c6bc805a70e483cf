// SPDX-License-Identifier: MIT
#include "app/count_box.h"

#include "text/decimal.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLocale>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cmath>

namespace kestrune {

namespace {

// QLineEdit keeps this much room on either side of its text.
constexpr int line_edit_margin = 2;

} // namespace

CountBox::CountBox(QWidget *parent)
    : QLineEdit(parent)
{
    frame_.setSingleShot(true);
    frame_.setInterval(40);
    connect(&frame_, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
}

void CountBox::show_count(qint64 count)
{
    // The first count of a frame paints at once; later ones wait for the frame's end.
    if (frame_.isActive())
        setUpdatesEnabled(false);
    else
        frame_.start();
    setText(signed_decimal(count));
    if (text().size() != fitted_length_)
        fit_text();
}

bool CountBox::event(QEvent *event)
{
    // Made when asked for, so that counting costs no formatting.
    if (event->type() == QEvent::ToolTip) {
        bool whole = false;
        const qint64 count = text().toLongLong(&whole);
        setToolTip(whole ? QLocale(QLocale::Chinese, QLocale::China).toString(count) : QString());
    }
    return QLineEdit::event(event);
}

// The window's font while the text fits in it; otherwise the largest size, in
// half points, down to min_point_size, at which it does.
void CountBox::fit_text()
{
    fitted_length_ = text().size();
    QFont font = parentWidget() ? parentWidget()->font() : QFont();
    if (text_fits(font) || font.pointSizeF() <= min_point_size) {
        if (testAttribute(Qt::WA_SetFont))
            setFont(QFont());
        return;
    }
    qreal size = std::floor(font.pointSizeF() * 2) / 2;
    do {
        size = std::max(min_point_size, size - 0.5);
        font.setPointSizeF(size);
    } while (size > min_point_size && !text_fits(font));
    setFont(font);
}

// As QLineEdit lays it out: the text, its cursor and its bearings within the
// contents rectangle less the text margins and the edit's own margin.
bool CountBox::text_fits(const QFont &font) const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this)
                               .marginsRemoved(textMargins());
    const QFontMetricsF metrics(font);
    const qreal bearings = std::max(0.0, -metrics.minLeftBearing()) + std::max(0.0, -metrics.minRightBearing());
    const qreal used = std::round(metrics.horizontalAdvance(text())) + 1 + bearings;
    return used <= contents.width() - 2 * line_edit_margin;
}

} // namespace kestrune
