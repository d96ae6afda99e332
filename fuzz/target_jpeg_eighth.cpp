// Our own reader of JPEGs at an eighth runs in the decoder program without a guard of its own.
#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::jpegEighth)
