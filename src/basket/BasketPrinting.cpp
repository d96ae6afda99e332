#include "basket/BasketPrinting.h"

#include "basket/BasketPageSource.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "pages/WindowJob.h"
#include "platform/imagebox/imagebox.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/numbers.h"
#include "platform/ui/msgbox.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>

#include <algorithm>

namespace tf {

namespace {

ImagePrinter::DialogStep g_dialogStep;

const QPageSize::PageSizeId kPapers[] = {QPageSize::A4, QPageSize::Letter, QPageSize::Legal,     QPageSize::A3,
                                         QPageSize::A5, QPageSize::B5,     QPageSize::Executive, QPageSize::Tabloid};
constexpr int kPaperCount = int(std::size(kPapers));

int32_t clampByte(int32_t v) { return std::clamp(v, 0, 255); }

// The picture the preview shows, as the one page of a print.
class ShownPictureSource final : public PageSource {
public:
    ShownPictureSource(QImage picture, QString name) : m_page{{}, std::move(name), {}, std::move(picture)} {}
    int count() const override { return 1; }
    Page page(int) const override { return m_page; }

private:
    Page m_page;
};

void tellPrintEnded(const PipelineResult& r)
{
    if (!r.failure.isEmpty())
        MsgBox(QStringLiteral("Printing failed: ") + r.failure, vbCritical);
    else if (!r.leftOut.isEmpty())
        MsgBox(QStringLiteral("These pages could not be read and were not printed:\n") + r.leftOut.join(QLatin1Char('\n')),
               vbExclamation);
}

} // namespace

ImagePrinter::ImagePrinter() = default;
ImagePrinter::~ImagePrinter() = default;

void ImagePrinter::setDialogStep(DialogStep step) { g_dialogStep = std::move(step); }

QPrinter& ImagePrinter::printer()
{
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (m_changed) applySettings();
    return *m_printer;
}

void ImagePrinter::applySettings()
{
    QPrinter& p = *m_printer;
    const int paper = PrintSetting3();
    p.setPageSize(QPageSize(kPapers[paper >= 0 && paper < kPaperCount ? paper : 0]));
    p.setPageOrientation(PrintSetting2() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
    // Margins are ours (settings 4 and 5), measured from the paper's edge.
    p.setFullPage(true);
    p.setCopyCount(std::clamp(PrintSetting6(), 1, 999));
    p.setColorMode(PrintSetting8() == 1 ? QPrinter::GrayScale : QPrinter::Color);
    m_changed = false;
}

void ImagePrinter::readSettings()
{
    const QPrinter& p = *m_printer;
    const QPageSize::PageSizeId paper = p.pageLayout().pageSize().id();
    for (int i = 0; i < kPaperCount; ++i)
        if (kPapers[i] == paper) setPrintSetting3(i);
    setPrintSetting2(p.pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0);
    setPrintSetting6(std::max(1, p.copyCount()));
    setPrintSetting8(p.colorMode() == QPrinter::GrayScale ? 1 : 0);
    m_changed = false;
}

bool ImagePrinter::showDialog(QWidget* owner)
{
    QPrinter& p = printer();
    bool accepted;
    if (g_dialogStep) {
        accepted = g_dialogStep(p, owner);
    } else {
        QPrintDialog dialog(&p, owner);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    readSettings();
    return accepted;
}

int32_t ImagePrinter::PrintImage(const ImageDocument& doc, QWidget* owner)
{
    if (m_showDialog) {
        if (!showDialog(owner)) return 0;
    } else {
        printer();
    }
    if (!doc.HasImage()) return 0;
    QPainter painter;
    if (!painter.begin(m_printer.get())) return 0;
    paintPage(painter, doc.image());
    painter.end();
    return 1;
}

void ImagePrinter::paintPage(QPainter& painter, const QImage& picture) const
{
    if (picture.isNull()) return;
    const QPrinter& p = *m_printer;
    const double dotsPerMm = p.resolution() / 25.4;
    const QRectF paper = p.paperRect(QPrinter::DevicePixel);
    const QPointF origin(std::max(0.0, m_d4) * dotsPerMm, std::max(0.0, m_d5) * dotsPerMm);
    const QSizeF room(std::max(1.0, paper.width() - origin.x()), std::max(1.0, paper.height() - origin.y()));
    QSizeF size;
    if (PrintSetting1() != 0) {
        size = QSizeF(picture.size()).scaled(room, Qt::KeepAspectRatio);
    } else {
        const double ppi = picture.dotsPerMeterX() > 0 ? picture.dotsPerMeterX() * 0.0254 : 96.0;
        const double scale = std::clamp(m_d7, 1.0, 1000.0) / 100.0 * p.resolution() / ppi;
        size = QSizeF(picture.size()) * scale;
    }
    QPointF at = origin;
    if (m_b9) at.setX(origin.x() + (room.width() - size.width()) / 2);
    if (m_b10) at.setY(origin.y() + (room.height() - size.height()) / 2);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(at, size), picture);
}

// ---- the sink

void PrintSink::open(const PageSource&, const PageFormat&)
{
    m_device = &m_printer.printer();
    if (!m_painter.begin(m_device))
        throw ImageBoxError(imagebox_error::kFileAccess, QStringLiteral("The printer could not be started."));
}

void PrintSink::addPage(PreparedPage page)
{
    if (m_pages++ > 0 && !m_device->newPage())
        throw ImageBoxError(imagebox_error::kFileAccess, QStringLiteral("The printer took no further page."));
    m_printer.paintPage(m_painter, page.image.pixels);
}

void PrintSink::commit()
{
    if (m_painter.isActive() && !m_painter.end())
        throw ImageBoxError(imagebox_error::kFileAccess, QStringLiteral("The print job could not be finished."));
}

void PrintSink::rollback() noexcept
{
    if (m_painter.isActive()) m_painter.end();
}

// ---- the command

BatchPrintCommands::BatchPrintCommands(const basket::BasketModel& pages, QWidget* owner, QObject* parent)
    : QObject(parent), m_pages(pages), m_owner(owner), m_ownPrinter(std::make_unique<ImagePrinter>()),
      m_printer(m_ownPrinter.get())
{
}

BatchPrintCommands::BatchPrintCommands(const basket::BasketModel& pages, ImagePrinter& printer, QWidget* owner,
                                       QObject* parent)
    : QObject(parent), m_pages(pages), m_owner(owner), m_printer(&printer)
{
}

BatchPrintCommands::~BatchPrintCommands() { m_job.reset(); }

void BatchPrintCommands::cmdBatchPrint_Click()
{
    try {
        gstrCurrentOperation = QStringLiteral("Starting batch printing");
        if (m_pages.isEmpty() || m_job) return;
        // Taken before the dialog: another job printing through the same printer (the preview's)
        // must not have it changed under it.
        auto job = std::make_unique<WindowJob>(QStringLiteral("Starting batch printing"));
        if (!*job) return;
        typPrintOptions& s = gudtSettings.Print;
        ImagePrinter& p = *m_printer;
        p.setPrintSetting10(s.PrintSetting10 != 0);
        p.setPrintSetting9(s.PrintSetting9 != 0);
        p.setPrintSetting6(s.PrintSetting6);
        p.setPrintSetting1(s.PrintSetting1);
        p.setPrintSetting4(s.PrintSetting4);
        p.setPrintSetting5(s.PrintSetting5);
        p.setPrintSetting8(s.PrintSetting8);
        p.setPrintSetting2(s.PrintSetting2);
        p.setPrintSetting7(s.PrintSetting7);
        p.setPrintSetting3(s.PrintSetting3);
        const bool print = p.showDialog(m_owner);
        s.PrintSetting10 = toFlag(p.PrintSetting10());
        s.PrintSetting9 = toFlag(p.PrintSetting9());
        s.PrintSetting6 = p.PrintSetting6();
        s.PrintSetting1 = p.PrintSetting1();
        s.PrintSetting4 = p.PrintSetting4();
        s.PrintSetting5 = p.PrintSetting5();
        s.PrintSetting8 = uint8_t(clampByte(p.PrintSetting8()));
        s.PrintSetting2 = p.PrintSetting2();
        s.PrintSetting7 = p.PrintSetting7();
        s.PrintSetting3 = uint8_t(clampByte(p.PrintSetting3()));
        if (!print) return;

        // One page needs no progress window; the work still runs off the window's thread.
        if (m_pages.count() >= 2) job->showStatus(m_owner);
        QStringList names;
        for (const basket::PageRecord& page : m_pages.pages()) names << page.text;
        WindowJob* running = job.get();
        connect(running, &WindowJob::progress, running, [running, names](int done, int, const QString&) {
            running->setActivity(QStringLiteral("Printing.. ") + names.value(done));
        });
        m_job = std::move(job);
        // Always from the basket's first page, whatever the preview shows.
        m_job->start(std::make_unique<BasketPageSource>(m_pages.pages()), std::make_unique<PrintSink>(p),
                     PipelineSettings{}, [this](const PipelineResult& r) { printEnded(r); });
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.cmdBatchPrint_Click"));
    }
}

void BatchPrintCommands::printEnded(const PipelineResult& r)
{
    tellPrintEnded(r);
    m_job.reset();
    emit printFinished();
}

// ---- the preview's print

PreviewPrintCommand::PreviewPrintCommand(ImagePrinter& printer, QWidget* owner, QObject* parent)
    : QObject(parent), m_printer(printer), m_owner(owner)
{
}

PreviewPrintCommand::~PreviewPrintCommand() { m_job.reset(); }

void PreviewPrintCommand::PrintImage(ImageBox& control)
{
    try {
        if (!control.HasImage() || m_job) return;
        auto job = std::make_unique<WindowJob>(QStringLiteral("Printing the preview"));
        if (!*job) return;
        if (!m_printer.showDialog(m_owner)) return;
        // A copy: the preview may show another picture while this one prints.
        const QString name = control.Tag().isEmpty() ? QStringLiteral("Preview") : QFileInfo(control.Tag()).fileName();
        auto source = std::make_unique<ShownPictureSource>(control.image(), name);
        m_job = std::move(job);
        m_job->start(std::move(source), std::make_unique<PrintSink>(m_printer), PipelineSettings{},
                     [this](const PipelineResult& r) {
                         tellPrintEnded(r);
                         m_job.reset();
                         emit printFinished();
                     });
    } catch (const std::exception& e) {
        m_job.reset();
        subReportException(e, QStringLiteral("FrmMain.cmdPreviewPrint_Click"));
    }
}

} // namespace tf
