#include "frame/LatestWork.h"

#include <QApplication>

namespace tf {

LatestWork::LatestWork(QObject* parent) : QObject(parent) {}

LatestWork::~LatestWork()
{
    cancel();
    if (m_running > 0) QApplication::restoreOverrideCursor();
}

void LatestWork::cancel()
{
    if (m_flag) *m_flag = true;
    m_flag.reset();
    m_pending = false;
}

bool LatestWork::takeIfLatest(uint64_t id)
{
    if (id != m_latest || !m_pending) return false;
    m_pending = false;
    m_flag.reset();
    return true;
}

void LatestWork::workStarted()
{
    if (m_running++ == 0) QApplication::setOverrideCursor(Qt::BusyCursor);
}

void LatestWork::workEnded()
{
    if (--m_running > 0) return;
    QApplication::restoreOverrideCursor();
    emit idle();
}

} // namespace tf
