// Saving the basket as a new multipage TIFF or PDF, end to end, the files read back by other tools.
#include "multipage_fixture.h"

#include "frame/LongCommand.h"
#include "platform/decode/decoder_client.h"

#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <atomic>

using namespace tf;
using namespace tf::test;
using namespace tf::test::multipage;

using MultiPageSave = MultiPageFixture;

TEST_F(MultiPageSave, TiffPagesInBasketOrderWithTheChosenSettings)
{
    // What each choice writes is the writer's test; here the pages' order and that the choices arrive.
    const QString path = out.file(QStringLiteral("doc.tif"));
    ASSERT_TRUE(save(path, /*PackBits*/ 1, /*256 Grayscale*/ 2));
    EXPECT_EQ(gudtSettings.SaveDialog.TiffCompression, 1) << "the panel stores the choice";
    EXPECT_EQ(gudtSettings.SaveDialog.ColorFormat, 2);
    const std::vector<TiffDirectory> dirs = tiffDirectories(path);
    ASSERT_EQ(dirs.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(dirs[i].value(256), 101 + i) << "basket order, page " << i + 1;
        EXPECT_EQ(dirs[i].value(259), 32773);
        EXPECT_EQ(dirs[i].value(258), 8);
        EXPECT_FALSE(dirs[i].tags.contains(305)) << "no Software on pages of a new file";
    }
    EXPECT_EQ(folderEntries(out.path()), QStringList{"doc.tif"}) << "no temporary files beside the document";
    EXPECT_TRUE(spoolLeft().isEmpty());
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(commands->LastOutputPath(), path);
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
    EXPECT_EQ(widthsOf(images), QList<int>({104, 101, 102, 103, 105, 106, 107}));
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(images[i].page, i + 1);
        // The JPEGs go in as they are, the others decoded; how each is coded is the writer's test.
        EXPECT_EQ(images[i].enc, i >= 1 && i <= 3 ? "jpeg" : "image") << i;
    }

    // Grey pages: the basket's colour JPEG is decoded and converted, a grey one goes in as it is.
    setBasket({pages[0], writePage(src.file("q_grey.jpg"), pagePicture(110, 60, Qt::red))});
    const QString grey = out.file(QStringLiteral("grey.pdf"));
    ASSERT_TRUE(save(grey, 0, 2, 3));
    const std::vector<PdfImage> g = pdfImages(grey);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].enc + ' ' + g[0].color, "image gray");
    EXPECT_EQ(g[1].enc + ' ' + g[1].color, "jpeg gray");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageSave, NamesAreCompletedAndTheFormatFollowsTheName)
{
    // Typed without an extension while the PDF type was selected.
    ASSERT_TRUE(save(out.file("report"), 0, 0, 3));
    EXPECT_EQ(pdfPages(out.file("report.pdf")), 7);
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
    setBasket({pages[0], pages[1], hangingPage(), pages[3]});
    const QString path = out.file(QStringLiteral("cut.tif"));
    cancelAfter(2);
    ASSERT_TRUE(save(path, 1, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(path)), QList<int>({101, 102}));
    EXPECT_TRUE(boxes.shown().empty()) << "a cancel ends without a message";

    // Over an existing file a Cancel, before the first page or after some, leaves it as it was.
    const QByteArray old = "an older document";
    out.write("early.pdf", old);
    for (int after : {0, 2}) {
        SCOPED_TRACE(after);
        cancelAfter(after);
        EXPECT_FALSE(save(out.file("early.pdf"), 0, 0, 3));
        EXPECT_EQ(readAll(out.file("early.pdf")), old);
        EXPECT_TRUE(boxes.shown().empty());
        EXPECT_EQ(folderEntries(out.path()), QStringList({"cut.tif", "early.pdf"}));
        EXPECT_TRUE(spoolLeft().isEmpty());
    }
}

TEST_F(MultiPageSave, ClosingTheMainWindowDuringASaveStopsItAndClosesOnceItHasEnded)
{
    struct MainWindow : QWidget {
        int closes = 0;
        void closeEvent(QCloseEvent* event) override
        {
            if (fncCloseWhenIdle(this)) return event->ignore();
            ++closes;
            event->accept();
        }
    } main;
    main.show();
    setBasket({pages[0], pages[1], hangingPage(), pages[3]});
    onceShown<frmStatus>(&owner, [&main](frmStatus* status) {
        auto* pbQueue = status->findChild<QProgressBar*>("pbQueue");
        QObject::connect(pbQueue, &QProgressBar::valueChanged, status, [&main](int v) {
            if (v == 2) main.close(); // while the save waits on the third page
        });
    });
    bool openWhenEnded = false;
    QObject::connect(commands.get(), &MultiPageCommands::outputFinished, &owner, [&] { openWhenEnded = main.isVisible(); });
    const QString path = out.file("closing.tif");
    ASSERT_TRUE(save(path, 1, 0)) << "a new file keeps the pages before the stop";
    EXPECT_EQ(widthsOf(tiffDirectories(path)), QList<int>({101, 102}));
    EXPECT_TRUE(openWhenEnded);
    QCoreApplication::processEvents();
    EXPECT_EQ(main.closes, 1);
    EXPECT_FALSE(isLongCommandRunning());
}

TEST_F(MultiPageSave, PagesDecodedAheadArriveInBasketOrderWithTheirOwnPixels)
{
    // More pages than are decoded ahead at once, with a neighbour of the same kind on every side.
    QStringList files = pages;
    for (auto it = pages.crbegin(); it != pages.crend(); ++it) files << *it;
    setBasket(files);
    const QString path = out.file(QStringLiteral("ahead.tif"));
    ASSERT_TRUE(save(path, /*None*/ 0, /*24 bit*/ 0));
    ASSERT_EQ(tiffDirectories(path).size(), size_t(files.size()));
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString() + ", page " + std::to_string(i + 1));
        ImageDocument page;
        page.setPageIndex(i + 1);
        page.LoadFromFile(path);
        ASSERT_FALSE(page.LoadFailed());
        const QImage source = loadPage(files[i]);
        EXPECT_TRUE(page.BitmapHandle().convertToFormat(QImage::Format_RGB32) == source.convertToFormat(QImage::Format_RGB32));
    }
}

TEST_F(MultiPageSave, ACancelLeavesNoDecodingAheadRunning)
{
    // Pages that hang a decoder follow the first: a Cancel after it frees the decoders reading ahead.
    QStringList files = {pages[0]};
    for (int i = 0; i < decode::DecoderPool::shared().processCount(); ++i) {
        const QString name = src.file(QStringLiteral("hang%1.pbm").arg(i));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/devil-pnm-hang.pbm"), name));
        files << name;
    }
    setBasket(files);
    cancelAfter(1);
    ASSERT_TRUE(save(out.file(QStringLiteral("cut.tif")), 0, 0));
    EXPECT_EQ(tiffDirectories(out.file(QStringLiteral("cut.tif"))).size(), 1u);

    // None is still at work, long before the time limit would have ended them.
    QElapsedTimer timer;
    timer.start();
    while (decode::DecoderPool::shared().busy() > 0 && timer.elapsed() < 3000) QThread::msleep(10);
    EXPECT_EQ(decode::DecoderPool::shared().busy(), 0);
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
    auto expectUntouched = [&](const char* what, const QString& reason = QString()) {
        SCOPED_TRACE(what);
        EXPECT_EQ(readAll(target), old);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].prompt, reason.isEmpty() ? critical : reason + '\n' + critical.section('\n', 0, 0));
        EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
        EXPECT_EQ(boxes.shown()[0].title, "Tavrel Folio");
        EXPECT_EQ(folderEntries(out.path()), QStringList{"doc.tif"});
        EXPECT_TRUE(spoolLeft().isEmpty());
        boxes.clear();
    };

    // The disk refuses the second page: files may not grow past one page.
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
    expectUntouched("read-only folder",
                    QStringLiteral("You do not have permission to write in ") + QDir(out.path()).absolutePath() + '.');
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

    // The menu's entry opens the save dialog; the progress window blocks the window while writing.
    bool modal = false;
    onceShown<frmStatus>(&owner, [&](frmStatus* status) { modal = status->windowModality() == Qt::WindowModal; });
    dialogs.answerFile(out.file("menu.tif"));
    QSignalSpy ended(commands.get(), &MultiPageCommands::outputFinished);
    commands->mnuSaveAs(1)->trigger();
    ASSERT_TRUE(ended.wait(60000));
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
        std::atomic<int> calls = 0;
        bool hasTasks() const override { return true; }
        ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
        ReplayResult replayAll(ImageDocument& page) override
        {
            ++calls;
            page.setPicture(pagePicture(50, 40, Qt::red));
            return {false, QStringLiteral("Crop: the area lies outside the picture")};
        }
    } tasks;
    setBasket(pages, tasks);
    auto expectToldOnce = [&] {
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.endsWith("\nCrop: the area lies outside the picture"));
        boxes.clear();
    };

    const QString tiff = out.file("edited.tif");
    ASSERT_TRUE(save(tiff, 0, 0));
    EXPECT_EQ(tasks.calls, 7);
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>(7, 50));
    expectToldOnce();

    // JPEG pages are decoded for the tasks instead of going into the PDF as they are.
    ASSERT_TRUE(save(out.file("edited.pdf"), 0, 0));
    EXPECT_EQ(widthsOf(pdfImages(out.file("edited.pdf"))), QList<int>(7, 50));
    expectToldOnce();

    ASSERT_TRUE(append(tiff, 1, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>(14, 50));
    expectToldOnce();

    // Not asked to process the task list: nothing is replayed.
    gudtSettings.SaveDialog.ProcessTaskList = 0;
    ASSERT_TRUE(save(out.file("plain.tif"), 0, 0));
    EXPECT_EQ(tasks.calls, 21);
    EXPECT_EQ(widthsOf(tiffDirectories(out.file("plain.tif"))).first(), 101);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageSave, AFullDiskIsNamedFirst)
{
    const QString disk = out.file("disk");
    if (!mountSmallDisk(disk, "64k")) GTEST_SKIP() << "cannot mount a small file system here";
    // Each document is larger than the disk: seven uncompressed pages, one page of noise.
    const struct {
        const char* name;
        QStringList basket;
    } cases[] = {{"doc.tif", pages}, {"doc.pdf", {noisyPage("noise.png", 200, 200)}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setBasket(c.basket);
        boxes.clear();
        const QByteArray old = "the user's document";
        const QString target = out.write(QStringLiteral("disk/") + c.name, old);
        EXPECT_FALSE(save(target, 0, 0, QString(c.name).endsWith(".pdf") ? 3 : 1));
        EXPECT_EQ(readAll(target), old);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].prompt, "The disk is full.\nError while saving to the selected file format!");
        EXPECT_EQ(folderEntries(disk), QStringList{c.name});
        QFile::remove(target);
    }
}
