#include "basket/basketAdding.h"

#include "frame/modSettings.h"
#include "platform/decode/decode_feed.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/ui/imagelist.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tf::basket {

// Splits one multipage source on a thread of its own: the pages are read by the decoder pool, a
// couple ahead, and written to temp page files there; they come back to the owner's thread in
// page order. A splitter that is stopped removes every page file it has not handed over, and one
// that was abandoned deletes itself once its thread has ended.
class PageSplitter : public QObject {
public:
    using PageReady = std::function<void(const SplitPage&)>;
    using Ended = std::function<void()>;

    PageSplitter(const AddSource& source, QSize thumbBox, PageReady onPage, Ended onEnd, QObject* parent)
        : QObject(parent), m_shared(std::make_shared<Shared>()), m_onPage(std::move(onPage)), m_onEnd(std::move(onEnd))
    {
        m_thread.reset(QThread::create(
            [shared = m_shared, self = this, path = source.path, count = source.pageCount,
             tempBase = source.naming.tempBase, thumbBox] { work(*shared, self, path, count, tempBase, thumbBox); }));
        m_thread->start();
    }

    ~PageSplitter() override
    {
        stop();
        // The thread is past any decode (stop() cancelled its batch): at most one page is still
        // being written.
        m_thread->wait();
        dropUndelivered();
    }

    // Nothing more is handed over; the splitter goes once its thread has ended.
    void abandon()
    {
        m_onPage = {};
        m_onEnd = {};
        stop();
        dropUndelivered();
        m_abandoned = true;
        if (m_workerDone) deleteLater();
    }

private:
    struct Shared {
        std::mutex mutex;
        bool stopped = false; // under the mutex
        std::atomic<bool> stopping{false};
        std::deque<SplitPage> ready; // written, not yet handed over
        bool ended = false;
        decode::DecodeBatch batch;
    };

    void stop()
    {
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->stopped = true;
        }
        m_shared->stopping = true;
        m_shared->batch.cancel();
    }

    void dropUndelivered()
    {
        std::lock_guard lock(m_shared->mutex);
        for (const SplitPage& page : m_shared->ready)
            if (!page.file.isEmpty()) QFile::remove(page.file);
        m_shared->ready.clear();
    }

    static void work(Shared& s, PageSplitter* self, const QString& path, int count, const QString& tempBase,
                     QSize thumbBox)
    {
        // Two pages in the decoders: one is read while the one before is written.
        constexpr int kAhead = 2;
        ImageDocument doc;
        int submitted = 0;
        for (int p = 1; p <= count && !s.stopping; ++p) {
            while (submitted < count && submitted < p - 1 + kAhead)
                s.batch.submit(routedRequest({path, ++submitted, DecodeCaller::Control}));
            // A stop that came during the submits cancelled the batch before them: cancel again.
            if (s.stopping) {
                s.batch.cancel();
                break;
            }
            // The decoders' own time limit ends every wait; no answer means stopped (the stop
            // cancels the batch, which wakes this wait).
            std::optional<decode::DecodeBatch::Finished> answer = s.batch.waitInOrder(/*interruptible*/ false);
            if (!answer) break;
            SplitPage page = fncWriteSplitPage(doc, path, p, routedAnswer(std::move(answer->result)), tempBase, thumbBox);
            {
                std::lock_guard lock(s.mutex);
                if (s.stopped) {
                    if (!page.file.isEmpty()) QFile::remove(page.file);
                    break;
                }
                s.ready.push_back(std::move(page));
            }
            QMetaObject::invokeMethod(self, [self] { self->deliver(); }, Qt::QueuedConnection);
        }
        {
            std::lock_guard lock(s.mutex);
            s.ended = true;
        }
        QMetaObject::invokeMethod(self, [self] { self->deliver(); }, Qt::QueuedConnection);
    }

    void deliver()
    {
        if (m_abandoned) {
            std::lock_guard lock(m_shared->mutex);
            m_workerDone = m_shared->ended;
            if (m_workerDone) deleteLater();
            return;
        }
        std::deque<SplitPage> pages;
        bool ended = false;
        {
            std::lock_guard lock(m_shared->mutex);
            pages.swap(m_shared->ready);
            ended = m_shared->ended;
        }
        const QPointer<PageSplitter> alive(this);
        for (const SplitPage& page : pages) {
            // Abandoned from a handler: the pages after it never reach the basket.
            if (!alive || !m_onPage) {
                if (!page.file.isEmpty()) QFile::remove(page.file);
                continue;
            }
            m_onPage(page);
        }
        if (!alive || !ended || m_workerDone) return;
        m_workerDone = true;
        if (m_abandoned) {
            deleteLater();
        } else if (m_onEnd) {
            m_onEnd();
        }
    }

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QThread> m_thread;
    PageReady m_onPage;
    Ended m_onEnd;
    bool m_abandoned = false;
    bool m_workerDone = false;
};

BasketAdding::BasketAdding(BasketModel& basket, ImageList& images, QObject* parent)
    : QObject(parent), m_basket(basket), m_images(images)
{
}

BasketAdding::~BasketAdding() { cancel(); }

void BasketAdding::start(std::vector<AddSource> sources)
{
    if (m_started) return;
    m_started = true;
    // The size of this add's thumbnails, whatever the settings say while it runs.
    m_thumbBox = QSize(glngPagesThumbWidth, glngPagesThumbHeight);
    m_feed = new decode::DecodeFeed(this);
    connect(m_feed, &decode::DecodeFeed::decoded, this, &BasketAdding::onDecoded);

    QSet<QString> seen;
    for (AddSource& source : sources) {
        if (m_basket.hasSource(source.path) || seen.contains(source.path)) continue;
        seen.insert(source.path);
        m_items.push_back({std::move(source)});
    }
    for (int i = 0; i < int(m_items.size()); ++i) {
        const AddSource& s = m_items[size_t(i)].source;
        // Nothing to read gives no picture, as the loader says of it; no decoder is woken for it.
        const bool isFile = QFileInfo(s.path).isFile();
        if (s.countPages && isFile)
            ask(i, Asked::Count);
        else if (s.pageCount < 2 && (s.thumbnail.isNull() || s.askSize) && isFile)
            ask(i, Asked::Thumbnail);
    }
    advance();
}

void BasketAdding::ask(int item, Asked asked)
{
    const AddSource& s = m_items[size_t(item)].source;
    decode::DecodeRequest request;
    if (asked == Asked::Count) {
        request.kind = static_cast<uint32_t>(decode::DecodeKind::PageCount);
        request.path = s.path;
    } else {
        request = loadPicRequest(s.path, kSizeModeBox, m_thumbBox.width(), m_thumbBox.height(), kThumbBackColor);
    }
    m_asked[m_feed->submit(request)] = {item, asked};
    m_items[size_t(item)].stage = Stage::Reading;
}

void BasketAdding::onDecoded(int index, const decode::DecodeResult& result)
{
    const auto found = m_asked.find(index);
    if (found == m_asked.end()) return;
    const Request request = found->second;
    m_asked.erase(found);
    Item& item = m_items[size_t(request.item)];
    AddSource& s = item.source;
    if (request.asked == Asked::Count) {
        const int count = result.answered() ? std::max(result.pageCount, 0) : 0;
        if (count >= 2) {
            s.pageCount = count;
            item.stage = Stage::Ready;
        } else {
            ask(request.item, Asked::Thumbnail);
        }
    } else {
        int32_t width = 0, height = 0;
        const QImage picture = loadPicAnswer(result, width, height);
        if (s.thumbnail.isNull()) s.thumbnail = picture;
        if (s.page.resolution.trimmed().isEmpty() && width > 0 && height > 0)
            s.page.resolution = fncResolutionText(width, height);
        item.stage = Stage::Ready;
    }
    advance();
}

void BasketAdding::addSinglePage(Item& item)
{
    AddSource& s = item.source;
    if (s.thumbnail.isNull()) {
        m_failed << fncFailedEntry(s.failName);
        emit sourceDone(m_head, -1);
        return;
    }
    const int row = fncAddBasketPage(m_basket, m_images, s.page, s.thumbnail);
    emit sourceDone(m_head, row);
}

void BasketAdding::advance()
{
    const QPointer<BasketAdding> alive(this);
    while (!m_ended && m_head < int(m_items.size())) {
        Item& item = m_items[size_t(m_head)];
        if (item.stage != Stage::Ready) return;
        if (!item.announced) {
            item.announced = true;
            emit sourceStarted(m_head);
            if (!alive || m_ended) return;
        }
        if (item.source.pageCount >= 2) {
            item.stage = Stage::Splitting;
            m_lastRow = -1;
            m_splitter = new PageSplitter(
                item.source, m_thumbBox, [this](const SplitPage& page) { onSplitPage(page); },
                [this] { onSplitEnded(); }, this);
            emit pageStarting(m_head, 1, item.source.pageCount);
            return;
        }
        addSinglePage(item);
        if (!alive || m_ended) return;
        ++m_head;
    }
    if (m_ended) return;
    m_ended = true;
    emit finished(m_failed);
}

void BasketAdding::onSplitPage(const SplitPage& page)
{
    const AddSource& s = m_items[size_t(m_head)].source;
    if (page.file.isEmpty()) {
        m_failed << fncFailedEntry(s.naming.failName, page.page);
    } else {
        PageRecord record;
        record.text = fncSplitPageText(s.naming, page.page);
        record.tag = page.file;
        record.page = page.page;
        record.resolution = page.resolution;
        record.sizeText = page.sizeText;
        record.typeText = page.typeText;
        record.source = s.path;
        m_lastRow = fncAddBasketPage(m_basket, m_images, std::move(record), page.thumbnail);
    }
    const int head = m_head, count = s.pageCount;
    const QPointer<BasketAdding> alive(this);
    emit pageDone(head, page.page, count);
    if (alive && !m_ended && page.page < count) emit pageStarting(head, page.page + 1, count);
}

void BasketAdding::onSplitEnded()
{
    if (m_splitter) m_splitter->deleteLater();
    m_splitter = nullptr;
    const QPointer<BasketAdding> alive(this);
    emit sourceDone(m_head, m_lastRow);
    if (!alive || m_ended) return;
    ++m_head;
    advance();
}

void BasketAdding::cancel()
{
    if (m_ended) return;
    m_ended = true;
    if (m_feed) m_feed->cancel();
    if (m_splitter) {
        // Its thread may still be writing a page: the splitter outlives this add and removes
        // that page's file itself.
        m_splitter->setParent(parent());
        m_splitter->abandon();
        m_splitter = nullptr;
    }
}

} // namespace tf::basket
