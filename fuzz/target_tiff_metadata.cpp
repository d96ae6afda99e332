// The TIFF metadata writer. Its entry, tf::fuzz::tiffMetadata, reads the bytes' metadata as the
// window does, sets one EXIF field and writes it back: a refusal must leave the file as it was, a
// write must keep every page.
#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::tiffMetadata)
