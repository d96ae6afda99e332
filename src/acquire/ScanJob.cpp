#include "acquire/ScanJob.h"

#include "acquire/SaneDevice.h"
#include "acquire/acquireNames.h"
#include "basket/PageSinks.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"

#include <QDir>

#include <memory>

namespace tf {

namespace {

// A multipage file's pages arrive one by one; how many is not known up front.
class NoPagesYet final : public PageSource {
public:
    int count() const override { return 0; }
    Page page(int) const override { return {}; }
};

// A single page in a file of its own; a PDF is a document of one page.
void saveSinglePage(ImageDocument& doc, const QString& path, const QString& extension)
{
    if (extension != QLatin1String("pdf")) {
        doc.SaveToFile(path);
        return;
    }
    NewPdfSink pdf(path);
    try {
        pdf.open(doc, NoPagesYet());
        pdf.addPage(doc);
        pdf.commit(doc);
    } catch (...) {
        pdf.rollback(doc);
        throw;
    }
}

QString describe(const std::exception& e)
{
    if (const auto* box = dynamic_cast<const ImageBoxError*>(&e)) return box->description();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

ScanJob::ScanJob(ScanRequest request, QObject* parent) : QObject(parent), m_request(std::move(request)) {}

ScanJob::~ScanJob()
{
    cancel();
    if (m_worker.joinable()) m_worker.join();
}

void ScanJob::start()
{
    if (m_worker.joinable()) return;
    m_running.store(true);
    m_worker = std::thread([this] { work(); });
}

void ScanJob::cancel()
{
    m_cancel.store(true);
    const std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) m_device->cancel();
}

void ScanJob::work()
{
    ScanResult r;
    SaneDevice device;
    ImageDocument doc;
    std::unique_ptr<PageSink> sink;
    const ScanRequest& q = m_request;
    const auto stop = [&](const QString& why) {
        if (r.error.isEmpty()) r.error = why;
    };
    try {
        QString error;
        if (!device.open(q.device, &error)) throw std::runtime_error(error.toStdString());
        {
            const std::lock_guard<std::mutex> lock(m_deviceLock);
            m_device = &device;
        }
        if (m_cancel.load()) device.cancel();
        for (const auto& [name, value] : q.options)
            if (!device.setOption(name, value, &error)) throw std::runtime_error(error.toStdString());
        const QString folder = q.route == ScanRequest::Route::Basket ? q.tempFolder : q.folder;
        if (!QDir().mkpath(folder)) throw std::runtime_error(("Cannot create the folder " + folder).toStdString());
        const bool feeder = device.isFeeder();
        for (int n = 1;; ++n) {
            QImage image;
            const SaneDevice::Read read = device.readImage(image, &error);
            if (read == SaneDevice::Read::Cancelled) {
                r.cancelled = true;
                break;
            }
            if (read == SaneDevice::Read::NoDocuments) {
                // An empty feeder ends a feeder's acquisition; before the first page it is news.
                if (n == 1) stop(QStringLiteral("Document feeder out of documents"));
                break;
            }
            if (read == SaneDevice::Read::Failed) {
                stop(QStringLiteral("Scanning stopped: ") + error);
                break;
            }
            // Group 4 codes black and white only: it is chosen for each line-art image alone.
            const bool lineArt = image.depth() == 1;
            doc.setBitmapHandle(image);
            doc.setColorFormat(-1);
            doc.setTiffCompression(lineArt ? 2 : 0);
            QString path;
            switch (q.route) {
            case ScanRequest::Route::Basket:
                path = freeRandomName(folder, QString::number(n) + QLatin1Char('_'), QStringLiteral(".tif"));
                if (path.isEmpty()) throw std::runtime_error("No free file name in " + folder.toStdString());
                doc.SaveToFile(path);
                break;
            case ScanRequest::Route::SingleFiles:
                path = folderFile(folder, q.genericName + QString::number(n) + QLatin1Char('.') + q.extension);
                if (!q.overwrite) path = freeNumberedName(path);
                saveSinglePage(doc, path, q.extension);
                break;
            case ScanRequest::Route::MultiPage:
                if (!sink) {
                    r.output = folderFile(folder, q.genericName + QLatin1Char('.') + q.extension);
                    if (!q.overwrite) r.output = freeNumberedName(r.output);
                    if (q.extension == QLatin1String("pdf"))
                        sink = std::make_unique<NewPdfSink>(r.output);
                    else
                        sink = std::make_unique<NewTiffSink>(r.output);
                    sink->open(doc, NoPagesYet());
                }
                sink->addPage(doc);
                path = r.output;
                break;
            }
            ++r.images;
            emit imageAcquired(n, image, path);
            if (!feeder) break;
        }
    } catch (const std::exception& e) {
        stop(describe(e));
    }
    {
        const std::lock_guard<std::mutex> lock(m_deviceLock);
        m_device = nullptr;
    }
    device.close();
    // The pages taken before a failure or a Cancel are kept.
    if (sink) {
        try {
            if (r.images > 0)
                sink->commit(doc);
            else
                sink->rollback(doc);
        } catch (const std::exception& e) {
            stop(describe(e));
            sink->rollback(doc);
            r.output.clear();
        }
    }
    m_result = r;
    m_running.store(false);
    emit finished();
}

} // namespace tf
