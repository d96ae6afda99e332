#include "pages/PagePipeline.h"

#include "frame/TaskReplay.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/picture_decode.h"
#include "services/modFileSystem.h"
#include "services/modLoadPic.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace tf {

namespace {

// The pages that need decoding, decoded by the pool a few ahead of the page being written, in
// source order. Each is the request the page's first step would make (the control's routing, or
// the loader's for a type the control does not read), only made earlier; a page that is not a
// plain file is left to loadPageFile, which does not open it.
class PagesAhead {
public:
    // Finished pages wait here in memory: a few, not the whole source. A sink that writes several
    // pages at once is their queue itself; `few` then keeps two decoding, which outrun its writes.
    // The pipeline's Cancel interrupts `batch`'s waits.
    PagesAhead(const PageSource& pages, std::function<bool(int)> decoded, const std::atomic<bool>& cancel, bool few,
               decode::DecodeBatch& batch)
        : m_pages(pages), m_decoded(std::move(decoded)), m_cancel(cancel), m_batch(batch),
          m_depth(few ? 2 : std::clamp(decode::DecoderPool::shared().processCount(), 2, 6))
    {
    }
    ~PagesAhead() { m_batch.cancel(); }
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

    // The decode made ahead for page i (taken once, in increasing i), nothing when it was not
    // decoded ahead or the job was cancelled while it waited (unless `finishing`: then a Cancel
    // still waits for page i). Reads the following pages ahead.
    std::optional<decode::DecodeResult> take(int i, bool finishing)
    {
        if (!m_cancel.load()) fill(i + 1);
        const auto it = m_indexes.find(i);
        if (it == m_indexes.end()) {
            if (!m_cancel.load()) fill(i + 1 + m_depth);
            return std::nullopt;
        }
        const int wanted = it->second;
        m_indexes.erase(m_indexes.begin(), std::next(it));
        std::optional<decode::DecodeResult> result;
        // This is the worker's own wait: every decode ends within the decoders' time limit, and a
        // Cancel ends the wait at once unless the page under way is to be finished.
        while (!result && m_batch.pending() > 0 && (finishing || !m_cancel.load())) {
            std::optional<decode::DecodeBatch::Finished> f = m_batch.waitInOrder(/*interruptible*/ !finishing);
            if (f && f->index == wanted) result = std::move(f->result);
            if (f && f->index > wanted) break;
        }
        if (m_cancel.load()) {
            // Nothing of the job goes on after it: the decoders reading ahead are stopped now.
            m_batch.cancel();
            m_indexes.clear();
            m_next = m_pages.count();
            if (!finishing) result.reset();
            return result;
        }
        fill(i + 1 + m_depth);
        return result;
    }

    // Whether a page's first step is the control's routing (else the loader's).
    static bool controlFirst(const QString& path)
    {
        const std::vector<DecodeStep> steps = decodeSteps(DecodeCaller::PageWriter, path);
        return !steps.empty() && steps.front() == DecodeStep::Control;
    }

private:
    // Submits the pages before `end` not yet considered, keeping at most m_depth in the pool.
    void fill(int end)
    {
        end = std::min(end, m_pages.count());
        while (m_next < end && m_batch.pending() < m_depth) {
            const int i = m_next++;
            const QString path = m_pages.page(i).path;
            if (!m_decoded(i) || !QFileInfo(path).isFile()) continue;
            m_indexes[i] = m_batch.submit(controlFirst(path) ? routedRequest({path, 1, DecodeCaller::Control})
                                                             : loadPicRequest(path, 0, -1, -1, 16777215));
        }
    }

    const PageSource& m_pages;
    std::function<bool(int)> m_decoded;
    const std::atomic<bool>& m_cancel;
    decode::DecodeBatch& m_batch;
    const int m_depth;
    int m_next = 0;
    std::map<int, int> m_indexes; // page -> the batch's index of its decode
};

} // namespace

PagePipeline::PagePipeline(std::unique_ptr<PageSource> source, std::unique_ptr<PageSink> sink,
                           PipelineSettings settings, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_sink(std::move(sink)), m_settings(std::move(settings)),
      // Pages pulled one by one are not read ahead, and need no decoders waiting for them.
      m_ahead(m_source->count() < 0 ? nullptr : std::make_unique<decode::DecodeBatch>()),
      m_now(std::make_unique<decode::DecodeBatch>())
{
}

void PagePipeline::cancel()
{
    m_cancel.store(true);
    m_source->cancel();
    m_sink->cancelRequested();
    if (m_ahead) m_ahead->interrupt();
    m_now->interrupt();
}

void PagePipeline::cancelAfter(int last)
{
    // A second Cancel (the window closed after its Cancel was pressed) keeps no more than the first.
    for (int kept = m_keepThrough.load(); last < kept && !m_keepThrough.compare_exchange_weak(kept, last);) {
    }
    m_cancel.store(true);
    m_source->cancel();
    m_sink->cancelRequestedAfter(m_keepThrough.load());
    if (m_ahead) m_ahead->interrupt();
    m_now->interrupt();
}

PagePipeline::~PagePipeline()
{
    cancel();
    if (m_worker.joinable()) m_worker.join();
}

void PagePipeline::start()
{
    if (m_worker.joinable()) return;
    m_worker = std::thread([this] { work(); });
}

PipelineResult PagePipeline::runHere()
{
    work();
    return m_result;
}

void PagePipeline::work()
{
    PipelineResult r;
    // Pages pulled one by one are counted as they come.
    const bool pulled = m_source->count() < 0;
    r.total = pulled ? 0 : m_source->count();
    // The worker's own document, into which each page is read and edited before it goes to the
    // sink as a value: the window's documents are never touched off its thread. It goes before
    // the end is reported, so the thread that hears of it (the window's) never waits for its
    // pixels to be freed.
    auto owned = std::make_unique<ImageDocument>();
    ImageDocument& doc = *owned;
    PageSink& sink = *m_sink;
    const bool replays = m_settings.tasks && m_settings.tasks->hasTasks();
    // One order for every sink: colour format, then compression (which may narrow the format).
    const auto applySettings = [&] {
        doc.setColorFormat(m_settings.colorFormat);
        doc.setTiffCompression(m_settings.tiffCompression);
    };
    try {
        applySettings();
        sink.open(*m_source, PageFormat{doc.ColorFormat(), doc.TiffCompression()});
        const auto asItIs = [&](const QString& path) { return !replays && sink.takesAsItIs(path); };
        // Whether a Cancel (now or to come) still lets page i be read and taken.
        const bool finishesPages = sink.finishesPageOnCancel();
        const auto finishing = [&](int i) { return finishesPages && i <= m_keepThrough.load(); };
        // A page after the last one a Cancel keeps is never handed over, whatever the sink.
        const auto pastCancel = [&](int i) { return m_cancel.load() && i > m_keepThrough.load(); };
        int current = 0;
        // Pages pulled one by one cannot be read ahead: they are pictures already, or come too late.
        std::optional<PagesAhead> ahead;
        if (!pulled && m_ahead)
            ahead.emplace(*m_source, [&](int i) { return !asItIs(m_source->page(i).path); }, m_cancel,
                          sink.writesAhead(), *m_ahead);
        // The worker's own wait, as for the pages read ahead: a Cancel ends it at once unless the
        // page under way is to be finished.
        const PageDecode decodeNow = [&](const decode::DecodeRequest& request) -> std::optional<decode::DecodeResult> {
            if (m_cancel.load() && !finishing(current)) return std::nullopt;
            m_now->submit(request);
            std::optional<decode::DecodeBatch::Finished> f = m_now->waitInOrder(/*interruptible*/ !finishing(current));
            if (!f) {
                m_now->cancel();
                return std::nullopt;
            }
            return std::move(f->result);
        };
        for (int i = 0; pulled || i < r.total; ++i) {
            if (m_cancel.load()) {
                r.cancelled = true;
                break;
            }
            PageSource::Page page;
            if (!pulled) {
                page = m_source->page(i);
            } else if (!m_source->next(page)) {
                // A Cancel that stopped the source's wait stops the job.
                r.cancelled = m_cancel.load();
                break;
            }
            if (pulled) r.total = i + 1;
            current = i;
            emit progress(i, pulled ? PageSource::kUnknownCount : r.total,
                          page.path.isEmpty() ? page.name
                                              : QStringLiteral("File - '") + fncGetFileName(page.path) + QLatin1Char('\''));
            sink.pageStarting(i, page);
            if (page.picture.isNull() && asItIs(page.path)) {
                if (pastCancel(i)) {
                    r.cancelled = true;
                    break;
                }
                if (sink.addFile(page.path)) {
                    ++r.written;
                    continue;
                }
            }
            std::optional<decode::DecodeResult> decoded = ahead ? ahead->take(i, finishing(i)) : std::nullopt;
            if (m_cancel.load() && !finishing(i)) {
                r.cancelled = true;
                break;
            }
            if (!page.picture.isNull()) {
                doc.setBitmapHandle(page.picture);
            } else if (!loadPageFile(doc, page.path, std::move(decoded), decodeNow)) {
                if (m_cancel.load() && !finishing(i)) {
                    r.cancelled = true;
                    break;
                }
                r.leftOut << page.name;
                continue;
            }
            PreparedPage prepared;
            prepared.sizeRead = doc.image().size();
            if (replays) {
                const ReplayResult replay = m_settings.tasks->replayAll(doc);
                if (!replay.ok && !r.tasksFailed) {
                    r.tasksFailed = true;
                    r.taskFailure = replay.message;
                }
            }
            applySettings();
            prepared.image = doc.pageImage();
            // The sink holds the only reference to the pixels: a sink that writes several pages
            // at once frees each as soon as it is written.
            doc.Clear();
            prepared.path = page.path;
            prepared.source = page.source;
            prepared.name = page.name;
            prepared.index = i;
            if (pastCancel(i)) {
                r.cancelled = true;
                break;
            }
            sink.addPage(std::move(prepared));
            ++r.written;
        }
        if (r.cancelled) sink.cancelled();
        // A Cancel after the last page has nothing left to stop.
        r.dropped = r.cancelled && !sink.keepsPagesOnCancel();
        if (r.dropped || r.written == 0) {
            sink.rollback();
        } else {
            sink.commit();
            r.committed = true;
            // Pages still being written when the last was read are stopped by a Cancel too.
            if (sink.stoppedEarly()) r.cancelled = true;
        }
    } catch (const std::exception& e) {
        sink.rollback();
        r.failure = errorText(e);
        if (r.failure.isEmpty()) r.failure = QStringLiteral("The output could not be written");
        r.committed = false;
    }
    // Files the sink took but could not read are left out as the pipeline's own would be.
    const QStringList unread = sink.unreadFiles();
    r.leftOut += unread;
    r.written -= int(unread.size());
    owned.reset();
    m_result = r;
    emit finished();
}

} // namespace tf
