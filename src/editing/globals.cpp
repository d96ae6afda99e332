#include "editing/globals.h"

int32_t glngEditMode = 0;
