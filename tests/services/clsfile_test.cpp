#include "services/clsFile.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <sys/stat.h>

using tf::test::TempFolder;
using tf::test::readAll;

namespace {

// The number of the file error `call` throws; 0 when it throws none.
int32_t fileErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const tf::FileError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(TextFileClosed, EveryMemberDoesNothingWithoutAnOpenFile)
{
    TempFolder tmp;
    clsFile f;
    EXPECT_FALSE(f.OpenForRead(tmp.file("missing.ibf")));
    EXPECT_TRUE(f.fEof());
    EXPECT_EQ(f.readLine(), "");
    EXPECT_EQ(f.fileNumber(), 0);
    QString path = "keep", description = "me";
    f.read_ImageBasket(path, description);
    EXPECT_EQ((QStringList{path, description}), (QStringList{"keep", "me"}));
    clsFile::EditingList list;
    list.fill("x");
    f.read_EditingList(list);
    EXPECT_EQ(list[18], "x");
    f.writeline("nothing");
    f.write_EditingList(list);
    f.closefile();

    EXPECT_FALSE(f.OpenForRead(tmp.path()));                 // a folder
    EXPECT_FALSE(f.OpenForWrite(tmp.path()));
    EXPECT_FALSE(f.OpenForWrite(tmp.file("no/such/dir/a.tbf")));
    const QString fifo = tmp.file("pipe");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(f.OpenForRead(fifo));                       // would wait for a writer
    EXPECT_FALSE(f.isOpen());
}

TEST(TextFileRecords, LinesAndBasketRecordsAreQuotedWithCrLf)
{
    TempFolder tmp;
    const QString name = tmp.file("basket.ibf");
    clsFile w;
    ASSERT_TRUE(w.OpenForWrite(name));
    w.writeline("C:\\a.tif");
    w.write_ImageBasket("/pics/a, b.tif", "Page 1");
    w.closefile();
    EXPECT_EQ(readAll(name), "\"C:\\a.tif\"\r\n\"/pics/a, b.tif\",\"Page 1\"\r\n");

    clsFile r;
    ASSERT_TRUE(r.OpenForRead(name));
    EXPECT_EQ(r.readLine(), "\"C:\\a.tif\"");
    QString path, description;
    r.read_ImageBasket(path, description);
    EXPECT_EQ((QStringList{path, description}), (QStringList{"/pics/a, b.tif", "Page 1"}));
    EXPECT_TRUE(r.fEof());
    EXPECT_THROW(r.readLine(), tf::FileError);
}

TEST(TextFileRecords, NineteenFieldsSurviveCommasQuotesAndLineBreaks)
{
    TempFolder tmp;
    const QString name = tmp.file("tasks.tbf");
    const clsFile::EditingList first{"0", "say \"hi\", then go", "two\r\nlines", "lf\nonly", "", "\"", "  padded  ",
                                     QString::fromUtf8("Grüße €"), ",", "9", "10", "11", "12", "13", "14", "15",
                                     "16", "17", "18"};
    clsFile::EditingList second;
    second.fill("\"\"");

    clsFile w;
    ASSERT_TRUE(w.OpenForWrite(name));
    w.write_EditingList(first);
    w.write_EditingList(second);
    w.closefile();
    EXPECT_TRUE(readAll(name).endsWith("\"\"\"\"\"\"\r\n"));

    clsFile r;
    ASSERT_TRUE(r.OpenForRead(name));
    clsFile::EditingList a, b;
    r.read_EditingList(a);
    EXPECT_FALSE(r.fEof());
    r.read_EditingList(b);
    EXPECT_TRUE(r.fEof());
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, second);
}

TEST(TextFileRecords, WindowsFilesAndOldWriters)
{
    TempFolder tmp;
    // Windows-1252 text, CR LF, a bare LF and a last line without its line end.
    const QString name = tmp.write("old.ibf", "\"caf\xE9.tif\",\"\x80 5\"\r\n\"b.tif\",\"x\"\n\"c.tif\", unquoted \nlast line");
    clsFile r;
    ASSERT_TRUE(r.OpenForRead(name));
    QString p, d;
    r.read_ImageBasket(p, d);
    EXPECT_EQ((QStringList{p, d}), (QStringList{QString::fromUtf8("café.tif"), QString::fromUtf8("€ 5")}));
    r.read_ImageBasket(p, d);
    EXPECT_EQ(p, "b.tif");
    r.read_ImageBasket(p, d);
    EXPECT_EQ(d, "unquoted");
    EXPECT_EQ(r.readLine(), "last line");
    EXPECT_TRUE(r.fEof());

    // UTF-8 stays UTF-8 and a byte order mark is not part of the first field.
    const QString utf = tmp.write("utf.ibf", "\xEF\xBB\xBF\"\xC3\xA9\",\"\"\r\n");
    clsFile u;
    ASSERT_TRUE(u.OpenForRead(utf));
    u.read_ImageBasket(p, d);
    EXPECT_EQ((QStringList{p, d}), (QStringList{QString::fromUtf8("é"), ""}));
}

TEST(TextFileRecords, TooFewFieldsAtTheEndIsAnErrorForTheCaller)
{
    TempFolder tmp;
    const QString name = tmp.write("short.tbf", "\"1\",\"2\",\"3\"\r\n");
    clsFile r;
    ASSERT_TRUE(r.OpenForRead(name));
    clsFile::EditingList list;
    list.fill("untouched");
    EXPECT_EQ(fileErrorOf([&] { r.read_EditingList(list); }), 62) << "a cut record";
    EXPECT_EQ(list[0], "untouched");
    EXPECT_TRUE(r.fEof());

    clsFile empty;
    ASSERT_TRUE(empty.OpenForRead(tmp.write("empty.ibf", "")));
    EXPECT_TRUE(empty.fEof());
    QString p, d;
    EXPECT_EQ(fileErrorOf([&] { empty.read_ImageBasket(p, d); }), 62);
}

TEST(TextFileWrite, TheOldFileStaysUntilAClosedFileTakesItsPlace)
{
    TempFolder tmp;
    const QString name = tmp.write("keep.tbf", "\"old\"\r\n");
    {
        clsFile w;
        ASSERT_TRUE(w.OpenForWrite(name));
        w.writeline("new");
        EXPECT_EQ(readAll(name), "\"old\"\r\n");
        // Left without closefile, as an error trap would: the old file is kept.
    }
    EXPECT_EQ(readAll(name), "\"old\"\r\n");
    clsFile w;
    ASSERT_TRUE(w.OpenForWrite(name));
    w.writeline("new");
    w.closefile();
    EXPECT_EQ(readAll(name), "\"new\"\r\n");
    EXPECT_FALSE(w.isOpen());

    // A file that cannot take its place is an error, and closes the object.
    QDir(tmp.path()).mkdir("gone");
    ASSERT_TRUE(w.OpenForWrite(tmp.file("gone/keep.ibf")));
    w.write_ImageBasket(QStringLiteral("/pics/page1.tif"), "Page");
    ASSERT_TRUE(QDir(tmp.path() + "/gone").removeRecursively()); // the folder went while writing
    EXPECT_EQ(fileErrorOf([&] { w.closefile(); }), 57)
        << "a basket file that never reached the disk was reported as written";
    w.writeline("after the error");
    w.closefile(); // what an error trap does next changes nothing
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"keep.tbf"});
}

TEST(TextFileWrite, TwoFilesOpenAtOnceAreIndependent)
{
    TempFolder tmp;
    const QString a = tmp.write("a.ibf", "\"a1\"\r\n\"a2\"\r\n");
    const QString b = tmp.write("b.ibf", "\"b1\"\r\n");
    clsFile fa, fb, out;
    ASSERT_TRUE(fa.OpenForRead(a));
    ASSERT_TRUE(fb.OpenForRead(b));
    ASSERT_TRUE(out.OpenForWrite(tmp.file("c.ibf")));
    EXPECT_NE(fa.fileNumber(), fb.fileNumber());
    EXPECT_NE(fb.fileNumber(), out.fileNumber());
    EXPECT_EQ(fa.readLine(), "\"a1\"");
    EXPECT_EQ(fb.readLine(), "\"b1\"");
    EXPECT_TRUE(fb.fEof());
    EXPECT_EQ(fa.readLine(), "\"a2\"");
    out.writeline("c");
    const int16_t freed = fa.fileNumber();
    fa.closefile();
    clsFile again;
    ASSERT_TRUE(again.OpenForRead(b));
    EXPECT_EQ(again.fileNumber(), freed);
    out.closefile();
    EXPECT_EQ(readAll(tmp.file("c.ibf")), "\"c\"\r\n");
}

// The error names what the disk said: full, or failing.
TEST(TextFileWrite, AFailedWriteIsDiskFullOnlyWhenTheDiskIsFull)
{
    TempFolder tmp;
    const QString name = tmp.write("keep.ibf", "\"old\"\r\n");
    for (const auto& [err, number, words] : {std::tuple{ENOSPC, 61, "Disk full ("}, std::tuple{EIO, 57, "Device I/O error ("}}) {
        SCOPED_TRACE(number);
        clsFile w;
        ASSERT_TRUE(w.OpenForWrite(name));
        tf::test::WriteBudget budget(4, err); // the first line does not fit
        try {
            w.writeline(QStringLiteral("/pics/a much longer path than four bytes.jpg"));
            ADD_FAILURE() << "the short write went unnoticed";
        } catch (const tf::FileError& e) {
            EXPECT_EQ(e.number(), number);
            EXPECT_TRUE(e.description().startsWith(QLatin1String(words))) << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(QString::fromLocal8Bit(std::strerror(err)))) << "the system's reason";
        }
        EXPECT_FALSE(w.isOpen());
        EXPECT_EQ(readAll(name), "\"old\"\r\n");
    }
}
