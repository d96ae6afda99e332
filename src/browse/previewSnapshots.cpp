#include "browse/previewSnapshots.h"

tf::ImageSnapshot gvarOriginalImage;
tf::ImageSnapshot gvarWorkingImage;
