#include "acquire/ImageBoxAcquire.h"

#include "acquire/frmScanDevice.h"
#include "platform/imagebox/imagebox_document.h"

#include <QCoreApplication>
#include <QWidget>

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
    if (busy()) return false;
    m_choosing = true;
    auto* dialog = new frmScanDevice(qobject_cast<QWidget*>(parent()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &frmScanDevice::noScanner, this, [this](const QString& why) {
        m_available = why != QLatin1String("No scanner found");
        ScanResult result;
        result.error = why;
        m_choosing = false;
        emit acquisitionFinished(result);
    });
    connect(dialog, &QDialog::finished, this, [this, dialog, request](int answer) {
        if (!m_choosing) return; // already ended: no scanner
        m_choosing = false;
        if (answer != QDialog::Accepted) {
            ScanResult result;
            result.cancelled = true;
            emit acquisitionFinished(result);
            return;
        }
        ScanRequest chosen = request;
        chosen.device = dialog->device();
        for (const auto& option : dialog->options()) chosen.options.push_back(option);
        startScan(chosen);
    });
    dialog->open();
    return true;
}

void ImageBoxAcquisition::startScan(const ScanRequest& request)
{
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
}

void ImageBoxAcquisition::cancel()
{
    if (m_job) m_job->cancel();
}

} // namespace tf
