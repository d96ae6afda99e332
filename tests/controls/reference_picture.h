#pragma once
#include <QImage>
#include <QString>
#include <gtest/gtest.h>

namespace tf::test {

// Compares a painted picture with the reference tests/data/<name>.png: the same size, and at most
// a few pixels whose colour is off by more than a small amount (text edges differ a little between
// font rasterisers). With TF_WRITE_REFERENCE_PICTURES=1 in the environment the picture is written
// as the new reference instead, to be looked at before it is committed.
::testing::AssertionResult matchesReferencePicture(const QImage& picture, const QString& name);

} // namespace tf::test
