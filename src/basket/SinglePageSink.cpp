#include "basket/SinglePageSink.h"

#include "basket/BasketPageSource.h"
#include "basket/frmSaveSinglePage.h"
#include "basket/modMultiPage.h"
#include "basket/modSaveBatch.h"
#include "frame/TaskReplay.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "metadata/ExifIptc.h"
#include "metadata/metadataTemplates.h"
#include "pages/WindowJob.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/tiff_pages.h"
#include "services/modFileSystem.h"
#include "services/modLoadPic.h"
#include "platform/sys/filenames.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "platform/ui/msgbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tf {

namespace {

// A name that the file system holds at most, with room left for a "_N" that tells repeats apart.
constexpr int kMaxBaseBytes = 240;

std::optional<std::pair<quint64, quint64>> fileIdentity(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(fileNameToBytes(path).constData(), &st) != 0) return std::nullopt;
    return std::make_pair(quint64(st.st_dev), quint64(st.st_ino));
}

bool isInside(const QString& folder, const QString& root)
{
    const QString f = QDir(folder).canonicalPath();
    const QString r = QDir(root).canonicalPath();
    return !f.isEmpty() && !r.isEmpty() && (f == r || f.startsWith(r + QLatin1Char('/')));
}

QString withSystemReason(const QString& text, int err)
{
    return text + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
}

[[noreturn]] void refuse(const QString& why) { throw ImageBoxError(imagebox_error::kFileAccess, why); }

// A page that is not written for a reason of its own; the run goes on with the next page.
struct PageFailure {
    QString why;
};

const QString kDiskFull = QStringLiteral("The disk is full.");
const QString kDiskError = QStringLiteral("The disk reported an error while writing.");

} // namespace

SinglePageSink::SinglePageSink(typBatchSaveOptions options, QDateTime now)
    : m_options(std::move(options)), m_now(std::move(now)),
      m_extension(m_options.OutputFormat == 1 ? QStringLiteral("pdf") : QStringLiteral("tif")),
      m_writes(std::make_unique<OrderedPageWrites>())
{
}

void SinglePageSink::open(const PageSource& pages, const PageFormat& format)
{
    m_format = format;
    m_workFolder = userTempDir();
    if (m_options.RenameMode == 2) {
        const std::optional<int64_t> start = batchCounterStart(m_options.CounterText);
        if (!start) refuse(QStringLiteral("Count should be numeric!"));
        m_counterStart = *start;
    }
    if (m_options.DestinationMode == 1) {
        const QString folder = m_options.DestinationFolder.trimmed();
        if (folder.isEmpty()) refuse(QStringLiteral("No destination folder is set."));
        if (!QFileInfo(folder).isDir()) refuse(QStringLiteral("The destination folder does not exist: ") + folder);
        if (isInside(folder, m_workFolder))
            refuse(QStringLiteral("Files cannot be written into the program's work folder: ") + folder);
    }
    // Every file a page is read from, so that no output takes the place of one, whatever its name.
    for (int i = 0; i < pages.count(); ++i) {
        const PageSource::Page page = pages.page(i);
        for (const QString& file : {page.path, page.source})
            if (const auto id = fileIdentity(file)) m_basketFiles.insert(*id);
    }
}

void SinglePageSink::pageStarting(int index, const PageSource::Page& page)
{
    m_index = index;
    m_page = page;
    m_sourceResolution.clear();
}

QString SinglePageSink::folderFor(const PageSource::Page& page) const
{
    if (m_options.DestinationMode == 1) return QDir::cleanPath(m_options.DestinationFolder.trimmed());
    // A page split from a document lives in the work folder, which is emptied: its file goes
    // beside the document it came from instead.
    for (const QString& file : {page.path, page.source}) {
        if (file.isEmpty()) continue;
        const QString folder = QFileInfo(file).absolutePath();
        if (!isInside(folder, m_workFolder)) return folder;
    }
    const QString chosen = m_options.DestinationFolder.trimmed();
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir() && !isInside(chosen, m_workFolder))
        return QDir::cleanPath(chosen);
    throw PageFailure{QStringLiteral("its source is in the program's work folder and no destination folder is set")};
}

QString SinglePageSink::nameFor(const PageImage& page, bool undecoded) const
{
    // The page's own name keeps its characters; only what would split or end it is replaced.
    QString text = readableFileName(m_page.name);
    text.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    switch (m_options.RenameMode) {
    case 1: {
        std::unique_ptr<ExifIptc> meta;
        bool metaRead = false;
        NamingFacts facts{m_page.path, m_sourceResolution, m_extension, m_now,
                          [&]() -> const ExifIptc* {
                              if (!metaRead) {
                                  metaRead = true;
                                  meta = std::make_unique<ExifIptc>();
                                  if (!meta->readFrom(m_page.path)) meta.reset();
                              }
                              return meta.get();
                          },
                          undecoded};
        // Values, typed text and separators go in as they stand, blanks included; only what a
        // name cannot hold is replaced, and the whole name is capped where it is made distinct.
        const QString prefix = safeNamePart(fncRetrieveNamingString(page, m_options.RenamePrefix, facts));
        const QString suffix = safeNamePart(fncRetrieveNamingString(page, m_options.RenameSuffix, facts));
        const QString s1 = safeNamePart(fncSeparator(m_options.Separator1), kMaxBaseBytes);
        const QString s2 = safeNamePart(fncSeparator(m_options.Separator2), kMaxBaseBytes);
        return prefix + s1 + text + s2 + suffix;
    }
    case 2:
        return safeNamePart(m_options.GenericName) + QString::number(m_counterStart + m_index);
    default:
        return text;
    }
}

QString SinglePageSink::distinctPath(const QString& folder, const QString& base)
{
    const QString capped = capUtf8Bytes(base, kMaxBaseBytes);
    QString path = QDir(folder).filePath(capped + QLatin1Char('.') + m_extension);
    for (int n = 2; m_taken.contains(path); ++n)
        path = QDir(folder).filePath(capped + QLatin1Char('_') + QString::number(n) + QLatin1Char('.') + m_extension);
    m_taken.insert(path);
    return path;
}

bool SinglePageSink::isBasketFile(const QString& path) const
{
    const auto id = fileIdentity(path);
    return id && m_basketFiles.count(*id) > 0;
}

struct SinglePageSink::Output {
    QString name; // the page's, for the messages
    QString path;
};

std::optional<SinglePageSink::Output> SinglePageSink::outputFor(const PageImage& page, bool undecoded)
{
    Output out{m_page.name, {}};
    try {
        out.path = distinctPath(folderFor(m_page), visibleFileBase(nameFor(page, undecoded)));
        if (isBasketFile(out.path)) {
            m_tally.skippedSource << out.name;
            return std::nullopt;
        }
        if ((QFileInfo(out.path).exists() || QFileInfo(out.path).isSymLink()) && m_options.Overwrite != 1) {
            m_tally.skippedExisting << out.name;
            return std::nullopt;
        }
        return out;
    } catch (const PageFailure& f) {
        pageFailed(f.why, out.path, out.name);
    } catch (const std::exception& e) {
        pageFailed(errorText(e), out.path, out.name);
    }
    return std::nullopt;
}

QString SinglePageSink::newWorkFile(const QString& path) const
{
    QString hidden;
    QString unrecorded;
    const int fd = createWorkFile(QFileInfo(path).absolutePath(), m_extension, 0666, &hidden, &unrecorded);
    if (fd < 0 && !unrecorded.isEmpty()) throw PageFailure{unrecorded};
    if (fd < 0) throw PageFailure{withSystemReason(QStringLiteral("Cannot write in the folder of ") + path, errno)};
    ::close(fd);
    return hidden;
}

QString SinglePageSink::writeAside(PageImage& page, const QString& path, const QString& jpeg) const
{
    // Written whole under a work file's name beside the target, and put in its place in one step
    // later.
    const QString hidden = newWorkFile(path);
    try {
        if (m_extension == QLatin1String("pdf")) {
            NewPdfWriter pdf(hidden);
            if (jpeg.isEmpty())
                pdf.addPage(page);
            else if (!pdf.addJpegFile(jpeg, page.format))
                throw PageFailure{QStringLiteral("the file changed while it was converted")};
            pdf.save(hidden);
        } else {
            // The page's pixels go as soon as they are coded for the file: many pages are written
            // at once, and each holds only what it still needs.
            const PageRaster raster = tiffPageRaster(page);
            const int compression = page.format.compression();
            page.pixels = QImage();
            TiffDocumentWriter writer(hidden);
            QString error;
            if (!writer.addPage(raster, compression, QString(), &error) || !writer.commit(&error))
                throw PageFailure{error};
            addTemplates(hidden);
        }
    } catch (...) {
        QFile::remove(hidden);
        throw;
    }
    return hidden;
}

void SinglePageSink::addTemplates(const QString& tiff) const
{
    const QString iptc = m_options.IptcTemplateFile.trimmed();
    const QString exif = m_options.ExifTemplateFile.trimmed();
    const bool withIptc = m_options.ImportIPTC == 1 && !iptc.isEmpty() && QFileInfo(iptc).isFile();
    const bool withExif = m_options.ImportEXIF == 1 && !exif.isEmpty() && QFileInfo(exif).isFile();
    if (!withIptc && !withExif) return;
    ExifIptc meta;
    if (withIptc) meta.LoadIptcFromFile(iptc);
    if (withExif) subLoadEXIFFile(exif, meta);
    QString error;
    if (!meta.WriteMetadataTo(tiff, &error)) throw PageFailure{error};
}

QString SinglePageSink::writeByDecoder(const QString& source, const QString& path, int colorFormat, int compression,
                                       bool* unread) const
{
    // The page read as the pipeline reads pages (its pixels sent here) and written here.
    const auto writeHere = [&]() -> QString {
        ImageDocument doc;
        if (!loadPageFile(doc, source)) {
            *unread = true;
            return {};
        }
        doc.setColorFormat(int16_t(colorFormat));
        doc.setTiffCompression(int16_t(compression));
        PageImage page = doc.pageImage();
        return writeAside(page, path, {});
    };
    // A budget of the disk's bytes counts this process's writes only: the page is written here then.
    if (writeBudgetSetForTests()) return writeHere();
    // Named and written down before the decoder fills it, as every page's work file is.
    const QString hidden = newWorkFile(path);
    try {
        decode::DecodeRequest request;
        request.kind = static_cast<uint32_t>(decode::DecodeKind::WriteTiffPage);
        request.path = source;
        request.target = hidden;
        request.sizeMode = colorFormat;
        request.flags = static_cast<uint32_t>(qMax(0, compression));
        const decode::DecodeResult answer = decode::DecoderPool::shared().decode(request);
        // A decoder may run out of its memory where it only decodes would not (converting a page
        // near the size limit), or die on the file: the page is read again the usual way, which
        // tells a damaged file from a page too large to convert there.
        if (answer.status == decode::DecodeStatus::OutOfMemory || answer.status == decode::DecodeStatus::Crashed) {
            QFile::remove(hidden);
            return writeHere();
        }
        // One that hung, or could not start, could not read it, as when it only decodes.
        if (!answer.answered() || answer.outcome == int32_t(decode::TiffPageOutcome::Unreadable)) {
            *unread = true;
            QFile::remove(hidden);
            return {};
        }
        if (answer.outcome != int32_t(decode::TiffPageOutcome::Written))
            throw PageFailure{answer.message.isEmpty() ? QStringLiteral("The page could not be written") : answer.message};
        addTemplates(hidden);
        // On the disk before it is placed; here, where pages are written side by side, rather
        // than in the placing, which goes one page after another.
        if (!syncFile(hidden)) throw PageFailure{withSystemReason(QStringLiteral("Cannot write ") + path, errno)};
    } catch (...) {
        QFile::remove(hidden);
        throw;
    }
    return hidden;
}

void SinglePageSink::place(const Output& out, const QString& written, std::exception_ptr failure)
{
    try {
        if (failure) std::rethrow_exception(failure);
        QString error;
        if (!moveFileSafely(written, out.path, m_options.Overwrite == 1 ? Placement::Replace : Placement::NoReplace,
                            &error)) {
            QFile::remove(written);
            throw PageFailure{error};
        }
        ++m_tally.written;
    } catch (const PageFailure& f) {
        pageFailed(f.why, out.path, out.name);
    } catch (const std::exception& e) {
        pageFailed(errorText(e), out.path, out.name);
    }
}

void SinglePageSink::pageFailed(const QString& why, const QString& path, const QString& name)
{
    const QString cause = fncEnvironmentReason(why, path);
    // Every later page would meet the same full or failing disk: the run ends here, told once.
    for (const QString& disk : {kDiskFull, kDiskError}) {
        if (cause == disk || why.contains(disk)) {
            // Full may be the program's data folder, where each page is written down before it is
            // made: that folder is named, as it is not the one the user chose.
            const QString where = why.contains(userDataDir()) ? QLatin1Char('\n') + why : QString();
            refuse(disk + QStringLiteral("\nThe conversion stopped at \"%1\": it and the pages after it were not written.")
                              .arg(name) + where);
        }
    }
    m_tally.failed << name + QStringLiteral(": ") + (cause.isEmpty() ? why : cause);
}

void SinglePageSink::writeLater(Output out, PageImage image, const QString& jpeg)
{
    // Filled by the write, read by the placing or dropping after it ended.
    auto written = std::make_shared<QString>();
    OrderedPageWrites::Page page;
    page.index = m_index;
    page.bytes = image.pixels.sizeInBytes();
    auto held = std::make_shared<PageImage>(std::move(image));
    page.write = [this, held, written, path = out.path, jpeg] { *written = writeAside(*held, path, jpeg); };
    page.place = [this, out, written](std::exception_ptr failure) { place(out, *written, failure); };
    page.drop = [written] {
        if (!written->isEmpty()) QFile::remove(*written);
    };
    m_writes->add(std::move(page));
}

void SinglePageSink::addPage(PreparedPage page)
{
    m_sourceResolution = QString::number(page.sizeRead.width()) + QLatin1Char('x') + QString::number(page.sizeRead.height());
    const std::optional<Output> out = outputFor(page.image, false);
    if (out) writeLater(*out, std::move(page.image), {});
}

bool SinglePageSink::namesNeedPixels() const
{
    if (m_options.RenameMode != 1) return false;
    // Only a decoded page knows its size and what it comes to.
    for (const QString& token : {m_options.RenamePrefix, m_options.RenameSuffix})
        for (const char* pixels : {"[Resulting resolution]", "[Resulting size]", "[Source resolution]"})
            if (token == QLatin1String(pixels)) return true;
    return false;
}

bool SinglePageSink::takesAsItIs(const QString& path) const
{
    if (namesNeedPixels()) return false;
    if (m_extension != QLatin1String("pdf")) return true;
    const QString ext = fncGetExtension(path).toLower();
    return ext == QLatin1String("jpg") || ext == QLatin1String("jpeg");
}

bool SinglePageSink::addFile(const QString& path)
{
    const bool pdf = m_extension == QLatin1String("pdf");
    if (pdf && !jpegFilePdfPage(path, m_format.colorFormat).isValid()) return false;
    PageImage page;
    page.format = m_format;
    const std::optional<Output> out = outputFor(page, true);
    if (!out) return true;
    if (pdf) {
        writeLater(*out, std::move(page), path);
        return true;
    }
    // Read, coded and written by a decoder: this process holds none of the page's pixels, so
    // as many pages are written at once as there are decoders.
    auto written = std::make_shared<QString>();
    auto unread = std::make_shared<bool>(false);
    OrderedPageWrites::Page write;
    write.index = m_index;
    write.write = [this, written, unread, source = path, target = out->path, colorFormat = int(m_format.colorFormat),
                   compression = int(m_format.tiffCompression)] {
        *written = writeByDecoder(source, target, colorFormat, compression, unread.get());
    };
    write.place = [this, out = *out, written, unread](std::exception_ptr failure) {
        if (*unread && !failure)
            m_unread << out.name;
        else
            place(out, *written, failure);
    };
    write.drop = [written] {
        if (!written->isEmpty()) QFile::remove(*written);
    };
    m_writes->add(std::move(write));
    return true;
}

void SinglePageSink::commit() { m_stoppedEarly = !m_writes->finish(); }

void SinglePageSink::rollback() noexcept { m_writes->drop(); }

SinglePageSink::~SinglePageSink() = default;

QString batchOutcomeText(const PipelineResult& r, const BatchTally& t)
{
    const int skipped = int(t.skippedExisting.size() + t.skippedSource.size());
    const int failed = int(t.failed.size() + r.leftOut.size());
    QString text = r.cancelled ? QStringLiteral("The conversion was cancelled.\n") : QString();
    if (!r.failure.isEmpty()) text += r.failure + QLatin1Char('\n');
    text += QStringLiteral("Files written: %1\nPages skipped: %2\nPages failed: %3").arg(t.written).arg(skipped).arg(failed);
    const auto list = [&](const QString& head, const QStringList& names) {
        if (!names.isEmpty()) text += QStringLiteral("\n\n") + head + QLatin1Char('\n') + names.join(QLatin1Char('\n'));
    };
    list(QStringLiteral("A file of that name exists and was not overwritten:"), t.skippedExisting);
    list(QStringLiteral("The file would have replaced a page of the basket:"), t.skippedSource);
    list(QStringLiteral("These pages could not be read:"), r.leftOut);
    list(QStringLiteral("These pages could not be written:"), t.failed);
    return text;
}

// ---- the command

SinglePageCommands::SinglePageCommands(const basket::BasketModel& pages, TaskReplayer& replayer, QWidget* owner,
                                       QObject* parent)
    : QObject(parent), m_pages(pages), m_replayer(replayer), m_owner(owner)
{
}

SinglePageCommands::~SinglePageCommands() { m_job.reset(); }

void SinglePageCommands::subSaveAsSinglePage()
{
    try {
        gstrCurrentOperation = QStringLiteral("Saving a new Single file");
        if (m_pages.isEmpty() || m_job) return;
        if (!frmSaveSinglePage::ask(m_owner)) return;
        typBatchSaveOptions& o = gudtSettings.BatchSave;
        o.Accepted = 0;
        auto job = std::make_unique<WindowJob>(QStringLiteral("Saving a new Single file"));
        if (!*job) return;
        job->showStatus(m_owner);
        PipelineSettings settings;
        settings.colorFormat = o.ColorFormat;
        settings.tiffCompression = o.TiffCompression;
        if (o.ProcessTaskList == 1 && m_replayer.hasTasks()) settings.tasks = m_replayer.frozen();
        auto sink = std::make_unique<SinglePageSink>(o);
        // Owned by the pipeline, which lasts until the job is let go of.
        const SinglePageSink* tally = sink.get();
        m_job = std::move(job);
        m_job->start(std::make_unique<BasketPageSource>(m_pages.pages()), std::move(sink), std::move(settings),
                     [this, tally](const PipelineResult& r) { runEnded(r, tally->tally()); });
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("SinglePageCommands.subSaveAsSinglePage"));
    }
}

void SinglePageCommands::runEnded(const PipelineResult& r, const BatchTally& t)
{
    const bool clean = r.failure.isEmpty() && r.leftOut.isEmpty() && t.failed.isEmpty() && t.skippedExisting.isEmpty() &&
                       t.skippedSource.isEmpty();
    MsgBox(batchOutcomeText(r, t), clean ? vbInformation : vbExclamation);
    m_job.reset();
    emit conversionFinished();
}

} // namespace tf
