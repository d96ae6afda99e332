#pragma once
// The two snapshots of the previewed image that the preview, the editing tasks and the capture
// share: the image as loaded or captured, and the state before the task being worked on.
#include "platform/imagebox/imagebox_document.h"

extern tf::ImageSnapshot gvarOriginalImage;
extern tf::ImageSnapshot gvarWorkingImage;
