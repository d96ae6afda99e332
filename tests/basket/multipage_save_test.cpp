// Saving the basket as a new multipage TIFF or PDF, end to end: the Save As command, the dialog
// with its panel worked as a user would, the writers, and the files read back by other tools.
#include "multipage_fixture.h"

#include <QFile>

using namespace tf;
using namespace tf::test;
using namespace tf::test::multipage;

namespace {

struct Depth {
    int bits;
    int samples;
    int photometric;
};
// What each colour format is written as: bits per sample, samples per pixel, photometric.
Depth depthOf(int colorFormat)
{
    switch (colorFormat) {
    case 0:
        return {8, 3, 2};
    case 1:
        return {8, 1, 3};
    case 2:
        return {8, 1, 1};
    case 3:
        return {4, 1, 3};
    case 4:
        return {4, 1, 1};
    default:
        return {1, 1, 0};
    }
}

} // namespace

using MultiPageSave = MultiPageFixture;

TEST_F(MultiPageSave, TiffWithEveryCompressionAndColourFormat)
{
    const int codes[] = {1, 32773, 4};
    for (int compression = 0; compression < 3; ++compression) {
        for (int format = 0; format < 7; ++format) {
            SCOPED_TRACE(testing::Message() << "compression " << compression << ", colour format " << format);
            const QString path = out.file(QStringLiteral("doc_%1_%2.tif").arg(compression).arg(format));
            ASSERT_TRUE(save(path, compression, format));
            EXPECT_EQ(gudtSettings.SaveDialog.TiffCompression, compression) << "the panel stores the choice";
            EXPECT_EQ(gudtSettings.SaveDialog.ColorFormat, format);

            const std::vector<TiffDirectory> dirs = tiffDirectories(path);
            ASSERT_EQ(dirs.size(), 7u);
            // Group 4 codes black and white only: every other format is reduced by threshold.
            const Depth d = depthOf(compression == 2 ? (format == 5 ? 5 : 6) : format);
            for (int i = 0; i < 7; ++i) {
                EXPECT_EQ(dirs[i].value(256), 101 + i) << "basket order, page " << i + 1;
                EXPECT_EQ(dirs[i].value(259), codes[compression]);
                EXPECT_EQ(dirs[i].value(258), d.bits);
                EXPECT_EQ(dirs[i].value(277), d.samples);
                EXPECT_EQ(dirs[i].value(262), d.photometric);
                EXPECT_EQ(dirs[i].value(282), 150) << "resolution from the page";
                EXPECT_FALSE(dirs[i].tags.contains(305)) << "no Software on pages of a new file";
            }
        }
    }
    EXPECT_EQ(folderEntries(out.path()).size(), 21) << "no temporary files beside the documents";
    EXPECT_TRUE(spoolLeft().isEmpty());
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(commands->LastOutputPath(), out.file(QStringLiteral("doc_2_6.tif")));
}

TEST_F(MultiPageSave, PdfPagesInBasketOrderWithTheEncodingThatSuitsEach)
{
    // A page moved in the basket is written where it now stands.
    basket->move({3}, 0); // p4.png
    const QString path = out.file(QStringLiteral("doc.pdf"));
    ASSERT_TRUE(save(path, 0, 0, 3));
    EXPECT_TRUE(qpdfCheckPasses(path));
    EXPECT_EQ(pdfPages(path), 7);
    const std::vector<PdfImage> images = pdfImages(path);
    ASSERT_EQ(images.size(), 7u);
    const int widths[] = {104, 101, 102, 103, 105, 106, 107};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(images[i].page, i + 1);
        EXPECT_EQ(images[i].width, widths[i]);
        EXPECT_EQ(images[i].height, 80);
    }
    // The JPEGs go in as they are; the other pages as Flate-coded 24-bit pixels.
    EXPECT_EQ(images[1].enc, "jpeg");
    EXPECT_EQ(images[2].enc, "jpeg");
    EXPECT_EQ(images[3].enc, "jpeg");
    EXPECT_EQ(images[0].enc, "image");
    EXPECT_EQ(images[4].color, "rgb");
    // 101 pixels at 150 dpi are 48.48 points.
    EXPECT_TRUE(runTool("pdfinfo", {"-f", "2", "-l", "2", path}).contains("48.48 x 38.4 pts"))
        << runTool("pdfinfo", {"-f", "2", "-l", "2", path}).toStdString();

    // Mono: every page black and white in Group 4; grey: colour JPEGs are converted, grey ones kept.
    const QString mono = out.file(QStringLiteral("mono.pdf"));
    ASSERT_TRUE(save(mono, 0, 5, 3));
    for (const PdfImage& im : pdfImages(mono)) {
        EXPECT_EQ(im.enc, "ccitt");
        EXPECT_EQ(im.bpc, 1);
    }
    setBasket({pages[0], writePage(src.file("q_grey.jpg"), pagePicture(110, 60, Qt::red))});
    const QString grey = out.file(QStringLiteral("grey.pdf"));
    ASSERT_TRUE(save(grey, 0, 2, 3));
    const std::vector<PdfImage> g = pdfImages(grey);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].enc, "image");
    EXPECT_EQ(g[0].color, "gray");
    EXPECT_EQ(g[1].enc, "jpeg");
    EXPECT_EQ(g[1].color, "gray");
    EXPECT_TRUE(qpdfCheckPasses(mono) && qpdfCheckPasses(grey));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageSave, NamesAreCompletedAndTheFormatFollowsTheName)
{
    // Typed without an extension while the PDF type was selected.
    ASSERT_TRUE(save(out.file("report"), 0, 0, 3));
    EXPECT_EQ(pdfPages(out.file("report.pdf")), 7);
    // Another extension keeps its text and gets the selected type's.
    ASSERT_TRUE(save(out.file("scan.jpg"), 1, 0, 2));
    EXPECT_EQ(tiffDirectories(out.file("scan.jpg.tif")).size(), 7u);
    EXPECT_FALSE(QFile::exists(out.file("scan.jpg")));
    // The completed name exists: the dialog asked about another name, so ask again.
    const QByteArray old = "keep me";
    out.write("notes.tif", old);
    boxes.answerNext(vbNo);
    EXPECT_FALSE(save(out.file("notes."), 0, 0, 2));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("notes.tif already exists."));
    EXPECT_EQ(readAll(out.file("notes.tif")), old);
    // Cancelling the dialog writes nothing.
    dialogs.cancelFile();
    int32_t filter = 2;
    EXPECT_FALSE(commands->fncSaveToFileDialog(filter));
}

TEST_F(MultiPageSave, CancelKeepsThePagesBeforeItAndZeroPagesWriteNothing)
{
    const QString path = out.file(QStringLiteral("cut.tif"));
    cancelAfter(2);
    ASSERT_TRUE(save(path, 1, 0));
    const std::vector<TiffDirectory> dirs = tiffDirectories(path);
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[1].value(256), 102);
    EXPECT_EQ(gblnCancelOperation, 0) << "the flag is cleared once seen";
    EXPECT_TRUE(boxes.shown().empty()) << "a cancel ends without a message";

    // Cancel before the first page: an existing file stays, and the user hears why.
    const QByteArray old = "an older document";
    out.write("early.pdf", old);
    cancelAfter(0);
    EXPECT_FALSE(save(out.file("early.pdf"), 0, 0, 3));
    EXPECT_EQ(readAll(out.file("early.pdf")), old);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "No page was written, so no file was saved.");
    EXPECT_EQ(folderEntries(out.path()), QStringList({"cut.tif", "early.pdf"}));
    EXPECT_TRUE(spoolLeft().isEmpty());
}

TEST_F(MultiPageSave, UnreadablePagesAreLeftOutAndNamedInOneMessage)
{
    const QString bad = src.write("bad.ppm", "P6 not a picture");
    const QString broken = src.write("broken.jpg", QByteArray("\xFF\xD8\xFF\xE0 garbage", 12));
    const QString ppm = writePage(src.file("fine.ppm"), pagePicture(120, 50, Qt::red));
    setBasket({pages[0], bad, broken, ppm});
    ASSERT_TRUE(save(out.file("some.tif"), 0, 0));
    const std::vector<TiffDirectory> dirs = tiffDirectories(out.file("some.tif"));
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[1].value(256), 120) << "a type the control does not read comes through the shared loader";
    ASSERT_EQ(boxes.shown().size(), 1u) << "one message for every page left out";
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith("\nbad.ppm\nbroken.jpg")) << boxes.shown()[0].prompt.toStdString();

    // Every page unreadable: nothing is written.
    boxes.clear();
    setBasket({bad});
    EXPECT_FALSE(save(out.file("none.tif"), 0, 0));
    EXPECT_FALSE(QFile::exists(out.file("none.tif")));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("No page was written"));
}

TEST_F(MultiPageSave, FailuresLeaveTheExistingFileAsItWas)
{
    const QByteArray old = QByteArray("the user's document ").repeated(50);
    const QString target = out.write("doc.tif", old);
    const QString critical = QStringLiteral(
        "Error while saving to the selected file format!\nEither the file structure/format is not supported, or "
        "some source file is corrupt.\nPlease try with another file");
    auto expectUntouched = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(readAll(target), old);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].prompt, critical);
        EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
        EXPECT_EQ(boxes.shown()[0].title, "Tavrel Folio");
        EXPECT_EQ(folderEntries(out.path()), QStringList{"doc.tif"});
        EXPECT_TRUE(spoolLeft().isEmpty());
        boxes.clear();
    };

    // The disk refuses the second page: files may not grow past one page.
    setBasket(pages);
    {
        FileSizeLimit limit(101 * 80 * 3 + 4000);
        EXPECT_FALSE(save(target, 0, 0));
    }
    EXPECT_EQ(gstrCurrentOperation, "File - 'p2.jpg'");
    expectUntouched("write failure on page 2");

    // The folder cannot be written: everything is ready, but the file cannot be replaced.
    {
        ReadOnlyFolder locked(out.path());
        if (!locked.usable()) GTEST_SKIP() << "cannot make a folder read-only here";
        EXPECT_FALSE(save(target, 0, 0, 3));
    }
    expectUntouched("read-only folder");
}

TEST_F(MultiPageSave, NoPagesOfAnEarlierSaveJoinTheNext)
{
    // An earlier save that stopped half-way left a page in the control.
    ibTemp.LoadFromFile(pages[6]);
    ibTemp.AddTiffPage(1);
    ibTemp.AddPdfPage(1);
    ASSERT_TRUE(save(out.file("next.tif"), 0, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(out.file("next.tif"))).first(), 101);
    EXPECT_EQ(tiffDirectories(out.file("next.tif")).size(), 7u);
    ASSERT_TRUE(save(out.file("next.pdf"), 0, 0, 3));
    EXPECT_EQ(pdfPages(out.file("next.pdf")), 7);
}

TEST_F(MultiPageSave, CommandsAndTheProgressWindow)
{
    ASSERT_NE(commands->mnuSaveAs(1), nullptr);
    EXPECT_EQ(commands->mnuSaveAs(0)->text(), "Single Page files (batch mode)");
    EXPECT_EQ(commands->mnuSaveAs(1)->text(), "Multi-page file ");
    EXPECT_EQ(commands->mnuSaveAs(2)->text(), "Screensaver/Slide");
    int batch = 0;
    QObject::connect(commands.get(), &MultiPageCommands::batchConversionRequested, [&] { ++batch; });
    commands->mnuSaveAs(0)->trigger();
    EXPECT_EQ(batch, 1);

    // The menu's multipage entry opens the save dialog with the panel; the progress window blocks
    // the main window while pages are written.
    bool modal = false;
    auto* probe = new QTimer(&owner);
    probe->setInterval(0);
    QObject::connect(probe, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<frmStatus*>(w); s && s->isVisible())
                modal = s->windowModality() == Qt::WindowModal;
    });
    probe->start();
    dialogs.answerFile(out.file("menu.tif"));
    commands->mnuSaveAs(1)->trigger();
    probe->stop();
    EXPECT_TRUE(modal);
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    const FileDialogRequest& r = dialogs.fileRequests()[0];
    EXPECT_EQ(r.title, "Save to a multipage format");
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.filter, "All multipage formats (*.tif;*.tiff;*.pdf)|*.tif;*.tiff;*.pdf|Tag Image format (*.tif;*.tiff)|"
                        "*.tif;*.tiff|Portable document (*.pdf)|*.pdf");
    EXPECT_EQ(r.defaultSuffix, "tif");
    EXPECT_EQ(tiffDirectories(out.file("menu.tif")).size(), 7u);

    // An empty basket: the commands do nothing.
    setBasket({});
    commands->subSaveAsMultiPage();
    commands->cmdsaveAppend_Click();
    EXPECT_EQ(dialogs.fileRequests().size(), 1u);
}

TEST_F(MultiPageSave, TheTaskListEditsEveryPageAndAFailingReplayIsToldOncePerCommand)
{
    // Every page comes out 50 pixels wide; the replay says it failed each time.
    struct Failing : TaskReplayer {
        int calls = 0;
        bool hasTasks() const override { return true; }
        ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
        ReplayResult replayAll(ImageDocument& page) override
        {
            ++calls;
            page.setPicture(pagePicture(50, 40, Qt::red));
            return {false, QStringLiteral("Crop: the area lies outside the picture")};
        }
    } tasks;
    PageWriteOptions options(tasks);
    options.processTaskList = 1;
    auto expectToldOnce = [&] {
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.endsWith("\nCrop: the area lies outside the picture"));
        boxes.clear();
    };

    const QString tiff = out.file("edited.tif");
    ASSERT_TRUE(fncSavePagesToNewFile(basket->pages(), ibTemp, tiff, options));
    EXPECT_EQ(tasks.calls, 7);
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>(7, 50));
    expectToldOnce();

    // JPEG pages are decoded for the tasks instead of going into the PDF as they are.
    options.format = 1;
    ASSERT_TRUE(fncSavePagesToNewFile(basket->pages(), ibTemp, out.file("edited.pdf"), options));
    EXPECT_EQ(widthsOf(pdfImages(out.file("edited.pdf"))), QList<int>(7, 50));
    expectToldOnce();

    options.appendMode = 1;
    ASSERT_TRUE(fncSavePagesToExistingFile(basket->pages(), ibTemp, tiff, options));
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>(14, 50));
    expectToldOnce();

    // Not asked to process the task list: nothing is replayed.
    options.processTaskList = 0;
    options.format = 0;
    ASSERT_TRUE(fncSavePagesToNewFile(basket->pages(), ibTemp, out.file("plain.tif"), options));
    EXPECT_EQ(tasks.calls, 21);
    EXPECT_EQ(widthsOf(tiffDirectories(out.file("plain.tif"))).first(), 101);
    EXPECT_TRUE(boxes.shown().empty());
}
