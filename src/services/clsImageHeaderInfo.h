#pragma once
#include <QString>
#include <cstdint>

class QIODevice;

// Pixel size, resolution, colour depth and grey flag of an image file, taken straight from the
// bytes at its start without decoding the image. The folder view fills its detail rows with it,
// one file after another, so it has to be quick and must never fail loudly: every number read
// from the file is checked before it is used to seek or read, every walk over segments, chunks
// or directory entries is bounded, and a damaged file ends in false (or zeros), never an error.
class clsImageHeaderInfo {
public:
    // GIF and BMP. Width, height and bits per pixel become 0 first and stay 0 unless the file
    // starts with a complete GIF or BMP header; dpi and the grey flag keep their values.
    // True when such a header was read. A missing or unreadable file simply gives false.
    bool ReadGIF_BMP_Header(const QString& fileName);
    bool ReadGIF_BMP_Header(QIODevice& device);

    // TIFF (either byte order), JPEG and PNG. When no such file exists: false, nothing changed.
    // Otherwise all five values are reset, and they are filled only when the result is true,
    // that is when the header yielded the image size; a file that breaks off or contradicts
    // itself before that gives false with every value 0.
    // The device overloads read an open, random-access device from its start.
    bool ReadJPEG_TIFF_PNG_Header(const QString& fileName);
    bool ReadJPEG_TIFF_PNG_Header(QIODevice& device);

    int16_t dpi() const { return m_dpi; }
    bool IsGray() const { return m_isGray; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    uint8_t BitsPerPixel() const { return m_bitsPerPixel; }

private:
    void clearAll();

    int32_t m_height = 0;
    int32_t m_width = 0;
    int16_t m_dpi = 0;
    uint8_t m_bitsPerPixel = 0;
    bool m_isGray = false;
};
