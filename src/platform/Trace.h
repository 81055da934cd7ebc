// The module's levelled trace log: one time-stamped entry per call, appended to the daily file
// "cvdt_YYYYMMDD.log" in the module folder when the call's level is within the threshold that
// the registry value "cvdt" under HKLM\SOFTWARE\Plumbex\Corvane holds (read on every call).
// Every layer writes to it, the platform's own launch functions included.
//
// Thread-safe; never fails towards the caller. Messages end with their own "\n".
#pragma once

#include "platform/Compiler.h"

// Levels: 1 failures and refusals, 2 thread creation, 3 progress, 5 queue detail, 9 copy
// detail, 10 loop messages.
void trace(int level, const char* format, ...) CVDT_PRINTF(2, 3);

// The threshold now in force: the "cvdt" value as a decimal integer; -1 when the key is
// missing (nothing is written then), 0 for a missing or non-numeric value.
int traceThreshold();
