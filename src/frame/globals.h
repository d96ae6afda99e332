#pragma once
#include <QString>
#include <cstdint>

// Program-wide state of the frame. Kept by these names because every command reads them.

// What the running command is doing, in its own words; sent with every error report.
// Never cleared: it keeps the last value set.
extern QString gstrCurrentOperation;

// -1 once the user pressed Cancel in the progress window, 0 otherwise.
extern int16_t gblnCancelOperation;
