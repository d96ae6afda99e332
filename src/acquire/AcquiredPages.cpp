#include "acquire/AcquiredPages.h"

#include "acquire/acquireNames.h"
#include "basket/PageSinks.h"
#include "platform/imagebox/imagebox_document.h"
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

// A document begun before its pages are known (they arrive one by one).
class PagesNotKnown final : public PageSource {
public:
    int count() const override { return kUnknownCount; }
};

// Runs a sink over the one page in `doc`, dropping what it wrote when it fails.
void writeOnePage(PageSink& sink, ImageDocument& doc)
{
    try {
        sink.open(doc, PagesNotKnown());
        sink.addPage(doc);
        sink.commit(doc);
    } catch (...) {
        sink.rollback(doc);
        throw;
    }
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
        case ScanEnd::Failed: m_failure = text; break;
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

void AcquiredPageSink::open(ImageDocument& doc, const PageSource&)
{
    if (!QDir().mkpath(m_folder)) fileAccess(QStringLiteral("Cannot create the folder ") + m_folder);
    openTarget(doc);
}

void AcquiredPageSink::pageStarting(int index, const PageSource::Page& page)
{
    m_number = index + 1;
    m_picture = page.picture;
}

bool AcquiredPageSink::prepare(ImageDocument& doc, int& number, QImage& picture)
{
    // After a failure the acquisition is stopping: a page read meanwhile is not written.
    if (m_failed) return false;
    number = m_number;
    picture = m_picture.isNull() ? doc.BitmapHandle() : m_picture;
    // Group 4 codes black and white only: it is chosen for each line-art page alone.
    doc.setTiffCompression(picture.depth() == 1 ? 2 : 0);
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

void AcquiredPageSink::addPage(ImageDocument& doc)
{
    int number = 0;
    QImage picture;
    if (!prepare(doc, number, picture)) return;
    QString path;
    try {
        path = write(doc, number);
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

QString FreshFileSink::write(ImageDocument& doc, int number)
{
    const QString path = freeRandomName(folder(), m_prefix(number), QStringLiteral(".tif"));
    if (path.isEmpty()) fileAccess(QStringLiteral("No free file name in ") + folder());
    doc.SaveToFile(path);
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

QString NumberedFilesSink::write(ImageDocument& doc, int number)
{
    const QString path = pathFor(number);
    if (m_extension == QLatin1String("pdf")) {
        NewPdfSink pdf(path);
        writeOnePage(pdf, doc);
    } else {
        doc.SaveToFile(path);
    }
    return path;
}

QString NumberedFilesSink::writeAside(ImageDocument& doc, const QString& path) const
{
    // Under a work file's name beside the target, written down before it is filled, so that a
    // run killed on any page leaves nothing the next start does not remove.
    QString hidden;
    const int fd = createWorkFile(QFileInfo(path).absolutePath(), m_extension, 0666, &hidden);
    if (fd < 0)
        fileAccess(QStringLiteral("Cannot write in the folder of %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    try {
        if (m_extension == QLatin1String("pdf")) {
            NewPdfSink pdf(hidden);
            writeOnePage(pdf, doc);
        } else {
            doc.SaveToFile(hidden);
        }
    } catch (...) {
        QFile::remove(hidden);
        throw;
    }
    return hidden;
}

void NumberedFilesSink::takePage(std::unique_ptr<ImageDocument> doc)
{
    int number = 0;
    QImage picture;
    if (!prepare(*doc, number, picture)) return;
    // The name is taken in page order, before the page is written.
    const QString path = pathFor(number);
    auto work = std::make_shared<QString>();
    std::shared_ptr<ImageDocument> held(std::move(doc));
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
void NumberedFilesSink::commit(ImageDocument&) { m_stoppedEarly = !m_writes->finish(); }
void NumberedFilesSink::rollback(ImageDocument&) noexcept { m_writes->drop(); }

OneDocumentSink::OneDocumentSink(QString folder, QString name, QString extension, bool overwrite, Hooks hooks)
    : AcquiredPageSink(std::move(folder), std::move(hooks)), m_name(std::move(name)), m_extension(std::move(extension)),
      m_overwrite(overwrite)
{
}

void OneDocumentSink::openTarget(ImageDocument& doc)
{
    m_output = folderFile(folder(), m_name + QLatin1Char('.') + m_extension);
    if (!m_overwrite) m_output = freeNumberedName(m_output);
    if (m_extension == QLatin1String("pdf"))
        m_document = std::make_unique<NewPdfSink>(m_output);
    else
        m_document = std::make_unique<NewTiffSink>(m_output);
    m_document->open(doc, PagesNotKnown());
}

QString OneDocumentSink::write(ImageDocument& doc, int)
{
    m_document->addPage(doc);
    ++m_pages;
    return m_output;
}

void OneDocumentSink::commit(ImageDocument& doc)
{
    // A first page that could not be written leaves nothing to keep.
    if (m_pages == 0) {
        rollback(doc);
        return;
    }
    m_document->commit(doc);
}

void OneDocumentSink::rollback(ImageDocument& doc) noexcept
{
    if (m_document) m_document->rollback(doc);
}

} // namespace tf
