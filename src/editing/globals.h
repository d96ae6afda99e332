#pragma once
// Program-wide state of the editing mode: the window switches it, the editing tasks read it.
#include <cstdint>

// 0 in the explorer view, 1 in the editing mode.
extern int32_t glngEditMode;
