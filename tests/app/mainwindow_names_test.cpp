// File names as Linux allows them, not as text: a line break, and a byte that is no UTF-8. They go
// through the window's whole road: listed, previewed, added, saved. The name conversions are
// tested with the platform code; here, that every area reaches such a file.
#include "mainwindow_gui.h"

#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "support/doctools.h"

#include <QBuffer>
#include <fcntl.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

// The bytes on disk, and the rows the window shows for them (the stray byte read as U+FFFD).
const QByteArray kStrayByteName("b\xff" "d.jpg");
const QByteArray kLineBreakName("new\nline.png");
const QString kStrayByteRow = QStringLiteral("b\uFFFDd.jpg");
const QString kLineBreakRow = QStringLiteral("new\nline.png");

class MainWindowNames : public MainWindowGui {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        // Qt cannot make a file whose name is not UTF-8: the bytes go to the system as they are.
        writeRaw(kStrayByteName, solid(61, 40, Qt::red), "jpg");
        writeRaw(kLineBreakName, solid(62, 40, Qt::blue), "png");
    }
    void TearDown() override
    {
        // Nor can QTemporaryDir see such a file to remove it.
        for (const QByteArray& name : {kStrayByteName, kLineBreakName}) ::unlink(rawPath(name).constData());
        MainWindowGui::TearDown();
    }

    QByteArray rawPath(const QByteArray& name) const { return QFile::encodeName(pics.path()) + '/' + name; }
    void writeRaw(const QByteArray& name, const QImage& image, const char* format)
    {
        QBuffer encoded;
        encoded.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&encoded, format));
        const int fd = ::open(rawPath(name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray& bytes = encoded.data();
        EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
    }

    QString panel(const char* key) const { return m_window->sbMain()->panelText(QString::fromLatin1(key)); }

    // Save As, then "Multi-page file ", with the panel's choices as they are.
    void saveAs(const QString& path)
    {
        dialogs.answerFile(path);
        untilOutputEnds(window(), [&] { chooseFromMenu(window().basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file "); });
    }

    TempFolder pics;
    TempFolder out;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(MainWindowNames, NamesWithALineBreakOrAStrayByteAreListedPreviewedAddedAndSaved)
{
    frmMain& w = startOn(pics.path(), /*details*/ true);
    ReportView* folder = w.browse()->lvFolder();
    ASSERT_EQ(rowTexts(folder), QStringList({kStrayByteRow, kLineBreakRow})) << "both files have their rows";

    const struct {
        QString row;
        int width;
    } files[] = {{kStrayByteRow, 61}, {kLineBreakRow, 62}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.row.toStdString());
        clickRow(folder, file.row);
        EXPECT_EQ(panel("filename"), file.row) << "no 'Unable to read'";
        EXPECT_EQ(w.browse()->ibMain()->ImageWidth(), file.width);
    }

    clickRow(folder, kStrayByteRow);
    clickRow(folder, kLineBreakRow, Qt::ShiftModifier);
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    ReportView* basket = w.basket()->lvPages();
    ASSERT_EQ(rowTexts(basket), QStringList({"b\uFFFDd", "new\nline"}));
    EXPECT_TRUE(boxes.shown().empty()) << "every file was added";

    const QString tiff = out.file("pages.tif");
    saveAs(tiff);
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), QList<int>({61, 62}));
    const QString pdf = out.file("pages.pdf");
    saveAs(pdf);
    EXPECT_EQ(pdfPages(pdf), 2);
    EXPECT_EQ(widthsOf(pdfImages(pdf)), QList<int>({61, 62}));
    EXPECT_TRUE(boxes.shown().empty()) << "both saves end without a message";

    // A basket file names one file a line: a name with a line break cannot be written into it, and
    // the save says so before it asks where to save.
    const QString basketFile = out.file("names.ibf");
    dialogs.answerFile(basketFile);
    click(w.basket()->cmdPagesSave());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.prompts()[0].contains(pics.file(kLineBreakRow))) << boxes.prompts()[0].toStdString();
    EXPECT_TRUE(boxes.prompts()[0].contains("line break"));
    EXPECT_FALSE(QFileInfo::exists(basketFile));
    EXPECT_EQ(dialogs.fileRequests().size(), 2u) << "no file dialog for the refused save";
    boxes.clear();

    // Without that page the basket file keeps the other name, and brings its page back.
    clickRow(basket, "new\nline");
    click(w.basket()->cmdPagesDelete());
    click(w.basket()->cmdPagesSave());
    ASSERT_TRUE(QFileInfo::exists(basketFile));
    click(w.basket()->cmdPagesNew());
    ASSERT_EQ(rowCount(basket), 0);
    dialogs.answerFile(basketFile);
    click(w.basket()->cmdPagesOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    ASSERT_EQ(rowCount(basket), 1);
    clickRow(basket, rowTexts(basket).first());
    EXPECT_EQ(w.browse()->ibMain()->ImageWidth(), 61);
    EXPECT_TRUE(boxes.shown().empty());
}
