#pragma once
// Scanned and captured pictures as pages of the page pipeline: the scanner and a screen grab as
// sources, and the places an acquired page is written to as sinks.
#include "acquire/ScannerProgram.h"
#include "pages/PagePipeline.h"
#include "pages/PageWrites.h"

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tf {

// A scanner's images, read when the pipeline asks for them: a document feeder until it is empty,
// any other source once. The device is opened, set up and read by a scanner program of its own,
// started on the first request; a backend that does not come back from a call within the time
// limit (scannerTimeLimit) ends the scan with a message naming the scanner. A Cancel, or a
// failure the device reports, ends the scan at once; the scanner program is left to close the
// device in the background (and is ended when it does not within the time limit), the device
// busy until then.
class ScannerPageSource final : public PageSource {
public:
    ScannerPageSource(QString device, std::vector<std::pair<QString, QString>> options);
    int count() const override { return kUnknownCount; }
    bool next(Page& page) override;
    // Also how a sink that cannot write stops the scan: the images not yet read are not read.
    void cancel() noexcept override;
    // From any thread: the scanner program is ended at once, without waiting for the device to
    // stop (the program is closing).
    void abandon() noexcept;
    // Why the scan ended before the feeder was empty; empty when it did not (or was cancelled).
    // Read once the pipeline is finished.
    QString failure() const { return m_failure; }

private:
    bool end(const QString& failure = {});
    QString noAnswer() const;
    QString m_name;
    std::vector<std::pair<QString, QString>> m_options;
    ScannerProcess m_process;
    std::mutex m_lock;
    bool m_stopped = false; // guarded by m_lock
    bool m_started = false; // the process runs and may be told to stop; guarded by m_lock
    bool m_done = false;
    int m_images = 0;
    QString m_failure;
};

// One picture, already taken (a screen grab).
class PicturePageSource final : public PageSource {
public:
    PicturePageSource(QImage picture, QString name) : m_page{{}, std::move(name), {}, std::move(picture)} {}
    int count() const override { return 1; }
    Page page(int) const override { return m_page; }

private:
    Page m_page;
};

// What every acquired page's sink does: the folder is made when missing, Group 4 is chosen for a
// black-and-white page alone, and each page is announced once it is written. A write that fails
// goes to `failed` when there is one (the acquisition stops and keeps what was written before);
// without one it fails the job.
class AcquiredPageSink : public PageSink {
public:
    struct Hooks {
        // Page `number` (from 1) is in `path`. Called on the pipeline's worker.
        std::function<void(int number, const QImage& picture, const QString& path)> written;
        std::function<void(const QString& why)> failed;
    };
    AcquiredPageSink(QString folder, Hooks hooks);
    void open(const PageSource& pages, const PageFormat& format) final;
    void pageStarting(int index, const PageSource::Page& page) final;
    void addPage(PreparedPage page) override;
    void commit() override {}
    void rollback() noexcept override {}
    // Pages are the user's once announced.
    bool keepsPagesOnCancel() const override { return true; }

protected:
    virtual void openTarget() {}
    // Writes the page, numbered from 1; gives the file it went to.
    virtual QString write(const PageImage& page, int number) = 0;
    const QString& folder() const { return m_folder; }
    // The page under way, its number and picture, with the compression chosen for it set on
    // `page`; false once a failure stops the acquisition.
    bool prepare(PageImage& page, int& number, QImage& picture);
    // In page order: page `number` is in `path`, or could not be written (raises when nobody is
    // told of failures).
    void written(int number, const QImage& picture, const QString& path);
    void failed(const std::exception& e);
    bool stopping() const { return m_failed; }

private:
    QString m_folder;
    Hooks m_hooks;
    int m_number = 0;
    QImage m_picture;
    bool m_failed = false;
};

// Each page in a new TIFF of a random free name: folder/<prefix(number)><0..9998>.tif.
class FreshFileSink final : public AcquiredPageSink {
public:
    FreshFileSink(QString folder, std::function<QString(int number)> prefix, Hooks hooks);

private:
    QString write(const PageImage& page, int number) override;
    std::function<QString(int)> m_prefix;
};

// Each page in a file of its own, folder/<name><number>.<extension>; unless overwriting, a name
// that is taken gets the first free _2, _3 ... after it. A PDF is a document of one page. Pages
// are named in page order, written on several cores, and put in place and announced in page
// order: a Cancel or a failure leaves the first pages with no gap.
class NumberedFilesSink final : public AcquiredPageSink {
public:
    NumberedFilesSink(QString folder, QString name, QString extension, bool overwrite, Hooks hooks);
    ~NumberedFilesSink() override;
    bool writesAhead() const override { return true; }
    void addPage(PreparedPage page) override;
    void cancelled() override;
    void cancelRequested() noexcept override;
    bool stoppedEarly() const override { return m_stoppedEarly; }
    void commit() override;
    void rollback() noexcept override;

private:
    QString pathFor(int number) const;
    // The page written into a work file beside `path`; gives that file.
    QString writeAside(const PageImage& page, const QString& path) const;
    QString write(const PageImage& page, int number) override;
    QString m_name, m_extension;
    bool m_overwrite;
    bool m_stoppedEarly = false;
    std::unique_ptr<OrderedPageWrites> m_writes;
};

// All pages in one new TIFF or PDF, folder/<name>.<extension> (named as NumberedFilesSink does),
// put in its place at the end with the pages written before a failure or a Cancel.
class OneDocumentSink final : public AcquiredPageSink {
public:
    OneDocumentSink(QString folder, QString name, QString extension, bool overwrite, Hooks hooks);
    ~OneDocumentSink() override;
    void commit() override;
    void rollback() noexcept override;
    // The document's name, once opened.
    QString output() const { return m_output; }

private:
    void openTarget() override;
    QString write(const PageImage& page, int number) override;
    QString m_name, m_extension;
    bool m_overwrite;
    QString m_output;
    // One of the two, as the extension says.
    std::unique_ptr<NewTiffWriter> m_tiff;
    std::unique_ptr<NewPdfWriter> m_pdf;
    int m_pages = 0;
};

} // namespace tf
