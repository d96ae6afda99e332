#pragma once
// The basket converted into single-page files: a sink of the page pipeline that writes each page
// as a TIFF or PDF of its own, named by the rule the user chose, and the command that asks for
// the options and runs it.
#include "basket/basketModel.h"
#include "pages/PagePipeline.h"
#include "pages/PageWrites.h"
#include "frame/modSettings.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>

class QWidget;

namespace tf {

class TaskReplayer;
class WindowJob;

// What a run did, page by page.
struct BatchTally {
    int written = 0;
    QStringList skippedExisting; // names not written because a file had that name (no overwrite)
    QStringList skippedSource;   // names not written because the file is a page of the basket
    QStringList failed;          // pages that were read but could not be written, with why
};

// Pages are named in page order as they come, then coded and written on every core, and each is
// put in its place in page order once written: whatever ends the run (a Cancel, a full disk), the
// files in place are those of its first pages, with no gap after them. A Cancel keeps every page
// up to the one the progress showed.
class SinglePageSink final : public PageSink {
public:
    // `now` is the time the date tokens of the whole run read.
    SinglePageSink(typBatchSaveOptions options, QDateTime now = QDateTime::currentDateTime());
    ~SinglePageSink() override;

    void open(const PageSource& pages, const PageFormat& format) override;
    void pageStarting(int index, const PageSource::Page& page) override;
    // A JPEG goes into a PDF as it is, never decoded, unless its name needs the pixels. A page of
    // a TIFF run whose name needs no pixels is read and written by a decoder, into the work file
    // this sink names: its pixels never come into this process.
    bool takesAsItIs(const QString& path) const override;
    bool addFile(const QString& path) override;
    QStringList unreadFiles() const override { return m_unread; }
    void addPage(PreparedPage page) override;
    bool writesAhead() const override { return true; }
    // A Cancel keeps the page under way when it came, and every page before it: those still being
    // written are waited for and put in place. Pages after the one the window showed are dropped.
    bool finishesPageOnCancel() const override { return true; }
    void cancelRequestedAfter(int last) noexcept override { m_writes->requestStopAfter(last); }
    // A Cancel that names no page (the job dropped while it runs) keeps every page taken.
    void cancelRequested() noexcept override { m_writes->requestStopAfter(INT_MAX); }
    void pageShown(int done) noexcept override { m_writes->pageShown(done); }
    bool stoppedEarly() const override { return m_stoppedEarly; }
    // Waits for the pages still being written and puts them in place (none after a Cancel's page).
    void commit() override;
    // The pages not yet in place are dropped; those in place stay.
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return true; }

    const BatchTally& tally() const { return m_tally; }
    QString extension() const { return m_extension; }

private:
    struct Output;
    QString folderFor(const PageSource::Page& page) const;
    QString nameFor(const PageImage& page, bool undecoded) const;
    QString distinctPath(const QString& folder, const QString& base);
    bool isBasketFile(const QString& path) const;
    // In page order: where the page goes, or nothing when it is not written (counted).
    std::optional<Output> outputFor(const PageImage& page, bool undecoded);
    // On any thread: an empty work file beside `path`, named and written down in the work journal
    // before anything fills it, so that a run killed on any page leaves nothing the next start
    // does not remove.
    QString newWorkFile(const QString& path) const;
    // On any thread: the page, or the JPEG file `jpeg` as it is, written into a new work file
    // beside `path`; gives that file.
    QString writeAside(PageImage& page, const QString& path, const QString& jpeg) const;
    // In page order: the work file put in its place, or the failure counted.
    void place(const Output& out, const QString& written, std::exception_ptr failure);
    void writeLater(Output out, PageImage page, const QString& jpeg);
    // Whether the page names ask for its pixels (a size or resolution token).
    bool namesNeedPixels() const;
    // On any thread: the file `source` read and written as a TIFF into a new work file beside
    // `path` by a decoder; gives that file, or nothing (and `unread` set) when no reader could
    // read the page.
    QString writeByDecoder(const QString& source, const QString& path, int colorFormat, int compression,
                           bool* unread) const;
    // The TIFF's EXIF and IPTC from the templates the options name, when they do.
    void addTemplates(const QString& tiff) const;
    // A page that could not be written, with why: counted with its cause, or the run's end when
    // the cause will stop every later page too.
    void pageFailed(const QString& why, const QString& path, const QString& name);

    typBatchSaveOptions m_options;
    QDateTime m_now;
    QString m_extension;
    PageFormat m_format;
    int64_t m_counterStart = 1;
    QString m_workFolder;
    std::set<std::pair<quint64, quint64>> m_basketFiles; // device and inode of every page's files
    QSet<QString> m_taken;                               // outputs of this run
    int m_index = 0;
    PageSource::Page m_page;
    QString m_sourceResolution;
    BatchTally m_tally;
    bool m_stoppedEarly = false;
    QStringList m_unread; // pages handed over as files that no reader could read, in page order
    std::unique_ptr<OrderedPageWrites> m_writes;
};

// The end of a run as one message: written, skipped and failed pages, and why.
QString batchOutcomeText(const PipelineResult& result, const BatchTally& tally);

// The basket's "Single Page files (batch mode)": the dialog, then the run on a worker thread
// with the progress window and its Cancel.
class SinglePageCommands : public QObject {
    Q_OBJECT
public:
    SinglePageCommands(const basket::BasketModel& pages, TaskReplayer& replayer, QWidget* owner,
                       QObject* parent = nullptr);
    ~SinglePageCommands() override;

public slots:
    void subSaveAsSinglePage();

signals:
    // The run has ended and its message was shown.
    void conversionFinished();

private:
    void runEnded(const PipelineResult& result, const BatchTally& tally);

    const basket::BasketModel& m_pages;
    TaskReplayer& m_replayer;
    QPointer<QWidget> m_owner;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf
