// The IPTC template reader (".ffo"). Its entry, tf::fuzz::iptcTemplate, parses the bytes with
// ExifIptc::parseIptcTemplate; a taken template must write out and read back as the same fields.
#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::iptcTemplate)
