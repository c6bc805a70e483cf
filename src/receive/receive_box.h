#pragma once
// 接收编辑框, the receive box: a multi-line edit box over TextStore.

#include "receive/text_store.h"

#include <QAbstractScrollArea>
#include <QStringView>

class QIODevice;

namespace kestrune {

class ReceiveBox : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ReceiveBox(QWidget *parent = nullptr);
    ~ReceiveBox() override;

    // Caret to the end, scrolled into view, text inserted there with no undo record;
    // the user's caret or selection is lost. The only way received data enters the box.
    void append_to_receive_box(QStringView text);

    // Replaces the whole text (no undo record; the undo history is dropped) with the caret at 0.
    void set_text(QStringView text);
    void clear();

    QString text() const;          // exactly what was appended or typed
    qint64 text_length() const;
    void write_gbk(QIODevice &out) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TextStore store_;
};

} // namespace kestrune
