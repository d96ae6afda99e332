#pragma once
// Printing: the image control's printing members over Qt PrintSupport, the printer as a sink of
// the page pipeline, the basket's print command and the preview's.
#include "basket/basketModel.h"
#include "browse/BrowseServices.h"
#include "pages/PagePipeline.h"

#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QPrinter>

#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace tf {

class ImageDocument;

class WindowJob;

// The ten print settings are ours to define; each maps to one fixed property of the printer:
//   1  fit to page: -1 the picture fills the printable area (keeping its shape), 0 it is printed
//      at PrintSetting7 percent of its own size (its resolution, 96 dpi when it has none)
//   2  orientation: 0 portrait, 1 landscape
//   3  paper: 0 A4, 1 Letter, 2 Legal, 3 A3, 4 A5, 5 B5, 6 Executive, 7 Tabloid (others A4)
//   4  left margin, 5 top margin: millimetres from the paper's edge
//   6  copies (1 to 999)
//   7  scale in percent when not fitted (1 to 1000)
//   8  colour: 0 colour, 1 grey
//   9  centred across the printable area, 10 centred down it (-1 yes, 0 no)
// The printer itself (its name, a file to print into) is chosen in the print dialog and kept for
// as long as this object lives.
class ImagePrinter {
public:
    ImagePrinter();
    ~ImagePrinter();
    ImagePrinter(const ImagePrinter&) = delete;
    ImagePrinter& operator=(const ImagePrinter&) = delete;

    int32_t PrintSetting1() const { return m_s[0]; }
    int32_t PrintSetting2() const { return m_s[1]; }
    int32_t PrintSetting3() const { return m_s[2]; }
    double PrintSetting4() const { return m_d4; }
    double PrintSetting5() const { return m_d5; }
    int32_t PrintSetting6() const { return m_s[5]; }
    double PrintSetting7() const { return m_d7; }
    int32_t PrintSetting8() const { return m_s[7]; }
    bool PrintSetting9() const { return m_b9; }
    bool PrintSetting10() const { return m_b10; }
    void setPrintSetting1(int32_t v) { m_s[0] = v; m_changed = true; }
    void setPrintSetting2(int32_t v) { m_s[1] = v; m_changed = true; }
    void setPrintSetting3(int32_t v) { m_s[2] = v; m_changed = true; }
    void setPrintSetting4(double v) { m_d4 = v; m_changed = true; }
    void setPrintSetting5(double v) { m_d5 = v; m_changed = true; }
    void setPrintSetting6(int32_t v) { m_s[5] = v; m_changed = true; }
    void setPrintSetting7(double v) { m_d7 = v; m_changed = true; }
    void setPrintSetting8(int32_t v) { m_s[7] = v; m_changed = true; }
    void setPrintSetting9(bool v) { m_b9 = v; m_changed = true; }
    void setPrintSetting10(bool v) { m_b10 = v; m_changed = true; }
    bool ShowPrintDialog() const { return m_showDialog; }
    void setShowPrintDialog(bool v) { m_showDialog = v; }

    // The print dialog on the settings, which take back what the user chose there (also when the
    // dialog was cancelled). False when cancelled.
    bool showDialog(QWidget* owner);
    // Prints the document's picture as one page, after the dialog when ShowPrintDialog: 1 when
    // printed, 0 when the dialog was cancelled or there was nothing to print.
    int32_t PrintImage(const ImageDocument& doc, QWidget* owner = nullptr);

    // The printer with the settings applied, for a job that paints its own pages.
    QPrinter& printer();
    // Paints one picture as one page, where the settings place it.
    void paintPage(QPainter& painter, const QImage& picture) const;

    // Instead of Qt's dialog (tests): works the printer as a user would, true to print.
    using DialogStep = std::function<bool(QPrinter& printer, QWidget* owner)>;
    static void setDialogStep(DialogStep step);

private:
    void applySettings();
    void readSettings();
    int32_t m_s[8] = {-1, 0, 0, 0, 0, 1, 0, 0}; // the whole-number settings, by number - 1
    double m_d4 = 0, m_d5 = 0, m_d7 = 100.0;
    bool m_b9 = false, m_b10 = false;
    bool m_showDialog = false;
    // Set by every setter; the printer takes the settings only then, so that what the dialog chose
    // beyond them (a paper outside the list, say) stays.
    bool m_changed = true;
    std::unique_ptr<QPrinter> m_printer;
};

// Pages printed one after another as one print job, in page order.
class PrintSink final : public PageSink {
public:
    explicit PrintSink(ImagePrinter& printer) : m_printer(printer) {}
    void open(const PageSource& pages, const PageFormat& format) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    // Pages handed to the printer stay printed.
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return true; }

private:
    ImagePrinter& m_printer;
    QPrinter* m_device = nullptr; // set up once, before the first page
    QPainter m_painter;
    int m_pages = 0;
};

// The basket's Print button: the print dialog once, then every page from the first, in basket
// order, on a worker thread with the progress window and its Cancel.
class BatchPrintCommands : public QObject {
    Q_OBJECT
public:
    BatchPrintCommands(const basket::BasketModel& pages, QWidget* owner, QObject* parent = nullptr);
    // Printing through `printer`, which the preview's Print shares, as both printed through one
    // control: each opens with the printer and settings the other left.
    BatchPrintCommands(const basket::BasketModel& pages, ImagePrinter& printer, QWidget* owner,
                       QObject* parent = nullptr);
    ~BatchPrintCommands() override;
    ImagePrinter& ibMainPrinter() { return *m_printer; }

public slots:
    void cmdBatchPrint_Click();

signals:
    // The pages were handed to the printer (or the job stopped), its messages told.
    void printFinished();

private:
    void printEnded(const PipelineResult& result);

    const basket::BasketModel& m_pages;
    QPointer<QWidget> m_owner;
    std::unique_ptr<ImagePrinter> m_ownPrinter;
    ImagePrinter* m_printer;
    std::unique_ptr<WindowJob> m_job;
};

// The preview's Print (its button and its menu's entry): the print dialog, then the picture the
// preview shows, as one page, on a worker thread as the basket's print. The dialog's choices stay
// with the printer; the stored settings are the basket's print's to keep.
class PreviewPrintCommand final : public QObject, public PreviewPrinter {
    Q_OBJECT
public:
    PreviewPrintCommand(ImagePrinter& printer, QWidget* owner, QObject* parent = nullptr);
    ~PreviewPrintCommand() override;

    void PrintImage(ImageBox& control) override;

signals:
    // The picture was handed to the printer (or the print failed and the user was told); not
    // after a Cancel in the dialog, which prints nothing.
    void printFinished();

private:
    ImagePrinter& m_printer;
    QPointer<QWidget> m_owner;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf
