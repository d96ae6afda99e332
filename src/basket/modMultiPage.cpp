#include "basket/modMultiPage.h"

#include "basket/BasketPageSource.h"
#include "basket/frmDialogExtension.h"
#include "basket/modDialogBox.h"
#include "pages/PagePipeline.h"
#include "pages/WindowJob.h"
#include "basket/PageSinks.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/TaskReplay.h"
#include "frame/modSettings.h"
#include "platform/sys/userdirs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"
#include "platform/ui/msgbox.h"
#include "services/modFileSystem.h"
#include "version_info.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// The product's title, as the "Software" of appended TIFF pages and the title of the writers' messages.
QString gstrSoftware() { return QString::fromUtf8(tf::version::kTitle); }

const QString kSaveError =
    QStringLiteral("Error while saving to the selected file format!\n"
                   "Either the file structure/format is not supported, or some source file is corrupt.\n"
                   "Please try with another file");
const QString kAppendError =
    QStringLiteral("Error while appending to the selected file!\n"
                   "Either the file structure/format is not supported, or the file itself is corrupt.\n"
                   "Please try with another file");
const QString kNothingSaved = QStringLiteral("No page was written, so no file was saved.");
const QString kNothingAppended = QStringLiteral("No page was appended, so the file was left as it was.");
const QString kPagesLeftOut = QStringLiteral("These pages could not be read and were left out:");

QString lowerExtension(const QString& path) { return fncGetExtension(path).toLower(); }

enum class DocumentKind { Unknown, Tiff, Pdf };
DocumentKind kindOf(const QString& path)
{
    const QString ext = lowerExtension(path);
    if (ext == QLatin1String("tif") || ext == QLatin1String("tiff")) return DocumentKind::Tiff;
    if (ext == QLatin1String("pdf")) return DocumentKind::Pdf;
    return DocumentKind::Unknown;
}

const QString kTasksFailed = QStringLiteral("The task list could not be applied to every page; those pages were "
                                            "written with the tasks before the one that failed:");

void tellLeftOut(const QStringList& names)
{
    if (names.isEmpty()) return;
    MsgBox(kPagesLeftOut + QLatin1Char('\n') + names.join(QLatin1Char('\n')), vbExclamation, gstrSoftware());
}

// Nothing was written: why, and which pages could not be read when that was the reason.
void tellNothingWritten(const QString& what, const QStringList& leftOut)
{
    QString text = what;
    if (!leftOut.isEmpty())
        text += QStringLiteral("\n\n") + kPagesLeftOut + QLatin1Char('\n') + leftOut.join(QLatin1Char('\n'));
    MsgBox(text, vbExclamation, gstrSoftware());
}

// The failure message of the writers. A cause outside the documents (a full disk, a folder or
// file that cannot be written, the 4 GiB limit) comes first, followed by what failed, without the
// guess that a file is corrupt; a cause in the document follows the message on a line of its own.
void tellFailure(const QString& message, const QString& detail, const QString& document, const QString& written)
{
    if (const QString cause = tf::fncEnvironmentReason(detail, written); !cause.isEmpty()) {
        // The program's data folder, where the work is written down before it is done, is not
        // where the user saves: named, so that the full or read-only disk can be found.
        const QString where = detail.contains(tf::userDataDir()) ? QLatin1Char('\n') + detail : QString();
        MsgBox(cause + QLatin1Char('\n') + message.section(QLatin1Char('\n'), 0, 0) + where, vbCritical, gstrSoftware());
        return;
    }
    const QString reason = tf::fncFailureReason(detail, document, written);
    MsgBox(reason.isEmpty() ? message : message + QLatin1Char('\n') + reason, vbCritical, gstrSoftware());
}

} // namespace

namespace tf {
// One output as the commands start it: the sink, and what its messages name.
struct OutputPlan {
    enum Kind { Save, Append };
    std::unique_ptr<PageSink> sink;
    Kind output = Save;
    QString document; // appended to; empty for a new document
    QString written;  // the file written
};
} // namespace tf

namespace {
using tf::OutputPlan;

OutputPlan planSave(const QString& strFileName, const tf::PageWriteOptions& options)
{
    OutputPlan plan;
    plan.written = strFileName;
    if (options.format != 0)
        plan.sink = std::make_unique<tf::NewPdfSink>(strFileName);
    else
        plan.sink = std::make_unique<tf::NewTiffSink>(strFileName);
    return plan;
}

// Nothing when the append is refused before any work; the refusal has then been told.
std::optional<OutputPlan> planAppend(const QString& strFileName, const tf::PageWriteOptions& options)
{
    OutputPlan plan;
    plan.output = OutputPlan::Append;
    plan.document = strFileName;
    plan.written = strFileName;
    const DocumentKind kind = kindOf(strFileName);
    if (kind == DocumentKind::Unknown) {
        tellFailure(kAppendError, QStringLiteral("Not a TIFF or PDF document"), strFileName, strFileName);
        return std::nullopt;
    }
    if (options.appendMode > 1) {
        MsgBox(kNothingAppended, vbExclamation, gstrSoftware());
        return std::nullopt;
    }
    const QString target = options.outputMode == 1 ? tf::fncNewFileNameFor(strFileName) : strFileName;
    if (target.isEmpty()) {
        tellFailure(kAppendError, QStringLiteral("No free name for a new file"), strFileName, strFileName);
        return std::nullopt;
    }
    plan.written = target;
    const tf::AppendAt at = options.appendMode == 0 ? tf::AppendAt::Beginning : tf::AppendAt::End;
    if (kind == DocumentKind::Tiff)
        plan.sink = std::make_unique<tf::TiffAppendSink>(strFileName, target, at, gstrSoftware());
    else
        plan.sink = std::make_unique<tf::PdfAppendSink>(strFileName, target, at);
    return plan;
}

tf::PipelineSettings settingsOf(const tf::PageWriteOptions& options)
{
    tf::PipelineSettings settings;
    settings.colorFormat = options.colorFormat;
    settings.tiffCompression = options.tiffCompression;
    // The rows as they are now: the list may change while the pages are written.
    if (options.processTaskList == 1 && options.replayer->hasTasks()) settings.tasks = options.replayer->frozen();
    return settings;
}

// What the user hears at the end of an output (on the GUI thread, from the result): true when
// the output was written.
bool tellOutcome(const tf::PipelineResult& r, const OutputPlan& plan)
{
    const bool save = plan.output == OutputPlan::Save;
    if (!r.failure.isEmpty()) {
        tellFailure(save ? kSaveError : kAppendError, r.failure, plan.document, plan.written);
        return false;
    }
    // A Cancel that dropped a new document over an existing file: the user asked for it.
    if (r.dropped) return false;
    if (!r.committed) {
        tellNothingWritten(save ? kNothingSaved : kNothingAppended, r.leftOut);
        return false;
    }
    if (r.tasksFailed) MsgBox(kTasksFailed + QLatin1Char('\n') + r.taskFailure, vbExclamation, gstrSoftware());
    tellLeftOut(r.leftOut);
    return true;
}

} // namespace

namespace tf {

QString fncEnvironmentReason(const QString& detail, const QString& written)
{
    auto mentions = [&](int err) { return detail.contains(QString::fromLocal8Bit(std::strerror(err))); };
    if (QString cause = writeFailureCause(detail); !cause.isEmpty()) return cause;
    if (mentions(EACCES) || mentions(EPERM) || mentions(EROFS)) {
        const QFileInfo target(written);
        if (target.exists() && !(target.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)))
            return QStringLiteral("You do not have permission to write to ") + target.absoluteFilePath() +
                   QLatin1Char('.');
        return QStringLiteral("You do not have permission to write in ") + target.absolutePath() + QLatin1Char('.');
    }
    if (detail == tiffTooLargeMessage()) return detail;
    return {};
}

QString fncFailureReason(const QString& detail, const QString& document, const QString& written)
{
    if (QString reason = fncEnvironmentReason(detail, written); !reason.isEmpty()) return reason;
    if (document.isEmpty() || !QFileInfo(document).isFile()) return {};
    const DocumentKind kind = kindOf(document);
    QFile file(document);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(1024) : QByteArray();
    if (kind == DocumentKind::Pdf) {
        if (!head.contains("%PDF-")) return QStringLiteral("The file is not a PDF document.");
        if (pdfNeedsPassword(document)) return QStringLiteral("The PDF is protected by a password.");
    } else if (kind == DocumentKind::Tiff) {
        if (!head.startsWith("II") && !head.startsWith("MM")) return QStringLiteral("The file is not a TIFF document.");
        if (tiffPageCount(document) == 0) return QStringLiteral("The file's page directory is damaged.");
    }
    return {};
}

QString fncNewFileNameFor(const QString& chosen)
{
    const QString base = fncRemoveExtension(chosen);
    const QString ext = fncGetExtension(chosen).toLower();
    const QString tail = ext.isEmpty() ? QString() : QLatin1Char('.') + ext;
    QString name = base + QStringLiteral("_new") + tail;
    for (int attempt = 0; attempt < 100000 && QFileInfo::exists(name); ++attempt)
        name = base + QLatin1Char('_') + QString::number(QRandomGenerator::global()->bounded(9999)) + tail;
    return QFileInfo::exists(name) ? QString() : name;
}

QString fncMultiPageFilter(int32_t Filter)
{
    switch (Filter) {
    case 0:
        return QStringLiteral("Tag Image format (*.tif;*.tiff)|*.tif;*.tiff");
    case 1:
        return QStringLiteral("Portable document (*.pdf)|*.pdf");
    default:
        return QStringLiteral("All multipage formats (*.tif;*.tiff;*.pdf)|*.tif;*.tiff;*.pdf|"
                              "Tag Image format (*.tif;*.tiff)|*.tif;*.tiff|Portable document (*.pdf)|*.pdf");
    }
}

} // namespace tf


namespace tf {

MultiPageCommands::MultiPageCommands(const basket::BasketModel& pages, ImageDocument& ibTemp, TaskReplayer& replayer,
                                     QWidget* owner, QObject* parent)
    : QObject(parent), m_pages(pages), m_ibTemp(ibTemp), m_replayer(replayer), m_owner(owner)
{
    m_mnuSaveAsParent = new QMenu(QStringLiteral("SaveAs"));
    m_mnuSaveAsParent->setObjectName(QStringLiteral("mnuSaveAsParent"));
    const char* captions[] = {"Single Page files (batch mode)", "Multi-page file ", "Screensaver/Slide"};
    for (int i = 0; i < 3; ++i) {
        QAction* action = m_mnuSaveAsParent->addAction(QString::fromLatin1(captions[i]));
        action->setObjectName(QStringLiteral("mnuSaveAs_%1").arg(i));
        action->setData(i);
    }
    connect(mnuSaveAs(0), &QAction::triggered, this, &MultiPageCommands::batchConversionRequested);
    connect(mnuSaveAs(1), &QAction::triggered, this, &MultiPageCommands::subSaveAsMultiPage);
    connect(mnuSaveAs(2), &QAction::triggered, this, &MultiPageCommands::slideShowRequested);
}

MultiPageCommands::~MultiPageCommands()
{
    // A job still running is cancelled, and its worker waited for, before the menu goes.
    m_job.reset();
    delete m_mnuSaveAsParent;
}

PageWriteOptions MultiPageCommands::savedOptions() const
{
    const auto& o = gudtSettings.SaveDialog;
    PageWriteOptions options(m_replayer);
    options.tiffCompression = o.TiffCompression;
    options.colorFormat = o.ColorFormat;
    options.appendMode = o.AppendMode;
    options.outputMode = o.OutputMode;
    options.processTaskList = o.ProcessTaskList;
    return options;
}
void MultiPageCommands::setSaveAsButton(QAbstractButton* cmdSaveAs) { m_cmdSaveAs = cmdSaveAs; }

QAction* MultiPageCommands::mnuSaveAs(int index) const
{
    const QList<QAction*> actions = m_mnuSaveAsParent->actions();
    return index >= 0 && index < actions.size() ? actions[index] : nullptr;
}

void MultiPageCommands::cmdSaveAs_Click()
{
    // Under the button's lower left corner; the entries run their commands when chosen.
    const QPoint at = m_cmdSaveAs ? m_cmdSaveAs->mapToGlobal(m_cmdSaveAs->rect().bottomLeft()) : QCursor::pos();
    m_mnuSaveAsParent->popup(at);
}

void MultiPageCommands::subSaveAsMultiPage()
{
    try {
        gstrCurrentOperation = QStringLiteral("Saving a MultiPage file");
        if (m_pages.isEmpty()) return;
        int32_t Filter = 2;
        fncSaveToFileDialog(Filter);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("MultiPageCommands.subSaveAsMultiPage"));
    }
}

void MultiPageCommands::cmdsaveAppend_Click()
{
    try {
        gstrCurrentOperation = QStringLiteral("Saving a file in Append mode");
        if (m_pages.isEmpty()) return;
        int32_t Filter = 2;
        fncAppendToFileDialog(Filter);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("MultiPageCommands.cmdsaveAppend_Click"));
    }
}

bool MultiPageCommands::startOutput(const QString& title, OutputPlan& plan, const PageWriteOptions& options)
{
    if (m_job) return false;
    auto job = std::make_unique<WindowJob>(title);
    if (!*job) return false;
    // Window-modal: the basket cannot change while its pages are written; the window still repaints.
    job->showStatus(m_owner);
    std::unique_ptr<PageSink> sink = std::move(plan.sink);
    auto told = std::make_shared<OutputPlan>(std::move(plan));
    m_job = std::move(job);
    return m_job->start(std::make_unique<BasketPageSource>(m_pages.pages()), std::move(sink), settingsOf(options),
                        [this, told](const PipelineResult& result) {
                            const bool written = tellOutcome(result, *told);
                            // The command ends here: a close of the main window that waited for it goes on now.
                            m_job.reset();
                            emit outputFinished(written);
                        });
}

bool MultiPageCommands::fncSaveToFileDialog(int32_t& Filter)
{
    try {
        gstrCurrentOperation = QStringLiteral("saving pages to a single new file");
        QString filter = fncMultiPageFilter(Filter);
        int32_t filterIndex = 0;
        QString name;
        {
            frmDialogExtension panel;
            name = fncShowFileDialog(QString(), filter, filterIndex, QStringLiteral("Save to a multipage format"), 0,
                                     &panel, false, m_owner);
        }
        if (name.isEmpty()) return false;
        const QString ext = fncGetExtension(name).toLower();
        if (ext == QLatin1String("tif") || ext == QLatin1String("tiff")) {
            Filter = 0;
        } else if (ext == QLatin1String("pdf")) {
            Filter = 1;
        } else {
            // Not a name this command can write: refuse before anything is written.
            MsgBox(kSaveError, vbCritical, gstrSoftware());
            return false;
        }
        m_lastOutputPath = name;
        PageWriteOptions options = savedOptions();
        options.format = static_cast<uint8_t>(Filter);
        OutputPlan plan = planSave(name, options);
        return startOutput(QStringLiteral("Saving a MultiPage file"), plan, options);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("MultiPageCommands.fncSaveToFileDialog"));
        return false;
    }
}

bool MultiPageCommands::fncAppendToFileDialog(int32_t& Filter)
{
    try {
        gstrCurrentOperation = QStringLiteral("Saving pages to existing file!");
        QString filter = fncMultiPageFilter(Filter);
        int32_t filterIndex = 0;
        QString name;
        {
            frmDialogExtension panel;
            name = fncShowFileDialog(QString(), filter, filterIndex,
                                     QStringLiteral("Select a multipage image or document"), -1, &panel, true, m_owner);
        }
        if (name.isEmpty()) return false;
        if (isLongCommandRunning()) return false;
        m_lastOutputPath = name;
        const PageWriteOptions options = savedOptions();
        std::optional<OutputPlan> plan = planAppend(name, options);
        return plan && startOutput(QStringLiteral("Saving a file in Append mode"), *plan, options);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("MultiPageCommands.fncAppendToFileDialog"));
        return false;
    }
}

} // namespace tf
