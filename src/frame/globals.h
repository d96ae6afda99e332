#pragma once
#include <QString>

// Program-wide state of the frame. Kept by these names because every command reads them.

// What the running command is doing, in its own words; sent with every error report.
// Never cleared: it keeps the last value set.
extern QString gstrCurrentOperation;
