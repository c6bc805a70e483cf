#include "app/count_box.h"

#include "text/decimal.h"

namespace kestrune {

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
}

} // namespace kestrune
