#include "acquire/ScanJob.h"

#include "acquire/AcquiredPages.h"
#include "frame/globals.h"
#include "pages/WindowJob.h"

namespace tf {

ScanJob::ScanJob(ScanRequest request, QObject* parent) : QObject(parent), m_request(std::move(request)) {}

// Only at the program's end is a job destroyed while it runs: its scanner program is ended rather
// than waited for, and the pipeline's own destructor then waits for its worker.
ScanJob::~ScanJob()
{
    if (m_source && isRunning()) m_source->abandon();
    // Before the job's signals go: the worker may be announcing an image until it is joined.
    m_job.reset();
}

bool ScanJob::isRunning() const { return m_job && m_job->running(); }

void ScanJob::start()
{
    if (m_job) return;
    m_job = std::make_unique<WindowJob>(gstrCurrentOperation);
    if (!*m_job) {
        m_result = {};
        m_result.cancelled = true;
        QMetaObject::invokeMethod(this, &ScanJob::finished, Qt::QueuedConnection);
        return;
    }
    const ScanRequest& q = m_request;
    auto source = std::make_unique<ScannerPageSource>(q.device, q.options);
    m_source = source.get();
    AcquiredPageSink::Hooks hooks;
    hooks.written = [this](int number, const QImage& image, const QString& path) {
        ++m_images;
        emit imageAcquired(number, image, path);
    };
    hooks.failed = [this](const QString& why) {
        {
            const std::lock_guard<std::mutex> lock(m_errorLock);
            if (m_writeError.isEmpty()) m_writeError = why;
        }
        m_source->cancel();
    };
    std::unique_ptr<PageSink> sink;
    switch (q.route) {
    case ScanRequest::Route::Basket:
        sink = std::make_unique<FreshFileSink>(
            q.tempFolder, [](int n) { return QString::number(n) + QLatin1Char('_'); }, std::move(hooks));
        break;
    case ScanRequest::Route::SingleFiles:
        sink = std::make_unique<NumberedFilesSink>(q.folder, q.genericName, q.extension, q.overwrite, std::move(hooks));
        break;
    case ScanRequest::Route::MultiPage: {
        auto document = std::make_unique<OneDocumentSink>(q.folder, q.genericName, q.extension, q.overwrite,
                                                          std::move(hooks));
        m_document = document.get();
        sink = std::move(document);
        break;
    }
    }
    if (m_cancel) m_job->cancel();
    m_job->start(std::move(source), std::move(sink), {}, [this](const PipelineResult& p) { ended(p); });
}

void ScanJob::cancel()
{
    m_cancel = true;
    if (m_job) m_job->cancel();
}

void ScanJob::ended(const PipelineResult& p)
{
    ScanResult r;
    r.images = m_images.load();
    r.cancelled = p.cancelled;
    if (m_document && p.committed) r.output = m_document->output();
    {
        const std::lock_guard<std::mutex> lock(m_errorLock);
        r.error = m_writeError;
    }
    // One report: the first thing that went wrong.
    if (r.error.isEmpty()) r.error = m_source->failure();
    if (r.error.isEmpty()) r.error = p.failure;
    m_result = r;
    emit finished();
}

} // namespace tf
