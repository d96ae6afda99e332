// The EXIF template reader (".xiff"). Its entry, tf::fuzz::exifTemplate, reads the bytes through a
// scratch file with readExifTemplate and subLoadEXIFFile, and writes plain records out and back.
#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::exifTemplate)
