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
class PagePipeline;
class ScannerPageSource;

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
    // Ends a scan still running at once (its scanner program is killed) and waits for the worker.
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
    void pipelineFinished();
    ScanRequest m_request;
    ScanResult m_result;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_images{0};
    std::mutex m_errorLock;
    QString m_writeError; // the first write that failed; guarded by m_errorLock
    // Owned by the pipeline, which outlives every use of them.
    ScannerPageSource* m_source = nullptr;
    OneDocumentSink* m_document = nullptr;
    std::unique_ptr<PagePipeline> m_pipeline;
};

} // namespace tf

Q_DECLARE_METATYPE(tf::ScanResult)
