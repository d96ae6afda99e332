#include "platform/decode/decode_feed.h"

#include <QPointer>
#include <QSocketNotifier>
#include <chrono>

namespace tf::decode {

DecodeFeed::DecodeFeed(QObject* parent) : DecodeFeed(DecoderPool::shared(), parent) {}

DecodeFeed::DecodeFeed(DecoderPool& pool, QObject* parent) : QObject(parent), m_batch(pool)
{
    m_notifier = new QSocketNotifier(m_batch.notifyFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DecodeFeed::drain);
}

DecodeFeed::~DecodeFeed() = default;

int DecodeFeed::submit(const DecodeRequest& request)
{
    ++m_submitted;
    return m_batch.submit(request);
}

void DecodeFeed::cancel()
{
    m_batch.cancel();
    ++m_cancels;
    m_early.clear();
    m_nextOut = m_submitted;
}

int DecodeFeed::pending() const { return m_batch.pending() + static_cast<int>(m_early.size()); }

void DecodeFeed::drain()
{
    // Everything that has arrived is taken before any slot runs: a slot may cancel, submit more
    // or delete the feed, and the descriptor must not stay readable for answers held back here.
    std::vector<DecodeBatch::Finished> arrived;
    while (std::optional<DecodeBatch::Finished> f = m_batch.next(std::chrono::milliseconds(0)))
        arrived.push_back(std::move(*f));
    if (arrived.empty()) return;

    std::vector<DecodeBatch::Finished> out;
    if (m_inOrder) {
        for (DecodeBatch::Finished& f : arrived) m_early.emplace(f.index, std::move(f.result));
        for (auto it = m_early.find(m_nextOut); it != m_early.end(); it = m_early.find(m_nextOut)) {
            out.push_back({it->first, std::move(it->second)});
            m_early.erase(it);
            ++m_nextOut;
        }
    } else {
        out = std::move(arrived);
    }

    const QPointer<DecodeFeed> alive(this);
    // A cancel from a slot drops the answers of this round that were not yet delivered.
    const uint64_t cancels = m_cancels;
    for (DecodeBatch::Finished& f : out) {
        emit decoded(f.index, f.result);
        if (!alive || cancels != m_cancels) return;
    }
    if (pending() == 0) emit idle();
}

} // namespace tf::decode
