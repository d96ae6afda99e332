#pragma once
// Pictures for the image control's tests, made and read back by libraries other than the code
// under test: Qt's writers and readers, FreeImage directly, and DevIL.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <string>

namespace tf::test {

// A w x h picture with a different colour at every pixel, at 300 x 200 dpi, in `format`.
QImage patterned(int w, int h, QImage::Format format = QImage::Format_RGB888);

// Writes `image` with FreeImage's own saver (flags as FreeImage takes them); true on success.
bool saveWithFreeImage(const QImage& image, int fif, const QString& path, int flags = 0);
// A multipage TIFF, GIF or ICO made of `pages` with FreeImage.
bool saveMultiPageWithFreeImage(const QList<QImage>& pages, int fif, const QString& path);

// Decodes with DevIL (any type it knows, or the IL type given), top row first, as RGB888;
// null when DevIL cannot read it.
QImage readWithDevil(const QByteArray& bytes, unsigned ilType = 0);
// Writes a 24-bit picture with DevIL in its format for `ilType`.
bool saveWithDevil(const QImage& image, unsigned ilType, const QString& path);

// The first pixel where two pictures differ as RGB, or an empty text when they are equal.
std::string firstDifference(const QImage& a, const QImage& b, int tolerance = 0);

// The number of the image control's error that `call` raises; 0 when it raises none.
int imageBoxErrorOf(const std::function<void()>& call);

} // namespace tf::test
