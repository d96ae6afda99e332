#include "platform/imagebox/imagebox_error.h"
#include "support/imagebox_testutil.h"

#include "platform/imagebox/freeimage_qt.h"

#include <FreeImage.h>
#include <IL/il.h>
#include <QFile>

namespace tf::test {

QImage patterned(int w, int h, QImage::Format format)
{
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb((x * 37) & 255, (y * 53) & 255, (x * 11 + y * 7) & 255));
    img.setDotsPerMeterX(11811);
    img.setDotsPerMeterY(7874);
    return format == QImage::Format_RGB888 ? img : img.convertToFormat(format, Qt::ThresholdDither);
}

bool saveWithFreeImage(const QImage& image, int fif, const QString& path, int flags)
{
    FIBITMAP* b = freeImageFromQImage(image);
    if (!b) return false;
    const bool ok = FreeImage_Save(static_cast<FREE_IMAGE_FORMAT>(fif), b, QFile::encodeName(path).constData(), flags);
    FreeImage_Unload(b);
    return ok;
}

bool saveMultiPageWithFreeImage(const QList<QImage>& pages, int fif, const QString& path)
{
    ensureFreeImage();
    FIMULTIBITMAP* doc = FreeImage_OpenMultiBitmap(static_cast<FREE_IMAGE_FORMAT>(fif), QFile::encodeName(path).constData(),
                                                   TRUE, FALSE, TRUE, 0);
    if (!doc) return false;
    for (const QImage& page : pages) {
        FIBITMAP* b = freeImageFromQImage(page);
        FreeImage_AppendPage(doc, b);
        FreeImage_Unload(b);
    }
    return FreeImage_CloseMultiBitmap(doc, 0);
}

namespace {
void initDevil()
{
    static bool done = false;
    if (done) return;
    ilInit();
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    done = true;
}
} // namespace

QImage readWithDevil(const QByteArray& bytes, unsigned ilType)
{
    initDevil();
    ILuint id = 0;
    ilGenImages(1, &id);
    ilBindImage(id);
    QImage out;
    if (ilLoadL(ilType ? ilType : IL_TYPE_UNKNOWN, bytes.constData(), static_cast<ILuint>(bytes.size())) &&
        ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE)) {
        const int w = ilGetInteger(IL_IMAGE_WIDTH);
        const int h = ilGetInteger(IL_IMAGE_HEIGHT);
        const ILubyte* data = ilGetData();
        out = QImage(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y) memcpy(out.scanLine(y), data + size_t(y) * size_t(w) * 3, size_t(w) * 3);
    }
    ilDeleteImages(1, &id);
    return out;
}

bool saveWithDevil(const QImage& image, unsigned ilType, const QString& path)
{
    initDevil();
    // DevIL takes raw data bottom row first when it writes.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888).mirrored(false, true);
    QByteArray packed;
    for (int y = 0; y < rgb.height(); ++y) packed.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    ILuint id = 0;
    ilGenImages(1, &id);
    ilBindImage(id);
    bool ok = ilTexImage(static_cast<ILuint>(rgb.width()), static_cast<ILuint>(rgb.height()), 1, 3, IL_RGB, IL_UNSIGNED_BYTE,
                         packed.data());
    QByteArray name = QFile::encodeName(path);
    ok = ok && ilSave(ilType, name.data());
    ilDeleteImages(1, &id);
    return ok;
}

std::string firstDifference(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size())
        return QStringLiteral("size %1x%2 vs %3x%4").arg(a.width()).arg(a.height()).arg(b.width()).arg(b.height()).toStdString();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) > tolerance || qAbs(qGreen(p) - qGreen(q)) > tolerance || qAbs(qBlue(p) - qBlue(q)) > tolerance)
                return QStringLiteral("pixel %1,%2: %3 vs %4").arg(x).arg(y).arg(p, 8, 16).arg(q, 8, 16).toStdString();
        }
    return {};
}

int imageBoxErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ImageBoxError& e) {
        return e.number();
    }
    return 0;
}

} // namespace tf::test
