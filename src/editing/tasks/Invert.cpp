#include "editing/tasks/Invert.h"

namespace tf::task {

QImage Invert::apply(const QImage& image, EditSettings&, const PictureLoader&) const { return editops::Invert(image); }

} // namespace tf::task
