#include "platform/decode/decoder_client.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"
#include "support/imagebox_testutil.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <FreeImage.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <cstdlib>

using namespace tf;

namespace {

constexpr OleColor kBack = tf::rgb(10, 20, 200); // distinct channels, so a swapped order shows
const QRgb kBackRgb = qRgb(10, 20, 200);

QImage solid(int w, int h, const QColor& c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QImage gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
    return img;
}

QByteArray encode(const QImage& img, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(img)) << format;
    return bytes;
}

// The path of `name` in `dir`, written by FreeImage.
QString freeImageFile(const test::TempFolder& dir, const char* name, const QImage& img, FREE_IMAGE_FORMAT fif)
{
    EXPECT_TRUE(test::saveWithFreeImage(img.convertToFormat(QImage::Format_RGB888), fif, dir.file(name))) << name;
    return dir.file(name);
}

// Qt writes no GIF; FreeImage does, from a 256-colour picture.
QByteArray gifOf(const QImage& img)
{
    FIBITMAP* b = freeImageFromQImage(img.convertToFormat(QImage::Format_Indexed8));
    FIMEMORY* m = FreeImage_OpenMemory();
    EXPECT_TRUE(FreeImage_SaveToMemory(FIF_GIF, b, m, 0));
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(m, &data, &size);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FreeImage_CloseMemory(m);
    FreeImage_Unload(b);
    return bytes;
}

// A 24-bit PCX (values below 0xC0 stand for themselves) and an Alias PIX (a type FreeImage does
// not know), each with a first row of its own colour.
QByteArray pcx24(int w, int h, const QColor& top, const QColor& rest)
{
    const int perLine = (w + 1) / 2 * 2;
    QByteArray d(128, '\0');
    d[0] = 10, d[1] = 5, d[2] = 1, d[3] = 8, d[65] = 3, d[68] = 1;
    qToLittleEndian<quint16>(quint16(w - 1), d.data() + 8);
    qToLittleEndian<quint16>(quint16(h - 1), d.data() + 10);
    qToLittleEndian<quint16>(quint16(perLine), d.data() + 66);
    for (int y = 0; y < h; ++y)
        for (int v : {(y ? rest : top).red(), (y ? rest : top).green(), (y ? rest : top).blue()})
            d.append(QByteArray(perLine, char(v)));
    return d;
}

QByteArray pix24(int w, int h, const QColor& top, const QColor& rest)
{
    QByteArray d(10, '\0');
    qToBigEndian<quint16>(quint16(w), d.data());
    qToBigEndian<quint16>(quint16(h), d.data() + 2);
    qToBigEndian<quint16>(24, d.data() + 8);
    for (int y = 0; y < h; ++y) {
        const QColor c = y ? rest : top;
        d.append(char(w)).append(char(c.blue())).append(char(c.green())).append(char(c.red()));
    }
    return d;
}

// LoadPic with its reports recorded, its route kept and stale size outputs, so a route that
// forgets to set them shows.
struct Load {
    QImage picture;
    int32_t width = 999;
    int32_t height = 999;
    PicRoute route = PicRoute::None;
    QStringList reports; // "routine number text"
};

Load load(const QString& path, int32_t mode, int32_t w, int32_t h, bool quiet = false)
{
    Load r;
    LoadPicOptions o;
    o.quiet = quiet;
    o.route = &r.route;
    o.reporter = [&r](const QString& text, int32_t number, int16_t, const QString& routine) {
        r.reports << QString("%1 %2 %3").arg(routine).arg(number).arg(text);
    };
    tf::BlockingCallsAllowed loadsHere; // the loader's own call is what is tested
    r.picture = LoadPic(path, mode, w, h, kBack, r.width, r.height, o);
    return r;
}

bool near(QRgb a, QRgb b, int tol = 8)
{
    return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
           std::abs(qBlue(a) - qBlue(b)) <= tol;
}

void expectCornersAreBack(const QImage& p)
{
    ASSERT_FALSE(p.isNull());
    const int r = p.width() - 1, b = p.height() - 1;
    for (QPoint pt : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)}) EXPECT_EQ(p.pixel(pt), kBackRgb);
}

// One 2 x 2 icon of 32 bits.
QByteArray icon32()
{
    QByteArray bmp = QByteArray::fromHex("28000000020000000400000001002000000000000000000000000000000000000000000000000000");
    bmp += QByteArray::fromHex("0000ffff").repeated(4) + QByteArray(8, '\0');
    QByteArray ico = QByteArray::fromHex("00000100010002020000010020000000000016000000");
    qToLittleEndian<quint32>(quint32(bmp.size()), ico.data() + 14);
    return ico + bmp;
}

// A file that makes DevIL free a buffer twice: the decoder reading it dies.
QString crashingFile() { return QDir(QStringLiteral(TF_LOADER_REGRESSION_DIR)).filePath("devil-ppm-double-free.pgm"); }

} // namespace

TEST(LoadPicGeometry, FitToBoxAndKeepAspectRect)
{
    const std::array<int32_t, 6> fits[] = {
        {30, 20, 40, 40, 30, 20},   // fits already: never enlarged
        {80, 20, 40, 40, 40, 10},   {20, 80, 40, 40, 10, 40}, {100, 100, 50, 50, 50, 50},
        {80, 25, 40, 40, 40, 12},   // 12.5 to the even 12
        {80, 27, 40, 40, 40, 14},   // 13.5 to the even 14
        {3, 24, 4, 4, 1, 4},        // single-precision 1/6 makes 0.5000000149: 1 (double precision would give 0)
        {0, 10, 40, 40, 0, 0},
    };
    for (const auto& c : fits) {
        int32_t w = -5, h = -5;
        subFitToBox(c[0], c[1], c[2], c[3], w, h);
        EXPECT_EQ((std::array<int32_t, 2>{w, h}), (std::array<int32_t, 2>{c[4], c[5]})) << c[0] << "x" << c[1];
    }
    const std::array<int32_t, 8> rects[] = {
        {400, 100, 40, 40, 0, 15, 40, 10}, {100, 400, 40, 40, 15, 0, 10, 40},
        {4, 1, 10, 3, 0, 0, 10, 2},        // height 2.5 and top 0.25 round to 2 and 0
        {1, 1, 3, 2, 0, 0, 2, 2},          // left 0.5 to 0
        {1, 1, 5, 2, 2, 0, 2, 2},          // left 1.5 to 2
        {0, 10, 40, 40, 0, 0, 0, 0},       {10, 10, 0, 40, 0, 0, 0, 0},
    };
    for (const auto& c : rects) {
        const DrawRect r = keepAspectRect(c[0], c[1], c[2], c[3]);
        EXPECT_EQ((std::array<int32_t, 4>{r.left, r.top, r.width, r.height}),
                  (std::array<int32_t, 4>{c[4], c[5], c[6], c[7]})) << c[0] << "x" << c[1] << " in " << c[2] << "x" << c[3];
    }
    EXPECT_EQ(loadPicExtension("/a/photo.JPG"), "jpg");
    EXPECT_EQ(loadPicExtension("/dotted.dir/photo"), "photo");
}

TEST(LoadPicDrawing, ResizingHeldImages)
{
    const QImage wide = solid(400, 100, Qt::red);
    EXPECT_EQ(fncResizePictureGDIPlus(wide, 400, 100, kPicTypeBitmap, 40, 40, kSizeModeBox, kBack, false).pixel(0, 0),
              qRgb(255, 0, 0)); // stretched without keeping the aspect ratio
    EXPECT_TRUE(fncResizePictureGDIPlus(wide, 400, 100, kPicTypeMetafile, 40, 40, kSizeModeBox, kBack, true).isNull());

    QImage page = solid(17, 9, Qt::green);
    page.setDotsPerMeterX(11811);
    const QImage own = fncResizePicture(page, kSizeModeOwn, -1, -1, kBack);
    EXPECT_EQ(own.size(), QSize(17, 9));
    EXPECT_EQ(own.dotsPerMeterX(), 11811);

    QImage glass(10, 10, QImage::Format_ARGB32);
    glass.fill(Qt::transparent);
    glass.setPixel(5, 5, qRgba(255, 255, 255, 255));
    const QImage p = fncResizePicture(glass, kSizeModeOwn, -1, -1, kBack);
    EXPECT_EQ(p.pixel(0, 0), kBackRgb);
    EXPECT_EQ(p.pixel(5, 5), qRgb(255, 255, 255));

    EXPECT_TRUE(fncResizePicture(QImage(), kSizeModeBox, 40, 40, kBack).isNull());
    EXPECT_TRUE(fncResizePicture(wide, kSizeModeBox, 0, 40, kBack).isNull());
    EXPECT_TRUE(fncResizePicture(wide, kSizeModeBox, 60000, 60000, kBack).isNull()); // would be 14 GB
    EXPECT_TRUE(fncResizePictureGDIPlus(wide, 0, 10, kPicTypeBitmap, 40, 40, kSizeModeBox, kBack, true).isNull());
}

TEST(LoadPicRouting, EachTypeTakesItsRouteAndIsDrawnInItsBox)
{
    test::TempFolder dir;
    const QImage photo = gradient(64, 48);
    for (const auto& [name, format] : {std::pair{"photo.JPG", "jpg"}, {"photo.Jpeg", "jpg"}, {"photo.JPE", "jpg"},
                                       {"anim.GIF", "gif"}, {"paint.BMP", "bmp"}, {"shot.PNG", "png"}}) {
        const QByteArray bytes = QByteArray(format) == "gif" ? gifOf(photo) : encode(photo, format);
        const Load r = load(dir.write(name, bytes), kSizeModeOwn, -1, -1);
        EXPECT_EQ(r.route, PicRoute::Qt) << name;
        EXPECT_EQ(r.picture.size(), QSize(64, 48)) << name;
        EXPECT_EQ(QSize(r.width, r.height), QSize(64, 48)) << name;
        const QImage shown = QByteArray(format) == "gif" ? photo.convertToFormat(QImage::Format_Indexed8) : photo;
        EXPECT_TRUE(near(r.picture.pixel(40, 30), shown.pixel(40, 30), 12)) << name;
    }
    // A zero box gives no picture (and divides nothing); full-size loads pass -1 x -1.
    for (auto [mode, w, h] : {std::array{kSizeModeBox, 0, 40}, {kSizeModeBox, 40, 0}, {kSizeModeFit, -1, -1}})
        EXPECT_TRUE(load(dir.file("shot.PNG"), mode, w, h).picture.isNull()) << mode << " " << w << "x" << h;

    // A ".png" that is really a PSD: Qt refuses it, FreeImage reads it, and it is still resized.
    const QString odd = freeImageFile(dir, "odd.png", solid(120, 60, Qt::blue), FIF_PSD);
    ASSERT_TRUE(QImageReader(odd).read().isNull()) << "this Qt reads PSD; pick a type it cannot read";
    QList<QImage> pages{photo, solid(30, 20, Qt::red), solid(10, 50, Qt::blue)};
    for (QImage& page : pages) page = page.convertToFormat(QImage::Format_RGB888);
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(pages, FIF_TIFF, dir.file("pages.TIF")));
    const QString pix = dir.write("render.pix", pix24(5, 4, QColor(200, 10, 20), QColor(30, 40, 250)));
    const QRgb red = qRgb(255, 0, 0);
    struct Case {
        QString path;
        int32_t mode, w, h;
        std::optional<PicRoute> route; // none: either route may read it
        QSize source, shown;
        std::vector<std::pair<QPoint, QRgb>> pixels;
    };
    const PicRoute byQt = PicRoute::Qt, byFI = PicRoute::FreeImage;
    const int32_t own = kSizeModeOwn, fit = kSizeModeFit, box = kSizeModeBox;
    const Case cases[] = {
        // 400 x 100 in a 40 x 40 box is drawn 40 x 10 at top 15, the rest in the back colour.
        {dir.write("wide.png", encode(solid(400, 100, Qt::red), "png")), box, 40, 40, byQt, {400, 100}, {40, 40},
         {{{20, 14}, kBackRgb}, {{0, 15}, red}, {{39, 24}, red}, {{20, 25}, kBackRgb}}},
        {dir.write("s.png", encode(solid(30, 20, Qt::red), "png")), fit, 40, 40, byQt, {30, 20}, {30, 20}, {}},
        {dir.write("w.png", encode(solid(80, 20, Qt::red), "png")), fit, 40, 40, byQt, {80, 20}, {40, 10}, {}},
        // A multipage TIFF gives its first page (through Qt where its TIFF reader is installed).
        {dir.file("pages.TIF"), own, -1, -1, {}, {64, 48}, {64, 48}, {{{40, 30}, pages[0].pixel(40, 30)}}},
        {odd, box, 40, 40, byFI, {120, 60}, {40, 40}, {{{20, 20}, qRgb(0, 0, 255)}}},
        {dir.write("scan.pcx", pcx24(6, 3, QColor(0x10, 0x80, 0x20), QColor(0x90, 0x10, 0x30))), own, -1, -1, byFI,
         {6, 3}, {6, 3}, {{{0, 0}, qRgb(0x10, 0x80, 0x20)}, {{5, 2}, qRgb(0x90, 0x10, 0x30)}}},
        // Targa has no list of its own: FreeImage's type test sends it down the FreeImage route.
        {freeImageFile(dir, "SHOT.TGA", gradient(50, 30), FIF_TARGA), fit, 25, 25, byFI, {50, 30}, {25, 15}, {}},
        // A PGM is on the DevIL list, but FreeImage knows it, so DevIL never sees it.
        {dir.write("grey.pgm", encode(solid(9, 7, QColor(77, 77, 77)), "pgm")), own, -1, -1, byFI, {9, 7}, {9, 7},
         {{{3, 3}, qRgb(77, 77, 77)}}},
        // No point in the name: no list matches, FreeImage reads what it recognises.
        {dir.write("photo", encode(gradient(32, 16), "jpg")), own, -1, -1, byFI, {32, 16}, {32, 16}, {}},
        {freeImageFile(dir, "page.jp2", gradient(66, 42), FIF_JP2), box, 20, 20, byFI, {66, 42}, {20, 20}, {}},
        {freeImageFile(dir, "page.j2k", gradient(66, 42), FIF_J2K), box, 20, 20, byFI, {66, 42}, {20, 20}, {}},
        {freeImageFile(dir, "layers.psd", gradient(60, 40), FIF_PSD), box, 30, 30, byFI, {60, 40}, {30, 30}, {}},
        {dir.write("app.ico", icon32()), own, -1, -1, byFI, {2, 2}, {2, 2}, {{{1, 1}, red}}},
        {pix, own, -1, -1, PicRoute::DevIL, {5, 4}, {5, 4}, // first row on top
         {{{0, 0}, qRgb(200, 10, 20)}, {{4, 3}, qRgb(30, 40, 250)}}},
        {pix, box, 10, 20, PicRoute::DevIL, {5, 4}, {10, 20}, {}},
    };
    // DevIL and the JPEG 2000 reader decode in memory: nothing goes through the temp folder.
    test::TempFolder temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    for (const Case& c : cases) {
        SCOPED_TRACE(QFileInfo(c.path).fileName().toStdString() + " in mode " + std::to_string(c.mode));
        const Load r = load(c.path, c.mode, c.w, c.h);
        EXPECT_EQ(r.route, c.route.value_or(r.route));
        EXPECT_EQ(QSize(r.width, r.height), c.source);
        EXPECT_EQ(r.picture.size(), c.shown); // pixel() outside a wrong size only warns
        if (c.mode == kSizeModeBox) expectCornersAreBack(r.picture);
        for (const auto& [at, colour] : c.pixels) EXPECT_EQ(r.picture.pixel(at), colour) << at.x() << "," << at.y();
    }
    // Forced JPEG 2000 reading, whichever of the two forms the extension suggests.
    for (const char* name : {"page.jp2", "page.j2k"})
        for (const char* form : {"jp2", "jpc"})
            EXPECT_EQ(fncLoadJPEG2000Picture(dir.file(name), form).size(), QSize(66, 42)) << name << " as " << form;
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    qputenv("TMPDIR", oldTemp);
}

TEST(LoadPicFailures, DamagedFilesAreReportedOnceOrNotAtAllWhenQuiet)
{
    test::TempFolder dir;
    const QByteArray jpg = encode(gradient(300, 200), "jpg");
    const QImage img = gradient(40, 30);
    const QByteArray bmp = encode(img, "bmp"), gif = gifOf(img);
    ASSERT_TRUE(gif.endsWith(';'));
    for (const auto& [name, whole] : {std::pair{"scan.bmp", bmp}, {"anim.gif", gif}})
        EXPECT_EQ(load(dir.write(name, whole), kSizeModeBox, 20, 20).route, PicRoute::Qt) << name;
    const QByteArray tga = test::readAll(freeImageFile(dir, "whole.tga", gradient(50, 30), FIF_TARGA));
    const QByteArray psd = test::readAll(freeImageFile(dir, "whole.psd", gradient(60, 40), FIF_PSD));
    // Qt would pad a cut BMP or GIF; FreeImage's PSD reader overruns on damage; DevIL frees a buffer
    // twice on the crashing file, which kills the decoder reading it.
    const QString cases[] = {
        dir.write("half.jpg", jpg.left(jpg.size() / 2)), dir.write("head.jpg", jpg.left(300)),
        dir.write("noend.jpg", jpg.chopped(2)), dir.write("a.bmp", bmp.chopped(3)),
        dir.write("b.bmp", bmp.left(bmp.size() / 2)), dir.write("a.gif", gif.chopped(3)),
        dir.write("b.gif", gif.left(gif.size() / 2)), dir.write("cut.tga", tga.left(1000)),
        dir.write("a.psd", psd.left(psd.size() * 9 / 10)), dir.write("b.psd", psd.left(psd.size() / 2)),
        dir.write("c.psd", psd.left(40)), crashingFile(),
    };
    for (const QString& path : cases) {
        SCOPED_TRACE(path.toStdString());
        Load r = load(path, kSizeModeBox, 20, 20);
        EXPECT_TRUE(r.picture.isNull());
        EXPECT_EQ(QSize(r.width, r.height), QSize(0, 0));
        EXPECT_EQ(r.reports, QStringList{"LoadPic 481 Invalid picture"});
        r = load(path, kSizeModeOwn, -1, -1, true);
        EXPECT_TRUE(r.picture.isNull());
        EXPECT_TRUE(r.reports.isEmpty());
    }
    // The next file is read by a decoder started again; bytes after the end-of-image marker are
    // harmless, and a GIF that lacks only its trailer holds its whole picture.
    EXPECT_EQ(load(dir.write("padded.jpg", jpg + QByteArray(100, '\0')), kSizeModeOwn, -1, -1).picture.size(),
              QSize(300, 200));
    EXPECT_EQ(load(dir.write("open.gif", gif.chopped(1)), kSizeModeOwn, -1, -1).picture.size(), QSize(40, 30));
    // The 32-bit icon with its bit count spoiled.
    for (char bits : {'\x55', '\xff'}) {
        QByteArray bad = icon32();
        bad[22 + 14] = bits;
        EXPECT_TRUE(load(dir.write("bad.ico", bad), kSizeModeOwn, -1, -1, true).picture.isNull());
    }
}

TEST(LoadPicFailures, FilesNobodyReadsGiveNoPictureAndNoReport)
{
    test::TempFolder dir;
    const QString pipe = dir.file("waiting.tga"); // would block for ever in open()
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QByteArray wmf = QByteArray::fromHex("d7cdc69a0000000000006400640060000000000000000000");
    const std::pair<QString, PicRoute> cases[] = {
        {dir.write("broken.pix", "xyz"), PicRoute::DevIL},
        {dir.write("empty.pgm", ""), PicRoute::DevIL},
        {dir.write("drawing.wmf", wmf), PicRoute::Metafile},
        {dir.write("drawing.EMF", QByteArray(64, '\1')), PicRoute::Metafile},
        {dir.write("notes", "just some text"), PicRoute::None},
        {dir.write("noise.pcx", "not a pcx at all"), PicRoute::None},
        {dir.write("empty.jpg", ""), PicRoute::None},
        {dir.file("missing.png"), PicRoute::None},
        {dir.write("broken.jp2", QByteArray("\0\0\0\x0cjP  garbage", 15)), PicRoute::Jpeg2000},
        {pipe, PicRoute::None},
    };
    for (const auto& [path, route] : cases) {
        SCOPED_TRACE(path.toStdString());
        const Load r = load(path, kSizeModeBox, 40, 40);
        EXPECT_TRUE(r.picture.isNull());
        EXPECT_EQ(r.route, route);
        EXPECT_EQ(QSize(r.width, r.height), QSize(0, 0));
        EXPECT_TRUE(r.reports.isEmpty());
    }
}

TEST(LoadPicFailures, HostileSizesAreRefusedBeforeTheAllocation)
{
    test::TempFolder dir;
    // A frame that claims 65000 x 65000 pixels is refused before anything that size is allocated.
    QByteArray huge = encode(solid(8, 8, Qt::red), "jpg");
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    qToBigEndian<quint16>(65000, huge.data() + sof + 5);
    qToBigEndian<quint16>(65000, huge.data() + sof + 7);
    // 29 bytes of GIF whose frame claims 65535 x 65535: FreeImage would paint 4 GB for it.
    const QByteArray gif = QByteArray::fromHex("474946383961ffffffff0000002c00000000ffffffff0008024c01003b");
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const QString jpg = dir.write("huge.jpg", huge);
    for (const Load& r : {load(jpg, kSizeModeOwn, -1, -1), load(jpg, kSizeModeBox, 160, 120),
                          load(dir.write("huge.gif", gif), kSizeModeBox, 40, 40)})
        EXPECT_EQ(r.reports, QStringList{"LoadPic 7 Out of memory"});
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes taken for tiny files";
}

TEST(LoadPicFailures, EveryPrefixOfAFileFailsCleanly)
{
    test::TempFolder dir;
    const QImage img = gradient(64, 40);
    const std::tuple<const char*, QByteArray, bool> files[] = {
        {"p.jpg", encode(img, "jpg"), true},          {"q.jpg", encode(img, "jpg", true), true},
        {"p.png", encode(img, "png"), false},         {"p.pcx", pcx24(24, 16, Qt::red, Qt::blue), false},
        {"p.pix", pix24(24, 16, Qt::red, Qt::blue), false},
        {"p.jp2", test::readAll(freeImageFile(dir, "src.jp2", img, FIF_JP2)), false},
    };
    for (const auto& [name, bytes, alwaysFails] : files) {
        ASSERT_FALSE(bytes.isEmpty()) << name;
        for (qsizetype n = 0; n < bytes.size(); n += std::max<qsizetype>(1, bytes.size() / 150)) {
            const Load r = load(dir.write(name, bytes.left(n)), kSizeModeBox, 12, 12, true);
            if (alwaysFails || !r.picture.isNull()) {
                EXPECT_EQ(r.picture.size(), alwaysFails ? QSize(0, 0) : QSize(12, 12)) << name << " cut at " << n;
            }
        }
    }
}

TEST(LoadPicReducedJpeg, ThumbnailsDecodeSmallButReportAndLayOutTheRealSize)
{
    test::TempFolder dir;
    const QImage big = gradient(1600, 1200);
    const QString path = dir.write("big.jpg", encode(big, "jpg"));
    Load r = load(path, kSizeModeBox, 160, 120);
    EXPECT_EQ(r.route, PicRoute::ReducedJpeg);
    EXPECT_EQ(QSize(r.width, r.height), QSize(1600, 1200));
    ASSERT_EQ(r.picture.size(), QSize(160, 120));
    const QImage full = fncResizePicture(big, kSizeModeBox, 160, 120, kBack);
    for (int y = 4; y < 120; y += 9)
        for (int x = 4; x < 160; x += 9) ASSERT_TRUE(near(r.picture.pixel(x, y), full.pixel(x, y))) << x << "," << y;
    r = load(path, kSizeModeFit, 100, 100);
    EXPECT_EQ(r.route, PicRoute::ReducedJpeg);
    EXPECT_EQ(r.picture.size(), QSize(100, 75));
    // Full size, or a box not much smaller than the image: no reduction.
    EXPECT_EQ(load(path, kSizeModeOwn, -1, -1).route, PicRoute::Qt);
    EXPECT_EQ(load(path, kSizeModeBox, 1000, 1000).route, PicRoute::Qt);

    // 1001 x 601 in 100 x 100 is drawn 100 x 60 (60.04) at top 20 (19.98), as from a full decode.
    r = load(dir.write("odd.jpg", encode(solid(1001, 601, QColor(250, 250, 0)), "jpg")), kSizeModeBox, 100, 100);
    EXPECT_EQ(r.route, PicRoute::ReducedJpeg);
    EXPECT_EQ(QSize(r.width, r.height), QSize(1001, 601));
    ASSERT_EQ(r.picture.size(), QSize(100, 100));
    for (int x : {0, 50, 99}) {
        EXPECT_EQ(r.picture.pixel(x, 19), kBackRgb) << x;
        EXPECT_TRUE(near(r.picture.pixel(x, 20), qRgb(250, 250, 0))) << x;
        EXPECT_TRUE(near(r.picture.pixel(x, 79), qRgb(250, 250, 0))) << x;
        EXPECT_EQ(r.picture.pixel(x, 80), kBackRgb) << x;
    }
}

TEST(LoadPicReducedJpeg, LayoutScanFindsFrameSizeAndEveryCut)
{
    for (bool progressive : {false, true}) {
        const QByteArray jpg = encode(gradient(70, 30), "jpg", progressive);
        const JpegLayout whole = scanJpegLayout(jpg);
        EXPECT_TRUE(whole.complete);
        EXPECT_EQ(QSize(whole.width, whole.height), QSize(70, 30));
        for (qsizetype n = 0; n < jpg.size(); ++n)
            ASSERT_FALSE(scanJpegLayout(jpg.left(n)).complete) << "progressive " << progressive << " cut at " << n;
    }
    // Stuffed zeros, restarts and fill bytes inside scan data do not end it.
    const QByteArray scan = QByteArray::fromHex("ffd8ffda000212ffd034ff0056");
    EXPECT_FALSE(scanJpegLayout(scan).complete);
    EXPECT_TRUE(scanJpegLayout(scan + QByteArray::fromHex("ffffd9")).complete);
    EXPECT_FALSE(scanJpegLayout(QByteArray::fromHex("ffd8ffe0ffff0000ffd9")).complete); // segment past the end
}

TEST(LoadPicTransparency, FreeImagePicturesKeepTheirAlphaAtTheirOwnSizeOnly)
{
    test::TempFolder dir;
    QImage argb(6, 4, QImage::Format_ARGB32);
    argb.fill(qRgba(200, 100, 50, 255));
    argb.setPixel(1, 1, qRgba(0, 0, 0, 0));
    argb.setPixel(2, 1, qRgba(40, 80, 120, 128));
    const QString path = dir.file("sprite.tga");
    ASSERT_TRUE(test::saveWithFreeImage(argb, FIF_TARGA, path));

    Load r = load(path, kSizeModeOwn, -1, -1);
    EXPECT_EQ(r.route, PicRoute::FreeImage);
    ASSERT_EQ(r.picture.size(), QSize(6, 4));
    ASSERT_TRUE(r.picture.hasAlphaChannel());
    EXPECT_EQ(r.picture.pixel(0, 0), qRgba(200, 100, 50, 255));
    EXPECT_EQ(qAlpha(r.picture.pixel(1, 1)), 0);
    EXPECT_EQ(r.picture.pixel(2, 1), qRgba(40, 80, 120, 128));

    // Drawn into a box, the back colour shows through.
    r = load(path, kSizeModeBox, 6, 4);
    ASSERT_FALSE(r.picture.isNull());
    EXPECT_FALSE(r.picture.hasAlphaChannel());
    EXPECT_EQ(r.picture.pixel(1, 1), kBackRgb);
}

// A decoder's failure becomes the loader's own failure report, or the control's failed load.
TEST(LoadPicGuarded, EachWayADecoderEndsGivesTheLoadersOwnAnswer)
{
    const QImage picture = solid(4, 3, Qt::red);
    const int32_t bad = kErrInvalidPicture, oom = kErrOutOfMemory;
    using S = decode::DecodeStatus;
    const struct {
        const char* what;
        S status;
        QImage image;
        int32_t errorNumber, expectedNumber;
    } cases[] = {
        {"picture", S::Done, picture, 0, 0},          {"nothing to read, nothing to say", S::Done, {}, 0, 0},
        {"damaged", S::Done, {}, bad, bad},           {"too large", S::Done, {}, oom, oom},
        {"a number the loader never gives", S::Done, {}, 12345, bad},
        {"hung", S::TimedOut, {}, 0, bad},            {"crashed", S::Crashed, {}, 0, bad},
        {"garbled answer", S::ProtocolError, {}, 0, bad}, {"no decoder program", S::NoDecoder, {}, 0, bad},
        {"memory ran out", S::OutOfMemory, {}, 0, oom},
        // A picture from a decoder that failed is not trusted.
        {"crashed after a picture", S::Crashed, picture, 0, bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        decode::DecodeResult answer;
        answer.status = c.status;
        answer.image = c.image;
        answer.errorNumber = c.errorNumber;
        answer.sourceWidth = 400;
        answer.sourceHeight = 300;
        int32_t width = -1, height = -1, number = -1;
        const QImage shown = loadPicAnswer(answer, width, height, &number);
        EXPECT_EQ(number, c.expectedNumber);
        const bool expectPicture = c.expectedNumber == 0 && !c.image.isNull();
        EXPECT_EQ(!shown.isNull(), expectPicture);
        EXPECT_EQ(QSize(width, height), expectPicture ? QSize(400, 300) : QSize(0, 0));
    }
}

TEST(LoadPicGuarded, TheImageControlsLoadFailsWhenItsDecoderDies)
{
    tf::BlockingCallsAllowed waitsHere; // the waiting calls themselves are tested, on this thread
    test::TempFolder folder;
    ImageDocument control;
    control.LoadFromFile(folder.write("page.png", encode(solid(40, 30, Qt::green), "png")));
    ASSERT_FALSE(control.LoadFailed());
    control.LoadFromFile(crashingFile());
    EXPECT_TRUE(control.LoadFailed());
    EXPECT_FALSE(control.HasImage());
}
