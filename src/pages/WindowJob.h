#pragma once
// How the window runs a page job: save, append, batch conversion, printing, building a show,
// capture and scanning all start here.
#include "pages/PagePipeline.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace tf {

class LongCommand;

// One page job started from the window. It is a long command for its whole length: while it runs
// no other command starts, its window's Cancel and a close of the main window stop it, and that
// close waits for its end. Where the command has a progress window, the window is painted before
// the work starts and shows the pipeline's progress. The pages go through a PagePipeline on its
// worker; the end reaches the caller on the GUI thread.
//
//   m_job = std::make_unique<WindowJob>(QStringLiteral("Saving a MultiPage file"));
//   if (!*m_job) return;                 // another long command runs: refused
//   m_job->showStatus(m_owner);          // not for a job that shows no window
//   m_job->start(std::move(source), std::move(sink), settings, [this](const PipelineResult& r) {
//       ...tell the user...;
//       m_job.reset();                   // the job may be let go of here
//   });
class WindowJob : public QObject {
    Q_OBJECT
public:
    // What the caller hears at the end, on the GUI thread, with the progress window already
    // hidden and the long command still held: what it tells the user comes before a close of the
    // main window that waits for the command goes on. The command ends once it returns; the job
    // may be destroyed inside it.
    using Ended = std::function<void(const PipelineResult& result)>;

    // Takes the long command `operation`; refused (false) while another long command runs.
    explicit WindowJob(const QString& operation, QObject* parent = nullptr);
    // A job still running is cancelled, and its worker waited for, before the command ends.
    ~WindowJob() override;
    WindowJob(const WindowJob&) = delete;
    WindowJob& operator=(const WindowJob&) = delete;

    explicit operator bool() const;

    // The progress window, window-modal over `owner` so that what the job works on cannot change
    // under it; before start.
    void showStatus(QWidget* owner);
    // Texts and the bar of the progress window (nothing without one).
    void setCaption(const QString& text);
    void setActivity(const QString& text);
    void setProgressVisible(bool shown);

    // Starts the pages through the pipeline: once the progress window has been painted, at once
    // without one. Once only; false when the job was refused.
    bool start(std::unique_ptr<PageSource> source, std::unique_ptr<PageSink> sink, PipelineSettings settings,
               Ended ended);
    // From the window: the job stops before its next page, as with its Cancel button: a job whose
    // sink finishes the page under way keeps the pages up to the one its window shows, and none
    // after it. Before start, the job stops before its first page.
    void cancel();
    // Started and not yet ended.
    bool running() const { return m_pipeline != nullptr && m_ended != nullptr; }

signals:
    // On the GUI thread, once the progress window shows it: page `done` + 1 of `total` is under
    // way (`total` is PageSource::kUnknownCount for a source that does not know), named `item`.
    void progress(int done, int total, const QString& item);

private:
    void pipelineFinished();

    std::unique_ptr<LongCommand> m_command;
    std::unique_ptr<PagePipeline> m_pipeline;
    Ended m_ended;
    bool m_cancelled = false;
    int m_shown = -1; // the page the progress window shows under way (progress's `done`)
};

} // namespace tf
