// Reading the EXIF and IPTC of shown files into the metadata lists, against `exiv2 -pa` on the
// same files (one exiv2 process for all of them, its fastest use), and against decoding the
// pictures, which the preview does anyway; and one EXIF write into a 20-page TIFF against the
// exiv2 command's write of the same tag. Usage: metadata_bench [COUNT]
// Both sides are whole processes: ours is this program started again with --read FILES... (the
// lists filled for every file) or --write TIFF VALUE (one EXIF write), its start-up in the time as
// exiv2's is; the loop's time inside this process is printed beside it, for reference. The write
// is not quite the same work: exiv2 keeps only four of the TIFF's 20 pages, ours keeps them all.
#include "benchutil.h"
#include "metadata/ExifIptc.h"
#include "metadata/MetadataRows.h"
#include "metadata/modMetadata.h"
#include "platform/ui/reportview.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <tiffio.h>
#include <cstdio>

namespace {

// Our side's work, the same in a child process and in this one: every file's EXIF and IPTC read
// into the two lists; the rows of the last file.
int readAll(const QStringList& files)
{
    tf::MetadataRows exif, iptc;
    // The lists as the window shows them: views over the rows.
    tf::ReportView exifList, iptcList;
    exifList.setModel(&exif);
    iptcList.setModel(&iptc);
    int rows = 0;
    for (const QString& f : files) {
        tf::ExifIptc meta;
        meta.readFrom(f);
        exif.clear();
        iptc.clear();
        ReadFileEXIFInfo(meta, true, exif, f);
        ReadFileIPTCInfo(meta, true, iptc, f);
        rows = exifList.model()->rowCount() + iptcList.model()->rowCount();
    }
    return rows;
}

bool writeArtist(const QString& tiff, const QString& value)
{
    tf::ExifIptc meta;
    meta.readFrom(tiff);
    meta.SetExifAttribute(QStringLiteral("Artist"), value);
    return meta.WriteMetadataTo(tiff);
}

bool runSelf(const QStringList& args)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(-1);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    if (argc > 2 && QByteArray(argv[1]) == "--read") {
        subInitMetadata();
        return readAll(app.arguments().mid(2)) > 0 ? 0 : 1;
    }
    if (argc == 4 && QByteArray(argv[1]) == "--write") {
        subInitMetadata();
        return writeArtist(app.arguments()[2], app.arguments()[3]) ? 0 : 1;
    }
    int count = 64;
    if (argc > 1 && (count = QString::fromLatin1(argv[1]).toInt()) <= 0) {
        std::fprintf(stderr, "usage: metadata_bench [COUNT]\n");
        return 2;
    }
    subInitMetadata();
    QTemporaryDir dir;
    // A4 at 200 dpi, with the metadata a camera and an agency would leave.
    const QString first = dir.filePath(QStringLiteral("page0.jpg"));
    tf::bench::makeA4Photo(1, 1654, 2339).save(first, "JPEG", 85);
    QStringList args;
    for (const char* c : {"set Exif.Image.Make Canon", "set Exif.Image.Model EOS", "set Exif.Image.Artist Ann",
                          "set Exif.Image.DateTime 2024:01:02 15:04:05", "set Exif.Photo.ExposureTime 10/1250",
                          "set Exif.Photo.FNumber 28/10", "set Exif.Photo.ISOSpeedRatings 100",
                          "set Exif.Photo.ExifVersion 48 50 50 48", "set Exif.Photo.Flash 16",
                          "set Exif.Photo.DateTimeOriginal 2024:01:02 15:04:05", "set Exif.Photo.FocalLength 50/1",
                          "set Iptc.Application2.Caption A caption of some length for the page",
                          "add Iptc.Application2.Keywords one", "add Iptc.Application2.Keywords two",
                          "set Iptc.Application2.Byline Ann", "set Iptc.Application2.DateCreated 2024-01-02",
                          "set Iptc.Application2.City Ghent"})
        args << QStringLiteral("-M") + QString::fromLatin1(c);
    args << QStringLiteral("mo") << first;
    if (QProcess::execute(QStringLiteral("exiv2"), args) != 0) {
        std::fprintf(stderr, "the exiv2 command failed\n");
        return 1;
    }
    QStringList files{first};
    for (int i = 1; i < count; ++i) {
        files << dir.filePath(QStringLiteral("page%1.jpg").arg(i));
        QFile::copy(first, files.last());
    }

    const auto best = [](auto&& run) {
        qint64 fastest = -1;
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer t;
            t.start();
            run();
            const qint64 ns = t.nsecsElapsed();
            if (fastest < 0 || ns < fastest) fastest = ns;
        }
        return fastest / 1e6;
    };

    int rows = 0;
    const double oursHere = best([&] { rows = readAll(files); });
    bool oursOk = true;
    const double ours = best([&] { oursOk = runSelf(QStringList{QStringLiteral("--read")} + files) && oursOk; });
    const double peer = best([&] {
        QProcess p;
        p.start(QStringLiteral("exiv2"), QStringList{QStringLiteral("-q"), QStringLiteral("-pa")} + files);
        p.waitForFinished(-1);
        p.readAllStandardOutput();
    });
    const double decode = best([&] {
        for (const QString& f : files) QImageReader(f).read();
    });
    std::printf("%d A4 JPEGs (1654x2339) with EXIF and IPTC, best of 3\n", count);
    std::printf("  ours, a process: read + both lists filled:     %8.1f ms  (%.2f ms a file)%s\n", ours, ours / count,
                oursOk ? "" : "  FAILED");
    std::printf("  (for reference: the same inside this process:   %8.1f ms, %d rows a file)\n", oursHere, rows);
    std::printf("  exiv2 -pa, one process for all files:          %8.1f ms\n", peer);
    std::printf("  decoding the pictures (what the preview does): %8.1f ms\n", decode);
    std::printf("  exiv2 / ours = %.2f (> 1: ours is faster); metadata in process / decode = %.3f\n", peer / ours,
                oursHere / decode);

    // A scanned document: 20 uncompressed pages of 800 x 1100.
    const QString tiff = dir.filePath(QStringLiteral("scan.tif"));
    {
        TIFF* out = TIFFOpen(QFile::encodeName(tiff).constData(), "w");
        const QImage page = tf::bench::makeA4Photo(2, 800, 1100).convertToFormat(QImage::Format_RGB888);
        for (int p = 0; p < 20 && out; ++p) {
            TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(page.width()));
            TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(page.height()));
            TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, 64);
            for (int y = 0; y < page.height(); ++y)
                TIFFWriteScanline(out, const_cast<uchar*>(page.constScanLine(y)), uint32_t(y));
            TIFFWriteDirectory(out);
        }
        if (out) TIFFClose(out);
    }
    // exiv2 keeps no more than four pages of a TIFF it writes; it gets its own copy.
    const QString tiffPeer = dir.filePath(QStringLiteral("scan-peer.tif"));
    QFile::copy(tiff, tiffPeer);
    int artist = 0;
    const double writeOurs = best([&] {
        if (!runSelf({QStringLiteral("--write"), tiff, QStringLiteral("Ann %1").arg(++artist)}))
            std::fprintf(stderr, "the TIFF write failed\n");
    });
    const double writePeer = best([&] {
        QProcess::execute(QStringLiteral("exiv2"), {QStringLiteral("-M"),
                                                    QStringLiteral("set Exif.Image.Artist Bob %1").arg(++artist),
                                                    QStringLiteral("mo"), tiffPeer});
    });
    std::printf("One EXIF write into a 20-page TIFF (%.0f MB), best of 3\n", QFileInfo(tiff).size() / 1e6);
    std::printf("  ours, a process (read, set, write beside, check, rename): %8.1f ms\n", writeOurs);
    std::printf("  exiv2 -M set ... mo (keeps 4 of the 20 pages):  %8.1f ms\n", writePeer);
    std::printf("  exiv2 / ours = %.2f (> 1: ours is faster)\n", writePeer / writeOurs);
    // Both writes as tiffinfo and exiv2 read them back: ours keeps every page and has the tag.
    QProcess check;
    check.start(QStringLiteral("tiffinfo"), {tiff});
    check.waitForFinished(-1);
    const int pagesKept = int(check.readAllStandardOutput().count("TIFF Directory"));
    check.start(QStringLiteral("exiv2"), {QStringLiteral("-q"), QStringLiteral("-g"), QStringLiteral("Exif.Image.Artist"), QStringLiteral("-pt"), tiff});
    check.waitForFinished(-1);
    const bool tagged = check.readAllStandardOutput().contains("Ann ");
    std::printf("  tiffinfo: ours keeps %d of 20 pages; exiv2 reads our Artist tag: %s\n", pagesKept, tagged ? "yes" : "NO");
    return 0;
}
