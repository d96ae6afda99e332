#include "basket/modMultiPage.h"

#include "basket/frmDialogExtension.h"
#include "basket/modDialogBox.h"
#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/TaskReplay.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"
#include "platform/ui/msgbox.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modFileSystem.h"
#include "services/modLoadPic.h"
#include "version_info.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <optional>
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

class ProgressBar {
public:
    ProgressBar(QProgressBar* bar, int pages) : m_bar(bar)
    {
        if (!m_bar) return;
        m_bar->setRange(0, qMax(1, pages));
        m_bar->setValue(0);
        m_bar->show();
    }
    ~ProgressBar()
    {
        if (m_bar) m_bar->hide();
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void setValue(int v)
    {
        if (m_bar) m_bar->setValue(v);
    }

private:
    QPointer<QProgressBar> m_bar;
};

// The pages that need decoding, decoded by the pool a few ahead of the page being written, in
// basket order. Each is the request the page's first step would make (the control's routing, or
// the loader's for a type the control does not read), only made earlier; a page that is not a
// plain file is left to loadPage, which does not open it.
class PagesAhead {
public:
    PagesAhead(const std::vector<tf::basket::PageRecord>& pages, std::function<bool(size_t)> decoded)
        : m_pages(pages), m_decoded(std::move(decoded)),
          // Finished pages wait here in memory: a few per decoder, not the whole basket.
          m_depth(std::clamp(tf::decode::DecoderPool::shared().processCount(), 2, 6))
    {
    }

    // The decode made ahead for page i (taken once, in increasing i), nothing when it was not
    // decoded ahead. Reads the following pages ahead meanwhile.
    std::optional<tf::decode::DecodeResult> take(size_t i)
    {
        fill(i + 1);
        const auto it = m_indexes.find(i);
        if (it == m_indexes.end()) {
            fill(i + 1 + size_t(m_depth));
            return std::nullopt;
        }
        const int wanted = it->second;
        m_indexes.erase(m_indexes.begin(), std::next(it));
        std::optional<tf::decode::DecodeResult> result;
        while (!result && m_batch.pending() > 0) {
            // Every decode ends within the decoders' time limit, so this wait does too.
            std::optional<tf::decode::DecodeBatch::Finished> f = m_batch.nextInOrder(std::chrono::milliseconds(200));
            if (f && f->index == wanted) result = std::move(f->result);
            if (f && f->index > wanted) break;
        }
        fill(i + 1 + size_t(m_depth));
        return result;
    }

    // Drops what is queued and ends the running decodes: nothing of the command goes on after it.
    void cancel()
    {
        m_batch.cancel();
        m_next = m_pages.size();
        m_indexes.clear();
    }

    // Whether a page's first step is the control's routing (else the loader's).
    static bool controlFirst(const QString& tag)
    {
        const std::vector<tf::DecodeStep> steps = tf::decodeSteps(tf::DecodeCaller::PageWriter, tag);
        return !steps.empty() && steps.front() == tf::DecodeStep::Control;
    }

private:
    // Submits the pages before `end` not yet considered, keeping at most m_depth in the pool.
    void fill(size_t end)
    {
        end = std::min(end, m_pages.size());
        while (m_next < end && m_batch.pending() < m_depth) {
            const size_t i = m_next++;
            const QString& tag = m_pages[i].tag;
            if (!m_decoded(i) || !QFileInfo(tag).isFile()) continue;
            m_indexes[i] = m_batch.submit(controlFirst(tag) ? tf::routedRequest({tag, 1, tf::DecodeCaller::Control})
                                                            : tf::loadPicRequest(tag, 0, -1, -1, 16777215));
        }
    }

    const std::vector<tf::basket::PageRecord>& m_pages;
    std::function<bool(size_t)> m_decoded;
    const int m_depth;
    tf::decode::DecodeBatch m_batch;
    size_t m_next = 0;
    std::map<size_t, int> m_indexes; // page -> the batch's index of its decode
};

// Loads one basket page into the control, from the decode made ahead for it when there is one. A
// page the control cannot read gets a second chance through the shared loader; false when
// neither could read it: the page is skipped and named with the others left out in one message
// at the end, never one dialog per page.
bool loadPage(tf::ImageDocument& ibTemp, const QString& tag, std::optional<tf::decode::DecodeResult> ahead = {})
{
    for (const tf::DecodeStep step : tf::decodeSteps(tf::DecodeCaller::PageWriter, tag)) {
        if (step == tf::DecodeStep::Control) {
            ibTemp.setPageIndex(1);
            if (ahead)
                ibTemp.LoadDecoded(tag, tf::routedAnswer(std::move(*ahead)));
            else
                ibTemp.LoadFromFile(tag);
            ahead.reset(); // the loader's step, if needed, is decoded now
            if (!ibTemp.LoadFailed()) return true;
            continue;
        }
        int32_t width = 0, height = 0;
        QImage picture;
        if (ahead) {
            picture = tf::loadPicAnswer(*ahead, width, height);
        } else {
            tf::LoadPicOptions options;
            options.quiet = true; // one message at the end names every page left out
            picture = LoadPic(tag, 0, -1, -1, 16777215, width, height, options);
        }
        if (picture.isNull()) return false;
        ibTemp.setBitmapHandle(picture);
        return true;
    }
    return false;
}

const QString kTasksFailed = QStringLiteral("The task list could not be applied to every page; those pages were "
                                            "written with the tasks before the one that failed:");

// The task list on one page. The first failure of a command is kept and told once at its end,
// never one message per page.
class TaskReplay {
public:
    explicit TaskReplay(const tf::PageWriteOptions& options)
        : m_replayer(*options.replayer), m_on(options.processTaskList == 1 && options.replayer->hasTasks())
    {
    }
    bool on() const { return m_on; }
    void apply(tf::ImageDocument& page)
    {
        if (!m_on) return;
        const tf::ReplayResult result = m_replayer.replayAll(page);
        if (!result.ok && !m_failed) {
            m_failed = true;
            m_message = result.message;
        }
    }
    void tell() const
    {
        if (m_failed) MsgBox(kTasksFailed + QLatin1Char('\n') + m_message, vbExclamation, gstrSoftware());
    }

private:
    tf::TaskReplayer& m_replayer;
    bool m_on;
    bool m_failed = false;
    QString m_message;
};

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

// The hidden copy of the user's document that the pages are appended to; it takes the
// document's place, or the free name, once the pages are in.
std::unique_ptr<tf::SafeFile> workingCopy(const QString& source, const QString& target, tf::Placement placement)
{
    auto copy = std::make_unique<tf::SafeFile>(target, placement);
    // The document keeps its permissions; a new file takes them from the one it copies.
    copy->setPermissions(QFile::permissions(source));
    QString error;
    if (!copy->open(&error) || !copy->copyFrom(source, &error))
        throw tf::ImageBoxError(tf::imagebox_error::kFileAccess, error);
    return copy;
}

// What a TIFF of these pages may take at most, from the pages' headers (a page whose header
// cannot be read counts nothing: it is most likely left out as unreadable).
qint64 tiffBytesAtMost(const std::vector<tf::basket::PageRecord>& pages, int colorFormat, int compression)
{
    qint64 total = 0;
    for (const tf::basket::PageRecord& page : pages) {
        clsImageHeaderInfo header;
        if (!header.ReadJPEG_TIFF_PNG_Header(page.tag) && !header.ReadGIF_BMP_Header(page.tag)) continue;
        total += tf::tiffPageBytesAtMost(header.Width(), header.Height(),
                                         tf::tiffBitsPerPixel(colorFormat, compression, header.BitsPerPixel(),
                                                              header.IsGray()),
                                         qMax(0, compression));
    }
    return total;
}

// The failure message of the writers with its cause on a line of its own.
void tellFailure(const QString& message, const QString& detail, const QString& document, const QString& written)
{
    const QString reason = tf::fncFailureReason(detail, document, written);
    MsgBox(reason.isEmpty() ? message : message + QLatin1Char('\n') + reason, vbCritical, gstrSoftware());
}

QString detailOf(const std::exception& e)
{
    if (const auto* box = dynamic_cast<const tf::ImageBoxError*>(&e)) return box->description();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

namespace tf {

QString fncFailureReason(const QString& detail, const QString& document, const QString& written)
{
    auto mentions = [&](int err) { return detail.contains(QString::fromLocal8Bit(std::strerror(err))); };
    if (mentions(ENOSPC) || mentions(EDQUOT)) return QStringLiteral("The disk is full.");
    if (mentions(EACCES) || mentions(EPERM) || mentions(EROFS)) {
        const QFileInfo target(written);
        if (target.exists() && !(target.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)))
            return QStringLiteral("You do not have permission to write to ") + target.absoluteFilePath() +
                   QLatin1Char('.');
        return QStringLiteral("You do not have permission to write in ") + target.absolutePath() + QLatin1Char('.');
    }
    if (detail == tiffTooLargeMessage()) return detail;
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
    const QString ext = fncGetExtension(chosen);
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

bool fncSavePagesToNewFile(std::vector<tf::basket::PageRecord> pages, tf::ImageDocument& ibTemp,
                           const QString& strFileName, const tf::PageWriteOptions& options, QProgressBar* pbQueue)
{
    gstrCurrentOperation = QStringLiteral("Saving to multipage file '") + strFileName + QLatin1Char('\'');
    if (pages.empty()) return true;
    const int16_t intTiffCompression = options.tiffCompression;
    const int16_t intColorFormat = options.colorFormat;

    tf::LongCommand command(gstrCurrentOperation);
    if (!command) return false;
    ProgressBar progress(pbQueue, static_cast<int>(pages.size()));
    const bool pdf = options.format != 0;
    TaskReplay tasks(options);
    // A JPEG page that goes into a PDF unchanged needs no decoding, unless tasks are to edit it.
    const bool replays = tasks.on();
    // A Cancel keeps the pages before it only when they make a new file: an existing file is
    // either replaced by the whole document or left as it was.
    const QFileInfo chosen(strFileName);
    const bool replacing = chosen.exists() || chosen.isSymLink();
    try {
        // Pages left from an earlier, abandoned save must not join this document.
        ibTemp.AbandonMultipage();
        ibTemp.setColorFormat(intColorFormat);
        ibTemp.setTiffCompression(intTiffCompression);
        ibTemp.setPageIndex(1);
        if (!pdf) ibTemp.ExpectTiffBytes(tiffBytesAtMost(pages, intColorFormat, intTiffCompression));

        int written = 0;
        QStringList leftOut;
        const auto jpegAsItIs = [&](const QString& tag) {
            const QString ext = lowerExtension(tag);
            return pdf && !replays && (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"));
        };
        PagesAhead ahead(pages, [&](size_t i) { return !jpegAsItIs(pages[i].tag); });
        for (size_t i = 0; i < pages.size(); ++i) {
            const tf::basket::PageRecord& page = pages[i];
            if (!command.nextItem(QStringLiteral("File - '") + fncGetFileName(page.tag) + QLatin1Char('\''))) {
                ahead.cancel();
                if (replacing) {
                    ibTemp.AbandonMultipage();
                    return false;
                }
                break;
            }
            if (jpegAsItIs(page.tag) && ibTemp.AddPdfPageFromJpegFile(page.tag)) {
                ++written;
                progress.setValue(static_cast<int>(i + 1));
                continue;
            }
            if (!loadPage(ibTemp, page.tag, ahead.take(i))) {
                leftOut << page.text;
                progress.setValue(static_cast<int>(i + 1));
                continue;
            }
            tasks.apply(ibTemp);
            ibTemp.setColorFormat(intColorFormat);
            ibTemp.setTiffCompression(intTiffCompression);
            if (pdf)
                ibTemp.AddPdfPage(static_cast<int32_t>(i + 1));
            else
                ibTemp.AddTiffPage(static_cast<int32_t>(i + 1));
            ++written;
            progress.setValue(static_cast<int>(i + 1));
        }

        if (written == 0) {
            ibTemp.AbandonMultipage();
            tellNothingWritten(kNothingSaved, leftOut);
            return false;
        }
        if (pdf)
            ibTemp.SavePdf(strFileName);
        else
            ibTemp.SaveTiff(strFileName);
        tasks.tell();
        tellLeftOut(leftOut);
        return true;
    } catch (const std::exception& e) {
        ibTemp.AbandonMultipage();
        tellFailure(kSaveError, detailOf(e), QString(), strFileName);
        return false;
    }
}

bool fncSavePagesToExistingFile(std::vector<tf::basket::PageRecord> pages, tf::ImageDocument& ibTemp,
                                const QString& strFileName, const tf::PageWriteOptions& options, QProgressBar* pbQueue)
{
    gstrCurrentOperation = QStringLiteral("Saving to multipage file '") + strFileName + QLatin1Char('\'');
    const DocumentKind kind = kindOf(strFileName);
    const uint8_t bytOutputMode = options.outputMode;
    const uint8_t bytAppendMode = options.appendMode;
    const int16_t intTiffCompression = options.tiffCompression;
    const int16_t intColorFormat = options.colorFormat;
    TaskReplay tasks(options);
    if (pages.empty()) {
        ibTemp.ResetMultipage();
        return true;
    }

    tf::LongCommand command(gstrCurrentOperation);
    if (!command) return false;
    ProgressBar progress(pbQueue, static_cast<int>(pages.size()));
    QString writtenTo = strFileName;
    try {
        // Only a document that can take pages is touched, and only after it proved readable.
        const int pagesThere = kind == DocumentKind::Tiff  ? tf::tiffPageCount(strFileName)
                               : kind == DocumentKind::Pdf ? tf::pdfPageCount(strFileName)
                                                           : 0;
        if (pagesThere == 0)
            throw tf::ImageBoxError(tf::imagebox_error::kInvalidFileFormat,
                                    QStringLiteral("Not a TIFF or PDF document"));
        if (bytAppendMode > 1) {
            MsgBox(kNothingAppended, vbExclamation, gstrSoftware());
            return false;
        }
        const QString target = bytOutputMode == 1 ? tf::fncNewFileNameFor(strFileName) : strFileName;
        if (target.isEmpty())
            throw tf::ImageBoxError(tf::imagebox_error::kFileAccess, QStringLiteral("No free name for a new file"));
        writtenTo = target;
        // A classic TIFF the pages could take past 4 GiB is refused before any work.
        if (kind == DocumentKind::Tiff && tf::isClassicTiff(strFileName) &&
            QFileInfo(strFileName).size() + tiffBytesAtMost(pages, intColorFormat, intTiffCompression) >
                tf::kClassicTiffMaxBytes)
            throw tf::ImageBoxError(tf::imagebox_error::kFileAccess, tf::tiffTooLargeMessage());

        // A TIFF is appended to on a hidden copy beside the target; the user's file is replaced
        // (or the new file appears) only once the pages are in. A PDF is read once and written
        // once, beside the target, when all its pages are gathered.
        std::unique_ptr<tf::SafeFile> work;
        if (kind == DocumentKind::Tiff)
            work = workingCopy(strFileName, target, bytOutputMode == 1 ? tf::Placement::NoReplace : tf::Placement::Replace);

        ibTemp.AbandonMultipage();
        ibTemp.Clear();
        ibTemp.setTiffCompression(intTiffCompression);
        ibTemp.setColorFormat(intColorFormat);

        int appended = 0;
        QStringList leftOut;
        // A JPEG page goes into a PDF as it is, unless tasks are to edit it.
        const auto jpegAsItIs = [&](const QString& tag) {
            const QString ext = lowerExtension(tag);
            return kind == DocumentKind::Pdf && !tasks.on() && (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"));
        };
        PagesAhead ahead(pages, [&](size_t i) { return !jpegAsItIs(pages[i].tag); });
        for (size_t i = 0; i < pages.size(); ++i) {
            const tf::basket::PageRecord& page = pages[i];
            if (!command.nextItem(QStringLiteral("File - '") + fncGetFileName(page.tag) + QLatin1Char('\''))) {
                ahead.cancel();
                break;
            }
            // At the beginning, each page follows the ones appended before it, counted as written.
            const int32_t position = bytAppendMode == 0 ? appended + 1 : 0;
            if (jpegAsItIs(page.tag) && ibTemp.AppendJpegFileToPdf(page.tag, strFileName, target, position)) {
                ++appended;
                progress.setValue(static_cast<int>(i + 1));
                continue;
            }
            if (!loadPage(ibTemp, page.tag, ahead.take(i))) {
                leftOut << page.text;
                progress.setValue(static_cast<int>(i + 1));
                continue;
            }
            tasks.apply(ibTemp);
            ibTemp.setTiffCompression(intTiffCompression);
            ibTemp.setColorFormat(intColorFormat);
            if (kind == DocumentKind::Tiff) {
                ibTemp.SetExifAttribute(QStringLiteral("Software"), gstrSoftware());
                ibTemp.AppendToTiff(work->fileName(), work->fileName(), position);
            } else {
                ibTemp.AppendToPdf(strFileName, target, position);
            }
            ++appended;
            progress.setValue(static_cast<int>(i + 1));
        }

        if (appended == 0) {
            ibTemp.AbandonMultipage();
            tellNothingWritten(kNothingAppended, leftOut);
            return false;
        }
        // The gathered PDF pages are written here, in one pass.
        ibTemp.ResetMultipage();
        QString error;
        if (work && !work->commit(&error)) throw tf::ImageBoxError(tf::imagebox_error::kFileAccess, error);
        tasks.tell();
        tellLeftOut(leftOut);
        return true;
    } catch (const std::exception& e) {
        ibTemp.AbandonMultipage();
        tellFailure(kAppendError, detailOf(e), strFileName, writtenTo);
        return false;
    }
}

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

MultiPageCommands::~MultiPageCommands() { delete m_mnuSaveAsParent; }

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

namespace {
// The progress window, window-modal: the basket cannot change while its pages are written, yet
// the loop's yields still reach the window's Cancel.
frmStatus* showModalStatus(LongCommand& command, QWidget* owner)
{
    frmStatus* status = command.showStatus(owner);
    if (status && owner) {
        status->hide();
        status->setWindowModality(Qt::WindowModal);
        status->show();
    }
    return status;
}
} // namespace

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
        LongCommand command(QStringLiteral("Saving a MultiPage file"));
        if (!command) return false;
        frmStatus* status = showModalStatus(command, m_owner);
        PageWriteOptions options = savedOptions();
        options.format = static_cast<uint8_t>(Filter);
        return fncSavePagesToNewFile(m_pages.pages(), m_ibTemp, name, options, status ? status->pbQueue : nullptr);
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
        LongCommand command(QStringLiteral("Saving a file in Append mode"));
        if (!command) return false;
        frmStatus* status = showModalStatus(command, m_owner);
        m_lastOutputPath = name;
        return fncSavePagesToExistingFile(m_pages.pages(), m_ibTemp, name, savedOptions(),
                                          status ? status->pbQueue : nullptr);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("MultiPageCommands.fncAppendToFileDialog"));
        return false;
    }
}

} // namespace tf
