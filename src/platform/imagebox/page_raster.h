#pragma once
#include <QByteArray>
#include <QImage>
#include <QVector>
#include <cstdint>

namespace tf {

// The colour formats a multipage document's pages can be written in; the values are the indexes
// users pick from and that the settings store.
enum ColorFormatIndex : int16_t {
    kColor24Bit = 0,
    kColor256 = 1,
    kGray256 = 2,
    kColor16 = 3,
    kGray16 = 4,
    kMonoDithered = 5,
    kMonoThreshold = 6,
};

enum TiffCompressionIndex : int16_t {
    kTiffNone = 0,
    kTiffPackBits = 1,
    kTiffGroup4 = 2,
};

// One page's pixels reduced to the depth that will be written. Rows are packed, most significant
// bit first, without padding beyond the byte. Bilevel pages are 0 = white, 1 = black, the fax
// convention both TIFF Group 4 and PDF CCITT streams expect.
struct PageRaster {
    enum Kind { Rgb, Gray, Palette, Bilevel };
    Kind kind = Rgb;
    int width = 0;
    int height = 0;
    int bitsPerSample = 8;      // 8 (Rgb, Gray, Palette), 4 (Gray, Palette), 1 (Bilevel)
    QVector<QRgb> palette;      // Palette only
    double dpiX = 72.0;
    double dpiY = 72.0;
    QByteArray rows;

    int samplesPerPixel() const { return kind == Rgb ? 3 : 1; }
    int bytesPerRow() const { return (width * samplesPerPixel() * bitsPerSample + 7) / 8; }
    bool isValid() const { return width > 0 && height > 0 && rows.size() == qsizetype(bytesPerRow()) * height; }
};

// The resolution of a page whose file states none, for the TIFF tags and for the size of a PDF
// page, whatever the file's type and whichever reader decoded it (the decoders give every such
// picture this one): 72 dpi, a point a pixel, so that a page is as large as the picture shows on
// the screen at 100 %.
constexpr double kDefaultPageDpi = 72.0;

// Resolutions travel as whole dots per metre, which turns 150 dpi into 150.0124; a value that
// close to a whole number of dots per inch was that number. No resolution counts as
// kDefaultPageDpi.
double dpiFromDotsPerMeter(int dotsPerMeter);

// One row of opaque 32-bit pixels (QImage's RGB32) as 8-bit red, green and blue samples, as
// QImage's own conversion to RGB888 gives them.
void rgbSamplesFromRgb32(const QRgb* in, int width, uchar* out);

// Reduces an image to a colour format (an index above; unknown indexes count as 24 bit).
// "Mono" is dithered (Floyd-Steinberg), "Mono BW" a threshold at the middle grey; the palette
// formats use a Wu colour quantiser. Transparent pixels are flattened onto white.
// A null image gives an invalid raster.
PageRaster rasterForColorFormat(const QImage& image, int colorFormat);

// The raster as a QImage again, to see what a page will look like once written.
QImage imageFromRaster(const PageRaster& raster);

} // namespace tf
