#pragma once
// A basket of seven pages of distinct widths (101 to 107 pixels, so every written page tells
// which basket page it came from), the main window's pieces the commands work with, and the
// scripted dialogs and message boxes a user would answer. The written documents are read by the
// command-line tools through support/doctools.h.
#include "pages/PageWrites.h"
#include "basket/basketModel.h"
#include "basket/frmDialogExtension.h"
#include "basket/modMultiPage.h"
#include "frame/frmStatus.h"
#include "frame/TaskReplay.h"
#include "frame/globals.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/userdirs.h"
#include "support/doctools.h"
#include "support/filesizelimit.h"
#include "support/fulldisk.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <ostream>

// Readable failures for texts.
static inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace tf::test::multipage {

// A w x h picture: a coloured band, a grey ramp and a black bar, at `dpi`.
QImage pagePicture(int w, int h, QColor tint, int dpi = 150);
// Writes the picture in the format the extension names (jpg, png, tif, ppm, ...); a "grey" JPEG
// is written from the picture's grey version and a "mono" TIFF as 1 bit.
QString writePage(const QString& path, const QImage& picture);
// The basket: pages whose text is the file name and whose tag and source are the file.
std::unique_ptr<tf::basket::BasketModel> basketOf(const QStringList& files);
// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

// Makes a folder unwritable for the life of the object, also for root (which ignores modes):
// then through the immutable attribute. usable() is false when neither works here.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool usable() const { return m_usable; }

private:
    QString m_folder;
    bool m_immutable = false;
    bool m_usable = false;
};

// Runs `work` once on the first visible top-level T, polled from the event loop while the code under
// test waits in a modal loop; the polling ends with `owner`.
template <class T>
void onceShown(QObject* owner, std::function<void(T*)> work)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, work] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* shown = qobject_cast<T*>(w); shown && shown->isVisible()) {
                timer->stop();
                work(shown);
                return;
            }
    });
    timer->start(0);
}

class MultiPageFixture : public ::testing::Test {
    // Runs page jobs on the test's own thread on purpose: their results are what is tested.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    void SetUp() override
    {
        gudtSettings.SaveDialog = typSaveDialogOptions{.ProcessTaskList = 1};
        const char* names[] = {"p1.jpg", "p2.jpg", "p3.jpg", "p4.png", "p5_mono.tif", "p6_grey.tif", "p7.tif"};
        const QColor tints[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::magenta, Qt::black, Qt::darkCyan, Qt::yellow};
        for (int i = 0; i < 7; ++i)
            pages << writePage(src.file(QLatin1String(names[i])), pagePicture(101 + i, 80, tints[i]));
        setBasket(pages);
    }

    void setBasket(const QStringList& files, TaskReplayer& tasks)
    {
        commands.reset();
        basket = basketOf(files);
        commands = std::make_unique<MultiPageCommands>(*basket, ibTemp, tasks, &owner);
    }
    void setBasket(const QStringList& files) { setBasket(files, noTasks); }

    // The multipage save or append as a user makes it: the command, the choices on the panel and the name.
    bool save(const QString& path, int compression, int colorFormat, int filterIndex = 1)
    {
        return run(path, filterIndex, compression, colorFormat, -1, 0);
    }
    bool append(const QString& path, int appendMode, int outputMode, int colorFormat = 0, int compression = 0)
    {
        return run(path, 1, compression, colorFormat, appendMode, outputMode);
    }
    bool run(const QString& path, int filterIndex, int compression, int colorFormat, int appendMode, int outputMode)
    {
        dialogs.answerFile(path, filterIndex, [=](const FileDialogRequest& r) {
            auto* panel = qobject_cast<frmDialogExtension*>(r.panel);
            ASSERT_NE(panel, nullptr);
            panel->cboTIFFCompression->setCurrentIndex(compression);
            panel->cboColorFormat->setCurrentIndex(colorFormat);
            if (appendMode < 0) return; // the save variant has no append choices
            panel->cboAppendMode->setCurrentIndex(appendMode);
            panel->cboOutputMode->setCurrentIndex(outputMode);
        });
        int32_t filter = 2;
        return wait(appendMode < 0 ? commands->fncSaveToFileDialog(filter) : commands->fncAppendToFileDialog(filter));
    }

    // The end of an output the commands started, as the window gets it.
    bool wait(bool started)
    {
        if (!started) return false;
        QSignalSpy ended(commands.get(), &MultiPageCommands::outputFinished);
        if (ended.isEmpty() && !ended.wait(60000)) {
            ADD_FAILURE() << "the output never ended";
            return false;
        }
        return ended.takeFirst().at(0).toBool();
    }

    // Presses Cancel in the progress window once `pages` pages are done (0: while the first loads).
    void cancelAfter(int pages)
    {
        onceShown<frmStatus>(&owner, [pages](frmStatus* status) {
            auto* cmdCancel = status->findChild<QPushButton*>("cmdCancel");
            if (pages == 0) return cmdCancel->click();
            QObject::connect(status->findChild<QProgressBar*>("pbQueue"), &QProgressBar::valueChanged, status,
                             [cmdCancel, pages](int v) {
                                 if (v == pages) cmdCancel->click();
                             });
        });
    }

    // A page whose decoding hangs until the decoder's time limit: a Cancel pressed when the pages
    // before it are done finds the writer waiting on it, so the pages kept are known.
    QString hangingPage(const QString& name = QStringLiteral("hang.pbm"))
    {
        const QString path = src.file(name);
        QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/devil-pnm-hang.pbm"), path);
        return path;
    }

    // A PNG of random pixels, which no coder makes small: w x h x 3 bytes in any document.
    QString noisyPage(const QString& name, int w, int h)
    {
        QImage noise(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y * 31) % 253, (x ^ y) * 13 % 255));
        return writePage(src.file(name), noise);
    }

    // A small file system mounted on `folder` (emptied while mounted) for the rest of the test,
    // where the superuser may mount one; false when none can be mounted here.
    bool mountSmallDisk(const QString& folder, const char* size)
    {
        mounted.push_back(std::make_unique<SmallDisk>(folder, size));
        return mounted.back()->mounted();
    }
    std::vector<std::unique_ptr<SmallDisk>> mounted;
    void TearDown() override { mounted.clear(); }

    // Work folders the writers may leave behind in the program's own temp folder.
    QStringList spoolLeft() const { return folderEntries(userTempDir()).filter(QStringLiteral("-")); }

    TempFolder src;
    TempFolder out;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    QWidget owner;
    ImageDocument ibTemp;
    QStringList pages;
    NoTasks noTasks;
    std::unique_ptr<basket::BasketModel> basket;
    std::unique_ptr<MultiPageCommands> commands;
};

// While it lives, the page writers that write one file per page write one page at a time, in
// page order: a disk given a fixed number of bytes then fills in page order (pages written at
// once would race for the last bytes).
struct OnePageAtATime {
    OnePageAtATime() { OrderedPageWrites::setThreadsForTests(1); }
    ~OnePageAtATime() { OrderedPageWrites::setThreadsForTests(0); }
    OnePageAtATime(const OnePageAtATime&) = delete;
    OnePageAtATime& operator=(const OnePageAtATime&) = delete;
};

} // namespace tf::test::multipage
