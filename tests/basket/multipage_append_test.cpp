// Appending the basket to a TIFF or PDF: at either end, in place or into a new file, and failures.
#include "multipage_fixture.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

using namespace tf;
using namespace tf::test;
using namespace tf::test::multipage;

namespace {

class MultiPageAppend : public MultiPageFixture {
protected:
    void SetUp() override
    {
        MultiPageFixture::SetUp();
        setBasket({pages[0], pages[3], pages[6]}); // widths 101, 104, 107
        // The user's documents, made by other programs: two pages each, 201 and 202 wide.
        const QString a = writePage(src.file("old1.tif"), pagePicture(201, 90, Qt::gray));
        const QString b = writePage(src.file("old2_mono.tif"), pagePicture(202, 90, Qt::black));
        tiff = out.file("a.tif");
        runTool("tiffcp", {a, b, tiff});
        tiffBytes = readAll(tiff);
        ASSERT_EQ(tiffDirectories(tiff).size(), 2u);

        pdf = out.file("a.pdf");
        {
            QPdfWriter writer(pdf);
            writer.setResolution(72);
            QPainter p(&writer);
            p.drawImage(0, 0, pagePicture(201, 90, Qt::gray));
            writer.newPage();
            p.drawImage(0, 0, pagePicture(202, 90, Qt::black));
        }
        pdfBytes = readAll(pdf);
        ASSERT_EQ(widthsOf(pdfImages(pdf)), QList<int>({201, 202}));
    }

    QString tiff, pdf;
    QByteArray tiffBytes, pdfBytes;
    const QString critical = QStringLiteral(
        "Error while appending to the selected file!\nEither the file structure/format is not supported, or the "
        "file itself is corrupt.\nPlease try with another file");
};

} // namespace

TEST_F(MultiPageAppend, TiffAtTheBeginningAndTheEnd)
{
    // The old pages' bytes are the writer's test. At the end, into a new file: a.tif stays, a_new.tif
    // takes old pages then the basket; Group 4 with 256 greys chosen makes the new pages black and white.
    ASSERT_TRUE(append(tiff, 1, 1, 2, 2));
    EXPECT_EQ(readAll(tiff), tiffBytes);
    const QString made = out.file("a_new.tif");
    std::vector<TiffDirectory> dirs = tiffDirectories(made);
    EXPECT_EQ(widthsOf(dirs), QList<int>({201, 202, 101, 104, 107}));
    EXPECT_EQ(dirs[4].value(259), 4);
    EXPECT_EQ(dirs[4].value(258), 1);

    // At the beginning, in place.
    ASSERT_TRUE(append(tiff, 0, 0, 0, 1));
    dirs = tiffDirectories(tiff);
    EXPECT_EQ(widthsOf(dirs), QList<int>({101, 104, 107, 201, 202}));
    EXPECT_EQ(dirs[2].tags.value(305), "Tavrel Folio\\0") << "an added page names the program";
    EXPECT_EQ(dirs[2].value(259), 32773);

    // New-file mode while a_new.tif exists: another free name, both files untouched.
    const QByteArray before = readAll(tiff), firstNew = readAll(made);
    ASSERT_TRUE(append(tiff, 1, 1));
    EXPECT_EQ(readAll(tiff), before);
    EXPECT_EQ(readAll(made), firstNew);
    const QStringList names = folderEntries(out.path());
    ASSERT_EQ(names.size(), 4) << names.join(", ").toStdString();
    const QString third = names.filter(QRegularExpression("^a_\\d{1,4}\\.tif$")).value(0);
    EXPECT_EQ(tiffDirectories(out.file(third)).size(), 8u);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(spoolLeft().isEmpty());
}

TEST_F(MultiPageAppend, PdfAtTheBeginningAndTheEnd)
{
    ASSERT_TRUE(append(pdf, 0, 1));
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Select a multipage image or document");
    EXPECT_FALSE(dialogs.fileRequests()[0].save);
    EXPECT_EQ(gudtSettings.SaveDialog.OutputMode, 1) << "the panel stores the choice";
    EXPECT_EQ(commands->LastOutputPath(), pdf);
    EXPECT_EQ(readAll(pdf), pdfBytes);
    const QString made = out.file("a_new.pdf");
    EXPECT_TRUE(qpdfCheckPasses(made));
    const std::vector<PdfImage> images = pdfImages(made);
    EXPECT_EQ(widthsOf(images), QList<int>({101, 104, 107, 201, 202}));
    ASSERT_EQ(images.size(), 5u);
    EXPECT_EQ(images[0].enc, "jpeg") << "a JPEG page goes in as it is";

    ASSERT_TRUE(append(pdf, 1, 0, 5));
    EXPECT_TRUE(qpdfCheckPasses(pdf));
    EXPECT_EQ(pdfPages(pdf), 5);
    const std::vector<PdfImage> end = pdfImages(pdf);
    EXPECT_EQ(widthsOf(end), QList<int>({201, 202, 101, 104, 107}));
    EXPECT_EQ(end.back().enc, "ccitt");
    EXPECT_EQ(folderEntries(out.path()), QStringList({"a.pdf", "a.tif", "a_new.pdf"}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageAppend, ANewFileTakesTheExtensionInLowerCase)
{
    const QString upper = out.file("B.PDF");
    ASSERT_TRUE(QFile::copy(pdf, upper));
    ASSERT_TRUE(append(upper, 1, 1));
    EXPECT_EQ(readAll(upper), pdfBytes);
    EXPECT_TRUE(qpdfCheckPasses(out.file("B_new.pdf")));
    EXPECT_FALSE(QFileInfo::exists(out.file("B_new.PDF")));

    // Taken: the drawn name is in lower case too. A name without an extension gets none.
    const QString drawn = fncNewFileNameFor(upper);
    EXPECT_TRUE(QRegularExpression("^B_\\d{1,4}\\.pdf$").match(QFileInfo(drawn).fileName()).hasMatch()) << drawn.toStdString();
    EXPECT_EQ(fncNewFileNameFor(out.file("Scan.Tiff")), out.file("Scan_new.tiff"));
    EXPECT_EQ(fncNewFileNameFor(out.file("NOTES")), out.file("NOTES_new"));
}

TEST_F(MultiPageAppend, APdfAnUpdateCannotRestOnIsRewrittenWhole)
{
    // Encrypted (readable without a password), and with a last startxref that points nowhere.
    const QString locked = out.file("locked.pdf");
    runTool("qpdf", {"--encrypt", "", "owner", "256", "--", pdf, locked});
    QByteArray bytes = pdfBytes;
    const qsizetype at = bytes.lastIndexOf("startxref") + 10;
    bytes.replace(at, bytes.indexOf('\n', at) - at, "99");
    const QString damaged = out.write("damaged.pdf", bytes);
    for (const QString& doc : {locked, damaged}) {
        SCOPED_TRACE(doc.toStdString());
        ASSERT_TRUE(append(doc, 1, 0));
        EXPECT_TRUE(qpdfCheckPasses(doc)) << "written whole, the cross-reference made anew";
        EXPECT_EQ(widthsOf(pdfImages(doc)), QList<int>({201, 202, 101, 104, 107}));
    }
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageAppend, SkippedPagesLeaveNoGapAndTheDocumentMayBeInTheBasket)
{
    // The pages after a skipped one still come before the old pages.
    setBasket({pages[0], src.write("bad.ppm", "P6 damaged"),
               src.write("broken.jpg", QByteArray("\xFF\xD8\xFF\xE0 garbage", 12)), pages[2]});
    ASSERT_TRUE(append(tiff, 0, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>({101, 103, 201, 202}));
    ASSERT_EQ(boxes.shown().size(), 1u) << "one message for every page left out";
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith("\nbad.ppm\nbroken.jpg"));

    // Appending a document to itself: its first page is read before anything changes.
    boxes.clear();
    setBasket({tiff, pages[1]});
    ASSERT_TRUE(append(tiff, 1, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>({101, 103, 201, 202, 101, 102}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageAppend, FailuresAndCancelLeaveTheUsersFileWhole)
{
    auto expectUntouched = [&](const char* what, const QString& reason = QString()) {
        SCOPED_TRACE(what);
        EXPECT_EQ(readAll(tiff), tiffBytes);
        EXPECT_EQ(readAll(pdf), pdfBytes);
        ASSERT_EQ(boxes.shown().size(), 1u);
        // A cause outside the document comes first, without the guess that the file is corrupt.
        EXPECT_EQ(boxes.shown()[0].prompt, reason.isEmpty() ? critical : reason + '\n' + critical.section('\n', 0, 0));
        EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
        EXPECT_EQ(folderEntries(out.path()), QStringList({"a.pdf", "a.tif"}));
        boxes.clear();
    };

    {
        // The limit holds for every file of the process, the run's work journal too: a fresh data
        // folder keeps the journal that earlier tests filled below it.
        const QTemporaryDir data;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", oldData); });
        FileSizeLimit limit(tiffBytes.size() + 101 * 80 * 3 + 4000);
        EXPECT_FALSE(append(tiff, 1, 0));
    }
    EXPECT_EQ(gstrCurrentOperation, "File - 'p4.png'");
    expectUntouched("write failure on page 2");

    // Cancel after two pages keeps them; Cancel before the first leaves the file and says so.
    setBasket({pages[0], pages[3], hangingPage(), pages[6]});
    cancelAfter(2);
    ASSERT_TRUE(append(tiff, 0, 0));
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>({101, 104, 201, 202}));
    EXPECT_TRUE(boxes.shown().empty());
    setBasket({hangingPage(), pages[0]});
    cancelAfter(0);
    EXPECT_FALSE(append(pdf, 0, 0));
    EXPECT_EQ(readAll(pdf), pdfBytes);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "No page was appended, so the file was left as it was.");
    EXPECT_EQ(folderEntries(out.path()), QStringList({"a.pdf", "a.tif"}));

    // A folder that cannot be written: a new file cannot be made there, while the document itself
    // still takes pages in place, since nothing but the document is written.
    boxes.clear();
    tiffBytes = readAll(tiff);
    {
        ReadOnlyFolder locked(out.path());
        if (!locked.usable()) GTEST_SKIP() << "cannot make a folder read-only here";
        EXPECT_FALSE(append(tiff, 0, 1));
        expectUntouched("read-only folder",
                        QStringLiteral("You do not have permission to write in ") + QDir(out.path()).absolutePath() + '.');
        setBasket({pages[1]});
        ASSERT_TRUE(append(tiff, 0, 0));
    }
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>({102, 101, 104, 201, 202}));
}

TEST_F(MultiPageAppend, AFullWorkFolderDoesNotStopAPdfAppend)
{
    // The pages go straight after the document's end; nothing waits in the program's own folder.
    if (!mountSmallDisk(userTempDir(), "8k")) GTEST_SKIP() << "cannot mount a small file system here";
    setBasket({noisyPage("noise.png", 200, 200)});
    EXPECT_TRUE(append(pdf, 1, 0));
    EXPECT_EQ(readAll(pdf).left(pdfBytes.size()), pdfBytes);
    EXPECT_EQ(widthsOf(pdfImages(pdf)), QList<int>({201, 202, 200}));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(folderEntries(out.path()), QStringList({"a.pdf", "a.tif"}));
}

TEST_F(MultiPageAppend, ALinkIsFollowedAndTheFileItNamesTakesThePages)
{
    for (const QString& doc : {tiff, pdf}) {
        SCOPED_TRACE(doc.toStdString());
        const QString link = doc + QStringLiteral(".link.") + QFileInfo(doc).suffix();
        ASSERT_TRUE(QFile::link(doc, link));
        ASSERT_TRUE(append(link, 1, 0));
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link stays a link";
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), QFileInfo(doc).absoluteFilePath());
        const QList<int> widths =
            doc == tiff ? widthsOf(tiffDirectories(doc)) : widthsOf(pdfImages(doc));
        EXPECT_EQ(widths, QList<int>({201, 202, 101, 104, 107})) << "the file the link names took the pages";
        QFile::remove(link);
    }
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MultiPageAppend, DocumentsThatCannotTakePagesSayWhy)
{
    // Each refused before any work, untouched, the cause told on its own line (libtiff would follow a
    // directory loop for ever).
    const QString locked = out.file("locked.pdf");
    runTool("qpdf", {"--encrypt", "user", "owner", "256", "--", pdf, locked});
    const QString jpeg = out.write("photo.pdf", readAll(pages[0]));
    const QString loop = out.write("loop.tif", readAll(TF_TEST_DATA_DIR "/libtiff-append-hang.tif"));
    const QString huge = out.write("huge.tif", tiffBytes);
    QFile::resize(huge, (qint64(1) << 32) - 1000); // sparse: the disk holds only the pages
    const QString png = out.write("x.png", readAll(pages[3]));
    const QString damaged = out.write("bad.tif", "II*\0 not really");
    const QString readOnly = out.write("readonly.tif", tiffBytes); // refused even to the superuser
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    // A cause in the document follows the message; one outside it comes first, alone with the headline.
    enum { InTheFile, Outside };
    const struct {
        QString document;
        QString reason;
        int where;
    } cases[] = {
        {locked, "The PDF is protected by a password.", InTheFile},
        {jpeg, "The file is not a PDF document.", InTheFile},
        {loop, "The file's page directory is damaged.", InTheFile},
        {huge, "The TIFF file would grow past 4 GiB, the most a classic TIFF file can hold.", Outside},
        {png, "", InTheFile}, // neither a TIFF nor a PDF
        {damaged, "The file's page directory is damaged.", InTheFile},
        {readOnly, "You do not have permission to write to " + QFileInfo(readOnly).absoluteFilePath() + '.', Outside},
    };
    auto headOf = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.read(1 << 16) : QByteArray();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.toStdString());
        const QByteArray head = headOf(c.document);
        const qint64 size = QFileInfo(c.document).size();
        boxes.clear();
        EXPECT_FALSE(append(c.document, 1, 0));
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].prompt, c.reason.isEmpty()     ? critical
                                           : c.where == Outside ? c.reason + '\n' + critical.section('\n', 0, 0)
                                                                : critical + '\n' + c.reason);
        EXPECT_EQ(QFileInfo(c.document).size(), size);
        EXPECT_EQ(headOf(c.document), head);
    }
    EXPECT_EQ(folderEntries(out.path()),
              QStringList({"a.pdf", "a.tif", "bad.tif", "huge.tif", "locked.pdf", "loop.tif", "photo.pdf",
                           "readonly.tif", "x.png"}));
    EXPECT_TRUE(spoolLeft().isEmpty());
}
