#include "support/testenv.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/sys/blockingcalls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "services/modGenericFunctions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace tf::test {

namespace {

class UnexpectedMessages : public MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString& title) override
    {
        ADD_FAILURE() << "unexpected message box \"" << title.toStdString() << "\": " << prompt.toStdString();
        return msgBoxDefaultAnswer(style);
    }
};

class UnexpectedDialogs : public DialogProvider {
public:
    FileDialogResult fileDialog(const FileDialogRequest& request) override
    {
        ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
        return {};
    }
    ColorDialogResult colorDialog(QWidget*, const QColor&, QList<QColor>&) override
    {
        ADD_FAILURE() << "unexpected colour dialog";
        return {};
    }
    QString folderDialog(QWidget*, const QString& title, const QString&) override
    {
        ADD_FAILURE() << "unexpected folder dialog: " << title.toStdString();
        return {};
    }
};

class UnexpectedShellOpens : public ShellOpener {
public:
    bool open(const QUrl& url) override
    {
        ADD_FAILURE() << "unexpected shell open: " << url.toString().toStdString();
        return false;
    }
};

class UnexpectedErrorReports : public ErrorReportPresenter {
public:
    void showErrorReport() override
    {
        ADD_FAILURE() << "unexpected error report from " << gstrErrRoutine.toStdString() << ": "
                      << gstrErrText.toStdString();
    }
};

UnexpectedMessages g_messages;
UnexpectedShellOpens g_shellOpens;
UnexpectedDialogs g_dialogs;
UnexpectedErrorReports g_errorReports;

} // namespace

void installUnexpectedModalGuards()
{
    setMessageBoxHandler(&g_messages);
    setDialogProvider(&g_dialogs);
    setShellOpener(&g_shellOpens);
    setErrorReportPresenter(&g_errorReports);
}

TempFolder::TempFolder() { EXPECT_TRUE(m_dir.isValid()); }

QString TempFolder::write(const QString& name, const QByteArray& bytes) const
{
    const QString path = file(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool writeRgbTiff(const QString& path, const QList<QImage>& pages)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif) return false;
    bool ok = true;
    for (const QImage& source : pages) {
        const QImage page = source.convertToFormat(QImage::Format_RGB888);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(page.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(page.height()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(page.height()));
        for (int y = 0; ok && y < page.height(); ++y)
            ok = TIFFWriteScanline(tif, const_cast<uchar*>(page.constScanLine(y)), uint32_t(y), 0) == 1;
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    return ok;
}

bool writeTwoColourTiff(const QString& path, int pages, QSize size, QRgb first, QRgb second)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif) return false;
    const auto wide = [](int channel) { return uint16_t(channel * 257); };
    uint16_t red[2] = {wide(qRed(first)), wide(qRed(second))};
    uint16_t green[2] = {wide(qGreen(first)), wide(qGreen(second))};
    uint16_t blue[2] = {wide(qBlue(first)), wide(qBlue(second))};
    QImage page(size, QImage::Format_Mono);
    page.fill(0);
    for (int x = 0; x < size.width(); ++x) page.setPixel(x, 0, 1), page.setPixel(x, size.height() - 1, 1);
    for (int y = 0; y < size.height(); ++y) page.setPixel(0, y, 1), page.setPixel(size.width() - 1, y, 1);
    bool ok = true;
    for (int i = 0; i < pages; ++i) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
        TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(size.height()));
        for (int y = 0; ok && y < size.height(); ++y)
            ok = TIFFWriteScanline(tif, page.scanLine(y), uint32_t(y), 0) == 1;
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    return ok;
}

bool writeTwoColourPictures(const QString& folder)
{
    QImage png(120, 90, QImage::Format_Mono);
    png.setColorTable({qRgb(0, 128, 0), qRgb(255, 255, 0)});
    png.fill(0);
    return png.save(folder + QStringLiteral("/green.png")) &&
           writeTwoColourTiff(folder + QStringLiteral("/scan.tif"), 2, QSize(120, 90), qRgb(0, 128, 0), qRgb(255, 255, 0));
}

EventLoopGaps::EventLoopGaps()
{
    m_timer.setInterval(20);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
    m_since.start();
    m_timer.start();
}

qint64 EventLoopGaps::longestMs() { return std::max(m_longest, m_since.elapsed()); }

QImage loadPage(const QString& path, int page)
{
    // A test reads an output back to check it, on its own thread on purpose.
    BlockingCallsAllowed readBack;
    ImageDocument document;
    document.setPageIndex(page);
    document.LoadFromFile(path);
    return document.LoadFailed() ? QImage() : document.Picture();
}

QString runTool(const QString& program, const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace tf::test
