#pragma once
// A serial line for tests: an openpty pair whose slave side is written the way
// the port writes its device, one write() of one byte per send.

#include "port/line_writer.h"

#include <QByteArray>

namespace kestrune::testing {

class PtyLine : public LineWriter
{
public:
    PtyLine();
    ~PtyLine() override;
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool is_open() const { return master_ >= 0 && slave_ >= 0; }
    bool send(quint8 byte) override;

    // The bytes that reached the far end since the last call: waits (up to
    // five seconds) for at_least bytes, then until none has come for quiet_ms.
    QByteArray arrived(qsizetype at_least = 0, int quiet_ms = 100);

    int master_fd() const { return master_; }

private:
    int master_ = -1;
    int slave_ = -1;
};

} // namespace kestrune::testing
