#pragma once

#include <QLineEdit>
#include <QTimer>

namespace kestrune {

// A count box: its text is always the count just shown, but while counts come
// faster than a frame it is painted once a frame, not once per count.
class CountBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit CountBox(QWidget *parent);

    void show_count(qint64 count);

private:
    QTimer frame_; // runs while painting is held back
};

} // namespace kestrune
