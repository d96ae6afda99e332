#pragma once
// The browse controller with the window's parts it is given, and writers of image files to browse
// that do not go through the code under test.
#include "browse/BrowseController.h"
#include "browse/ControlSaveAs.h"
#include "controls/splitter.h"
#include "platform/ui/listview.h"
#include "platform/ui/reportview.h"
#include "platform/ui/statusbar.h"
#include "support/testenv.h"

#include <QProgressBar>
#include <QTabBar>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

namespace browse_test {

// The other areas as the tests see them: each records its calls and does what the test sets.
struct FakeServices final : tf::PaneLayout, tf::EditModeSwitch, tf::PreviewSelection, tf::TaskReplayer,
                            tf::MetadataReader, tf::PreviewPrinter, tf::PreviewSaver, tf::SlideShowOptions {
    int resizeCalls = 0;
    std::function<void(tf::ImageDocument&)> replay; // unset: no tasks
    tf::ReplayResult replayResult;                  // what each replay answers
    std::function<void(const QString&)> readExif, readIptc;
    bool hasIptc = false;
    int exifRows = 0, iptcRows = 0; // what the lists hold; emptied with them

    void subResize() override { ++resizeCalls; }
    void CmdPreviewEdit_Click() override {}
    void subClearSelection() override {}
    bool hasTasks() const override { return bool(replay); }
    tf::ReplayResult replayOnPreview(tf::ImageDocument& target) override
    {
        if (replay) replay(target);
        return replayResult;
    }
    tf::ReplayResult replayAll(tf::ImageDocument& target) override { return replayOnPreview(target); }
    void ClearLists() override { exifRows = iptcRows = 0; }
    int ExifRowCount() const override { return exifRows; }
    int IptcRowCount() const override { return iptcRows; }
    // Reads at once and answers as the event loop next turns, as a reader on a worker would.
    void readShownFile(const QString& p, bool exif, bool iptc, std::function<void(bool)> done) override
    {
        if (exif && readExif) readExif(p);
        if (iptc && readIptc) readIptc(p);
        ++readGeneration;
        QTimer::singleShot(0, &answers, [this, generation = readGeneration, done = std::move(done)] {
            if (generation == readGeneration && done) done(hasIptc);
        });
    }
    void cancelRead() override { ++readGeneration; }
    int readGeneration = 0;
    QObject answers;
    void PrintImage(ImageBox&) override {}
    // The window's own: the file is written on a worker, its end a signal.
    tf::ControlSaveAs controlSaveAs;
    void SaveAs(ImageBox& control) override { controlSaveAs.SaveAs(control); }
    void showExecutableOptions() override {}
};

struct BrowseFixture {
    BrowseFixture();

    QWidget window;
    FakeServices services;
    BrowsePanes w; // the window's parts the controller was given
    std::unique_ptr<BrowseController> browse;
    tf::ReportView* lvFolder = nullptr;
    ImageBox* ibMain = nullptr;
    tf::ListView* lvPages = nullptr; // the basket's list

    // Lists the folder and waits until every row has its facts and its picture.
    void list(const QString& folder);
    // Waits until the listing and the preview have nothing left on the way; false if they never did.
    bool settle() const;
    // The folder list as it shows its rows: the names, the row (1-based) or the row of a name
    // (invalid when none), how many, and the names of the selected rows.
    QStringList rowTexts() const;
    QModelIndex item(int index) const { return lvFolder->model()->index(index - 1, 0); }
    QModelIndex row(const QString& text) const;
    int count() const { return lvFolder->model()->rowCount(); }
    QStringList selectedTexts() const;
    // Selects exactly this row (1-based), as a click would, without showing it.
    static void selectRow(QTreeView* list, int index);
    QString panel(const char* key) const { return w.sbMain->panelText(key); }
};

// What a row of a list's view shows: a column's text, its file, its picture and tool tip.
inline QString cell(const QModelIndex& row, int column) { return row.siblingAtColumn(column).data().toString(); }
inline QString tag(const QModelIndex& row) { return row.siblingAtColumn(0).data(tf::kPathRole).toString(); }
inline QPixmap picture(const QModelIndex& row) { return qvariant_cast<QPixmap>(row.siblingAtColumn(0).data(Qt::DecorationRole)); }
inline QString tip(const QModelIndex& row) { return row.siblingAtColumn(0).data(Qt::ToolTipRole).toString(); }

// One colour; the first column darker.
QImage solid(int width, int height, QColor colour);
void writeQt(const QString& path, const QImage& image, const char* format, bool progressive = false);
// gif and psd through the image control's writers.
void writeWithControl(const QString& path, const QImage& image);

} // namespace browse_test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE
