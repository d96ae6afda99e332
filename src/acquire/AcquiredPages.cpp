#include "acquire/AcquiredPages.h"

#include "acquire/acquireNames.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/safefile.h"
#include "platform/sys/workfiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <QDataStream>
#include <QDir>

namespace tf {

namespace {

[[noreturn]] void fileAccess(const QString& why) { throw ImageBoxError(imagebox_error::kFileAccess, why); }

// Acquired pages are saved at the image control's own JPEG quality.
constexpr int kPictureJpegQuality = ImageDocument::kDefaultJpegQuality;

// A page alone as a PDF.
void writeOnePdf(const PageImage& page, const QString& path)
{
    NewPdfWriter pdf(path);
    pdf.addPage(page);
    pdf.save(path);
}

} // namespace

// ---- the scanner

ScannerPageSource::ScannerPageSource(QString device, std::vector<std::pair<QString, QString>> options)
    : m_name(std::move(device)), m_options(std::move(options))
{
}

QString ScannerPageSource::noAnswer() const
{
    return QStringLiteral("The scanner %1 did not answer within %2 seconds; the scan was stopped.")
        .arg(scannerDisplayName(m_name.isEmpty() ? QStringLiteral("(the first found)") : m_name))
        .arg(scannerTimeLimit().count() / 1000.0);
}

bool ScannerPageSource::end(const QString& failure)
{
    if (m_failure.isEmpty()) m_failure = failure;
    m_done = true;
    return false;
}

bool ScannerPageSource::next(Page& page)
{
    if (m_done) return false;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_stopped) return end();
        if (!m_started) {
            QStringList arguments{QStringLiteral("scan"), m_name};
            for (const auto& [name, value] : m_options) arguments << name << value;
            QString why;
            if (!m_process.start(m_name, arguments, &why)) return end(why);
            m_started = true;
        }
    }
    for (;;) {
        char kind = 0;
        QByteArray payload;
        switch (m_process.next(kind, payload)) {
        case ScannerProcess::Got::Message: break;
        case ScannerProcess::Got::TimedOut: return end(noAnswer());
        case ScannerProcess::Got::Cancelled: return end();
        case ScannerProcess::Got::Ended:
            return end(QStringLiteral("The scanner program for %1 ended unexpectedly.").arg(scannerDisplayName(m_name)));
        }
        if (kind == scanmsg::kImage) {
            const QImage image = decodeImage(payload);
            if (image.isNull()) {
                m_process.kill();
                return end(QStringLiteral("The scanner sent an image of a kind that cannot be read"));
            }
            ++m_images;
            page = {QString(), QStringLiteral("Page %1").arg(m_images), QString(), image};
            return true;
        }
        if (kind != scanmsg::kEnd) continue;
        QDataStream s(payload);
        qint32 how = 0;
        QString text;
        s >> how >> text;
        switch (ScanEnd(how)) {
        case ScanEnd::Done:
        case ScanEnd::Cancelled: break;
        // An empty feeder ends a feeder's acquisition; before the first page it is news.
        case ScanEnd::NoDocuments: m_failure = QStringLiteral("Document feeder out of documents"); break;
        case ScanEnd::Failed:
            // Said at once: a backend that failed may not come back from closing the device
            // either, and its process is ended in the background while the device stays busy.
            m_process.closeAside();
            return end(text);
        }
        // The scan is over once the device is closed: a backend stuck in its cancel is ended too.
        if (!m_process.waitClosed()) m_failure = m_failure.isEmpty() ? noAnswer() : m_failure + QStringLiteral(". ") + noAnswer();
        return end();
    }
}

void ScannerPageSource::cancel() noexcept
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_stopped = true;
    if (m_started) m_process.cancel();
}

void ScannerPageSource::abandon() noexcept
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_stopped = true;
    if (m_started) m_process.kill();
}

// ---- where acquired pages go

AcquiredPageSink::AcquiredPageSink(QString folder, Hooks hooks) : m_folder(std::move(folder)), m_hooks(std::move(hooks))
{
}

void AcquiredPageSink::open(const PageSource&, const PageFormat&)
{
    if (!QDir().mkpath(m_folder)) fileAccess(QStringLiteral("Cannot create the folder ") + m_folder);
    openTarget();
}

void AcquiredPageSink::pageStarting(int index, const PageSource::Page& page)
{
    m_number = index + 1;
    m_picture = page.picture;
}

bool AcquiredPageSink::prepare(PageImage& page, int& number, QImage& picture)
{
    // After a failure the acquisition is stopping: a page read meanwhile is not written.
    if (m_failed) return false;
    number = m_number;
    picture = m_picture.isNull() ? page.pixels : m_picture;
    // Group 4 codes black and white only: it is chosen for each line-art page alone.
    page.format.tiffCompression = picture.depth() == 1 ? 2 : 0;
    return true;
}

void AcquiredPageSink::written(int number, const QImage& picture, const QString& path)
{
    if (m_hooks.written) m_hooks.written(number, picture, path);
}

void AcquiredPageSink::failed(const std::exception& e)
{
    if (!m_hooks.failed) throw;
    m_failed = true;
    m_hooks.failed(errorText(e));
}

void AcquiredPageSink::addPage(PreparedPage page)
{
    int number = 0;
    QImage picture;
    if (!prepare(page.image, number, picture)) return;
    QString path;
    try {
        path = write(page.image, number);
    } catch (const std::exception& e) {
        failed(e);
        return;
    }
    written(number, picture, path);
}

FreshFileSink::FreshFileSink(QString folder, std::function<QString(int)> prefix, Hooks hooks)
    : AcquiredPageSink(std::move(folder), std::move(hooks)), m_prefix(std::move(prefix))
{
}

QString FreshFileSink::write(const PageImage& page, int number)
{
    const QString path = freeRandomName(folder(), m_prefix(number), QStringLiteral(".tif"));
    if (path.isEmpty()) fileAccess(QStringLiteral("No free file name in ") + folder());
    savePictureFile(page.pixels, path, kPictureJpegQuality);
    return path;
}

NumberedFilesSink::NumberedFilesSink(QString folder, QString name, QString extension, bool overwrite, Hooks hooks)
    : AcquiredPageSink(std::move(folder), std::move(hooks)), m_name(std::move(name)), m_extension(std::move(extension)),
      m_overwrite(overwrite), m_writes(std::make_unique<OrderedPageWrites>())
{
}

NumberedFilesSink::~NumberedFilesSink() = default;

QString NumberedFilesSink::pathFor(int number) const
{
    const QString path = folderFile(folder(), m_name + QString::number(number) + QLatin1Char('.') + m_extension);
    return m_overwrite ? path : freeNumberedName(path);
}

QString NumberedFilesSink::write(const PageImage& page, int number)
{
    const QString path = pathFor(number);
    if (m_extension == QLatin1String("pdf"))
        writeOnePdf(page, path);
    else
        savePictureFile(page.pixels, path, kPictureJpegQuality);
    return path;
}

QString NumberedFilesSink::writeAside(const PageImage& page, const QString& path) const
{
    // Under a work file's name beside the target, written down before it is filled, so that a
    // run killed on any page leaves nothing the next start does not remove.
    QString hidden;
    QString unrecorded;
    const int fd = createWorkFile(QFileInfo(path).absolutePath(), m_extension, 0666, &hidden, &unrecorded);
    if (fd < 0 && !unrecorded.isEmpty()) fileAccess(unrecorded);
    if (fd < 0)
        fileAccess(QStringLiteral("Cannot write in the folder of %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    try {
        if (m_extension == QLatin1String("pdf"))
            writeOnePdf(page, hidden);
        else
            savePictureFile(page.pixels, hidden, kPictureJpegQuality);
    } catch (...) {
        QFile::remove(hidden);
        throw;
    }
    return hidden;
}

void NumberedFilesSink::addPage(PreparedPage prepared)
{
    int number = 0;
    QImage picture;
    if (!prepare(prepared.image, number, picture)) return;
    // The name is taken in page order, before the page is written.
    const QString path = pathFor(number);
    auto work = std::make_shared<QString>();
    auto held = std::make_shared<const PageImage>(std::move(prepared.image));
    OrderedPageWrites::Page page;
    page.index = number - 1;
    page.bytes = picture.sizeInBytes();
    page.write = [this, held, work, path] { *work = writeAside(*held, path); };
    page.place = [this, work, path, number, picture](std::exception_ptr failure) {
        // After a failure the acquisition is stopping: a page written meanwhile is not kept.
        if (stopping()) {
            if (!work->isEmpty()) QFile::remove(*work);
            return;
        }
        try {
            if (failure) std::rethrow_exception(failure);
            QString error;
            if (!moveFileSafely(*work, path, m_overwrite ? Placement::Replace : Placement::NoReplace, &error)) {
                QFile::remove(*work);
                fileAccess(error);
            }
        } catch (const std::exception& e) {
            failed(e);
            return;
        }
        written(number, picture, path);
    };
    page.drop = [work] {
        if (!work->isEmpty()) QFile::remove(*work);
    };
    m_writes->add(std::move(page));
}

void NumberedFilesSink::cancelled() { m_writes->stop(); }
void NumberedFilesSink::cancelRequested() noexcept { m_writes->requestStop(); }
void NumberedFilesSink::commit() { m_stoppedEarly = !m_writes->finish(); }
void NumberedFilesSink::rollback() noexcept { m_writes->drop(); }

OneDocumentSink::OneDocumentSink(QString folder, QString name, QString extension, bool overwrite, Hooks hooks)
    : AcquiredPageSink(std::move(folder), std::move(hooks)), m_name(std::move(name)), m_extension(std::move(extension)),
      m_overwrite(overwrite)
{
}

OneDocumentSink::~OneDocumentSink() = default;

void OneDocumentSink::openTarget()
{
    m_output = folderFile(folder(), m_name + QLatin1Char('.') + m_extension);
    if (!m_overwrite) m_output = freeNumberedName(m_output);
    // Written beside the document's name as the pages come; the pages are not known ahead, so a
    // TIFF is a classic one.
    if (m_extension == QLatin1String("pdf"))
        m_pdf = std::make_unique<NewPdfWriter>(m_output);
    else
        m_tiff = std::make_unique<NewTiffWriter>(m_output);
}

QString OneDocumentSink::write(const PageImage& page, int)
{
    if (m_pdf)
        m_pdf->addPage(page);
    else
        m_tiff->addPage(page);
    ++m_pages;
    return m_output;
}

void OneDocumentSink::commit()
{
    // A first page that could not be written leaves nothing to keep.
    if (m_pages == 0) {
        rollback();
        return;
    }
    if (m_pdf)
        m_pdf->save(m_output);
    else
        m_tiff->save(m_output);
}

void OneDocumentSink::rollback() noexcept
{
    m_pdf.reset();
    m_tiff.reset();
}

} // namespace tf
