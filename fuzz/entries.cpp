#include "fuzz/entries.h"

#include "basket/modSaveOpenImageList.h"
#include "editing/modTaskBasket.h"
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "metadata/ExifIptc.h"
#include "metadata/metadataTemplates.h"
#include "metadata/modMetadata.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/jpeg_eighth.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_geometry.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/workfiles.h"
#include "services/clsFile.h"
#include "services/clsImageHeaderInfo.h"
#include "players/kit/PlayerPackage.h"
#include "players/kit/PlayerRuntime.h"
#include "services/modLoadPic.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tf::fuzz {

namespace {

// One folder for the whole run: making a new one per input would cost more than most inputs.
const QTemporaryDir& scratch()
{
    static const QTemporaryDir dir;
    return dir;
}

QString scratchFile(const QString& name) { return scratch().filePath(name); }

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The picture appended to the fuzzed documents: small, so that the reader's work dominates.
QImage appendedPicture()
{
    QImage image(6, 4, QImage::Format_RGB888);
    image.fill(QColor(200, 40, 90));
    return image;
}

using Appender = void (ImageDocument::*)(const QString&, const QString&, int32_t);

QString appendPage(const QByteArray& bytes, const QString& extension, Appender append)
{
    const quint8 control = bytes.isEmpty() ? 0 : quint8(bytes.at(0));
    const QByteArray document = bytes.mid(1);
    const QString path = scratchFile(QStringLiteral("document.") + extension);
    const QString other = scratchFile(QStringLiteral("result.") + extension);
    QFile::remove(other);
    if (!writeFile(path, document)) return QStringLiteral("cannot write the scratch document");
    const bool inPlace = control & 1;
    const int32_t position = (control >> 1) % 4; // 0 (the end), first, second, third page

    ImageDocument doc;
    doc.setPicture(appendedPicture());
    bool failed = false;
    try {
        (doc.*append)(path, inPlace ? QString() : other, position);
    } catch (const ImageBoxError&) {
        failed = true;
    } catch (const std::exception& e) {
        return QStringLiteral("raised something other than the control's error: ") + QString::fromUtf8(e.what());
    }
    if ((failed || !inPlace) && readFile(path) != document)
        return failed ? QStringLiteral("a failed append changed the document")
                      : QStringLiteral("appending to another file changed the source");
    if (failed && !inPlace && QFile::exists(other)) return QStringLiteral("a failed append left a result file");
    return {};
}

} // namespace

QString headerInfo(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);

    clsImageHeaderInfo info;
    if (!info.ReadGIF_BMP_Header(buffer) && (info.Width() || info.Height() || info.BitsPerPixel()))
        return QStringLiteral("GIF/BMP: no header, yet a size");

    buffer.seek(0);
    clsImageHeaderInfo other;
    if (!other.ReadJPEG_TIFF_PNG_Header(buffer)
        && (other.Width() || other.Height() || other.BitsPerPixel() || other.dpi() || other.IsGray()))
        return QStringLiteral("JPEG/TIFF/PNG: no header, yet values");
    return {};
}

QString settingsRecord(const QByteArray& bytes)
{
    typSettings record;
    if (decodeSettings(bytes, record) != SettingsDecodeResult::Ok) return {};
    if (!fncSettingsFault(record).isEmpty()) return {};
    // What the program takes it writes again at shutdown, and reads at the next start. The first
    // write may change the record (a fixed text longer than its field in UTF-8 is cut, and blanks
    // or NULs the cut leaves at its end drop away on reading); after that it must stay as it is.
    const QByteArray written = encodeSettings(record);
    typSettings again;
    if (decodeSettings(written, again) != SettingsDecodeResult::Ok)
        return QStringLiteral("an accepted record, written again, does not decode");
    if (!fncSettingsFault(again).isEmpty()) return QStringLiteral("an accepted record, written again, is refused");
    const QByteArray rewritten = encodeSettings(again);
    typSettings third;
    if (decodeSettings(rewritten, third) != SettingsDecodeResult::Ok || encodeSettings(third) != rewritten)
        return QStringLiteral("an accepted record changes on each write");
    return {};
}

QString taskBasket(const QByteArray& bytes)
{
    QString why;
    const auto tasks = parseTaskBasket(bytes, &why);
    if (!tasks) return why.isEmpty() ? QStringLiteral("refused without a reason") : QString();
    // Every record was of a code no task has: nothing to write back.
    if (tasks->empty()) return {};
    const auto again = parseTaskBasket(formatTaskBasket(*tasks));
    return !again || *again != *tasks ? QStringLiteral("the tasks written out read back otherwise") : QString();
}

QString iptcTemplate(const QByteArray& bytes)
{
    ExifIptc meta;
    if (!meta.parseIptcTemplate(bytes))
        return meta.HasIptc() ? QStringLiteral("a refused template left fields behind") : QString();
    const QByteArray written = meta.iptcTemplateBytes();
    if (written.isEmpty()) return QStringLiteral("a taken template writes out as nothing");
    ExifIptc again;
    if (!again.parseIptcTemplate(written)) return QStringLiteral("a taken template, written out, is refused");
    for (const IptcField& field : iptcFields())
        if (again.iptcText(field.dataset) != meta.iptcText(field.dataset))
            return QStringLiteral("the field \"%1\" reads back otherwise").arg(QString::fromLatin1(field.name));
    return {};
}

QString tiffMetadata(const QByteArray& bytes)
{
    static const bool names = [] {
        subInitMetadata();
        return true;
    }();
    (void)names;
    const QString path = scratchFile(QStringLiteral("metadata.tif"));
    if (!writeFile(path, bytes)) return QStringLiteral("cannot write the scratch TIFF");
    const int pages = tiffPageCount(path);
    ExifIptc meta;
    meta.readFrom(path); // a file whose metadata does not read gets the field alone
    if (!meta.SetExifAttribute(QStringLiteral("Artist"), QStringLiteral("A. Fuzzer")))
        return QStringLiteral("the field was not taken");
    QString error;
    if (!meta.WriteMetadataTo(path, &error)) {
        if (error.isEmpty()) return QStringLiteral("refused without a reason");
        return readFile(path) == bytes ? QString() : QStringLiteral("a refused write changed the file: ") + error;
    }
    const int after = tiffPageCount(path);
    if (after != pages) return QStringLiteral("%1 page(s) before the write, %2 after").arg(pages).arg(after);
    return {};
}

QString exifTemplate(const QByteArray& bytes)
{
    // The editable names and the date attributes the reader consults.
    static const bool names = [] {
        subInitMetadata();
        return true;
    }();
    (void)names;
    const QString path = scratchFile(QStringLiteral("template.xiff"));
    if (!writeFile(path, bytes)) return QStringLiteral("cannot write the scratch template");
    std::vector<ExifTemplateRecord> records;
    const bool read = readExifTemplate(path, records);
    if (read == records.empty()) return QStringLiteral("the reader's answer does not match its records");
    ExifIptc meta;
    QStringList refused;
    if (subLoadEXIFFile(path, meta, &refused) != (read && refused.isEmpty()))
        return QStringLiteral("a template reads once and not the other time");
    // Records without quotes or line breaks (which the format cannot hold) read back as written.
    std::vector<ExifTemplateRecord> plain;
    for (const auto& r : records) {
        const QString both = r.attribute + r.value;
        if (!both.contains(QLatin1Char('"')) && !both.contains(QLatin1Char('\n')) && !both.contains(QLatin1Char('\r')))
            plain.push_back(r);
    }
    if (plain.empty()) return {};
    const QString copy = scratchFile(QStringLiteral("written.xiff"));
    QString error;
    if (!writeExifTemplate(copy, plain, &error)) return QStringLiteral("cannot write the records again: ") + error;
    std::vector<ExifTemplateRecord> back;
    readExifTemplate(copy, back);
    bool same = back.size() == plain.size();
    for (std::size_t i = 0; same && i < back.size(); ++i)
        same = back[i].attribute == plain[i].attribute && back[i].value == plain[i].value;
    return same ? QString() : QStringLiteral("records written out read back otherwise");
}

QString basketFile(const QByteArray& bytes)
{
    for (const char* name : {"basket.ibf", "basket.ibd"}) {
        const QString path = scratchFile(QString::fromLatin1(name));
        if (!writeFile(path, bytes)) return QStringLiteral("cannot write the scratch basket");
        try {
            const std::vector<typImageBasketEntry> entries = fncReadImageBasket(path);
            for (std::size_t i = 0; i < entries.size(); ++i)
                if (entries[i].path.isEmpty()) return QStringLiteral("an entry without a path");
        } catch (const FileError&) {
        }
    }
    return {};
}

QString playerPackage(const QByteArray& bytes)
{
    using namespace tf::players;
    QBuffer file;
    file.setData(bytes);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("cannot open the buffer");
    // Whatever the reader takes is exactly what the writer writes: written again from what was
    // read (the player being everything before the first blob's 0), it is the same bytes.
    for (const OptionsKind kind : {OptionsKind::Effect, OptionsKind::Saver}) {
        QString damage;
        const std::optional<Package> package = readPackage(file, bytes.size(), kind, &damage);
        if (!package) continue;
        if (!damage.isEmpty()) return QStringLiteral("a package was read and said to be damaged");
        const qint64 firstBlob = package->items.isEmpty() ? package->optionsOffset : package->items.first().offset;
        if (firstBlob < 1 || firstBlob > bytes.size()) return QStringLiteral("the first blob is outside the file");
        QBuffer again;
        again.open(QIODevice::WriteOnly);
        PackageWriter writer(again);
        writer.writePlayer(bytes.first(firstBlob - 1));
        for (const PlayerItem& item : package->items) {
            const QByteArray page = readItem(file, item);
            if (page.size() != item.size) return QStringLiteral("a page cannot be read back");
            // What a show does with the page: a picture within the program's limit, or a reason.
            QString cause;
            const QImage shown = decodeShowPage(page, &cause);
            if (shown.isNull() && cause.isEmpty()) return QStringLiteral("a page left out without a reason");
            if (!shown.isNull() && !tf::pictureSizeAllowed(shown.width(), shown.height()))
                return QStringLiteral("a page past the program's limit was decoded");
            writer.addPage(item.name, page);
        }
        if (!writer.finish(package->options)) return QStringLiteral("the writer refused: ") + writer.error();
        if (again.data() != bytes) return QStringLiteral("the package read is not what the writer writes");
    }
    return {};
}

QString textRecords(const QByteArray& bytes)
{
    const quint8 mode = bytes.isEmpty() ? 0 : quint8(bytes.at(0)) % 3;
    const QString path = scratchFile(QStringLiteral("records.txt"));
    if (!writeFile(path, bytes.mid(1))) return QStringLiteral("cannot write the scratch text file");

    clsFile file;
    if (!file.OpenForRead(path)) return QStringLiteral("cannot open the scratch text file");
    // Every read takes at least one byte, so a reader still going after more reads than bytes loops.
    qsizetype reads = 0;
    try {
        while (!file.fEof()) {
            if (++reads > bytes.size() + 1) return QStringLiteral("reading makes no progress");
            if (mode == 0) {
                file.readLine();
            } else if (mode == 1) {
                clsFile::EditingList fields;
                file.read_EditingList(fields);
            } else {
                QString path2, description;
                file.read_ImageBasket(path2, description);
            }
        }
    } catch (const FileError&) {
    }
    file.closefile();
    return {};
}

QString tiffAppend(const QByteArray& bytes)
{
    return appendPage(bytes, QStringLiteral("tif"), &ImageDocument::AppendToTiff);
}

QString pdfAppend(const QByteArray& bytes)
{
    return appendPage(bytes, QStringLiteral("pdf"), &ImageDocument::AppendToPdf);
}

QString pdfUpdate(const QByteArray& bytes)
{
    static const PdfPageImage page = pdfImageFromRaster(rasterForColorFormat(appendedPicture(), kColor24Bit));
    const auto update = [&](bool quick, const QString& name, bool* updated) -> QString {
        const QString path = scratchFile(name);
        if (!writeFile(path, bytes)) return QStringLiteral("cannot write the scratch document");
        PdfUpdateSession::setReadingForTests(quick);
        std::unique_ptr<PdfUpdateSession> session =
            PdfUpdateSession::start(path, path, PdfUpdateSession::Where::End, nullptr);
        *updated = session && session->addPage(page, nullptr) && session->commit(nullptr);
        session.reset();
        PdfUpdateSession::setReadingForTests(true);
        if (!*updated && readFile(path) != bytes) return QStringLiteral("an update that did not take changed the document");
        return {};
    };
    bool byQuick = false, byQpdf = false;
    QString failure = update(true, QStringLiteral("quick.pdf"), &byQuick);
    if (failure.isEmpty()) failure = update(false, QStringLiteral("qpdf.pdf"), &byQpdf);
    if (!failure.isEmpty()) return failure;
    if (byQuick != byQpdf) return byQuick ? QStringLiteral("only the quick reading took the update")
                                          : QStringLiteral("only qpdf's reading took the update");
    if (byQuick && readFile(scratchFile(QStringLiteral("quick.pdf"))) != readFile(scratchFile(QStringLiteral("qpdf.pdf"))))
        return QStringLiteral("the two readings wrote different updates");
    return {};
}

QString workJournal(const QByteArray& bytes)
{
    const QString home = scratchFile(QStringLiteral("home"));
    const QString data = home + QStringLiteral("/tavrel-folio");
    const QString user = scratchFile(QStringLiteral("user"));
    QDir().mkpath(data + QStringLiteral("/WorkFiles"));
    QDir().mkpath(user);
    // The user's document, hidden files of theirs (one named as the program names its work files,
    // one as its copies were once named), and the program's own settings.
    const QStringList kept = {user + QStringLiteral("/doc.tif"), user + QStringLiteral("/.doc.tif"),
                              user + QStringLiteral("/.tavrel-folio-aaaaaaaaaaaaaaaaaaaaaaaaaa"),
                              user + QStringLiteral("/.doc.tif.Ab12Cd"), data + QStringLiteral("/tavrel-folio")};
    for (const QString& path : kept)
        if (!writeFile(path, "keep")) return QStringLiteral("cannot write a bystander file");
    // Ways out of the program's Temp a journal may try to lead the clean-up along: a link named as
    // a page folder, and a page folder holding a link.
    const QString temp = data + QStringLiteral("/Temp");
    QDir().mkpath(temp + QStringLiteral("/multipage-abcdef"));
    QFile::link(user, temp + QStringLiteral("/multipage-linked"));
    QFile::link(user, temp + QStringLiteral("/multipage-abcdef/out"));
    QByteArray journal = bytes;
    journal.replace('@', QFile::encodeName(user));
    // '#' stands for the identity of the user's document, so that records reach the checks past it.
    struct stat st;
    const int doc = ::open(QFile::encodeName(kept[0]).constData(), O_RDONLY | O_CLOEXEC);
    if (doc < 0 || ::fstat(doc, &st) != 0) return QStringLiteral("cannot read a bystander file");
    journal.replace('#', QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + ' ' +
                             QByteArray::number(fileBirthTime(doc)));
    ::close(doc);
    // The clean-up reads only what begins as its journals do; an input that does not is still
    // read past that first line.
    const QByteArray header = "tavrel-folio work journal 1\n";
    if (!journal.startsWith(header) && !journal.startsWith('!')) journal.prepend(header);
    if (journal.startsWith('!')) journal.remove(0, 1);
    if (!writeFile(data + QStringLiteral("/WorkFiles/1-0000dead.journal"), journal))
        return QStringLiteral("cannot write the scratch journal");

    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    removeWorkFilesOfDeadRuns();
    if (wasSet)
        qputenv("XDG_DATA_HOME", before);
    else
        qunsetenv("XDG_DATA_HOME");
    for (const QString& path : kept)
        if (readFile(path) != "keep") return QStringLiteral("the clean-up touched ") + path;
    return {};
}

const QStringList& loaderExtensions()
{
    static const QStringList extensions = {
        "png", "jpg", "tif", "gif", "bmp", "pbm", "pgm", "ppm", "xbm", "lif", "jp2", "j2k", "psd", "pcx",
        "tga", "ico", "psp", "pic", "sgi", "rgb", "dcx", "wal", "mdl", "mng", "pal", "act", "raw", "webp",
        "dds", "hdr", "exr", "xpm",
    };
    return extensions;
}

QString jpegEighth(const QByteArray& bytes)
{
    const JpegLayout layout = scanJpegLayout(bytes);
    const QSize eighth((layout.width + 7) / 8, (layout.height + 7) / 8);
    for (const EighthColour colour : {EighthColour::Exact, EighthColour::BlockMeans}) {
        const QImage picture = decodeJpegEighth(bytes, colour);
        if (!picture.isNull() && picture.size() != eighth)
            return QStringLiteral("%1 x %2 for a frame of %3 x %4")
                .arg(picture.width())
                .arg(picture.height())
                .arg(layout.width)
                .arg(layout.height);
    }
    return {};
}

QString loader(const QByteArray& bytes)
{
    const quint8 pick = bytes.isEmpty() ? 0 : quint8(bytes.at(0));
    const QStringList& extensions = loaderExtensions();
    return loadPicture(bytes.mid(1), extensions.at(pick % extensions.size()));
}

QString loadPicture(const QByteArray& bytes, const QString& extension)
{
    const QString path = scratchFile(QStringLiteral("picture.") + extension);
    if (!writeFile(path, bytes)) return QStringLiteral("cannot write the scratch picture");
    LoadPicOptions options;
    options.quiet = true;
    options.reporter = [](const QString&, int32_t, int16_t, const QString&) {};
    int32_t width = -1, height = -1;
    constexpr int32_t kBoxWidth = 64, kBoxHeight = 48;
    const QImage picture = LoadPic(path, 1, kBoxWidth, kBoxHeight, 0xFFFFFF, width, height, options);
    if (width < 0 || height < 0) return QStringLiteral("a negative picture size");
    if (!picture.isNull()) {
        if (picture.width() > kBoxWidth || picture.height() > kBoxHeight)
            return QStringLiteral("the picture does not fit its box");
        if (width == 0 || height == 0) return QStringLiteral("a picture with no size reported");
    }
    return {};
}

} // namespace tf::fuzz
