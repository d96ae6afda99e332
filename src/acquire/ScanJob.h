#pragma once
// One acquisition: the scanner is the source of a page pipeline whose sink writes each image where
// the user chose (a basket page file, a single-page file, or the next page of one multipage file)
// before it is announced to the window. Every write is checked; the first failure ends the
// acquisition, is reported once, and keeps what was written before it.
#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tf {

class OneDocumentSink;
class ScannerPageSource;
class WindowJob;
struct PipelineResult;

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

// A scan is a long command of the window's (a WindowJob) that shows no progress window: while it
// runs no other command starts, and a close of the main window cancels it and waits for its end.
class ScanJob : public QObject {
    Q_OBJECT
public:
    explicit ScanJob(ScanRequest request, QObject* parent = nullptr);
    // Ends a scan still running at once (its scanner program is killed) and waits for the worker.
    ~ScanJob() override;

    // A scan asked for while another long command runs does not start: it ends at once, cancelled.
    void start();
    // From the window: the scan stops at once, what was written stays.
    void cancel();
    bool isRunning() const;
    const ScanResult& result() const { return m_result; }

signals:
    // Image `number` (from 1) was written to `path`.
    void imageAcquired(int number, const QImage& image, const QString& path);
    // On the window's thread, with the result whole.
    void finished();

private:
    void ended(const PipelineResult& pipeline);
    ScanRequest m_request;
    ScanResult m_result;
    bool m_cancel = false;
    std::atomic<int> m_images{0};
    std::mutex m_errorLock;
    QString m_writeError; // the first write that failed; guarded by m_errorLock
    // Owned by the job's pipeline, which outlives every use of them.
    ScannerPageSource* m_source = nullptr;
    OneDocumentSink* m_document = nullptr;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf

Q_DECLARE_METATYPE(tf::ScanResult)
