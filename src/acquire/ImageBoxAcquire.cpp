#include "acquire/ImageBoxAcquire.h"

#include "platform/imagebox/imagebox_document.h"

namespace tf {

ImageBoxAcquisition::ImageBoxAcquisition(ImageDocument& box, QObject* parent) : QObject(parent), m_box(box) {}

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
