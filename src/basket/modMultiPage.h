#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class QAbstractButton;
class QAction;
class QMenu;
class QProgressBar;
class QWidget;

namespace tf {
class ImageDocument;
class ListView;

// One basket page as the writers take it at the start: the file actually read and the row text.
struct BasketPageRef {
    QString tag;
    QString text;
};
std::vector<BasketPageRef> fncSnapshotBasket(const ListView& lvPages);

// The name "New File" mode writes to: "<name>_new.<ext>" beside the chosen file, or while that
// exists "<name>_<random below 9999>.<ext>", drawn again until the name is free. Empty when no
// free name was found.
QString fncNewFileNameFor(const QString& chosen);

// The filter the dialogs offer for a Filter value: 0 TIFF, 1 PDF, anything else both.
QString fncMultiPageFilter(int32_t Filter);

} // namespace tf

// The writers. Pages are read in basket order from the files their rows name (a snapshot taken at
// the start, so the basket may not shift under the loop), optionally edited by the task list,
// and written by the image control. Cancel in the progress window stops before the next page;
// the pages before it are kept. Either way the user's files are replaced only whole: a new
// document appears once complete, an appended one is worked on as a hidden copy that replaces
// the original at the end, and any failure leaves every existing file as it was.

// A new document: format 0 TIFF, any other value PDF. True once the document was written
// (also when Cancel cut it short), false when nothing was written (an error, or no page to write).
bool fncSavePagesToNewFile(uint8_t bytFormat, tf::ListView& lvPages, tf::ListView* lvEditBatch,
                           tf::ImageDocument& ibTemp, const QString& strFileName, QProgressBar* pbQueue,
                           int16_t& intTiffCompression, int16_t& intColorFormat, uint8_t& bytProcessEditList);

// Pages added to an existing TIFF or PDF (by its extension): bytAppendMode 0 before its first
// page, 1 after its last; bytOutputMode 0 into the file itself, 1 into a new file beside it.
// True once the pages were added, false when the file was left as it was.
bool fncSavePagesToExistingFile(tf::ListView& lvPages, tf::ListView* lvEditBatch, tf::ImageDocument& ibTemp,
                                QProgressBar* pbQueue, const QString& strFileName, uint8_t& bytOutputMode,
                                uint8_t& bytAppendMode, int16_t& intTiffCompression, int16_t& intColorFormat,
                                uint8_t& bytProcessEditList);

namespace tf {

// The basket's output commands as the main window offers them: the Save As menu, the multipage
// save and the append. The main window creates one with its basket list, its hidden image
// control and itself as the owner of the dialogs, and connects its buttons to the slots.
class MultiPageCommands : public QObject {
    Q_OBJECT
public:
    MultiPageCommands(ListView& lvPages, ImageDocument& ibTemp, QWidget* owner, QObject* parent = nullptr);
    ~MultiPageCommands() override;

    // The edit list the task replay reads (none until the editing tasks exist).
    void setEditList(ListView* lvEditBatch);
    // The button the Save As menu opens under.
    void setSaveAsButton(QAbstractButton* cmdSaveAs);

    QMenu* mnuSaveAsParent() const { return m_mnuSaveAsParent; }
    QAction* mnuSaveAs(int index) const;
    // The file last chosen for a save or an append.
    QString LastOutputPath() const { return m_lastOutputPath; }

    // Ask for the file, then write. Filter: 0 TIFF, 1 PDF, 2 both (what the commands pass); after
    // the save dialog it tells the format written (0 TIFF, 1 PDF).
    bool fncSaveToFileDialog(int32_t& Filter);
    bool fncAppendToFileDialog(int32_t& Filter);

public slots:
    void cmdSaveAs_Click();
    void subSaveAsMultiPage();
    void cmdsaveAppend_Click();

signals:
    // The Save As menu's other entries, which belong to other parts of the program.
    void batchConversionRequested(); // "Single Page files (batch mode)"
    void slideShowRequested();       // "Screensaver/Slide"

private:
    ListView& m_lvPages;
    ImageDocument& m_ibTemp;
    QPointer<QWidget> m_owner;
    QPointer<ListView> m_lvEditBatch;
    QPointer<QAbstractButton> m_cmdSaveAs;
    QMenu* m_mnuSaveAsParent = nullptr;
    QString m_lastOutputPath;
};

} // namespace tf
