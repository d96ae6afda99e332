// Appends pages to a TIFF or PDF in place through the basket's append sinks, as the window's
// append does, for the tests that kill such a run at every call that changes a file.
//   tf_append_once <document> end|beginning <page width>...
// Each page is 60 rows of noise (so that no coding shrinks it away) that many pixels wide.
#include "basket/PageSinks.h"
#include "platform/imagebox/page_writers.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>
#include <exception>

namespace {

class CountedPages final : public tf::PageSource {
public:
    explicit CountedPages(int n) : m_n(n) {}
    int count() const override { return m_n; }

private:
    int m_n;
};

QImage noise(int width, quint32 seed)
{
    QImage image(width, 60, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, random.generate() | 0xFF000000u);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: tf_append_once <document> end|beginning <page width>...\n");
        return 2;
    }
    const QString document = args[1];
    const tf::AppendAt at = args[2] == QLatin1String("beginning") ? tf::AppendAt::Beginning : tf::AppendAt::End;
    const bool tiff = !document.endsWith(QLatin1String(".pdf"));
    tf::PageFormat format;
    format.colorFormat = 0;     // 24 bit
    format.tiffCompression = 1; // PackBits
    std::unique_ptr<tf::PageSink> sink;
    if (tiff)
        sink = std::make_unique<tf::TiffAppendSink>(document, document, at, QStringLiteral("Tavrel Folio"));
    else
        sink = std::make_unique<tf::PdfAppendSink>(document, document, at);
    try {
        const CountedPages pages(int(args.size() - 3));
        sink->open(pages, format);
        for (int i = 3; i < args.size(); ++i) {
            tf::PreparedPage page;
            page.image.pixels = noise(args[i].toInt(), quint32(i));
            page.image.format = format;
            page.index = i - 3;
            sink->addPage(std::move(page));
        }
        sink->commit();
    } catch (const std::exception& e) {
        sink->rollback();
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
