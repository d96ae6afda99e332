#pragma once
// Decoder answers as events of the thread that owns the feed, usually the window's: nothing waits
// for a decoder. A socket notifier watches the batch's descriptor, so an answer costs the event
// loop one wake-up and an idle feed costs nothing.
//
//   auto* feed = new DecodeFeed(this);
//   connect(feed, &DecodeFeed::decoded, this, [](int index, const DecodeResult& r) { ... });
//   feed->submit(request);
#include "platform/decode/decoder_client.h"

#include <QObject>
#include <map>
#include <memory>

class QSocketNotifier;

namespace tf::decode {

class DecodeFeed : public QObject {
    Q_OBJECT
public:
    explicit DecodeFeed(QObject* parent = nullptr); // on DecoderPool::shared()
    explicit DecodeFeed(DecoderPool& pool, QObject* parent = nullptr);
    ~DecodeFeed() override;

    // Answers come in submission order when set (pages read ahead and written in order), else as
    // they finish (thumbnails). Set before the first submit.
    void setInOrder(bool inOrder) { m_inOrder = inOrder; }

    // Queues a request; its index counts from 0 in submission order, across cancels.
    int submit(const DecodeRequest& request);
    // Drops what is waiting and stops the running decodes; no answer of theirs is delivered.
    void cancel();
    // Submitted, not cancelled, and not yet delivered.
    int pending() const;

signals:
    void decoded(int index, const tf::decode::DecodeResult& result);
    // Every request submitted so far has been delivered (or cancelled).
    void idle();

private:
    void drain();

    DecodeBatch m_batch;
    QSocketNotifier* m_notifier = nullptr;
    bool m_inOrder = false;
    int m_submitted = 0;
    uint64_t m_cancels = 0;
    int m_nextOut = 0; // in order: the index delivered next
    std::map<int, DecodeResult> m_early; // in order: answers that came before an earlier one
};

} // namespace tf::decode
