#pragma once
// The byte display decoders live with the history; the handler includes them from here.

#include "history/byte_display.h"
