#include "pty_line.h"

#include <unistd.h>

namespace kestrune::test {

bool PtyLine::send(quint8 byte)
{
    return ::write(slave(), &byte, 1) == 1;
}

} // namespace kestrune::test
