#include "platform/imagebox/pdf_pages.h"

#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <vector>

namespace tf {

namespace {

QByteArray zlibCompress(const QByteArray& raw)
{
    // qCompress prefixes a 4-byte length to a plain zlib stream; PDF's FlateDecode wants only the stream.
    QByteArray z = qCompress(raw, 6);
    return z.size() > 4 ? z.mid(4) : QByteArray();
}

std::string pdfNumber(double v)
{
    // Not printf: the program runs in the user's locale, where the decimal point may be a comma.
    std::string s = QByteArray::number(v, 'f', 4).toStdString();
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s.empty() ? "0" : s;
}

QPDFObjectHandle imageDictionary(const PdfPageImage& image)
{
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(image.width));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(image.height));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(image.bitsPerComponent));
    if (image.space == PdfPageImage::Indexed) {
        std::string lookup;
        for (QRgb c : image.palette) {
            lookup += static_cast<char>(qRed(c));
            lookup += static_cast<char>(qGreen(c));
            lookup += static_cast<char>(qBlue(c));
        }
        QPDFObjectHandle space = QPDFObjectHandle::newArray();
        space.appendItem(QPDFObjectHandle::newName("/Indexed"));
        space.appendItem(QPDFObjectHandle::newName("/DeviceRGB"));
        space.appendItem(QPDFObjectHandle::newInteger(qMax(0, int(image.palette.size()) - 1)));
        space.appendItem(QPDFObjectHandle::newString(lookup));
        dict.replaceKey("/ColorSpace", space);
    } else {
        dict.replaceKey("/ColorSpace",
                        QPDFObjectHandle::newName(image.space == PdfPageImage::Gray ? "/DeviceGray" : "/DeviceRGB"));
    }
    return dict;
}

QPDFObjectHandle filterName(const PdfPageImage& image)
{
    switch (image.filter) {
    case PdfPageImage::Dct: return QPDFObjectHandle::newName("/DCTDecode");
    case PdfPageImage::Ccitt: return QPDFObjectHandle::newName("/CCITTFaxDecode");
    case PdfPageImage::Flate: break;
    }
    return QPDFObjectHandle::newName("/FlateDecode");
}

QPDFObjectHandle decodeParms(const PdfPageImage& image)
{
    if (image.filter != PdfPageImage::Ccitt) return QPDFObjectHandle::newNull();
    QPDFObjectHandle parms = QPDFObjectHandle::newDictionary();
    parms.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
    parms.replaceKey("/Columns", QPDFObjectHandle::newInteger(image.width));
    parms.replaceKey("/Rows", QPDFObjectHandle::newInteger(image.height));
    parms.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(false));
    return parms;
}

// Builds a page showing `xobject` over the whole page, sized from the pixels and resolution.
QPDFObjectHandle makePage(QPDF& pdf, const PdfPageImage& image, QPDFObjectHandle xobject)
{
    const double w = image.width * 72.0 / (image.dpiX > 0 ? image.dpiX : 72.0);
    const double h = image.height * 72.0 / (image.dpiY > 0 ? image.dpiY : 72.0);
    const std::string content = "q " + pdfNumber(w) + " 0 0 " + pdfNumber(h) + " 0 0 cm /Im0 Do Q\n";
    QPDFObjectHandle contents = QPDFObjectHandle::newStream(&pdf, content);

    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Im0", xobject);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);

    QPDFObjectHandle box = QPDFObjectHandle::newArray();
    box.appendItem(QPDFObjectHandle::newInteger(0));
    box.appendItem(QPDFObjectHandle::newInteger(0));
    box.appendItem(QPDFObjectHandle::newReal(pdfNumber(w)));
    box.appendItem(QPDFObjectHandle::newReal(pdfNumber(h)));

    QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
    page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page.replaceKey("/MediaBox", box);
    page.replaceKey("/Contents", contents);
    page.replaceKey("/Resources", resources);
    return pdf.makeIndirectObject(page);
}

QPDFObjectHandle makeImageFromBytes(QPDF& pdf, const PdfPageImage& image)
{
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
    stream.replaceDict(imageDictionary(image));
    stream.replaceStreamData(std::string(image.data.constData(), static_cast<size_t>(image.data.size())),
                             filterName(image), decodeParms(image));
    return stream;
}

// Reads one spooled page's encoded bytes back when the document is written.
class SpoolProvider : public QPDFObjectHandle::StreamDataProvider {
public:
    SpoolProvider(QString path, qint64 offset, qint64 length) : m_path(std::move(path)), m_offset(offset), m_length(length) {}
    void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override
    {
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(m_offset)) throw std::runtime_error("page spool lost");
        qint64 left = m_length;
        while (left > 0) {
            const QByteArray chunk = f.read(qMin<qint64>(left, 1 << 20));
            if (chunk.isEmpty()) throw std::runtime_error("page spool truncated");
            pipeline->write(reinterpret_cast<const unsigned char*>(chunk.constData()), static_cast<size_t>(chunk.size()));
            left -= chunk.size();
        }
        pipeline->finish();
    }

private:
    QString m_path;
    qint64 m_offset;
    qint64 m_length;
};

// Writes the document beside `target` and renames it over it.
bool writeBeside(QPDF& pdf, const QString& target, const QString& producer, QString* error)
{
    SafeFile out(target);
    if (!out.open(error)) return false;
    try {
        if (!producer.isEmpty()) {
            QPDFObjectHandle trailer = pdf.getTrailer();
            QPDFObjectHandle info = trailer.getKey("/Info");
            if (!info.isDictionary()) {
                info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
                trailer.replaceKey("/Info", info);
            }
            info.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString(producer.toStdString()));
        }
        // The writer keeps the name's pointer until it has written: the bytes must outlive it.
        const QByteArray outName = QFile::encodeName(out.fileName());
        QPDFWriter writer(pdf, outName.constData());
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.write();
    } catch (const std::exception& e) {
        if (error) *error = QString::fromLocal8Bit(e.what());
        return false;
    }
    return out.commit(error);
}

} // namespace

PdfPageImage pdfImageFromRaster(const PageRaster& raster, QString* error)
{
    PdfPageImage image;
    if (!raster.isValid()) {
        if (error) *error = QStringLiteral("The page has no pixels");
        return image;
    }
    image.width = raster.width;
    image.height = raster.height;
    image.dpiX = raster.dpiX;
    image.dpiY = raster.dpiY;
    image.bitsPerComponent = raster.bitsPerSample;
    switch (raster.kind) {
    case PageRaster::Bilevel:
        image.filter = PdfPageImage::Ccitt;
        image.space = PdfPageImage::Gray;
        image.bitsPerComponent = 1;
        image.data = encodeGroup4(raster, error);
        return image;
    case PageRaster::Rgb: image.space = PdfPageImage::Rgb; break;
    case PageRaster::Gray: image.space = PdfPageImage::Gray; break;
    case PageRaster::Palette:
        image.space = PdfPageImage::Indexed;
        image.palette = raster.palette;
        break;
    }
    image.filter = PdfPageImage::Flate;
    image.data = zlibCompress(raster.rows);
    return image;
}

PdfPageImage pdfImageFromJpeg(const QByteArray& jpeg, double dpiX, double dpiY)
{
    PdfPageImage image;
    const auto* p = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return image;
    qsizetype i = 2;
    bool adobe = false;
    for (int guard = 0; guard < 10000 && i + 4 <= n; ++guard) {
        if (p[i] != 0xFF) return {};
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { ++i; continue; }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) { i += 2; continue; }
        if (marker == 0xD9 || marker == 0xDA) return {};
        const int len = (p[i + 2] << 8) | p[i + 3];
        if (len < 2 || i + 2 + len > n) return {};
        if (marker == 0xEE) adobe = true;
        // Baseline, extended and progressive Huffman frames; PDF readers decode these.
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            if (len < 8) return {};
            const int precision = p[i + 4];
            const int height = (p[i + 5] << 8) | p[i + 6];
            const int width = (p[i + 7] << 8) | p[i + 8];
            const int components = p[i + 9];
            if (precision != 8 || width <= 0 || height <= 0 || (components != 1 && components != 3) || (adobe && components != 3))
                return {};
            image.filter = PdfPageImage::Dct;
            image.width = width;
            image.height = height;
            image.bitsPerComponent = 8;
            image.space = components == 1 ? PdfPageImage::Gray : PdfPageImage::Rgb;
            image.dpiX = dpiX;
            image.dpiY = dpiY;
            image.data = jpeg;
            return image;
        }
        if (marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return {};
        i += 2 + len;
    }
    return {};
}

struct PdfDocumentWriter::Impl {
    QString target;
    std::unique_ptr<QTemporaryFile> spool;
    struct Spooled {
        PdfPageImage meta; // data left empty
        qint64 offset = 0;
        qint64 length = 0;
    };
    std::vector<Spooled> pages;
};

PdfDocumentWriter::PdfDocumentWriter(const QString& target) : m_impl(std::make_unique<Impl>())
{
    m_impl->target = target;
}

PdfDocumentWriter::~PdfDocumentWriter() { discard(); }

int PdfDocumentWriter::pageCount() const { return static_cast<int>(m_impl->pages.size()); }

bool PdfDocumentWriter::addPage(const PdfPageImage& image, QString* error)
{
    if (!image.isValid()) {
        if (error && error->isEmpty()) *error = QStringLiteral("The page could not be encoded");
        return false;
    }
    if (!m_impl->spool) {
        const QFileInfo target(m_impl->target);
        m_impl->spool = std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.") +
                                                         target.fileName() + QStringLiteral(".pages-XXXXXX"));
        if (!m_impl->spool->open()) {
            m_impl->spool.reset();
            if (error) *error = QStringLiteral("Cannot write in the folder of ") + m_impl->target;
            return false;
        }
    }
    Impl::Spooled s;
    s.meta = image;
    s.meta.data.clear();
    s.offset = m_impl->spool->size();
    s.length = image.data.size();
    m_impl->spool->seek(s.offset);
    if (m_impl->spool->write(image.data) != image.data.size() || !m_impl->spool->flush()) {
        if (error) *error = QStringLiteral("Cannot write in the folder of ") + m_impl->target;
        return false;
    }
    m_impl->pages.push_back(std::move(s));
    return true;
}

bool PdfDocumentWriter::commit(const QString& producer, QString* error)
{
    if (m_impl->pages.empty()) {
        if (error) *error = QStringLiteral("No page was written");
        discard();
        return false;
    }
    bool ok = false;
    try {
        QPDF pdf;
        pdf.emptyPDF();
        QPDFPageDocumentHelper pages(pdf);
        for (const Impl::Spooled& s : m_impl->pages) {
            QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
            stream.replaceDict(imageDictionary(s.meta));
            auto provider = std::make_shared<SpoolProvider>(m_impl->spool->fileName(), s.offset, s.length);
            stream.replaceStreamData(provider, filterName(s.meta), decodeParms(s.meta));
            pages.addPage(QPDFPageObjectHelper(makePage(pdf, s.meta, stream)), false);
        }
        ok = writeBeside(pdf, m_impl->target, producer, error);
    } catch (const std::exception& e) {
        if (error) *error = QString::fromLocal8Bit(e.what());
        ok = false;
    }
    discard();
    return ok;
}

void PdfDocumentWriter::discard()
{
    m_impl->spool.reset();
    m_impl->pages.clear();
}

int pdfPageCount(const QString& path)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(QFile::encodeName(path).constData());
        return static_cast<int>(QPDFPageDocumentHelper(pdf).getAllPages().size());
    } catch (const std::exception&) {
        return 0;
    }
}

bool insertPdfPage(const QString& path, const PdfPageImage& image, int position, QString* error)
{
    if (!image.isValid()) {
        if (error && error->isEmpty()) *error = QStringLiteral("The page could not be encoded");
        return false;
    }
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(QFile::encodeName(path).constData());
        QPDFPageDocumentHelper pages(pdf);
        const std::vector<QPDFPageObjectHelper> existing = pages.getAllPages();
        QPDFPageObjectHelper page(makePage(pdf, image, makeImageFromBytes(pdf, image)));
        if (position >= 1 && position <= static_cast<int>(existing.size()))
            pages.addPageAt(page, true, existing[static_cast<size_t>(position - 1)]);
        else
            pages.addPage(page, false);
        return writeBeside(pdf, path, QString(), error);
    } catch (const std::exception& e) {
        if (error) *error = QString::fromLocal8Bit(e.what());
        return false;
    }
}

} // namespace tf
