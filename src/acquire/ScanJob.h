#pragma once
// One acquisition: a scanner read on a worker thread, each image written where the user chose
// (a basket page file, a single-page file, or the next page of one multipage file) before it is
// announced to the window. Every write is checked; the first failure ends the acquisition, is
// reported once, and keeps what was written before it.
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tf {

class SaneDevice;

struct ScanRequest {
    enum class Route { Basket, SingleFiles, MultiPage };
    QString device; // empty: the first there is
    std::vector<std::pair<QString, QString>> options; // set in order before the first image
    Route route = Route::Basket;
    QString folder;      // single and multipage files; made when missing
    QString genericName; // their name before the number and extension
    QString extension;   // lower case without the point: bmp jpg tif pdf psd gif
    bool overwrite = false;
    QString tempFolder; // basket pages
};

struct ScanResult {
    int images = 0;       // images written
    bool cancelled = false;
    QString output;       // the multipage file written
    QString error;        // why it stopped early; empty when it did not
};

class ScanJob : public QObject {
    Q_OBJECT
public:
    explicit ScanJob(ScanRequest request, QObject* parent = nullptr);
    // Cancels and waits for the worker.
    ~ScanJob() override;

    void start();
    // From the window: the scan stops at once, what was written stays.
    void cancel();
    bool isRunning() const { return m_running.load(); }
    const ScanResult& result() const { return m_result; }

signals:
    // Image `number` (from 1) was written to `path`.
    void imageAcquired(int number, const QImage& image, const QString& path);
    void finished();

private:
    void work();
    ScanRequest m_request;
    ScanResult m_result;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    // The device being read, for a Cancel from the window; it is not closed while one is given.
    std::mutex m_deviceLock;
    SaneDevice* m_device = nullptr;
    std::thread m_worker;
};

} // namespace tf

Q_DECLARE_METATYPE(tf::ScanResult)
