#include "platform/ui/msgbox.h"
#include "services/clsFileInfo.h"
#include "support/testenv.h"

#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using tf::test::TempFolder;

namespace {

// Point as decimal and comma as thousands separator, whatever the machine's locale.
class FixedLocale : public ::testing::Test {
protected:
    FixedLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~FixedLocale() override { QLocale::setDefault(m_old); }

private:
    const QLocale m_old; // the default before the test
};

using SizeText = FixedLocale;
using FileFacts = FixedLocale;

} // namespace

TEST_F(SizeText, BoundariesOfEachUnit)
{
    const std::pair<qint64, const char*> cases[] = {
        {-1, "0.0KB (0 bytes)"},     {0, "0 bytes"},           {1023, "1,023 bytes"},
        {1024, "1.00KB"},            {1152, "1.13KB"}, // 1.125: a half goes up
        {10239, "10.00KB"},          {10240, "10.0KB"},        {1023999, "1000.0KB"},
        {1024000, "0.98MB"},         {10239999, "9.77MB"},     {10240000, "9.8MB"},
        {1023999999, "976.6MB"},     {1024000000, "0.95GB"},   {3221225472LL, "3.00GB"},
        {1099511627776LL * 2000, "2048000.00GB"},
    };
    for (const auto& [size, text] : cases) EXPECT_EQ(fncFormatSize(size), text) << size;

    EXPECT_EQ(fncFormatSize(1536, 1), "1.50KB (1,536 bytes)");
    EXPECT_EQ(fncFormatSize(1023, 1), "1,023 bytes");
    EXPECT_EQ(fncFormatSize(3221225472LL, 1), "3.00GB (3,221,225,472 bytes)");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(fncFormatSize(1536, 1), "1,50KB (1.536 bytes)");
}

TEST_F(FileFacts, NamesTypesAndSizesOfAFile)
{
    TempFolder tmp;
    const QString jpeg = tmp.write("Holiday, \"best\".Jpeg", QByteArray(1536, 'x'));
    clsFileInfo info;
    info.FilePath(jpeg);
    ASSERT_TRUE(info.isValid());
    EXPECT_EQ(info.FilePath(), jpeg);
    EXPECT_EQ(info.fName32bit(), "Holiday, \"best\".Jpeg");
    EXPECT_EQ(info.fName16bit(), info.fName32bit());
    EXPECT_EQ(info.fPath16bit(), jpeg);
    EXPECT_EQ(info.fLocation(), tmp.path() + "/");
    EXPECT_EQ(info.fFileExtention(), "JPE");
    EXPECT_EQ(info.fSize(), 1536);
    EXPECT_FALSE(info.fType().isEmpty());
    EXPECT_NE(info.fType(), "JPE File"); // the desktop knows JPEG
    EXPECT_EQ(info.fSizeFormated(1), "1.50KB (1,536 bytes)");
    EXPECT_EQ(info.fSizeFormated(), "1.50KB");
    for (const QString& date : {info.fDateModified(), info.fDateCreated(), info.fDateAccessed()})
        EXPECT_FALSE(date.isEmpty());
    EXPECT_EQ(info.fTargetOS(), "Undefined or Unknown");
    EXPECT_EQ(info.fVersion(), "");
    EXPECT_EQ(info.fCompanyName(), "");
    EXPECT_EQ(info.fVersion_Major(), "0");
    EXPECT_EQ(info.fSizeCompressedFormated(), "Not Compressed");

    info.FilePath(tmp.write("a.xyz", QByteArray("\x00\x01\x02\x03", 4)));
    EXPECT_EQ(info.fType(), "XYZ File");
    EXPECT_EQ(info.fFileExtention(), "XYZ");
    info.FilePath(tmp.write("scan.tiff", "II*\0"));
    EXPECT_EQ(info.fFileExtention(), "TIF");

    EXPECT_EQ(clsFileInfo::StripFileFromPath("name"), "name");
    EXPECT_EQ(clsFileInfo::StripFileFromPath(""), "");
    EXPECT_EQ(clsFileInfo::StripFileExtention("name"), "");
    EXPECT_EQ(clsFileInfo::StripFileExtention("a.b.png"), "png");

    // A sparse file over two gigabytes, through the program-wide instance.
    QFile f(tmp.file("big.tif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(3221225472LL + 5));
    f.close();
    gclsFileInfo.FilePath(tmp.file("big.tif"));
    ASSERT_TRUE(gclsFileInfo.isValid());
    EXPECT_EQ(gclsFileInfo.fSize(), 3221225477LL);
    EXPECT_EQ(gclsFileInfo.fSizeFormated(1), "3.00GB (3,221,225,477 bytes)");
}

TEST_F(FileFacts, UnreadablePathsClearTheFacts)
{
    TempFolder tmp;
    const QString good = tmp.write("good.png", QByteArray(2048, 'p'));
    const QString fifo = tmp.file("pipe.png");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QStringList bad = {tmp.file("missing.png"), tmp.path(), fifo, ""};
    if (geteuid() != 0) {
        const QString locked = tmp.write("locked.png", "x");
        QFile::setPermissions(locked, QFileDevice::Permissions());
        bad << locked;
    }
    for (const QString& path : bad) {
        SCOPED_TRACE(path.toStdString());
        clsFileInfo info;
        info.FilePath(good);
        ASSERT_TRUE(info.isValid());
        info.FilePath(path);
        EXPECT_FALSE(info.isValid());
        EXPECT_EQ(info.fSize(), 0);
        EXPECT_EQ(info.fName32bit(), "");
        EXPECT_EQ(info.fType(), "");
        EXPECT_EQ(info.fSizeFormated(), "");
        EXPECT_TRUE(info.fIconH().isNull());
        EXPECT_FALSE(clsFileInfo::CheckIfFileExists(path));
    }
    EXPECT_TRUE(clsFileInfo::CheckIfFileExists(good));

    tf::ScriptedMessageBoxes boxes;
    EXPECT_EQ(clsFileInfo::ConvertLong2Short(tmp.file("gone.tif")), "");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "  File Not Found");
    EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("Could not find this file to convert to 16bit file name."));
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(tmp.file("gone.tif")));
}

TEST_F(FileFacts, AttributesFollowTheDisk)
{
    TempFolder tmp;
    const QString hidden = tmp.write(".hidden", "h");
    clsFileInfo info;
    info.FilePath(hidden);
    EXPECT_TRUE(info.fATTR_Hidden());
    EXPECT_FALSE(info.fATTR_Normal());
    EXPECT_EQ(info.fFileExtention(), "");
    EXPECT_FALSE(info.fType().isEmpty());

    const QString file = tmp.write("page.tif", "t");
    info.FilePath(file);
    EXPECT_TRUE(info.fATTR_Normal());
    EXPECT_FALSE(info.fATTR_ReadOnly());
    EXPECT_FALSE(info.fATTR_Archive() || info.fATTR_System() || info.fATTR_Temporary() || info.fATTR_Compressed());

    info.fATTR_ReadOnly(true);
    EXPECT_TRUE(info.fATTR_ReadOnly());
    EXPECT_FALSE(info.fATTR_Normal());
    EXPECT_FALSE(QFile::permissions(file) & QFileDevice::WriteOwner);
    info.fATTR_Hidden(true); // cannot hide without renaming: nothing else may change
    EXPECT_TRUE(info.fATTR_ReadOnly());
    EXPECT_TRUE(QFileInfo::exists(file));

    clsFileInfo again;
    again.FilePath(file);
    EXPECT_TRUE(again.fATTR_ReadOnly());
    again.fATTR_Normal(true);
    EXPECT_FALSE(again.fATTR_ReadOnly());
    EXPECT_TRUE(again.fATTR_Normal());
    EXPECT_TRUE(QFile::permissions(file) & QFileDevice::WriteOwner);
}

TEST_F(FileFacts, TheTypeAndIconComeFromTheNameAndAreSharedByItsKind)
{
    TempFolder tmp;
    const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const QString jpeg = QMimeDatabase().mimeTypeForName("image/jpeg").comment();
    ASSERT_FALSE(jpeg.isEmpty());
    // The name decides, whatever the bytes say; a name without an extension is never read.
    const std::pair<const char*, QString> cases[] = {
        {"a.jpg", jpeg}, {"b.jpg", jpeg}, {"c.JPG", jpeg}, {"d.Jpeg", jpeg},
        {"noext", "File"}, {"e.qqq", "QQQ File"}, {"f.qqqq", "QQQ File"},
    };
    for (const auto& [name, type] : cases) {
        clsFileInfo info;
        info.FilePath(tmp.write(name, png));
        EXPECT_EQ(info.fType(), type) << name;
    }

    clsFileInfo first, second, other;
    first.FilePath(tmp.file("a.jpg"));
    second.FilePath(tmp.file("d.Jpeg"));
    other.FilePath(tmp.file("e.qqq"));
    ASSERT_FALSE(first.fIconH().isNull());
    EXPECT_EQ(first.fIconH().cacheKey(), second.fIconH().cacheKey()) << "one icon for the kind";
    EXPECT_FALSE(other.fIconH().isNull());
}

TEST_F(FileFacts, DateTextHasShortDateAndTimeWithoutZone)
{
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9, 600));
    const QString text = fncFormatDateTime(when);
    const QLocale loc;
    EXPECT_TRUE(text.startsWith(loc.toString(when.date(), QLocale::ShortFormat) + " ")) << text.toStdString();
    EXPECT_TRUE(text.contains("2:07:09")) << text.toStdString();
    EXPECT_FALSE(text.contains("UTC") || text.contains("GMT") || text.endsWith(' ')) << text.toStdString();
    EXPECT_EQ(fncFormatDateTime(QDateTime()), "");
}
