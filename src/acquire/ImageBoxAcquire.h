#pragma once
// The image control's acquisition members over a scanner: an acquisition runs on a worker and
// each image arrives on the window's thread as ImageAcquired, with the control holding it.
#include "acquire/ScanJob.h"

#include <QObject>
#include <QPointer>

#include <cstdint>

namespace tf {

class ImageDocument;

class ImageBoxAcquisition : public QObject {
    Q_OBJECT
public:
    explicit ImageBoxAcquisition(ImageDocument& box, QObject* parent = nullptr);
    // A scan still running is cancelled and left to end on its own: the window does not wait.
    ~ImageBoxAcquisition() override;

    // False once an acquisition found no scanner at all; whether one is there is learnt on the
    // worker, never by making the window wait for the device list.
    bool TwainAvailable() const { return m_available; }
    // TWAIN's own switches; SANE has nothing they map to. Kept so callers set them as before.
    bool TwainOption1 = false, TwainOption2 = false, TwainOption3 = false;
    // Starts an acquisition: the device's own dialog (frmScanDevice) chooses the scanner, its
    // source, mode and resolution, then the scan runs. False while one is running. An acquisition
    // the dialog cancels ends at once, with nothing acquired.
    bool TwainAcquire(const ScanRequest& request);
    // The image being announced, from 1 in each acquisition.
    int32_t AcquireImageNumber() const { return m_number; }
    // Where that image was written.
    QString AcquiredPath() const { return m_path; }
    bool busy() const { return m_job != nullptr || m_choosing; }
    void cancel();

signals:
    void ImageAcquired();
    void acquisitionFinished(const tf::ScanResult& result);

private:
    void startScan(const ScanRequest& request);
    ImageDocument& m_box;
    bool m_choosing = false;
    QPointer<ScanJob> m_job;
    bool m_available = true;
    int32_t m_number = 0;
    QString m_path;
};

} // namespace tf
