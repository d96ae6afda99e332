#pragma once
// The one loop that turns pages into an output: a source hands out pages in order, the decoder
// pool reads a few of them ahead, the task list edits each, and a sink takes them in source order.
// Saving, appending and every later output (single files, printing, player packages) are sinks;
// the basket, a scanner or a screen grab are sources.
#include "platform/imagebox/page_writers.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <climits>
#include <functional>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace tf {

class TaskReplayer;
namespace decode {
class DecodeBatch;
}

// Where the pages come from, in order. Read on the pipeline's worker thread, so a source owns
// what it hands out and looks at no list of the window's. Most sources know their pages up front
// and are read by index; a device that learns its pages as they come (a scanner's feeder) says
// kUnknownCount and is asked for one page after another with next().
class PageSource {
public:
    struct Page {
        QString path;        // the file the page is read from
        QString name;        // what the user calls it, in progress and messages
        QString source = {}; // the file the page came from, when `path` is a page split from it
        QImage picture{};    // a page that is already a picture, read from no file (path is then empty)
    };
    static constexpr int kUnknownCount = -1;
    virtual ~PageSource() = default;
    virtual int count() const = 0;
    virtual Page page(int /*index*/) const { return {}; }
    // With kUnknownCount: blocks until the next page is there; false once there is none (the
    // source ran out, failed, or was cancelled: the source keeps why).
    virtual bool next(Page& /*page*/) { return false; }
    // From any thread, while the pipeline runs: a next() that waits on a device stops waiting.
    virtual void cancel() noexcept {}
};

// A page as the pipeline hands it to a sink: a value the sink owns, with its pixels as the
// pipeline prepared them (read, the task list replayed, with the colour format and compression to
// write them in, and their resolution), where they came from and what the user calls them.
struct PreparedPage {
    PageImage image;
    QString path;      // the file the page was read from; empty for a picture read from no file
    int pageIndex = 1; // the page of that file (1 = first)
    QString source;    // the file `path` was split from, when it was
    QString name;      // what the user calls it, in progress and messages
    int index = 0;     // its place in the source, from 0
    QSize sizeRead;    // the pixels' size as read, before the task list
};

// Where the pages go. Every call comes from the pipeline's worker, in page order; failures raise
// (ImageBoxError or another std::exception whose text says why, the system's reason included),
// and the pipeline then rolls back. A sink owns whatever writes its output: the pipeline keeps no
// writing state for it.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Before the first page: checks the target and gets ready; `format` is how every page comes
    // (see PipelineSettings). Nothing of the user's changes here.
    virtual void open(const PageSource& pages, const PageFormat& format) = 0;
    // Before page `index` is read: which page of the source the next addFile or addPage is (a page
    // that cannot be read is followed by the next one's call).
    virtual void pageStarting(int /*index*/, const PageSource::Page& /*page*/) {}
    // Whether the sink may take this file's own bytes, undecoded (a JPEG into a PDF): such a page
    // is not decoded ahead, and is handed to addFile before anything else is tried.
    virtual bool takesAsItIs(const QString& /*path*/) const { return false; }
    // The file as it is; false when it does not qualify after all (it is then decoded and added).
    virtual bool addFile(const QString& /*path*/) { return false; }
    // Files taken by addFile that no reader could read after all (a sink that has them read in
    // other processes learns it late), by name in page order: left out as any page that cannot be
    // read. Asked once the output was committed or rolled back.
    virtual QStringList unreadFiles() const { return {}; }
    // The page, decoded, edited and with the colour format and compression set.
    virtual void addPage(PreparedPage page) = 0;
    // Whether the sink writes its pages on other threads while the next ones are read: few pages
    // are then read ahead of it, since its own queue outruns its writes.
    virtual bool writesAhead() const { return false; }
    // A Cancel stopped the job before its last page; commit or rollback follows.
    virtual void cancelled() {}
    // From any thread, as the job is cancelled: a sink still writing pages it took stops (its
    // commit then keeps those in place by then, and says so with stoppedEarly).
    virtual void cancelRequested() noexcept {}
    // From any thread, as the job is cancelled after page `last` (the page the window showed under
    // way when its Cancel was pressed): a sink still writing pages it took keeps those up to that
    // page and stops the rest. By default as cancelRequested.
    virtual void cancelRequestedAfter(int /*last*/) noexcept { cancelRequested(); }
    // From the window's thread, for a job whose progress a window shows: the window has shown page
    // `done` under way (-1, before the job starts: none yet). A sink that writes pages behind the
    // worker keeps none in place that the window has not shown, so that a Cancel finds none after
    // the page it names.
    virtual void pageShown(int /*done*/) noexcept {}
    virtual bool stoppedEarly() const { return false; }
    // Puts the output in its place.
    virtual void commit() = 0;
    // Drops what was written: the user's files stay as they were.
    virtual void rollback() noexcept = 0;
    // Whether a Cancel keeps the pages taken before it (a new file, an append) or drops them
    // (a new document that was to replace an existing file).
    virtual bool keepsPagesOnCancel() const = 0;
    // Whether a Cancel first lets the page under way be read and taken (a show keeps every page
    // the user saw go by), or stops before it.
    virtual bool finishesPageOnCancel() const { return false; }
};

struct PipelineSettings {
    int16_t colorFormat = -1;
    int16_t tiffCompression = 0;
    // The task list replayed on every page; null for none. Must replay from any thread (see
    // TaskReplayer::frozen).
    std::shared_ptr<TaskReplayer> tasks;
};

struct PipelineResult {
    int total = 0;         // pages in the source (for a source of unknown count, the pages it gave)
    int written = 0;       // pages the sink took
    bool cancelled = false; // stopped by a Cancel before the last page
    bool dropped = false;   // cancelled, and the sink dropped the pages taken (see keepsPagesOnCancel)
    bool committed = false; // the output is in its place
    QStringList leftOut;    // pages that could not be read, by name
    bool tasksFailed = false;
    QString taskFailure;    // the first failing replay's words
    QString failure;        // why the output failed; empty when it did not
};

class PagePipeline : public QObject {
    Q_OBJECT
public:
    PagePipeline(std::unique_ptr<PageSource> source, std::unique_ptr<PageSink> sink, PipelineSettings settings,
                 QObject* parent = nullptr);
    // Cancels a running job and waits for its worker to stop.
    ~PagePipeline() override;

    // Runs the job on a worker thread of its own; progress and finished arrive as queued signals.
    // Once only.
    void start();
    // Runs the same job on the calling thread and gives its result (finished is emitted too). It
    // waits for decoders: never on the application's thread (see platform/sys/blockingcalls.h).
    PipelineResult runHere();
    // From any thread: the job stops before its next page (a decode it waits for is dropped).
    void cancel();
    // From any thread: a Cancel pressed while the window showed page `last` (progress's `done`;
    // -1 before the first) under way. A sink that finishes the page under way on a Cancel gets
    // every page up to that one and none after it; for any other sink, as cancel().
    void cancelAfter(int last);
    // From the window's thread: the window shows page `done` under way; -1 before start, for a
    // job whose progress a window will show (see PageSink::pageShown).
    void pageShown(int done) noexcept { m_sink->pageShown(done); }
    // Valid once finished was emitted.
    const PipelineResult& result() const { return m_result; }

signals:
    // Before page `done` + 1 is worked on (`done` of `total` are through); `item` names it. `total`
    // is PageSource::kUnknownCount while the source does not know how many pages it has.
    void progress(int done, int total, const QString& item);
    void finished();

private:
    void work();
    std::unique_ptr<PageSource> m_source;
    std::unique_ptr<PageSink> m_sink;
    PipelineSettings m_settings;
    std::atomic<bool> m_cancel{false};
    // The last page a Cancel keeps (see cancelAfter); set before m_cancel.
    std::atomic<int> m_keepThrough{INT_MAX};
    // The pages decoded ahead of the one being written; a Cancel wakes the worker waiting on it.
    std::unique_ptr<decode::DecodeBatch> m_ahead;
    // A decode the page under way still needs (its second chance); a Cancel wakes that wait too.
    std::unique_ptr<decode::DecodeBatch> m_now;
    PipelineResult m_result;
    std::thread m_worker;
};

} // namespace tf
