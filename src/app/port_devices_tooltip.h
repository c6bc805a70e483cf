#pragma once

#include <QObject>

class QComboBox;

namespace kestrune {

// The tooltip of the port list names the device each COMn stands for right now,
// read afresh each time it is asked for. Owned by the list it watches.
class PortDevicesTooltip : public QObject
{
public:
    explicit PortDevicesTooltip(QComboBox *list);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *list_;
};

} // namespace kestrune
