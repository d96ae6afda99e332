// Pages added to a PDF as an incremental update: what other readers find during and after it, at
// either end, on either kind of cross-reference, the documents that cannot take one, undoing it
// (a failure, a full disk) and what a run killed mid-update leaves after the next start.
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/sys/safefile.h"
#include "platform/sys/workfiles.h"
#include "support/doctools.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;
using Where = PdfUpdateSession::Where;

namespace {

// A page `width` pixels wide: its width tells the pages apart in the written file.
PdfPageImage page(int width)
{
    QImage img(width, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(2, 5, width / 2, 20, QColor(200, 30, 30));
    p.end();
    return pdfImageFromRaster(rasterForColorFormat(img, kColor24Bit));
}

// A document of pages 10, 20 and 30 wide, as the program writes one (a cross-reference table),
// or rewritten by qpdf with object streams (a cross-reference stream).
QString document(const TempFolder& dir, const QString& name, bool xrefStream)
{
    const QString plain = dir.file(name + QStringLiteral(".plain"));
    PdfDocumentWriter writer(plain);
    for (int w : {10, 20, 30}) EXPECT_TRUE(writer.addPage(page(w), nullptr));
    EXPECT_TRUE(writer.commit(QStringLiteral("tests"), nullptr));
    const QString path = dir.file(name);
    if (xrefStream) {
        int code = -1;
        runTool("qpdf", {"--object-streams=generate", plain, path}, &code);
        EXPECT_EQ(code, 0);
        QFile::remove(plain);
    } else {
        QFile::rename(plain, path);
    }
    return path;
}

bool update(const QString& doc, const QString& target, Where where, const QList<PdfPageImage>& pages,
            QString* error = nullptr)
{
    QString why;
    std::unique_ptr<PdfUpdateSession> session = PdfUpdateSession::start(doc, target, where, &why);
    if (!session) {
        if (error) *error = why;
        return false;
    }
    for (const PdfPageImage& p : pages)
        if (!session->addPage(p, error)) return false;
    return session->commit(error);
}

} // namespace

TEST(PdfUpdate, PagesGoAfterTheOldEndInTheDocumentsOwnKindOfCrossReference)
{
    for (const int kind : {0, 1, 2}) {
        const bool xrefStream = kind == 1;
        SCOPED_TRACE(kind == 0 ? "cross-reference table" : kind == 1 ? "cross-reference stream" : "no line end after %%EOF");
        TempFolder dir;
        const QString doc = document(dir, QStringLiteral("doc.pdf"), xrefStream);
        if (kind == 2) QFile::resize(doc, QFileInfo(doc).size() - 1);
        const QByteArray before = readAll(doc);
        ASSERT_TRUE(before.endsWith(kind == 2 ? "%%EOF" : "%%EOF\n"));

        QString error;
        std::unique_ptr<PdfUpdateSession> session = PdfUpdateSession::start(doc, doc, Where::End, &error);
        ASSERT_TRUE(session) << qPrintable(error);
        ASSERT_TRUE(session->addPage(page(41), &error)) << qPrintable(error);
        ASSERT_TRUE(session->addPage(page(42), &error)) << qPrintable(error);
        // Another reader meanwhile finds the old document.
        EXPECT_EQ(widthsOf(pdfImages(doc)), QList<int>({10, 20, 30}));
        ASSERT_TRUE(session->commit(&error)) << qPrintable(error);
        session.reset();

        // Then at the beginning, on top of the first update.
        const QByteArray once = readAll(doc);
        ASSERT_TRUE(update(doc, doc, Where::Beginning, {page(51), page(52)}, &error)) << qPrintable(error);

        const QByteArray after = readAll(doc);
        EXPECT_EQ(after.left(before.size()), before) << "no old byte changes";
        EXPECT_EQ(after.left(once.size()), once);
        EXPECT_TRUE(qpdfCheckPasses(doc));
        EXPECT_EQ(pdfPages(doc), 7);
        EXPECT_EQ(widthsOf(pdfImages(doc)), QList<int>({51, 52, 10, 20, 30, 41, 42}));
        const QByteArray tail = after.mid(before.size());
        EXPECT_EQ(tail.count("/Prev "), 2);
        EXPECT_EQ(tail.contains("/Type /XRef"), xrefStream);
        EXPECT_EQ(tail.contains("\ntrailer\n"), !xrefStream);
        EXPECT_TRUE(after.endsWith("%%EOF\n"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"doc.pdf"}));
    }
}

TEST(PdfUpdate, ANewFileIsNeverMadeOverAnotherNorLeftHalfMade)
{
    TempFolder dir;
    const QString doc = document(dir, QStringLiteral("doc.pdf"), true);
    const QString taken = dir.write("taken.pdf", "mine");
    QString error;
    EXPECT_EQ(PdfUpdateSession::start(doc, taken, Where::End, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    {
        auto cancelled = PdfUpdateSession::start(doc, dir.file("other.pdf"), Where::End, &error);
        ASSERT_TRUE(cancelled);
        ASSERT_TRUE(cancelled->addPage(page(41), &error));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"doc.pdf", "taken.pdf"}));
    EXPECT_EQ(readAll(taken), "mine");
}

// A plain document is read without qpdf opening it. What the update writes must not depend on
// that: each document here gets the same pages once through the quick reading and once through
// qpdf's, and the two files must be the same bytes.
TEST(PdfUpdate, TheQuickReadingOfADocumentWritesWhatQpdfsReadingWould)
{
    TempFolder dir;
    const QString plain = document(dir, QStringLiteral("plain.pdf"), false);
    const QString updated = dir.file("updated.pdf");
    QFile::copy(plain, updated);
    ASSERT_TRUE(update(updated, updated, Where::End, {page(41)}));
    // Rewritten by qpdf from the text given: other numbers, an /ID, the page tree's root as given.
    auto rewritten = [&](const QString& name, const QByteArray& pagesEntries) {
        QByteArray bytes = readAll(plain);
        const qsizetype type = bytes.indexOf("/Type /Pages");
        bytes.insert(bytes.lastIndexOf("<<", type) + 2, " " + pagesEntries + " ");
        const QString edited = dir.write(name + QStringLiteral(".edited"), bytes);
        const QString path = dir.file(name);
        runTool("qpdf", {"--object-streams=disable", edited, path});
        EXPECT_EQ(pdfPages(path), 3) << name.toStdString();
        return path;
    };
    const QString withId = rewritten(QStringLiteral("id.pdf"), "");
    const QString inherited = rewritten(QStringLiteral("inherited.pdf"),
                                        "/Rotate 90 /CropBox [0 0 50 50] /Note (a ] >> /Kids b) /More << /A [1 [2.5] (x)] >>");
    const QString byReference = rewritten(QStringLiteral("reference.pdf"), "/Note 3 0 R");
    const QString linearized = dir.file("linearized.pdf"); // its first section at the start
    runTool("qpdf", {"--linearize", plain, linearized});
    // The children on lines of their own, every offset as it was.
    QByteArray bytes = readAll(plain);
    const qsizetype kids = bytes.indexOf("/Kids [");
    for (qsizetype i = kids + 6; bytes[i] != ']'; ++i)
        if (bytes[i] == ' ' && bytes[i - 1] == 'R') bytes[i] = '\n';
    const QString lines = dir.write("lines.pdf", bytes);

    static bool quick = false;
    struct Case {
        QString doc;
        bool quick;
    };
    for (const Case& c : {Case{plain, true}, Case{updated, true}, Case{withId, true}, Case{inherited, true},
                          Case{linearized, true}, Case{lines, true}, Case{byReference, false}}) {
        SCOPED_TRACE(c.doc.toStdString());
        const QString viaQpdf = c.doc + QStringLiteral(".qpdf");
        ASSERT_TRUE(QFile::copy(c.doc, viaQpdf));
        QString error;
        PdfUpdateSession::setReadingForTests(true, [](bool q) { quick = q; });
        quick = !c.quick;
        EXPECT_TRUE(update(c.doc, c.doc, Where::Beginning, {page(51), page(52)}, &error)) << qPrintable(error);
        EXPECT_EQ(quick, c.quick);
        PdfUpdateSession::setReadingForTests(false);
        EXPECT_TRUE(update(viaQpdf, viaQpdf, Where::Beginning, {page(51), page(52)}, &error)) << qPrintable(error);
        PdfUpdateSession::setReadingForTests(true);
        EXPECT_EQ(readAll(c.doc), readAll(viaQpdf));
        EXPECT_TRUE(qpdfCheckPasses(c.doc));
    }
}

// Documents damaged where the reading looks (the cross-reference, the trailers, the catalog, the
// page tree's root, the first and last lines): either reading takes the same ones, and updates
// them to the same bytes.
TEST(PdfUpdate, DamagedDocumentsGetTheSameAnswerFromEitherReading)
{
    TempFolder dir;
    const QString plain = document(dir, QStringLiteral("plain.pdf"), false);
    const QString updated = dir.file("updated.pdf");
    QFile::copy(plain, updated);
    ASSERT_TRUE(update(updated, updated, Where::End, {page(41)}));
    const QString linearized = dir.file("linearized.pdf");
    runTool("qpdf", {"--linearize", plain, linearized});
    const QList<QByteArray> bases = {readAll(plain), readAll(updated), readAll(linearized)};
    static const char* const pieces[] = {"0", "7", " ", "\n", "\r", "/", "<<", ">>", "[", "]", "(", ")", "R", " 0 R",
                                         "%", "#", "x", "-", ".", "endobj", " obj", "/Kids", "/Count 1",
                                         "/Encrypt 1 0 R", "/XRefStm 5", "stream\n", "trailer", "xref"};
    QRandomGenerator random(7);
    int same = 0, quick = 0;
    static bool quickRead = false;
    for (int i = 0; i < 1500; ++i) {
        const QByteArray& base = bases[i % bases.size()];
        QByteArray bytes = base;
        const qsizetype near[] = {0, base.indexOf("xref"), base.lastIndexOf("xref"), base.lastIndexOf("trailer"),
                                  base.indexOf("/Root"), base.indexOf("/Type /Pages") - 30, base.lastIndexOf("/Kids"),
                                  base.indexOf("/Count"), base.lastIndexOf("startxref") - 30, base.size() - 40};
        for (int n = 0; n <= int(random.bounded(3)); ++n) {
            const qsizetype at = qBound<qsizetype>(0, near[random.bounded(int(std::size(near)))] + random.bounded(80),
                                                   bytes.size() - 1);
            const QByteArray piece = pieces[random.bounded(int(std::size(pieces)))];
            switch (random.bounded(3)) {
            case 0: bytes.replace(at, piece.size(), piece); break;
            case 1: bytes.insert(at, piece); break;
            default: bytes.remove(at, 1 + random.bounded(3)); break;
            }
        }
        const QString a = dir.write("a.pdf", bytes), b = dir.write("b.pdf", bytes);
        PdfUpdateSession::setReadingForTests(true, [](bool q) { quickRead = q; });
        quickRead = false;
        const bool byQuick = update(a, a, Where::End, {page(51)});
        quick += quickRead;
        PdfUpdateSession::setReadingForTests(false);
        const bool byQpdf = update(b, b, Where::End, {page(51)});
        PdfUpdateSession::setReadingForTests(true);
        const bool agree = byQuick == byQpdf && readAll(a) == readAll(b);
        same += agree;
        EXPECT_TRUE(agree) << "case " << i << ": " << (byQuick ? "quick" : "") << " " << (byQpdf ? "qpdf" : "");
    }
    EXPECT_EQ(same, 1500);
    EXPECT_GT(quick, 50) << "damage the quick reading passes over";
}

TEST(PdfUpdate, DocumentsAnUpdateCannotRestOnAreLeftToTheWholeRewrite)
{
    TempFolder dir;
    const QString plain = document(dir, QStringLiteral("doc.pdf"), false);
    const QString locked = dir.file("locked.pdf");
    runTool("qpdf", {"--encrypt", "", "owner", "256", "--", plain, locked});
    // The last startxref points into the middle of an object: qpdf rebuilds the cross-reference.
    QByteArray bytes = readAll(plain);
    const qsizetype at = bytes.lastIndexOf("startxref\n") + 10;
    bytes.replace(at, bytes.indexOf('\n', at) - at, "200");
    const QString damaged = dir.write("damaged.pdf", bytes);
    // A trailer counting fewer objects than the cross-reference holds: new pages numbered from it
    // would take the numbers of pages already there.
    bytes = readAll(plain);
    const qsizetype size = bytes.lastIndexOf("/Size ") + 6;
    const qsizetype sizeEnd = bytes.indexOf(' ', size);
    bytes.replace(size, sizeEnd - size, QByteArray::number(bytes.mid(size, sizeEnd - size).toInt() - 2));
    const QString shortSize = dir.write("short.pdf", bytes);
    // The page tree's entry in the cross-reference points one byte off its object.
    bytes = readAll(plain);
    const qsizetype pagesAt = bytes.lastIndexOf("obj", bytes.indexOf("/Type /Pages"));
    const QByteArray pagesEntry = QByteArray::number(bytes.lastIndexOf('\n', pagesAt) + 1).rightJustified(10, '0');
    ASSERT_TRUE(bytes.contains(pagesEntry + " 00000 n"));
    bytes.replace(pagesEntry + " 00000 n", QByteArray::number(pagesEntry.toLongLong() + 1).rightJustified(10, '0') + " 00000 n");
    const QString offByOne = dir.write("offbyone.pdf", bytes);
    // The last startxref run together with its number: qpdf would read the revision before it.
    const QString runTogether = dir.file("together.pdf");
    QFile::copy(plain, runTogether);
    ASSERT_TRUE(update(runTogether, runTogether, Where::End, {page(41)}));
    bytes = readAll(runTogether);
    bytes.remove(bytes.lastIndexOf("startxref\n") + 9, 1);
    dir.write("together.pdf", bytes);
    const QString noEof = dir.write("cut.pdf", readAll(plain).chopped(7));
    const QString notPdf = dir.write("text.pdf", "just some text");
    for (const QString& doc : {locked, damaged, shortSize, offByOne, runTogether, noEof, notPdf}) {
        SCOPED_TRACE(doc.toStdString());
        const QByteArray before = readAll(doc);
        QString error = QStringLiteral("unchanged");
        EXPECT_EQ(PdfUpdateSession::start(doc, doc, Where::End, &error), nullptr);
        EXPECT_TRUE(error.isEmpty()) << "not a failure: the caller takes another way";
        EXPECT_EQ(readAll(doc), before);
    }
    // Nor is it written again whole from the revision before: that would drop the last one's page.
    const QByteArray before = readAll(runTogether);
    EXPECT_THROW(PdfRewriteAppend(runTogether, runTogether), ImageBoxError);
    EXPECT_EQ(readAll(runTogether), before);
}

TEST(PdfUpdate, AFailureOrAFullDiskCutsTheFileBack)
{
    TempFolder dir;
    for (const bool xrefStream : {false, true}) {
        SCOPED_TRACE(xrefStream ? "cross-reference stream" : "cross-reference table");
        const QString doc = document(dir, QStringLiteral("doc.pdf"), xrefStream);
        const QByteArray before = readAll(doc);
        QString error;
        {
            auto session = PdfUpdateSession::start(doc, doc, Where::End, &error);
            ASSERT_TRUE(session);
            ASSERT_TRUE(session->addPage(page(41), &error));
            EXPECT_FALSE(session->addPage(PdfPageImage(), &error));
            session->rollback();
            EXPECT_EQ(readAll(doc), before);
            EXPECT_FALSE(session->commit(&error)) << "rolled back for good";
        }
        {
            auto dropped = PdfUpdateSession::start(doc, doc, Where::Beginning, &error);
            ASSERT_TRUE(dropped->addPage(page(41), &error));
        }
        EXPECT_EQ(readAll(doc), before);
        EXPECT_FALSE(update(doc, doc, Where::End, {}, &error)) << "no page";
        EXPECT_EQ(readAll(doc), before);

        // The disk fills up in a page, in the page tree, in the cross-reference section and in
        // the last line, in place and in a copy.
        const QString sized = dir.file("sized.pdf");
        ASSERT_TRUE(update(doc, sized, Where::End, {page(400)}, &error)) << qPrintable(error);
        const qint64 tail = QFileInfo(sized).size() - before.size();
        QFile::remove(sized);
        for (const qint64 budget : {qint64(100), tail - 200, tail - 60, tail - 10}) {
            for (const bool inPlace : {true, false}) {
                SCOPED_TRACE(budget);
                SCOPED_TRACE(inPlace ? "in place" : "a new file");
                const QString target = inPlace ? doc : dir.file("new.pdf");
                {
                    auto session = PdfUpdateSession::start(doc, target, Where::End, &error);
                    ASSERT_TRUE(session) << qPrintable(error);
                    WriteBudget full(budget);
                    EXPECT_FALSE(session->addPage(page(400), &error) && session->commit(&error));
                }
                EXPECT_EQ(writeFailureCause(error), "The disk is full.") << qPrintable(error);
                EXPECT_EQ(readAll(doc), before);
                EXPECT_FALSE(QFileInfo::exists(dir.file("new.pdf")));
                EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"doc.pdf"}));
            }
        }
        QFile::remove(doc);
    }
}

// ---- a run killed while it updates

namespace {

enum class KillAt { BetweenPages, BeforeCommit, AfterCommit };

[[noreturn]] void killSelf(PdfUpdateSession::Step) { ::raise(SIGKILL); ::_exit(1); }
void killAfterCommit(PdfUpdateSession::Step step)
{
    if (step == PdfUpdateSession::Step::AfterCommit) killSelf(step);
}

// Adds two pages in a child run that is killed at `at`; true when it died that way.
bool updateAndDie(const QString& doc, Where where, KillAt at)
{
    const pid_t child = ::fork();
    if (child == 0) {
        PdfUpdateSession::setStepHookForTests(at == KillAt::AfterCommit ? &killAfterCommit : &killSelf);
        auto session = PdfUpdateSession::start(doc, doc, where, nullptr);
        if (!session) ::_exit(2);
        session->addPage(page(41), nullptr);
        session->addPage(page(42), nullptr);
        if (at == KillAt::BetweenPages) ::raise(SIGKILL);
        session->commit(nullptr);
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

TEST(PdfUpdate, TheNextStartUndoesAKilledUpdateUntilItsLastLineAndKeepsOneAfter)
{
    const struct {
        const char* what;
        bool xrefStream;
        Where where;
        KillAt at;
    } cases[] = {
        {"table, end, before the last line", false, Where::End, KillAt::BeforeCommit},
        {"stream, beginning, before the last line", true, Where::Beginning, KillAt::BeforeCommit},
        {"table, beginning, after the last line", false, Where::Beginning, KillAt::AfterCommit},
        {"stream, end, after the last line", true, Where::End, KillAt::AfterCommit},
        {"table, end, between pages", false, Where::End, KillAt::BetweenPages},
        {"stream, beginning, between pages", true, Where::Beginning, KillAt::BetweenPages},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const QString doc = document(dir, QStringLiteral("doc.pdf"), c.xrefStream);
        const QByteArray before = readAll(doc);
        ASSERT_TRUE(updateAndDie(doc, c.where, c.at));
        const QByteArray killed = readAll(doc);
        EXPECT_GT(killed.size(), before.size());
        testing::internal::CaptureStderr();
        const int dealt = removeWorkFilesOfDeadRuns();
        const std::string said = testing::internal::GetCapturedStderr();
        switch (c.at) {
        case KillAt::BetweenPages:
        case KillAt::BeforeCommit:
            EXPECT_EQ(dealt, 1);
            EXPECT_EQ(readAll(doc), before);
            EXPECT_EQ(said, "");
            break;
        case KillAt::AfterCommit:
            // The last line was written: the update is the user's.
            EXPECT_EQ(dealt, 0);
            EXPECT_EQ(said, "");
            EXPECT_EQ(readAll(doc), killed);
            EXPECT_TRUE(qpdfCheckPasses(doc));
            EXPECT_EQ(widthsOf(pdfImages(doc)), c.where == Where::End ? QList<int>({10, 20, 30, 41, 42})
                                                                      : QList<int>({41, 42, 10, 20, 30}));
            break;
        }
    }
}

TEST(PdfUpdate, TheNextStartLeavesADocumentAnotherProgramFinishedOrChangedSince)
{
    // What another program's update written after the run died adds: it ends as a document does.
    const QByteArray theirs = "\n99 0 obj\n<< /Theirs true >>\nendobj\nstartxref\n116\n%%EOF\n";
    const struct {
        const char* what;
        KillAt at;
        const char* said;
    } cases[] = {
        {"an update on one cut short", KillAt::BetweenPages, "finished by another program"},
        {"an update on a finished one", KillAt::AfterCommit, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const QString doc = document(dir, QStringLiteral("doc.pdf"), false);
        ASSERT_TRUE(updateAndDie(doc, Where::End, c.at));
        QFile file(doc);
        ASSERT_TRUE(file.open(QIODevice::Append) && file.write(theirs) == theirs.size());
        file.close();
        const QByteArray changed = readAll(doc);
        testing::internal::CaptureStderr();
        EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(readAll(doc), changed);
        if (*c.said) {
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        } else {
            EXPECT_EQ(said, "");
        }
    }

    // One of its old bytes changed, at its header or in its last cross-reference section.
    for (const bool atEnd : {false, true}) {
        SCOPED_TRACE(atEnd ? "the old end changed" : "the header changed");
        TempFolder dir;
        const QString doc = document(dir, QStringLiteral("doc.pdf"), true);
        const qint64 oldLength = QFileInfo(doc).size();
        ASSERT_TRUE(updateAndDie(doc, Where::Beginning, KillAt::BeforeCommit));
        QFile file(doc);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(atEnd ? oldLength - 20 : 7);
        const char was = file.peek(1).at(0);
        file.write(QByteArray(1, char(was ^ 0x01)));
        file.close();
        const QByteArray changed = readAll(doc);
        testing::internal::CaptureStderr();
        EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("changed since"), std::string::npos);
        EXPECT_EQ(readAll(doc), changed);
    }
}
