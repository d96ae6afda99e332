#pragma once
#include "basket/basketModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class QAbstractButton;
class QAction;
class QMenu;
class QWidget;

namespace tf {
class ImageDocument;
class TaskReplayer;
class WindowJob;
struct OutputPlan;

// How the writers write: one record instead of the settings' numbers passed one by one.
struct PageWriteOptions {
    // The replay of the task list; there is always one (tf::NoTasks while no tasks exist).
    explicit PageWriteOptions(TaskReplayer& taskReplayer) : replayer(&taskReplayer) {}
    uint8_t format = 0;          // a new document: 0 TIFF, any other value PDF
    int16_t tiffCompression = 0;
    int16_t colorFormat = 0;
    uint8_t appendMode = 0;      // 0 before the first page, 1 after the last
    uint8_t outputMode = 0;      // 0 into the file itself, 1 into a new file beside it
    uint8_t processTaskList = 0; // 1: every page is edited by the task list before it is written
    TaskReplayer* replayer;
};

// The name "New File" mode writes to: "<name>_new.<ext>" beside the chosen file, or while that
// exists "<name>_<random below 9999>.<ext>", drawn again until the name is free; <ext> is the
// chosen file's extension in lower case. Empty when no free name was found.
QString fncNewFileNameFor(const QString& chosen);

// The cause of a failed save or append, as one line for the user ("The disk is full.", ...), from
// the writer's own description of the failure, the document appended to (empty for a new one)
// and the file written; empty when the cause is not one of those told apart.
QString fncFailureReason(const QString& detail, const QString& document, const QString& written);
// The part of those causes that lies outside the documents: a full disk, a folder or file that
// cannot be written, the 4 GiB limit of a classic TIFF. Empty for any other failure.
QString fncEnvironmentReason(const QString& detail, const QString& written);

// The filter the dialogs offer for a Filter value: 0 TIFF, 1 PDF, anything else both.
QString fncMultiPageFilter(int32_t Filter);

// The basket's output commands: the Save As menu, the multipage save and the append, with the
// settings' save options. Made by the basket with its pages, the working document the pages are
// written through, the task replay and the owner of the dialogs.
class MultiPageCommands : public QObject {
    Q_OBJECT
public:
    MultiPageCommands(const basket::BasketModel& pages, ImageDocument& ibTemp, TaskReplayer& replayer, QWidget* owner,
                      QObject* parent = nullptr);
    ~MultiPageCommands() override;

    // The button the Save As menu opens under.
    void setSaveAsButton(QAbstractButton* cmdSaveAs);

    QMenu* mnuSaveAsParent() const { return m_mnuSaveAsParent; }
    QAction* mnuSaveAs(int index) const;
    // The file last chosen for a save or an append.
    QString LastOutputPath() const { return m_lastOutputPath; }

    // Ask for the file, then start writing: true once the pages are being written (the end comes
    // with outputFinished), false when nothing was started. Filter: 0 TIFF, 1 PDF, 2 both (what the
    // commands pass); after the save dialog it tells the format written (0 TIFF, 1 PDF).
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
    // A save or append started by the dialogs has ended, its messages told. `written`: the output
    // is in its place (also when a Cancel cut it short: the pages before it are kept); false when
    // every file was left as it was (an error, no page readable, a Cancel while a new document was
    // to replace an existing file).
    void outputFinished(bool written);

private:
    PageWriteOptions savedOptions() const;
    bool startOutput(const QString& title, OutputPlan& plan, const PageWriteOptions& options);

    const basket::BasketModel& m_pages;
    ImageDocument& m_ibTemp;
    TaskReplayer& m_replayer;
    QPointer<QWidget> m_owner;
    QPointer<QAbstractButton> m_cmdSaveAs;
    QMenu* m_mnuSaveAsParent = nullptr;
    QString m_lastOutputPath;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf
