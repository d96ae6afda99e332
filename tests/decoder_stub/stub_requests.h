#pragma once
// The requests the stand-in decoder program answers, for tests of the guard around decoders:
// pictures of every layout the wire carries, and each way a decoder can go wrong.
#include "platform/decode/decode_types.h"

#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tf::test::stub {

enum Kind : uint32_t {
    Picture = 100,  // a picture of QImage::Format `flags`, width x height; the path comes back as its message
    Crash = 101,    // aborts
    Hang = 102,     // waits for ever
    Allocate = 103, // asks for `width` MiB
    Garbage = 104,  // writes bytes that are no answer
    Quit = 105,     // exits without answering
    Sleep = 106,    // answers a 1 x 1 picture after `width` milliseconds
    Working = 107,  // as Sleep, saying all the while that it is still working
    Gate = 108,     // creates the file at the target, if one is named, then answers once the FIFO
                    // at the path has no writer left: the test holds it open until it lets the
                    // request end, so that the order of answers is the test's
    Touch = 109,    // creates the file at the path, then answers
};

// Distinct values in every byte of every pixel, so that a row shifted, cut or padded shows.
inline QImage picture(QImage::Format format, int width, int height)
{
    QImage image(width, height, format);
    if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
        image.setColorTable({qRgb(10, 20, 30), qRgb(200, 210, 220)});
    } else if (format == QImage::Format_Indexed8) {
        QList<QRgb> colors;
        for (int i = 0; i < 256; ++i) colors << qRgb(i, 255 - i, (i * 7) & 255);
        image.setColorTable(colors);
    }
    const qsizetype used = (qsizetype(width) * image.depth() + 7) / 8;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (qsizetype x = 0; x < used; ++x) line[x] = static_cast<uchar>(x * 31 + y * 17 + 1);
    }
    image.setDotsPerMeterX(11811); // 300 dpi
    image.setDotsPerMeterY(3937);  // 100 dpi
    return image;
}

// A FIFO for Gate requests: they end when the test opens it (or drops it).
class GateFifo {
public:
    GateFifo() : m_path(m_dir.filePath(QStringLiteral("gate")))
    {
        ::mkfifo(m_path.toLocal8Bit().constData(), 0600);
        // Held for reading and writing, so that a decoder's open does not wait and its read ends
        // only when this end is closed.
        m_fd = ::open(m_path.toLocal8Bit().constData(), O_RDWR);
    }
    ~GateFifo() { open(); }
    GateFifo(const GateFifo&) = delete;
    GateFifo& operator=(const GateFifo&) = delete;

    // A request that waits here; with `mark`, it creates that file once it runs.
    tf::decode::DecodeRequest request(const QString& mark = {}) const
    {
        return {.kind = Kind::Gate, .path = m_path, .target = mark};
    }
    void open()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
};

} // namespace tf::test::stub
