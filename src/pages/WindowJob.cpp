#include "pages/WindowJob.h"

#include "frame/LongCommand.h"
#include "frame/frmStatus.h"

#include <QPointer>

namespace tf {

WindowJob::WindowJob(const QString& operation, QObject* parent)
    : QObject(parent), m_command(std::make_unique<LongCommand>(operation))
{
}

WindowJob::~WindowJob()
{
    // The worker first: the command, and a close of the main window waiting for it, end after it.
    m_pipeline.reset();
    m_command.reset();
}

WindowJob::operator bool() const { return m_command && m_command->started(); }

void WindowJob::showStatus(QWidget* owner)
{
    if (*this) m_command->showStatus(owner, true);
}

void WindowJob::setCaption(const QString& text)
{
    if (frmStatus* status = m_command ? m_command->status() : nullptr) status->setCaption(text);
}

void WindowJob::setActivity(const QString& text)
{
    if (frmStatus* status = m_command ? m_command->status() : nullptr) status->setActivity(text);
}

void WindowJob::setProgressVisible(bool shown)
{
    if (frmStatus* status = m_command ? m_command->status() : nullptr) status->setProgressVisible(shown);
}

bool WindowJob::start(std::unique_ptr<PageSource> source, std::unique_ptr<PageSink> sink, PipelineSettings settings,
                      Ended ended)
{
    if (!*this || m_pipeline) return false;
    m_pipeline = std::make_unique<PagePipeline>(std::move(source), std::move(sink), std::move(settings));
    m_ended = ended ? std::move(ended) : [](const PipelineResult&) {};
    // Both queued to this object: nothing of a job that is gone is reached.
    connect(m_pipeline.get(), &PagePipeline::progress, this, [this](int done, int total, const QString& item) {
        if (m_command) m_command->showProgress(done, total, item);
        m_shown = done;
        if (m_pipeline) m_pipeline->pageShown(done);
        emit progress(done, total, item);
    }, Qt::QueuedConnection);
    connect(m_pipeline.get(), &PagePipeline::finished, this, &WindowJob::pipelineFinished, Qt::QueuedConnection);
    PagePipeline* pipeline = m_pipeline.get();
    // What a Cancel keeps is what this window showed: nothing is kept in place before it did.
    pipeline->pageShown(-1);
    // The Cancel means the page the user saw under way, however far the worker has gone since.
    m_command->setCancelHandler([this, pipeline] { pipeline->cancelAfter(m_shown); });
    if (m_cancelled) pipeline->cancelAfter(m_shown);
    m_command->whenShown([pipeline] { pipeline->start(); });
    return true;
}

void WindowJob::cancel()
{
    m_cancelled = true;
    if (m_pipeline) m_pipeline->cancelAfter(m_shown);
}

void WindowJob::pipelineFinished()
{
    if (!m_ended) return;
    if (frmStatus* status = m_command->status()) status->hide();
    // A copy: the caller may let go of the job, and with it the pipeline, while it is told.
    const PipelineResult result = m_pipeline->result();
    const Ended ended = std::exchange(m_ended, {});
    const QPointer<WindowJob> alive(this);
    ended(result);
    if (alive) m_command.reset();
}

} // namespace tf
