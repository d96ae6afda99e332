#pragma once
// A baseline JPEG at an eighth of its width and height, for thumbnails. At that size each pixel
// is the mean of one 8x8 block, which the block's first coefficient holds; the other 63 still
// have to be read past, but never decoded, dequantised or transformed, so this costs a fraction
// of libjpeg's reduced decode, which works out every coefficient before it drops them.
#include <QByteArray>
#include <QImage>

namespace tf {

// Colour kept at half the resolution of the brightness (as most JPEGs keep it) libjpeg makes into
// samples of a quarter of a block each, which takes decoding every coefficient of those blocks.
// A picture made smaller by half or more afterwards averages them back into one.
enum class EighthColour {
    Exact,     // as libjpeg gives it
    BlockMeans // each such block its mean, for a picture drawn at half the size or less
};

// The picture at ceil(width / 8) x ceil(height / 8), Format_RGB32 (or Format_Grayscale8 for a
// grey JPEG), each pixel what libjpeg gives for it at scale 1/8 within a level or two. Null for
// what it leaves to libjpeg: progressive, arithmetic-coded, 12-bit, lossless, CMYK and RGB
// JPEGs, scans of one colour each, colour at a quarter of the resolution or less, and any file
// whose markers or coded data are not exactly right (libjpeg makes what it can of those, and
// says what was wrong).
QImage decodeJpegEighth(const QByteArray& bytes, EighthColour colour = EighthColour::Exact);

} // namespace tf
