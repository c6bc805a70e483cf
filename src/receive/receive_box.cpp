#include "receive/receive_box.h"

#include <QPainter>
#include <QScrollBar>

namespace kestrune {

ReceiveBox::ReceiveBox(QWidget *parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
}

ReceiveBox::~ReceiveBox() = default;

void ReceiveBox::append_to_receive_box(QStringView text)
{
    store_.append(text);
    viewport()->update();
}

void ReceiveBox::set_text(QStringView text)
{
    store_.clear();
    store_.append(text);
    viewport()->update();
}

void ReceiveBox::clear()
{
    set_text({});
}

QString ReceiveBox::text() const
{
    return store_.text();
}

qint64 ReceiveBox::text_length() const
{
    return store_.size();
}

void ReceiveBox::write_gbk(QIODevice &out) const
{
    store_.write_gbk(out);
}

void ReceiveBox::paintEvent(QPaintEvent *)
{
    // Interim: the last few thousand characters, wrapped anywhere.
    QPainter painter(viewport());
    const qint64 shown = std::min<qint64>(store_.size(), 4096);
    painter.drawText(viewport()->rect().adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignBottom | Qt::TextWrapAnywhere,
                     store_.mid(store_.size() - shown, shown));
}

} // namespace kestrune
