#include "players/PlayerCommands.h"

#include "basket/BasketPageSource.h"
#include "frame/LongCommand.h"
#include "frame/TaskReplay.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/sys/safefile.h"
#include "platform/ui/msgbox.h"
#include "players/PlayerBuild.h"
#include "players/frmExecutable.h"
#include "players/frmScreenSaverOptions.h"
#include "services/modCommonDialog.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace tf {

struct PlayerCommands::Job {
    std::unique_ptr<LongCommand> command;
    std::unique_ptr<PagePipeline> pipeline;
    QString nothingWritten;
    std::vector<PageSource::Page> pages; // as the source hands them out, for the status texts
};

PlayerCommands::PlayerCommands(std::function<std::vector<basket::PageRecord>()> basketPages, TaskReplayer& replayer,
                               std::function<QString()> previewFile, QWidget* owner, QObject* parent)
    : QObject(parent), m_basketPages(std::move(basketPages)), m_replayer(replayer), m_previewFile(std::move(previewFile)), m_owner(owner)
{
}

PlayerCommands::~PlayerCommands() = default;

void PlayerCommands::showExecutableOptions()
{
    auto* dialog = new frmExecutable(*this, m_owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void PlayerCommands::mnuScreenSaver()
{
    if (m_basketPages().empty()) return;
    auto* dialog = new frmScreenSaverOptions(*this, m_owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

bool PlayerCommands::MkSaver(uint8_t kind)
{
    try {
        const bool saver = kind == 0;
        const QString extension = saver ? QStringLiteral(".scr") : QStringLiteral(".exe");
        QString name;
        // No to the overwrite question asks for another name.
        for (;;) {
            gudtCommonDialog = typCommonDialog{};
            gudtCommonDialog.hwndOwner = m_owner;
            gudtCommonDialog.strDialogTitle = saver ? QStringLiteral("Save ScreenSaver As...") : QStringLiteral("Save Slide As...");
            gudtCommonDialog.strFilter = saver ? QStringLiteral("Screen Savers (*.scr) | *.scr|All Files (*.*) | *.*")
                                               : QStringLiteral("Slide (*.exe) | *.exe|All Files (*.*) | *.*");
            gudtCommonDialog.lngFlags = 5;
            gudtCommonDialog.blnConfirmOverwrite = false;
            fncShowSave();
            if (gudtCommonDialog.strFileName.isEmpty()) return false;
            name = fncWithExtension(gudtCommonDialog.strFileName, extension);
            if (!QFileInfo::exists(name)) break;
            if (MsgBox(QStringLiteral("This File ('") + name +
                           QStringLiteral("') Already Exists!\r\nWould You Like To Overwrite It?"),
                       vbYesNo | vbQuestion) == vbYes)
                break;
        }
        const int quality = std::clamp<int>(gudtSettings.Saver.JpegQuality, 1, 100);
        auto sink = std::make_unique<PlayerPackageSink>(name, fncPlayerProgram(saver ? QStringLiteral("SAVER") : QStringLiteral("SLIDE")),
                                                        players::packSaverOptions(m_saver), quality);
        return startBuild(std::make_unique<BasketPageSource>(m_basketPages()), std::move(sink),
                          gudtSettings.Saver.ProcessTaskList == 1,
                          QStringLiteral("No page of the basket could be read; no show was written."));
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("modScreensaver.MkSaver"));
        return false;
    }
}

bool PlayerCommands::subMakeEffectExe(int16_t style, const QString& path, const QString& pageFile,
                                      bool askBeforeReplacing)
{
    try {
        const int index = std::clamp<int>(style, 0, 3);
        if (askBeforeReplacing && QFileInfo::exists(path) &&
            MsgBox(QStringLiteral("This File ('") + path + QStringLiteral("') Already Exists!\r\nWould You Like To Replace It?"),
                   vbYesNo | vbQuestion) != vbYes)
            return false;
        auto sink = std::make_unique<PlayerPackageSink>(
            path, fncPlayerProgram(QString::fromLatin1(kEffectStyles[index].resource)), players::packEffectOptions(m_effect),
            60, QStringLiteral("Single"));
        return startBuild(std::make_unique<SinglePageSource>(pageFile, QStringLiteral("Single")), std::move(sink), true,
                          QStringLiteral("The image could not be loaded"));
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("modEffectsExe.subMakeEffectExe"));
        return false;
    }
}

bool PlayerCommands::startBuild(std::unique_ptr<PageSource> source, std::unique_ptr<PlayerPackageSink> sink,
                                bool replay, QString nothingWritten)
{
    if (m_job) return false;
    auto job = std::make_unique<Job>();
    job->command = std::make_unique<LongCommand>(QStringLiteral("Loading Template..."));
    if (!*job->command) return false;
    job->nothingWritten = std::move(nothingWritten);
    for (int i = 0; i < source->count(); ++i) job->pages.push_back(source->page(i));
    // The bar shows once the pages are under way.
    if (frmStatus* status = job->command->showStatus(m_owner, true)) {
        status->lblStatus->setText(QStringLiteral("Loading Template..."));
        status->pbQueue->hide();
    }
    sink->setWhenFinishing([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                frmStatus* status = m_job ? m_job->command->status() : nullptr;
                if (!status) return;
                status->lblStatus->setText(QStringLiteral("Saving Options..."));
                status->pbQueue->hide();
            },
            Qt::QueuedConnection);
    });
    PipelineSettings settings;
    // The worker replays its own copy of the task list (the window's list may change meanwhile),
    // up to the row the preview stops at, so that a show's pages look as the preview does.
    if (replay && m_replayer.hasTasks()) settings.tasks = m_replayer.frozenAsPreviewed();
    job->pipeline = std::make_unique<PagePipeline>(std::move(source), std::move(sink), std::move(settings));
    Job& running = *job;
    m_job = std::move(job);
    runForWindow(*running.command, *running.pipeline, this, [this] { buildEnded(); }, [this](int done, int, const QString&) {
        if (!m_job) return;
        if (done < 0 || done >= static_cast<int>(m_job->pages.size())) return;
        const PageSource::Page& page = m_job->pages[static_cast<size_t>(done)];
        gstrCurrentOperation = QStringLiteral("Current file - '") + page.path + QLatin1Char('\'');
        if (frmStatus* status = m_job->command->status()) {
            status->pbQueue->show();
            status->lblMessage->setText(page.name);
        }
    });
    return true;
}

void PlayerCommands::buildEnded()
{
    std::unique_ptr<Job> job = std::move(m_job);
    if (!job) return;
    if (frmStatus* status = job->command->status()) status->hide();
    const PipelineResult& r = job->pipeline->result();
    if (const QString cause = writeFailureCause(r.failure); !cause.isEmpty())
        MsgBox(cause + QStringLiteral("\nThe show could not be written."), vbCritical);
    else if (!r.failure.isEmpty())
        MsgBox(QStringLiteral("The show could not be written.\n") + r.failure, vbCritical);
    else if (!r.committed && !r.cancelled) // a Cancel before any page was taken leaves nothing to say
        MsgBox(job->nothingWritten, vbExclamation);
    const bool written = r.committed;
    job.reset();
    emit buildFinished(written);
}

} // namespace tf
