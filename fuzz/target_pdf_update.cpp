#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::pdfUpdate)
