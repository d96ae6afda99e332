// The task basket reader (".tbf"). Its entry, tf::fuzz::taskBasket, parses the bytes with
// tf::parseTaskBasket; a refused file must say why, and a taken one must write out and read back
// as the same tasks.
#include "fuzz/driver.h"

TF_FUZZ_TARGET(tf::fuzz::taskBasket)
