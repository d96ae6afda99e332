// The metadata area's wiring in the main window: a shown file's metadata reaches the lists the
// window places, and the bars' buttons reach the commands. What the lists and commands do is
// tested in tests/metadata.
#include "mainwindow_gui.h"

#include "metadata/MetadataController.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"

#include <chrono>
#include <future>
#include <thread>

using namespace tf;
using namespace tf::test;

TEST_F(MainWindowGui, AShownFilesMetadataFillsTheListsAndTheBarsReachTheCommands)
{
    TempFolder shots;
    const QString path = shots.file("shot.jpg");
    writeQt(path, solid(40, 30, Qt::red), "jpg");
    int rc = -1;
    runTool("exiv2", {"-Mset Exif.Image.Make Canon", "-Mset Exif.Image.Orientation 1", "-Mset Iptc.Application2.Caption Hello",
                      "mo", path},
            &rc);
    ASSERT_EQ(rc, 0);

    frmMain& w = startOn(shots.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "shot.jpg");
    const QAbstractItemModel* exif = w.metadata()->lvExif()->model();
    ASSERT_GT(exif->rowCount(), 0);
    EXPECT_EQ(exif->index(0, 0).data().toString(), "Make");
    EXPECT_EQ(exif->index(0, 1).data().toString(), "Canon");
    EXPECT_EQ(w.metadata()->lvIPTC()->model()->index(0, 1).data().toString(), "Hello");
    EXPECT_TRUE(w.sbMain()->panelText("metadata").endsWith("IPTC")) << "the preview asked the metadata area";

    // The window's image list gives the rows their icon: editable EXIF rows and every IPTC row.
    const auto hasIcon = [](const QAbstractItemModel* rows, const QString& text) {
        for (int i = 0; i < rows->rowCount(); ++i)
            if (rows->index(i, 0).data().toString() == text) return !rows->index(i, 0).data(Qt::DecorationRole).isNull();
        ADD_FAILURE() << "no row " << text.toStdString();
        return false;
    };
    EXPECT_TRUE(hasIcon(exif, "Make"));
    EXPECT_FALSE(hasIcon(exif, "Orientation"));
    EXPECT_TRUE(hasIcon(w.metadata()->lvIPTC()->model(), "Caption"));
    EXPECT_TRUE(hasIcon(w.metadata()->lvIPTC()->model(), "Image Notes"));

    // The clear button of the EXIF bar asks its question.
    ScriptedMessageBoxes messages;
    messages.answerNext(vbNo);
    w.cmdEXIFBar(3)->click();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_TRUE(messages.shown()[0].prompt.startsWith("All EXIF metadata"));
}

TEST_F(MainWindowGui, AFileWhoseMetadataTakesSecondsToReadHoldsTheWindowNoLonger)
{
    TempFolder shots;
    const QString path = shots.file("slow.jpg");
    writeQt(path, solid(40, 30, Qt::red), "jpg");
    int rc = -1;
    runTool("exiv2", {"-Mset Exif.Image.Make Canon", "mo", path}, &rc);
    ASSERT_EQ(rc, 0);

    frmMain& w = startOn(shots.path(), /*details*/ true);
    // Read on a worker, as the real reader is; this one waits until the test lets it go on (a
    // minute at most, so that a window that waited for it shows as a minute's gap).
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    w.metadata()->readFile = [released](ExifIptc& meta, const QString& file) {
        released.wait_for(std::chrono::seconds(60));
        return meta.readFrom(file);
    };
    EventLoopGaps gaps;
    ReportView* list = w.browse()->lvFolder();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row(list, "slow.jpg")).center());
    EXPECT_LT(gaps.longestMs(), 30000) << "the window waited for the read";
    release->set_value();
    settleBrowse();
    ASSERT_GT(w.metadata()->lvExif()->model()->rowCount(), 0);
    EXPECT_EQ(w.metadata()->lvExif()->model()->index(0, 1).data().toString(), "Canon");
    EXPECT_EQ(w.sbMain()->panelText("metadata"), "Metadata - EXIF");
}
