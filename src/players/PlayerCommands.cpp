#include "players/PlayerCommands.h"

#include "basket/BasketPageSource.h"
#include "frame/TaskReplay.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "pages/WindowJob.h"
#include "platform/sys/safefile.h"
#include "platform/ui/msgbox.h"
#include "players/PlayerBuild.h"
#include "players/frmExecutable.h"
#include "players/frmScreenSaverOptions.h"
#include "services/modCommonDialog.h"

#include <QFileInfo>

#include <algorithm>

namespace tf {

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
            typCommonDialog dialog;
            dialog.hwndOwner = m_owner;
            dialog.strDialogTitle = saver ? QStringLiteral("Save ScreenSaver As...") : QStringLiteral("Save Slide As...");
            dialog.strFilter = saver ? QStringLiteral("Screen Savers (*.scr) | *.scr|All Files (*.*) | *.*")
                                     : QStringLiteral("Slide (*.exe) | *.exe|All Files (*.*) | *.*");
            dialog.lngFlags = 5;
            dialog.blnConfirmOverwrite = false;
            const QString chosen = fncShowSave(dialog).strFileName;
            if (chosen.isEmpty()) return false;
            name = fncWithExtension(chosen, extension);
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
    auto job = std::make_unique<WindowJob>(QStringLiteral("Loading Template..."));
    if (!*job) return false;
    // As the source hands them out, for the status texts.
    std::vector<PageSource::Page> pages;
    for (int i = 0; i < source->count(); ++i) pages.push_back(source->page(i));
    // The bar shows once the pages are under way.
    job->showStatus(m_owner);
    job->setCaption(QStringLiteral("Loading Template..."));
    job->setProgressVisible(false);
    WindowJob* running = job.get();
    sink->setWhenFinishing([running] {
        // From the worker; dropped when the job is gone.
        QMetaObject::invokeMethod(running, [running] {
            running->setCaption(QStringLiteral("Saving Options..."));
            running->setProgressVisible(false);
        }, Qt::QueuedConnection);
    });
    connect(running, &WindowJob::progress, running, [running, pages](int done, int, const QString&) {
        if (done < 0 || done >= static_cast<int>(pages.size())) return;
        const PageSource::Page& page = pages[static_cast<size_t>(done)];
        gstrCurrentOperation = QStringLiteral("Current file - '") + page.path + QLatin1Char('\'');
        running->setProgressVisible(true);
        running->setActivity(page.name);
    });
    PipelineSettings settings;
    // The worker replays its own copy of the task list (the window's list may change meanwhile),
    // up to the row the preview stops at, so that a show's pages look as the preview does.
    if (replay && m_replayer.hasTasks()) settings.tasks = m_replayer.frozenAsPreviewed();
    m_job = std::move(job);
    return m_job->start(std::move(source), std::move(sink), std::move(settings),
                        [this, nothingWritten = std::move(nothingWritten)](const PipelineResult& r) {
                            buildEnded(r, nothingWritten);
                        });
}

void PlayerCommands::buildEnded(const PipelineResult& r, const QString& nothingWritten)
{
    if (const QString cause = writeFailureCause(r.failure); !cause.isEmpty())
        MsgBox(cause + QStringLiteral("\nThe show could not be written."), vbCritical);
    else if (!r.failure.isEmpty())
        MsgBox(QStringLiteral("The show could not be written.\n") + r.failure, vbCritical);
    else if (!r.committed && !r.cancelled) // a Cancel before any page was taken leaves nothing to say
        MsgBox(nothingWritten, vbExclamation);
    const bool written = r.committed;
    m_job.reset();
    emit buildFinished(written);
}

} // namespace tf
