#include "platform/imagebox/pdf_pages.h"

#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"
#include "platform/sys/workfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <qpdf/Buffer.hh>
#include <qpdf/InputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QPDFWriter.hh>

#include <charconv>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <optional>
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
    const double w = image.width * 72.0 / (image.dpiX > 0 ? image.dpiX : kDefaultPageDpi);
    const double h = image.height * 72.0 / (image.dpiY > 0 ? image.dpiY : kDefaultPageDpi);
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

// qpdf's output, gathered into large writes to the hidden file. qpdf calls a pipeline from
// places that must not throw, so a write the disk does not take is only kept: the hidden file
// then takes no more bytes and refuses to be committed, and the writer is asked after writing.
class SafeFilePipeline final : public Pipeline {
public:
    explicit SafeFilePipeline(SafeFile& out) : Pipeline("hidden copy", nullptr), m_out(out) {}
    void write(unsigned char const* data, size_t len) override
    {
        if (!m_out.failure().isEmpty()) return;
        m_buffer.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(len));
        if (m_buffer.size() >= kFlushAt) flush();
    }
    void finish() override { flush(); }

private:
    static constexpr qsizetype kFlushAt = 1 << 20;
    void flush()
    {
        if (!m_buffer.isEmpty()) m_out.write(m_buffer);
        m_buffer.clear();
    }
    SafeFile& m_out;
    QByteArray m_buffer;
};

// Writes the document beside `target` and renames it over it.
bool writeBeside(QPDF& pdf, const QString& target, const QString& producer, QString* error,
                 Placement placement = Placement::Replace,
                 std::optional<QFileDevice::Permissions> permissions = std::nullopt)
{
    SafeFile out(target, placement);
    if (permissions) out.setPermissions(*permissions);
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
        SafeFilePipeline pipeline(out);
        QPDFWriter writer(pdf);
        writer.setOutputPipeline(&pipeline);
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.write();
        pipeline.finish(); // whatever the writer still holds back
        if (!out.failure().isEmpty()) {
            if (error) *error = out.failure();
            return false;
        }
    } catch (const std::exception& e) {
        // The disk's refusal, when there was one, is the cause; anything qpdf says after it is not.
        if (error) *error = out.failure().isEmpty() ? QString::fromLocal8Bit(e.what()) : out.failure();
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

namespace {

// EXIF's X/YResolution and ResolutionUnit from IFD0 of the TIFF structure in an APP1 segment.
bool exifResolution(const uchar* p, qsizetype n, double* dpiX, double* dpiY)
{
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return false;
    p += 6;
    n -= 6;
    const bool little = p[0] == 'I' && p[1] == 'I';
    if (!little && !(p[0] == 'M' && p[1] == 'M')) return false;
    auto u16 = [&](qsizetype at) -> quint32 {
        return at + 2 > n ? 0 : little ? quint32(p[at] | (p[at + 1] << 8)) : quint32((p[at] << 8) | p[at + 1]);
    };
    auto u32 = [&](qsizetype at) -> quint32 {
        if (at + 4 > n) return 0;
        return little ? quint32(p[at]) | (quint32(p[at + 1]) << 8) | (quint32(p[at + 2]) << 16) | (quint32(p[at + 3]) << 24)
                      : (quint32(p[at]) << 24) | (quint32(p[at + 1]) << 16) | (quint32(p[at + 2]) << 8) | quint32(p[at + 3]);
    };
    if (u16(2) != 42) return false;
    const qsizetype ifd = u32(4);
    const quint32 entries = u16(ifd);
    double x = 0, y = 0, unit = 1.0; // dots per inch unless told otherwise
    for (quint32 i = 0; i < entries && i < 1000; ++i) {
        const qsizetype e = ifd + 2 + 12 * qsizetype(i);
        if (e + 12 > n) return false;
        const quint32 tag = u16(e), type = u16(e + 2);
        auto rational = [&]() -> double {
            if (type != 5) return 0;
            const qsizetype at = u32(e + 8);
            const quint32 num = u32(at), den = u32(at + 4);
            return at + 8 <= n && den ? double(num) / den : 0;
        };
        if (tag == 0x011A) x = rational();
        else if (tag == 0x011B) y = rational();
        else if (tag == 0x0128 && type == 3) {
            const quint32 v = u16(e + 8);
            if (v == 1) return false; // no absolute unit
            unit = v == 3 ? 2.54 : 1.0;
        }
    }
    if (!(x > 0) || !(y > 0)) return false;
    *dpiX = x * unit;
    *dpiY = y * unit;
    return true;
}

} // namespace

bool jpegResolution(const QByteArray& jpeg, double* dpiX, double* dpiY)
{
    const auto* p = reinterpret_cast<const uchar*>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    double exifX = 0, exifY = 0;
    bool exif = false;
    qsizetype i = 2;
    for (int guard = 0; guard < 10000 && i + 4 <= n; ++guard) {
        if (p[i] != 0xFF) break;
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { ++i; continue; }
        if (marker == 0xD9 || marker == 0xDA) break; // resolutions come before the image data
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) { i += 2; continue; }
        const int len = (p[i + 2] << 8) | p[i + 3];
        if (len < 2 || i + 2 + len > n) break;
        const uchar* body = p + i + 4;
        const int bodyLen = len - 2;
        if (marker == 0xE0 && bodyLen >= 12 && std::memcmp(body, "JFIF\0", 5) == 0) {
            const int units = body[7];
            const int x = (body[8] << 8) | body[9], y = (body[10] << 8) | body[11];
            if ((units == 1 || units == 2) && x > 0 && y > 0) {
                *dpiX = units == 2 ? x * 2.54 : x;
                *dpiY = units == 2 ? y * 2.54 : y;
                return true;
            }
        } else if (marker == 0xE1 && !exif) {
            exif = exifResolution(body, bodyLen, &exifX, &exifY);
        }
        i += 2 + len;
    }
    if (!exif) return false;
    *dpiX = exifX;
    *dpiY = exifY;
    return true;
}

PdfPageImage pdfImageFromJpeg(const QByteArray& jpeg, double dpiX, double dpiY)
{
    jpegResolution(jpeg, &dpiX, &dpiY);
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

namespace {

// Page images waiting in a file for the document to be written; memory holds their descriptions only.
class PageSpool {
public:
    struct Page {
        PdfPageImage meta; // data left empty
        qint64 offset = 0;
        qint64 length = 0;
        int position = 0;
    };

    bool add(const QString& spoolName, const PdfPageImage& image, int position, const QString& target, QString* error)
    {
        if (!image.isValid()) {
            if (error && error->isEmpty()) *error = QStringLiteral("The page could not be encoded");
            return false;
        }
        if (!m_file) {
            m_file = std::make_unique<QTemporaryFile>(spoolName);
            if (!m_file->open()) {
                if (error) *error = QStringLiteral("Cannot make a work file in ") + QFileInfo(spoolName).absolutePath() + QStringLiteral(" (") +
                                    m_file->errorString() + QLatin1Char(')');
                m_file.reset();
                return false;
            }
            recordWorkFile(m_file->fileName());
        }
        Page page;
        page.meta = image;
        page.meta.data.clear();
        page.offset = m_file->size();
        page.length = image.data.size();
        page.position = position;
        m_file->seek(page.offset);
        errno = 0;
        if (m_file->write(image.data) != image.data.size() || !m_file->flush()) {
            // The system's reason (a full disk above all), which QFile does not always keep.
            const int err = errno;
            const QString why = err ? QString::fromLocal8Bit(std::strerror(err)) : m_file->errorString();
            // The pages wait in the program's work folder, which may be on another disk than the target.
            if (error) *error = QStringLiteral("Cannot write the work file ") + m_file->fileName() + QStringLiteral(" for ") +
                                target + QStringLiteral(" (") + why + QLatin1Char(')');
            return false;
        }
        m_pages.push_back(std::move(page));
        return true;
    }

    const std::vector<Page>& pages() const { return m_pages; }

    // The page's image stream, its data read from the spool when the document is written.
    QPDFObjectHandle imageStream(QPDF& pdf, const Page& page) const
    {
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
        stream.replaceDict(imageDictionary(page.meta));
        auto provider = std::make_shared<SpoolProvider>(m_file->fileName(), page.offset, page.length);
        stream.replaceStreamData(provider, filterName(page.meta), decodeParms(page.meta));
        return stream;
    }

    void clear()
    {
        m_file.reset();
        m_pages.clear();
    }

private:
    std::unique_ptr<QTemporaryFile> m_file;
    std::vector<Page> m_pages;
};

} // namespace

namespace {

// A PDF literal string: ASCII as it is, anything else as UTF-16 with its byte order mark.
QByteArray pdfText(const QString& text)
{
    bool ascii = true;
    for (QChar c : text) ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7F;
    if (ascii) {
        QByteArray out = "(";
        for (QChar c : text) {
            if (c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char('\\')) out += '\\';
            out += static_cast<char>(c.unicode());
        }
        return out + ')';
    }
    QByteArray utf16 = "\xFE\xFF";
    for (QChar c : text) {
        utf16 += static_cast<char>(c.unicode() >> 8);
        utf16 += static_cast<char>(c.unicode() & 0xFF);
    }
    return '<' + utf16.toHex() + '>';
}

QByteArray imageDictionaryText(const PdfPageImage& image)
{
    QByteArray d = "<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(image.width) + " /Height " +
                   QByteArray::number(image.height) + " /BitsPerComponent " + QByteArray::number(image.bitsPerComponent);
    switch (image.space) {
    case PdfPageImage::Rgb: d += " /ColorSpace /DeviceRGB"; break;
    case PdfPageImage::Gray: d += " /ColorSpace /DeviceGray"; break;
    case PdfPageImage::Indexed: {
        QByteArray lookup;
        for (QRgb c : image.palette) {
            lookup += static_cast<char>(qRed(c));
            lookup += static_cast<char>(qGreen(c));
            lookup += static_cast<char>(qBlue(c));
        }
        d += " /ColorSpace [/Indexed /DeviceRGB " + QByteArray::number(qMax(0, int(image.palette.size()) - 1)) + " <" +
             lookup.toHex() + ">]";
        break;
    }
    }
    switch (image.filter) {
    case PdfPageImage::Dct: d += " /Filter /DCTDecode"; break;
    case PdfPageImage::Flate: d += " /Filter /FlateDecode"; break;
    case PdfPageImage::Ccitt:
        d += " /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " + QByteArray::number(image.width) + " /Rows " +
             QByteArray::number(image.height) + " /BlackIs1 false >>";
        break;
    }
    return d + " /Length " + QByteArray::number(image.data.size()) + " >>";
}

} // namespace

// One page's objects as both writers lay them out: its image (object `first`), its contents
// (first + 1) and the page (first + 2) under `parent`. The image's data goes between `head` and
// `tail`; the offsets count from the image object's first byte.
struct PageObjects {
    QByteArray head;
    QByteArray tail;
    qint64 contentsAt = 0;
    qint64 pageAt = 0;
};

struct InheritedKeys {
    bool cropBox = false; // the parent gives its pages a crop box or a rotation that a new
    bool rotate = false;  // page must not take: the page states its own
};

PageObjects pageObjects(const PdfPageImage& image, int first, const QByteArray& parent, InheritedKeys inherited)
{
    const double w = image.width * 72.0 / (image.dpiX > 0 ? image.dpiX : kDefaultPageDpi);
    const double h = image.height * 72.0 / (image.dpiY > 0 ? image.dpiY : kDefaultPageDpi);
    const QByteArray wText = QByteArray::fromStdString(pdfNumber(w)), hText = QByteArray::fromStdString(pdfNumber(h));
    const QByteArray content = "q " + wText + " 0 0 " + hText + " 0 0 cm /Im0 Do Q\n";
    const QByteArray box = "[0 0 " + wText + ' ' + hText + ']';

    PageObjects o;
    o.head = QByteArray::number(first) + " 0 obj\n" + imageDictionaryText(image) + "\nstream\n";
    o.tail = QByteArrayLiteral("\nendstream\nendobj\n");
    o.contentsAt = o.head.size() + image.data.size() + o.tail.size();
    o.tail += QByteArray::number(first + 1) + " 0 obj\n<< /Length " + QByteArray::number(content.size()) +
              " >>\nstream\n" + content + "endstream\nendobj\n";
    o.pageAt = o.head.size() + image.data.size() + o.tail.size();
    o.tail += QByteArray::number(first + 2) + " 0 obj\n<< /Type /Page /Parent " + parent + " /MediaBox " + box +
              (inherited.cropBox ? " /CropBox " + box : QByteArray()) + (inherited.rotate ? " /Rotate 0" : "") +
              " /Contents " + QByteArray::number(first + 1) + " 0 R /Resources << /XObject << /Im0 " +
              QByteArray::number(first) + " 0 R >> >> >>\nendobj\n";
    return o;
}

// The document is written as its pages come: each page's image, content and page objects go to
// the hidden file beside the target at once, and only the page tree, the catalogue and the
// cross-reference table wait for commit(). Objects 1 to 3 (catalogue, page tree, information)
// are numbered in advance and written last.
struct PdfDocumentWriter::Impl {
    QString target;
    std::unique_ptr<SafeFile> out;
    qint64 written = 0;
    std::vector<qint64> offsets = std::vector<qint64>(3, 0); // by object number - 1
    std::vector<int> pages;                                  // the page objects' numbers

    bool put(const QByteArray& bytes, QString* error)
    {
        if (!out->write(bytes, error)) return false;
        written += bytes.size();
        return true;
    }
    // Starts object `number` (1-based) at the current offset.
    QByteArray begin(int number)
    {
        if (static_cast<size_t>(number) > offsets.size()) offsets.resize(static_cast<size_t>(number), 0);
        offsets[static_cast<size_t>(number) - 1] = written;
        return QByteArray::number(number) + " 0 obj\n";
    }
    int next() const { return static_cast<int>(offsets.size()) + 1; }
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
    Impl& d = *m_impl;
    if (!d.out) {
        d.out = std::make_unique<SafeFile>(d.target);
        if (!d.out->open(error)) {
            d.out.reset();
            return false;
        }
        d.written = 0;
        // The second line's high bytes mark the file as binary for programs that guess.
        if (!d.put(QByteArrayLiteral("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"), error)) return fail(error);
    }
    const int imageObject = d.next();
    const PageObjects objects = pageObjects(image, imageObject, "2 0 R", {});
    d.offsets.push_back(d.written);
    d.offsets.push_back(d.written + objects.contentsAt);
    d.offsets.push_back(d.written + objects.pageAt);
    if (!d.put(objects.head, error) || !d.put(image.data, error) || !d.put(objects.tail, error)) return fail(error);
    d.pages.push_back(imageObject + 2);
    return true;
}

bool PdfDocumentWriter::fail(QString* error)
{
    // A page half-written leaves nothing that a later commit could finish.
    if (error && error->isEmpty()) *error = QStringLiteral("Cannot write ") + m_impl->target;
    discard();
    return false;
}

bool PdfDocumentWriter::commit(const QString& producer, QString* error)
{
    Impl& d = *m_impl;
    if (!d.out || d.pages.empty()) {
        if (error) *error = QStringLiteral("No page was written");
        discard();
        return false;
    }
    QByteArray kids;
    for (int page : d.pages) kids += QByteArray::number(page) + " 0 R ";
    QByteArray end = d.begin(2) + "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(qsizetype(d.pages.size())) +
                     " >>\nendobj\n";
    if (!d.put(end, error)) return fail(error);
    end = d.begin(1) + "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    if (!d.put(end, error)) return fail(error);
    end = d.begin(3) + "<< /Producer " + pdfText(producer) + " >>\nendobj\n";
    if (!d.put(end, error)) return fail(error);

    const qint64 xref = d.written;
    QByteArray table = "xref\n0 " + QByteArray::number(qsizetype(d.offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (qint64 offset : d.offsets) table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<< /Size " + QByteArray::number(qsizetype(d.offsets.size()) + 1) +
             " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    if (!d.put(table, error)) return fail(error);
    const bool ok = d.out->commit(error);
    discard();
    return ok;
}

void PdfDocumentWriter::discard()
{
    m_impl->out.reset();
    m_impl->pages.clear();
    m_impl->offsets.assign(3, 0);
    m_impl->written = 0;
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

bool pdfNeedsPassword(const QString& path)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(QFile::encodeName(path).constData());
        return false;
    } catch (const QPDFExc& e) {
        return e.getErrorCode() == qpdf_e_password;
    } catch (const std::exception&) {
        return false;
    }
}

struct PdfAppender::Impl {
    std::unique_ptr<QPDF> pdf;
    QString source;
    QString target;
    QString spoolName;
    bool newTarget = false;
    PageSpool spool;
};

PdfAppender::PdfAppender(const QString& source, const QString& target, const QString& spool)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->source = source;
    m_impl->target = target;
    m_impl->spoolName = spool;
    m_impl->newTarget = !QFileInfo(target).exists() && !QFileInfo(target).isSymLink();
}

PdfAppender::~PdfAppender() = default;

QString PdfAppender::source() const { return m_impl->source; }
QString PdfAppender::target() const { return m_impl->target; }
int PdfAppender::pageCount() const { return static_cast<int>(m_impl->spool.pages().size()); }

namespace {

// The document's last startxref line: the offset it gives (-1 when its end is not as the format
// has it), and whether the keyword is run together with its number, or the number with another
// word ("startxref1234", "1234x"). qpdf passes over such a line without a warning and reads an
// earlier revision's: an update would rest on it, and a document written again from that reading
// would lose the later revisions' pages.
struct LastStartXref {
    qint64 offset = -1;
    bool runTogether = false;
};

LastStartXref readLastStartXref(QFile& file, qint64 length)
{
    LastStartXref last;
    const qint64 from = qMax<qint64>(0, length - 1024);
    if (!file.seek(from)) return last;
    const QByteArray end = file.read(length - from);
    const qsizetype at = end.lastIndexOf("startxref");
    if (at < 0) return last;
    const auto white = [&](qsizetype k) {
        return k < end.size() && (end[k] == ' ' || end[k] == '\r' || end[k] == '\n' || end[k] == '\t' || end[k] == '\f');
    };
    qsizetype i = at + 9;
    if (i < end.size() && !white(i)) {
        last.runTogether = true;
        return last;
    }
    while (white(i)) ++i;
    qsizetype j = i;
    while (j < end.size() && end[j] >= '0' && end[j] <= '9') ++j;
    if (j > i && j < end.size() && !white(j) && end[j] != '%') {
        last.runTogether = true;
        return last;
    }
    if (end.indexOf("%%EOF", at) < 0) return last;
    bool ok = false;
    const qint64 offset = end.mid(i, j - i).toLongLong(&ok);
    if (ok && offset > 0 && offset < length) last.offset = offset;
    return last;
}

bool lastStartXrefRunTogether(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && readLastStartXref(file, file.size()).runTogether;
}

} // namespace

bool PdfAppender::open(QString* error)
{
    if (lastStartXrefRunTogether(m_impl->source)) {
        if (error)
            *error = QStringLiteral("The end of %1 is damaged: its last pages could not be read, and writing it again "
                                    "would lose them.")
                         .arg(m_impl->source);
        return false;
    }
    try {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        pdf->processFile(QFile::encodeName(m_impl->source).constData());
        if (QPDFPageDocumentHelper(*pdf).getAllPages().empty()) {
            if (error) *error = QStringLiteral("Not a PDF file that pages can be added to: ") + m_impl->source;
            return false;
        }
        m_impl->pdf = std::move(pdf);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = QString::fromLocal8Bit(e.what());
        return false;
    }
}

bool PdfAppender::addPage(const PdfPageImage& image, int position, QString* error)
{
    if (!m_impl->pdf) {
        if (error) *error = QStringLiteral("Cannot read ") + m_impl->source;
        return false;
    }
    return m_impl->spool.add(m_impl->spoolName, image, position, m_impl->target, error);
}

bool PdfAppender::commit(QString* error)
{
    if (m_impl->spool.pages().empty()) {
        if (error) *error = QStringLiteral("No page was written");
        return false;
    }
    bool ok = false;
    try {
        QPDF& pdf = *m_impl->pdf;
        QPDFPageDocumentHelper pages(pdf);
        std::vector<QPDFPageObjectHelper> order = pages.getAllPages();
        for (const PageSpool::Page& s : m_impl->spool.pages()) {
            QPDFPageObjectHelper page(makePage(pdf, s.meta, m_impl->spool.imageStream(pdf, s)));
            // Positions count the pages as they stand after the ones inserted before.
            if (s.position >= 1 && s.position <= static_cast<int>(order.size())) {
                pages.addPageAt(page, true, order[static_cast<size_t>(s.position - 1)]);
                order.insert(order.begin() + (s.position - 1), page);
            } else {
                pages.addPage(page, false);
                order.push_back(page);
            }
        }
        const bool sameFile = QFileInfo(m_impl->source).canonicalFilePath() == QFileInfo(m_impl->target).canonicalFilePath();
        ok = writeBeside(pdf, m_impl->target, QString(), error,
                         m_impl->newTarget ? Placement::NoReplace : Placement::Replace,
                         sameFile ? std::nullopt : std::optional(QFile::permissions(m_impl->source)));
    } catch (const std::exception& e) {
        if (error) *error = QString::fromLocal8Bit(e.what());
        ok = false;
    }
    discard();
    return ok;
}

void PdfAppender::discard()
{
    m_impl->spool.clear();
    m_impl->pdf.reset();
}

// ---- incremental updates

namespace {

void (*g_updateHook)(PdfUpdateSession::Step) = nullptr;
bool g_quickReading = true;
void (*g_readingHook)(bool quick) = nullptr;

QString withReason(const QString& text, int err)
{
    return err ? text + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')') : text;
}

// What an update needs to know of the document it extends, read through qpdf without changing
// anything.
struct UpdateBase {
    qint64 length = 0;       // the old end
    bool endsInLine = false; // the old last byte ends a line
    qint64 lastXref = 0;     // where the last cross-reference section starts (the new /Prev)
    bool xrefStream = false;
    int nextObject = 0;      // the first free object number
    QPDFObjGen pages;        // the page tree's root
    QByteArray pagesKeys;    // its entries but /Kids and /Count, as written
    QByteArray kids;         // its children, as written
    qint64 count = 0;
    InheritedKeys inherited;
    QByteArray trailerKeys; // /Root, /Info and /ID as written
};


// The document as qpdf reads it for an update: through blocks read whole and kept, where qpdf's
// own file source asks the system for every few bytes of the cross-reference (hundreds of
// thousands of calls for a long document). Reads, never a mapping: a file cut short meanwhile
// reads as its end, not as a crash.
class BlockFileSource final : public InputSource {
public:
    BlockFileSource(const QString& path, std::string name) : m_file(path), m_name(std::move(name))
    {
        if (m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) m_size = m_file.size();
    }
    bool isOpen() const { return m_file.isOpen(); }

    qpdf_offset_t findAndSkipNextEOL() override
    {
        while (m_pos < m_size && !isEol(at(m_pos))) ++m_pos;
        if (m_pos >= m_size) return last_offset = m_pos = m_size;
        const qpdf_offset_t eol = m_pos++;
        while (m_pos < m_size && isEol(at(m_pos))) ++m_pos;
        return eol;
    }
    std::string const& getName() const override { return m_name; }
    qpdf_offset_t tell() override { return m_pos; }
    void seek(qpdf_offset_t offset, int whence) override
    {
        const qpdf_offset_t to = whence == SEEK_END ? m_size + offset : whence == SEEK_CUR ? m_pos + offset : offset;
        if (to < 0) throw std::runtime_error(m_name + ": seek before the beginning of the file");
        m_pos = to;
    }
    void rewind() override { m_pos = 0; }
    size_t read(char* buffer, size_t length) override
    {
        if (m_pos >= m_size) {
            last_offset = m_size;
            return 0;
        }
        last_offset = m_pos;
        size_t done = 0;
        while (done < length && m_pos < m_size) {
            if (!load(m_pos)) break;
            const qint64 inBlock = m_blockAt + m_block.size() - m_pos;
            const size_t take = static_cast<size_t>(qMin<qint64>(inBlock, qint64(length - done)));
            std::memcpy(buffer + done, m_block.constData() + (m_pos - m_blockAt), take);
            done += take;
            m_pos += static_cast<qpdf_offset_t>(take);
        }
        return done;
    }
    void unreadCh(char) override
    {
        if (m_pos > 0) --m_pos;
    }
    // `n` bytes at `pos`: false when the file ends before. Leaves the position anywhere.
    bool bytesAt(qint64 pos, char* out, qint64 n)
    {
        if (pos >= m_blockAt && pos + n <= m_blockAt + m_block.size()) {
            std::memcpy(out, m_block.constData() + (pos - m_blockAt), size_t(n));
            return true;
        }
        m_pos = pos;
        return qint64(read(out, size_t(n))) == n;
    }
    // The byte at `pos`, -1 past the end.
    int byteAt(qint64 pos)
    {
        if (pos >= m_blockAt && pos < m_blockAt + m_block.size())
            return static_cast<unsigned char>(m_block.constData()[pos - m_blockAt]);
        char c;
        return bytesAt(pos, &c, 1) ? static_cast<unsigned char>(c) : -1;
    }
    qint64 size() const { return m_size; }

private:
    static constexpr qint64 kBlock = 64 * 1024;
    static bool isEol(char c) { return c == '\r' || c == '\n'; }
    bool load(qint64 pos)
    {
        if (pos >= m_blockAt && pos < m_blockAt + m_block.size()) return true;
        m_blockAt = pos - pos % kBlock;
        if (!m_file.seek(m_blockAt)) return false;
        m_block = m_file.read(kBlock);
        if (m_block.isEmpty()) m_size = qMin<qint64>(m_size, m_blockAt); // cut short meanwhile
        return !m_block.isEmpty();
    }
    char at(qint64 pos)
    {
        if (!load(pos)) {
            m_size = qMin<qint64>(m_size, pos);
            return '\n';
        }
        return m_block[pos - m_blockAt];
    }
    QFile m_file;
    std::string m_name;
    qint64 m_size = 0;
    qint64 m_pos = 0;
    qint64 m_blockAt = 0;
    QByteArray m_block;
};


// A plain document read without qpdf opening it: qpdf's reading builds an object for every entry
// of the cross-reference and every child of the page tree, which a long document pays for on each
// append. This reads what an update needs and checks, more strictly than qpdf, what its reading
// would warn about; whatever it is not sure of is left to qpdf's reading (Unsure), never refused
// here. The values it gives are the ones qpdf's reading would: its dictionaries go through qpdf's
// parser, with a context of its own whose objects are never looked into.
enum class Quick { Read, Unsure };

class QuickBase {
public:
    QuickBase(std::shared_ptr<BlockFileSource> in, UpdateBase* base) : m_in(std::move(in)), m_base(base)
    {
        m_scratch.setSuppressWarnings(true);
        m_scratch.emptyPDF();
    }

    Quick read()
    {
        // "%PDF-1.7" and the like at the very start; qpdf looks further, for other versions.
        qint64 at = 0;
        long long major = 0, minor = 0;
        if (!word(at, "%PDF-") || !number(at, 3, &major) || m_in->byteAt(at++) != '.' || !number(at, 3, &minor) ||
            !(white(m_in->byteAt(at)) || m_in->byteAt(at) == '%'))
            return Quick::Unsure;
        // Newest section first, along the /Prev chain.
        QPDFObjectHandle newest;
        std::vector<qint64> visited;
        for (qint64 at = m_base->lastXref; at > 0;) {
            if (visited.size() > 4096 || std::find(visited.begin(), visited.end(), at) != visited.end())
                return Quick::Unsure;
            visited.push_back(at);
            QPDFObjectHandle trailer;
            if (!section(at, &trailer)) return Quick::Unsure;
            for (const char* key : {"/XRefStm", "/Encrypt"})
                if (present(trailer.getKey(key))) return Quick::Unsure;
            if (!newest.isInitialized()) newest = trailer;
            QPDFObjectHandle prev = trailer.getKey("/Prev");
            if (!present(prev)) break;
            if (prev.isIndirect() || !prev.isInteger()) return Quick::Unsure;
            at = prev.getIntValue();
            if (at <= 0 || at >= m_in->size()) return Quick::Unsure;
        }
        if (!newest.isInitialized()) return Quick::Unsure;

        // qpdf warns unless /Size is one past the highest number any section names.
        QPDFObjectHandle size = newest.getKey("/Size");
        if (size.isIndirect() || !size.isInteger() || size.getIntValue() != m_highest + 1) return Quick::Unsure;
        QPDFObjectHandle rootRef = newest.getKey("/Root");
        QPDFObjectHandle root;
        if (!rootRef.isIndirect() || !object(rootRef.getObjGen(), &root)) return Quick::Unsure;
        QPDFObjectHandle pagesRef = root.getKey("/Pages");
        if (!pagesRef.isIndirect() || !pagesObject(pagesRef.getObjGen())) return Quick::Unsure;
        QPDFObjectHandle count = m_pages.getKey("/Count");
        if (count.isIndirect() || !count.isInteger()) return Quick::Unsure;

        // The trailer's entries as qpdf's reading finds them: /Info by reading its object.
        QByteArray trailerKeys;
        for (const char* key : {"/Root", "/Info", "/ID"}) {
            QPDFObjectHandle value = newest.getKey(key);
            if (value.isIndirect() && std::strcmp(key, "/Root") != 0) {
                QPDFObjectHandle info;
                if (std::strcmp(key, "/Info") != 0 || !object(value.getObjGen(), &info)) return Quick::Unsure;
            } else if (!value.isIndirect() && value.isNull()) {
                continue;
            }
            trailerKeys += QByteArray(key) + ' ' + QByteArray::fromStdString(value.unparse()) + ' ';
        }
        if (m_scratch.anyWarnings()) return Quick::Unsure;

        const long long objects = size.getIntValue();
        if (objects <= 0 || objects > 8000000 || count.getIntValue() < 0) return Quick::Unsure;
        m_base->pages = pagesRef.getObjGen();
        m_base->count = count.getIntValue();
        m_base->kids = m_kids;
        m_base->pagesKeys.clear();
        for (const std::string& key : m_pages.getKeys()) {
            if (key == "/Count") continue;
            m_base->pagesKeys +=
                QByteArray::fromStdString(key) + ' ' + QByteArray::fromStdString(m_pages.getKey(key).unparse()) + ' ';
        }
        m_base->inherited.cropBox = m_pages.hasKey("/CropBox");
        m_base->inherited.rotate = m_pages.hasKey("/Rotate");
        m_base->trailerKeys = trailerKeys;
        m_base->nextObject = static_cast<int>(objects);
        return Quick::Read;
    }

private:
    struct Entry {
        qint64 offset = 0;
        int gen = 0;
        char type = 0; // 'n' in use, 'f' free, 0 not named
    };
    static constexpr long long kMaxObjects = 1000000;

    static bool white(int c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }
    static bool digit(int c) { return c >= '0' && c <= '9'; }
    // A key there, even as null: qpdf counts some of these as given whatever their value.
    static bool present(QPDFObjectHandle value) { return value.isIndirect() || !value.isNull(); }

    bool number(qint64& at, int most, long long* value)
    {
        long long v = 0;
        int n = 0;
        for (int c; n < most && digit(c = m_in->byteAt(at)); ++n, ++at) v = v * 10 + (c - '0');
        *value = v;
        return n > 0 && !digit(m_in->byteAt(at));
    }
    bool word(qint64& at, const char* w)
    {
        const qint64 n = qint64(std::strlen(w));
        char buf[16];
        if (!m_in->bytesAt(at, buf, n) || std::memcmp(buf, w, size_t(n)) != 0) return false;
        at += n;
        return true;
    }
    bool lineEnd(qint64& at)
    {
        const int c = m_in->byteAt(at);
        if (c == '\n') {
            ++at;
            return true;
        }
        if (c != '\r') return false;
        if (m_in->byteAt(++at) == '\n') ++at;
        return true;
    }

    // One cross-reference table and its trailer, every entry in its exact 20 bytes.
    bool section(qint64 at, QPDFObjectHandle* trailer)
    {
        if (!word(at, "xref") || !lineEnd(at)) return false;
        for (;;) {
            qint64 probe = at;
            if (word(probe, "trailer")) {
                at = probe;
                break;
            }
            long long first = 0, count = 0;
            if (!number(at, 10, &first) || m_in->byteAt(at++) != ' ' || !number(at, 10, &count)) return false;
            while (m_in->byteAt(at) == ' ') ++at;
            if (!lineEnd(at) || first + count > kMaxObjects) return false;
            if (m_entries.size() < size_t(first + count)) m_entries.resize(size_t(first + count));
            for (long long i = 0; i < count; ++i, at += 20) {
                char e[20];
                if (!m_in->bytesAt(at, e, 20)) return false;
                for (int k : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15})
                    if (!digit(e[k])) return false;
                const char type = e[17];
                if (e[10] != ' ' || e[16] != ' ' || (type != 'n' && type != 'f')) return false;
                if (!((e[18] == ' ' && (e[19] == '\r' || e[19] == '\n')) || (e[18] == '\r' && e[19] == '\n'))) return false;
                qint64 offset = 0;
                for (int k = 0; k < 10; ++k) offset = offset * 10 + (e[k] - '0');
                int gen = 0;
                for (int k = 11; k < 16; ++k) gen = gen * 10 + (e[k] - '0');
                const long long obj = first + i;
                // A subsection that seems to start one number late.
                if (i == 0 && first != 0 && type == 'f' && gen == 65535) return false;
                if (type == 'n' && (obj == 0 || offset <= 0 || offset >= m_in->size() || gen > 65535)) return false;
                m_highest = qMax(m_highest, obj);
                Entry& entry = m_entries[size_t(obj)];
                if (!entry.type)
                    entry = Entry{offset, gen, type};
                else if (entry.type == 'n' && type == 'n' && entry.gen != gen)
                    return false; // qpdf would keep the higher generation, from whichever section
            }
        }
        try {
            m_in->seek(at, SEEK_SET);
            QPDFTokenizer tokenizer;
            bool empty = false;
            *trailer = QPDFObjectHandle::parse(m_in, "trailer", tokenizer, empty, nullptr, &m_scratch);
            // qpdf would take a "stream" after it as the dictionary's.
            const QPDFTokenizer::Token next = tokenizer.readToken(m_in, "trailer", true);
            return !empty && dictionary(*trailer) && next.getType() == QPDFTokenizer::tt_word &&
                   next.getValue() == "startxref" && !m_scratch.anyWarnings();
        } catch (const std::exception&) {
            return false;
        }
    }

    // Where the cross-reference has `og` in use, after its "N G obj"; -1 when it is not so.
    qint64 body(QPDFObjGen og)
    {
        if (og.getObj() <= 0 || size_t(og.getObj()) >= m_entries.size()) return -1;
        const Entry& e = m_entries[size_t(og.getObj())];
        if (e.type != 'n' || e.gen != og.getGen()) return -1;
        qint64 at = e.offset;
        long long obj = 0, gen = 0;
        if (!number(at, 10, &obj) || m_in->byteAt(at++) != ' ' || !number(at, 5, &gen) || m_in->byteAt(at++) != ' ' ||
            !word(at, "obj") || obj != og.getObj() || gen != og.getGen())
            return -1;
        return at;
    }

    bool endobj(QPDFTokenizer& tokenizer)
    {
        const QPDFTokenizer::Token t = tokenizer.readToken(m_in, "object", true);
        return t.getType() == QPDFTokenizer::tt_word && t.getValue() == "endobj";
    }

    // A dictionary as written, not a reference (which would be looked up in the scratch context).
    static bool dictionary(QPDFObjectHandle h) { return !h.isIndirect() && h.isDictionary(); }

    // The dictionary that is object `og`.
    bool object(QPDFObjGen og, QPDFObjectHandle* out)
    {
        const qint64 at = body(og);
        if (at < 0) return false;
        try {
            m_in->seek(at, SEEK_SET);
            QPDFTokenizer tokenizer;
            bool empty = false;
            *out = QPDFObjectHandle::parse(m_in, "object", tokenizer, empty, nullptr, &m_scratch);
            return !empty && dictionary(*out) && endobj(tokenizer) && !m_scratch.anyWarnings();
        } catch (const std::exception&) {
            return false;
        }
    }

    // The page tree's root: its /Kids read here as the references they are, the rest of it by
    // qpdf's parser.
    bool pagesObject(QPDFObjGen og)
    {
        const qint64 at = body(og);
        if (at < 0) return false;
        try {
            m_in->seek(at, SEEK_SET);
            QPDFTokenizer tokenizer;
            qint64 dictFrom = -1, kidsFrom = -1, kidsTo = -1;
            int depth = 0;
            bool key = true;
            for (int tokens = 0; tokens < 100000; ++tokens) {
                const QPDFTokenizer::Token t = tokenizer.readToken(m_in, "pages", true);
                const QPDFTokenizer::token_type_e type = t.getType();
                if (depth == 0) {
                    if (type != QPDFTokenizer::tt_dict_open) return false;
                    dictFrom = m_in->getLastOffset();
                    depth = 1;
                    continue;
                }
                if (depth == 1 && key) {
                    if (type == QPDFTokenizer::tt_dict_close) {
                        const qint64 dictTo = m_in->tell();
                        if (kidsFrom < 0 || !endobj(tokenizer)) return false;
                        return parsePages(dictFrom, kidsFrom, kidsTo, dictTo);
                    }
                    if (type != QPDFTokenizer::tt_name) return false;
                    if (t.getValue() == "/Kids") {
                        if (kidsFrom >= 0) return false;
                        kidsFrom = m_in->getLastOffset();
                        kidsTo = kids(m_in->tell());
                        if (kidsTo < 0) return false;
                        m_in->seek(kidsTo, SEEK_SET);
                        continue;
                    }
                    key = false;
                    continue;
                }
                switch (type) {
                case QPDFTokenizer::tt_dict_open:
                case QPDFTokenizer::tt_array_open:
                    ++depth;
                    break;
                case QPDFTokenizer::tt_dict_close:
                case QPDFTokenizer::tt_array_close:
                    if (--depth < 1) return false;
                    break;
                case QPDFTokenizer::tt_integer:
                case QPDFTokenizer::tt_real:
                case QPDFTokenizer::tt_name:
                case QPDFTokenizer::tt_string:
                case QPDFTokenizer::tt_null:
                case QPDFTokenizer::tt_bool:
                    break;
                case QPDFTokenizer::tt_word:
                    // A value given by reference: qpdf's reading would look it up.
                    if (depth == 1) return false;
                    break;
                default:
                    return false;
                }
                if (depth == 1) key = true;
            }
        } catch (const std::exception&) {
        }
        return false;
    }

    // The children's "N G R" from `at` (before the "["), each in use in the cross-reference; where
    // the array ends, or -1.
    qint64 kids(qint64 at)
    {
        while (white(m_in->byteAt(at))) ++at;
        if (m_in->byteAt(at++) != '[') return -1;
        m_kids.clear();
        char text[32];
        for (;;) {
            while (white(m_in->byteAt(at))) ++at;
            if (m_in->byteAt(at) == ']') return at + 1;
            long long obj = 0, gen = 0;
            if (!number(at, 10, &obj) || !white(m_in->byteAt(at))) return -1;
            while (white(m_in->byteAt(at))) ++at;
            if (!number(at, 5, &gen) || !white(m_in->byteAt(at))) return -1;
            while (white(m_in->byteAt(at))) ++at;
            if (m_in->byteAt(at++) != 'R') return -1;
            const int next = m_in->byteAt(at);
            if (!white(next) && next != ']') return -1;
            if (obj <= 0 || size_t(obj) >= m_entries.size()) return -1;
            const Entry& e = m_entries[size_t(obj)];
            if (e.type != 'n' || e.gen != gen) return -1;
            char* end = std::to_chars(text, text + 12, obj).ptr;
            *end++ = ' ';
            end = std::to_chars(end, end + 6, gen).ptr;
            std::memcpy(end, " R ", 3);
            m_kids.append(text, end + 3 - text);
        }
    }

    bool parsePages(qint64 dictFrom, qint64 kidsFrom, qint64 kidsTo, qint64 dictTo)
    {
        std::string text(size_t(kidsFrom - dictFrom) + 1 + size_t(dictTo - kidsTo), ' ');
        if (!m_in->bytesAt(dictFrom, text.data(), kidsFrom - dictFrom) ||
            !m_in->bytesAt(kidsTo, text.data() + (kidsFrom - dictFrom) + 1, dictTo - kidsTo))
            return false;
        m_pages = QPDFObjectHandle::parse(&m_scratch, text, "pages");
        return dictionary(m_pages) && !m_scratch.anyWarnings();
    }

    std::shared_ptr<BlockFileSource> m_in;
    UpdateBase* m_base;
    QPDF m_scratch;
    std::vector<Entry> m_entries;
    long long m_highest = -1;
    QByteArray m_kids;
    QPDFObjectHandle m_pages;
};

// False when the document cannot take a plain update (see PdfUpdateSession::start).
bool readUpdateBase(const QString& path, UpdateBase* base)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    base->length = file.size();
    base->lastXref = readLastStartXref(file, base->length).offset;
    if (base->lastXref < 0 || !file.seek(base->length - 1)) return false;
    const QByteArray lastByte = file.read(1);
    const char last = lastByte.isEmpty() ? 0 : lastByte[0];
    base->endsInLine = last == '\n' || last == '\r';
    if (!file.seek(base->lastXref)) return false;
    const QByteArray head = file.read(32);
    if (head.startsWith("xref")) {
        base->xrefStream = false;
    } else if (!head.isEmpty() && head[0] >= '0' && head[0] <= '9' && head.contains(" obj")) {
        base->xrefStream = true;
    } else {
        return false;
    }
    try {
        if (!base->xrefStream && g_quickReading) {
            auto source = std::make_shared<BlockFileSource>(path, QFile::encodeName(path).toStdString());
            if (!source->isOpen()) return false;
            UpdateBase quickBase = *base;
            bool quick = false;
            try {
                quick = QuickBase(source, &quickBase).read() == Quick::Read;
            } catch (const std::exception&) {
                quick = false; // qpdf's reading decides
            }
            if (g_readingHook) g_readingHook(quick);
            if (quick) {
                *base = quickBase;
                return true;
            }
        }
        auto source = std::make_shared<BlockFileSource>(path, QFile::encodeName(path).toStdString());
        if (!source->isOpen()) return false;
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processInputSource(source);
        if (pdf.isEncrypted()) return false;
        QPDFObjectHandle trailer = pdf.getTrailer();
        QPDFObjectHandle root = trailer.getKey("/Root");
        QPDFObjectHandle size = trailer.getKey("/Size");
        if (!root.isIndirect() || !root.isDictionary() || !size.isInteger()) return false;
        QPDFObjectHandle pages = root.getKey("/Pages");
        if (!pages.isIndirect() || !pages.isDictionary() || !pages.getKey("/Count").isInteger()) return false;
        QPDFObjectHandle kids = pages.getKey("/Kids");
        if (!kids.isArray()) return false;
        base->pages = pages.getObjGen();
        base->count = pages.getKey("/Count").getIntValue();
        // Written as "N G R " straight from the numbers: a long document has thousands.
        const int kidCount = kids.getArrayNItems();
        base->kids.reserve(qsizetype(kidCount) * 12);
        char number[48];
        for (int i = 0; i < kidCount; ++i) {
            const QPDFObjectHandle kid = kids.getArrayItem(i);
            if (!kid.isIndirect()) return false;
            const QPDFObjGen og = kid.getObjGen();
            char* at = std::to_chars(number, number + 20, og.getObj()).ptr;
            *at++ = ' ';
            at = std::to_chars(at, at + 20, og.getGen()).ptr;
            std::memcpy(at, " R ", 3);
            base->kids.append(number, at + 3 - number);
        }
        for (const std::string& key : pages.getKeys()) {
            if (key == "/Kids" || key == "/Count") continue;
            base->pagesKeys += QByteArray::fromStdString(key) + ' ' + QByteArray::fromStdString(pages.getKey(key).unparse()) + ' ';
        }
        base->inherited.cropBox = pages.hasKey("/CropBox");
        base->inherited.rotate = pages.hasKey("/Rotate");
        for (const char* key : {"/Root", "/Info", "/ID"})
            if (trailer.hasKey(key))
                base->trailerKeys += QByteArray(key) + ' ' + QByteArray::fromStdString(trailer.getKey(key).unparse()) + ' ';
        // The first free number: qpdf warns when /Size is not one past the highest number its
        // cross-reference holds, and a warning refuses the document below.
        const long long objects = size.getIntValue();
        if (objects <= 0 || objects > 8000000 || base->count < 0) return false;
        base->nextObject = static_cast<int>(objects);
        // A cross-reference qpdf had to rebuild, or anything else it had to make good, is not a
        // base that offsets written after it can rest on.
        return !pdf.anyWarnings();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

struct PdfUpdateSession::Impl {
    QString document;
    Where where = Where::End;
    UpdateBase base;
    std::unique_ptr<SafeFile> copy; // the new file, when the document itself stays as it is
    int fd = -1;
    qint64 end = 0;
    std::vector<std::pair<int, qint64>> objects; // new objects and their offsets, in number order
    QByteArray pageRefs;
    int pages = 0;
    quint64 recordId = 0;
    AppendTailChecksum tailSum; // of the bytes past the old end
    bool finished = false;

    QString cannot() const { return QStringLiteral("Cannot add pages to ") + document; }

    bool put(const QByteArray& bytes, QString* error)
    {
        const bool ok = copy ? copy->writeAt(bytes.constData(), bytes.size(), end, error)
                             : writeFully(fd, bytes.constData(), bytes.size(), end);
        if (!ok) {
            if (error && !copy) *error = withReason(cannot(), errno ? errno : EIO);
            return false;
        }
        if (recordId) tailSum.add(bytes.constData(), bytes.size());
        end += bytes.size();
        return true;
    }

    // On the disk before the last line is written: with it the next start knows the update took
    // effect once that line is there, and cuts it back off while it is not.
    bool proveLastLine(const QByteArray& last, QString* error)
    {
        if (!recordId) return true;
        AppendProof proof;
        proof.format = "pdf";
        proof.tailLength = end - base.length;
        proof.tailChecksum = tailSum.value();
        proof.linkAfter = last;
        return recordAppendProof(recordId, proof, error);
    }

    int nextNumber() const { return base.nextObject + static_cast<int>(objects.size()); }

    QByteArray pagesRef() const
    {
        return QByteArray::number(base.pages.getObj()) + ' ' + QByteArray::number(base.pages.getGen()) + " R";
    }

    // The page tree's root again, the new pages among its children.
    QByteArray pagesObject() const
    {
        const QByteArray kids = where == Where::Beginning ? pageRefs + base.kids : base.kids + pageRefs;
        return QByteArray::number(base.pages.getObj()) + ' ' + QByteArray::number(base.pages.getGen()) + " obj\n<< " +
               base.pagesKeys + "/Kids [" + kids + "] /Count " + QByteArray::number(base.count + pages) + " >>\nendobj\n";
    }

    // The cross-reference section and its trailer, starting at `at`, for the root written at
    // `pagesAt`; the last line (startxref) is not part of it.
    QByteArray xrefSection(qint64 at, qint64 pagesAt) const
    {
        const int first = base.nextObject;
        if (!base.xrefStream) {
            auto entry = [](qint64 offset, int gen) {
                return QByteArray::number(offset).rightJustified(10, '0') + ' ' +
                       QByteArray::number(gen).rightJustified(5, '0') + " n \n";
            };
            QByteArray t = "xref\n" + QByteArray::number(base.pages.getObj()) + " 1\n" + entry(pagesAt, base.pages.getGen()) +
                           QByteArray::number(first) + ' ' + QByteArray::number(qsizetype(objects.size())) + '\n';
            for (const auto& o : objects) t += entry(o.second, 0);
            return t + "trailer\n<< /Size " + QByteArray::number(nextNumber()) + ' ' + base.trailerKeys + "/Prev " +
                   QByteArray::number(base.lastXref) + " >>\n";
        }
        // The stream lists itself too: it is the last new object.
        const int self = nextNumber();
        const int width = at > 0xFFFFFFFFLL ? 8 : 4;
        QByteArray rows;
        auto row = [&](qint64 offset, int gen) {
            rows += char(1);
            for (int i = width - 1; i >= 0; --i) rows += char((offset >> (8 * i)) & 0xFF);
            rows += char((gen >> 8) & 0xFF);
            rows += char(gen & 0xFF);
        };
        row(pagesAt, base.pages.getGen());
        for (const auto& o : objects) row(o.second, 0);
        row(at, 0);
        return QByteArray::number(self) + " 0 obj\n<< /Type /XRef /Size " + QByteArray::number(self + 1) + " /W [1 " +
               QByteArray::number(width) + " 2] /Index [" + QByteArray::number(base.pages.getObj()) + " 1 " +
               QByteArray::number(first) + ' ' + QByteArray::number(qsizetype(objects.size()) + 1) + "] " +
               base.trailerKeys + "/Prev " + QByteArray::number(base.lastXref) + " /Length " +
               QByteArray::number(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
    }

    void close() noexcept
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

PdfUpdateSession::PdfUpdateSession() : m(std::make_unique<Impl>()) {}

PdfUpdateSession::~PdfUpdateSession() { rollback(); }

void PdfUpdateSession::setStepHookForTests(void (*hook)(Step)) { g_updateHook = hook; }

void PdfUpdateSession::setReadingForTests(bool quickAllowed, void (*read)(bool quick))
{
    g_quickReading = quickAllowed;
    g_readingHook = read;
}

int PdfUpdateSession::pageCount() const { return m->pages; }

std::unique_ptr<PdfUpdateSession> PdfUpdateSession::start(const QString& document, const QString& target, Where where,
                                                          QString* error)
{
    if (error) error->clear();
    const QFileInfo info(document);
    const QString path = info.canonicalFilePath();
    const bool inPlace = target.isEmpty() || (QFileInfo::exists(target) && QFileInfo(target).canonicalFilePath() == path);
    std::unique_ptr<PdfUpdateSession> session(new PdfUpdateSession);
    Impl& d = *session->m;
    d.document = document;
    d.where = where;
    if (!info.isFile() || !readUpdateBase(path, &d.base)) return nullptr;

    if (!inPlace) {
        // Another file of that name is never replaced; the copy takes the document's permissions.
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            if (error) *error = QStringLiteral("A file has that name already: ") + target;
            return nullptr;
        }
        d.copy = std::make_unique<SafeFile>(target, Placement::NoReplace);
        d.copy->setPermissions(QFile::permissions(path));
        if (!d.copy->open(error) || !d.copy->copyFrom(path, error)) return nullptr;
        // The base was read from the document; the copy must be the same bytes.
        if (d.copy->size() != d.base.length) {
            if (error) *error = QStringLiteral("The document changed while it was copied: ") + document;
            return nullptr;
        }
        d.end = d.base.length;
    } else {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            if (error) *error = withReason(QStringLiteral("Cannot write ") + document, errno);
            return nullptr;
        }
        d.fd = fd;
        struct stat st;
        // A file that nobody may write was made read-only on purpose, even for the superuser.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) {
            if (error) *error = withReason(QStringLiteral("Cannot write ") + document, EACCES);
            d.close();
            return nullptr;
        }
        // What was read must still be the file's whole length.
        if (st.st_size != d.base.length) {
            d.close();
            return nullptr;
        }
        d.end = d.base.length;
        d.recordId = recordAppend(appendRecordOf(path, fd, st, "pdf"), error);
        if (d.recordId == 0) {
            d.close();
            return nullptr;
        }
    }
    // Readers find a cross-reference section's first line at the start of a line.
    if (!d.base.endsInLine && !d.put(QByteArrayLiteral("\n"), error)) {
        session->rollback();
        if (error && error->isEmpty()) *error = session->m->cannot();
        return nullptr;
    }
    return session;
}

bool PdfUpdateSession::addPage(const PdfPageImage& image, QString* error)
{
    Impl& d = *m;
    if (d.finished) {
        if (error) *error = QStringLiteral("The pages were already written");
        return false;
    }
    if (!image.isValid()) {
        if (error && error->isEmpty()) *error = QStringLiteral("The page could not be encoded");
        return false;
    }
    const int first = d.nextNumber();
    const PageObjects o = pageObjects(image, first, d.pagesRef(), d.base.inherited);
    const qint64 at = d.end;
    if (!d.put(o.head, error) || !d.put(image.data, error) || !d.put(o.tail, error)) return false;
    d.objects.emplace_back(first, at);
    d.objects.emplace_back(first + 1, at + o.contentsAt);
    d.objects.emplace_back(first + 2, at + o.pageAt);
    d.pageRefs += QByteArray::number(first + 2) + " 0 R ";
    ++d.pages;
    // The disk starts on the page now, so that the sync before the last line has little to wait for.
    if (d.fd >= 0) ::sync_file_range(d.fd, at, d.end - at, SYNC_FILE_RANGE_WRITE);
    return true;
}

bool PdfUpdateSession::commit(QString* error)
{
    Impl& d = *m;
    auto fail = [&](const QString& text) {
        if (error && (error->isEmpty() || !text.isEmpty())) *error = text.isEmpty() ? d.cannot() : text;
        rollback();
        return false;
    };
    if (d.finished) {
        if (error) *error = QStringLiteral("The pages were already written");
        return false;
    }
    if (d.pages == 0) return fail(QStringLiteral("No page was written"));
    QString why;
    const qint64 pagesAt = d.end;
    if (!d.put(d.pagesObject(), &why)) return fail(why);
    const qint64 xrefAt = d.end;
    if (!d.put(d.xrefSection(xrefAt, pagesAt), &why)) return fail(why);
    const QByteArray last = "startxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";

    if (d.copy) {
        if (!d.put(last, &why) || !d.copy->commit(&why)) {
            d.copy.reset();
            return fail(why);
        }
        d.copy.reset();
        d.finished = true;
        return true;
    }
    if (::fdatasync(d.fd) != 0) return fail(withReason(d.cannot(), errno));
    if (!d.proveLastLine(last, &why)) return fail(why);
    if (g_updateHook) g_updateHook(Step::BeforeCommit);
    if (!d.put(last, &why) || ::fdatasync(d.fd) != 0) return fail(why.isEmpty() ? withReason(d.cannot(), errno) : why);
    if (g_updateHook) g_updateHook(Step::AfterCommit);
    d.close();
    forgetAppend(d.recordId);
    d.finished = true;
    return true;
}

void PdfUpdateSession::rollback() noexcept
{
    if (!m || m->finished) return;
    m->finished = true;
    bool restored = true;
    if (m->fd >= 0) {
        struct stat st;
        if (::fstat(m->fd, &st) == 0 && st.st_size > m->base.length) restored = ::ftruncate(m->fd, m->base.length) == 0;
        restored = restored && ::fsync(m->fd) == 0;
    }
    m->close();
    m->copy.reset();
    // Left in the journal, a record that could not be carried out is the next start's to finish.
    if (restored && m->recordId) forgetAppend(m->recordId);
}

} // namespace tf
