#include "acquire/ImageBoxAcquire.h"

#include "platform/imagebox/imagebox_document.h"

#include <QCoreApplication>

namespace tf {

ImageBoxAcquisition::ImageBoxAcquisition(ImageDocument& box, QObject* parent) : QObject(parent), m_box(box) {}

ImageBoxAcquisition::~ImageBoxAcquisition()
{
    ScanJob* const job = m_job.data();
    if (!job) return;
    disconnect(job, nullptr, this, nullptr);
    if (!job->isRunning()) {
        delete job;
        return;
    }
    // The application outlives it, and waits for the worker only when it ends.
    job->setParent(QCoreApplication::instance());
    connect(job, &ScanJob::finished, job, &QObject::deleteLater);
    job->cancel();
}

bool ImageBoxAcquisition::TwainAcquire(const ScanRequest& request)
{
    if (m_job) return false;
    m_number = 0;
    auto* job = new ScanJob(request, this);
    m_job = job;
    connect(job, &ScanJob::imageAcquired, this, [this](int number, const QImage& image, const QString& path) {
        m_number = number;
        m_path = path;
        m_box.setBitmapHandle(image);
        emit ImageAcquired();
    });
    connect(job, &ScanJob::finished, this, [this, job] {
        const ScanResult result = job->result();
        m_available = result.error != QLatin1String("No scanner found");
        job->deleteLater();
        m_job = nullptr;
        emit acquisitionFinished(result);
    });
    job->start();
    return true;
}

void ImageBoxAcquisition::cancel()
{
    if (m_job) m_job->cancel();
}

} // namespace tf
