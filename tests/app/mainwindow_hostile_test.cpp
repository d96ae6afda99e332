// Files that once crashed, froze or flooded the image libraries, listed, previewed and saved
// through the main window: the window stays up, each costs at most the decoders' time limit, and
// each says it could not be read.
#include "mainwindow_gui.h"

#include "platform/decode/decoder_client.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "support/doctools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>

using namespace tf;
using namespace tf::test;
using namespace std::chrono_literals;

namespace {

// Short limits for this program's decoders: a file that hangs one costs a second, not ten.
constexpr auto kTimeLimit = 1000ms;
const bool g_shortLimits = [] {
    decode::DecoderSettings settings;
    settings.timeLimit = kTimeLimit;
    settings.memoryLimit = int64_t(1) << 30;
    return decode::DecoderPool::configureShared(settings);
}();

class MainWindowHostileFiles : public MainWindowGui {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_shortLimits) << "the limits are set before any decoder starts";
        MainWindowGui::SetUp();
        const QDir regression(QStringLiteral(TF_LOADER_REGRESSION_DIR));
        // The damaged pictures a folder can show: the fuzzer's own inputs have no extension, and its
        // seeds are sound.
        for (const QString& name : regression.entryList(QDir::Files, QDir::Name)) {
            if (QFileInfo(name).suffix().isEmpty() || name.startsWith(QLatin1String("seed-"))) continue;
            ASSERT_TRUE(QFile::copy(regression.filePath(name), files.file(name)));
            hostile << name;
        }
        ASSERT_FALSE(hostile.isEmpty());
        writeQt(files.file("good.png"), solid(30, 20, Qt::darkGreen), "png");
    }

    QString panel(const char* key) const { return m_window->sbMain()->panelText(QString::fromLatin1(key)); }

    TempFolder files;
    QStringList hostile;
    TempFolder out;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
};

TEST_F(MainWindowHostileFiles, TheListingThePreviewAndTheBasketOutliveEveryOne)
{
    // Thumbnails: the damaged files make none but keep their rows, each saying why. All are tried
    // at once, so the whole folder costs about one time limit.
    QElapsedTimer timer;
    timer.start();
    frmMain& w = startOn(files.path(), /*details*/ false);
    ASSERT_EQ(rowCount(w.browse()->lvFolder()), hostile.size() + 1);
    EXPECT_TRUE(tipOf(row(w.browse()->lvFolder(), "good.png")).isEmpty());
    EXPECT_EQ(w.browse()->ilFolder().count(), 1);
    EXPECT_LT(timer.elapsed(), 4 * kTimeLimit.count());

    // Details read headers only: every file gets a row, and each is previewed in its turn.
    click(w.browse()->cmdDetailFolder());
    w.browse()->ftvBrowse_FolderSelected(files.path());
    ASSERT_EQ(rowCount(w.browse()->lvFolder()), hostile.size() + 1);
    for (const QString& name : hostile) {
        SCOPED_TRACE(name.toStdString());
        timer.restart();
        clickRow(w.browse()->lvFolder(), name);
        EXPECT_EQ(panel("filename"), "Unable to read - " + name);
        EXPECT_LT(timer.elapsed(), 2 * kTimeLimit.count());
    }
    clickRow(w.browse()->lvFolder(), "good.png");
    EXPECT_EQ(panel("filename"), "good.png") << "the decoders serve the next file as before";

    // Files that were sound pictures when they entered the basket and are damaged by the time
    // it is saved: the document holds the sound page, and one message at the end names every
    // page left out.
    TempFolder later;
    QStringList damaged;
    for (const QString& name : hostile) {
        const QString path = later.file(name);
        const QString type = QFileInfo(name).suffix().toLower();
        if (type == "tif") {
            ASSERT_TRUE(writeRgbTiff(path, {solid(12, 8, Qt::red)}));
        } else if (QImageWriter::supportedImageFormats().contains(type.toLatin1())) {
            writeQt(path, solid(12, 8, Qt::red), type.toLatin1().constData());
        } else {
            continue; // no writer for a sound one
        }
        damaged << name;
    }
    ASSERT_GE(damaged.size(), 4);
    writeQt(later.file("good.png"), solid(30, 20, Qt::darkGreen), "png");
    w.browse()->ftvBrowse_FolderSelected(later.path());
    ASSERT_EQ(rowCount(w.browse()->lvFolder()), damaged.size() + 1);
    const QStringList listed = rowTexts(w.browse()->lvFolder());
    clickRow(w.browse()->lvFolder(), listed.first());
    clickRow(w.browse()->lvFolder(), listed.last(), Qt::ShiftModifier);
    boxes.clear();
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    ASSERT_EQ(rowCount(w.basket()->lvPages()), damaged.size() + 1) << boxes.prompts().join("\n").toStdString();
    for (const QString& name : damaged) {
        QFile::remove(later.file(name));
        ASSERT_TRUE(QFile::copy(files.file(name), later.file(name)));
    }

    const QString tiff = out.file("pages.tif");
    dialogs.answerFile(tiff, 1, [](const FileDialogRequest&) {});
    timer.restart();
    untilOutputEnds(w, [&] { chooseFromMenu(w.basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file "); });
    EXPECT_LT(timer.elapsed(), (damaged.size() + 2) * 2 * kTimeLimit.count());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>{30});
    ASSERT_EQ(boxes.shown().size(), 1u) << boxes.prompts().join("\n---\n").toStdString();
    const QString message = boxes.shown().front().prompt;
    for (const QString& name : damaged)
        EXPECT_TRUE(message.contains(QFileInfo(name).completeBaseName())) << name.toStdString() << " in " << message.toStdString();
    EXPECT_FALSE(message.contains("good"));
}

} // namespace
