#pragma once
// The basket converted into single-page files: a sink of the page pipeline that writes each page
// as a TIFF or PDF of its own, named by the rule the user chose, and the command that asks for
// the options and runs it.
#include "basket/basketModel.h"
#include "pages/PagePipeline.h"
#include "frame/modSettings.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <set>
#include <utility>

class QWidget;

namespace tf {

class TaskReplayer;
class WindowJob;

// What a run did, page by page.
struct BatchTally {
    int written = 0;
    QStringList skippedExisting; // names not written because a file had that name (no overwrite)
    QStringList skippedSource;   // names not written because the file is a page of the basket
    QStringList failed;          // pages that were read but could not be written, with why
};

class SinglePageSink final : public PageSink {
public:
    // `now` is the time the date tokens of the whole run read.
    SinglePageSink(typBatchSaveOptions options, QDateTime now = QDateTime::currentDateTime());

    void open(ImageDocument& doc, const PageSource& pages) override;
    void pageStarting(int index, const PageSource::Page& page) override;
    void pageLoaded(ImageDocument& doc) override;
    void addPage(ImageDocument& doc) override;
    // Each page's file is in its place once written; there is nothing left to do or undo.
    void commit(ImageDocument&) override {}
    void rollback(ImageDocument&) noexcept override {}
    bool keepsPagesOnCancel() const override { return true; }

    const BatchTally& tally() const { return m_tally; }
    QString extension() const { return m_extension; }

private:
    QString folderFor(const PageSource::Page& page) const;
    QString nameFor(ImageDocument& doc) const;
    QString distinctPath(const QString& folder, const QString& base);
    bool isBasketFile(const QString& path) const;
    void write(ImageDocument& doc, const QString& path) const;
    // A page that could not be written, with why: counted with its cause, or the run's end when
    // the cause will stop every later page too.
    void pageFailed(const QString& why, const QString& path);

    typBatchSaveOptions m_options;
    QDateTime m_now;
    QString m_extension;
    int64_t m_counterStart = 1;
    QString m_workFolder;
    std::set<std::pair<quint64, quint64>> m_basketFiles; // device and inode of every page's files
    QSet<QString> m_taken;                               // outputs of this run
    int m_index = 0;
    PageSource::Page m_page;
    QString m_sourceResolution;
    BatchTally m_tally;
};

// The end of a run as one message: written, skipped and failed pages, and why.
QString batchOutcomeText(const PipelineResult& result, const BatchTally& tally);

// The basket's "Single Page files (batch mode)": the dialog, then the run on a worker thread
// with the progress window and its Cancel.
class SinglePageCommands : public QObject {
    Q_OBJECT
public:
    SinglePageCommands(const basket::BasketModel& pages, TaskReplayer& replayer, QWidget* owner,
                       QObject* parent = nullptr);
    ~SinglePageCommands() override;

public slots:
    void subSaveAsSinglePage();

signals:
    // The run has ended and its message was shown.
    void conversionFinished();

private:
    void runEnded(const PipelineResult& result, const BatchTally& tally);

    const basket::BasketModel& m_pages;
    TaskReplayer& m_replayer;
    QPointer<QWidget> m_owner;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf
