// Names that are not UTF-8: every byte survives the trip through text, the folder lists them, and
// a path with such a name can be opened by the rest of the program.
#include "platform/sys/filenames.h"
#include "support/testenv.h"

#include <QFile>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

using tf::test::TempFolder;

namespace {

// Writes a file under its raw byte name, which Qt's file classes cannot do.
void writeRaw(const QString& folder, const QByteArray& name, const QByteArray& content)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.constData(), content.size()), content.size());
    ::close(fd);
}

} // namespace

TEST(FileNames, EveryByteSurvivesTheTripThroughText)
{
    const QByteArray cases[] = {
        "plain.png",
        "caf\xc3\xa9 \xf0\x9f\x93\xb7.jpg", // valid two- and four-byte sequences stay text
        "bad\xffname.png",
        "lone\x80" "continuation",
        "overlong\xc0\xaf",
        "surrogate\xed\xa0\x80",
        "cut at the end\xe2\x82",
        "line\nbreak.tif",
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString text = tf::fileNameFromBytes(bytes);
        EXPECT_EQ(tf::fileNameToBytes(text), bytes);
        EXPECT_EQ(tf::hasEscapedBytes(text), QString::fromUtf8(bytes).toUtf8() != bytes);
    }
    EXPECT_EQ(tf::readableFileName(tf::fileNameFromBytes("bad\xffname.png")), QStringLiteral("bad\uFFFDname.png"));
    // A real character outside the basic plane is a surrogate pair, not an escaped byte.
    EXPECT_FALSE(tf::hasEscapedBytes(QString::fromUtf8("\xf0\x9f\x93\xb7")));
}

TEST(FileNames, TheFolderListsEveryNameAndEachCanBeOpened)
{
    TempFolder tmp;
    writeRaw(tmp.path(), "b\xff.png", "first");
    writeRaw(tmp.path(), "b\xfe.png", "second");
    writeRaw(tmp.path(), "A.png", "a");
    writeRaw(tmp.path(), "c\nd.png", "newline");
    writeRaw(tmp.path(), ".hidden.png", "h");

    const QStringList names = tf::folderFileEntries(tmp.path());
    ASSERT_EQ(names.size(), 4); // the hidden file is left out
    EXPECT_EQ(names.first(), QStringLiteral("A.png"));
    EXPECT_TRUE(names.contains(QStringLiteral("c\nd.png")));

    QStringList opened;
    for (const QString& name : names) {
        const QString path = tf::reachablePath(tmp.path() + QLatin1Char('/') + name);
        ASSERT_FALSE(path.isEmpty()) << name.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        opened << QString::fromLatin1(file.readAll());
        // What a window shows of the link's name is the file's own name, readable.
        EXPECT_EQ(path.section(QLatin1Char('/'), -1), tf::readableFileName(name));
    }
    opened.sort();
    EXPECT_EQ(opened, (QStringList{"a", "first", "newline", "second"}));
    // The same file always gets the same link; two names that read alike get two.
    const QString one = tmp.path() + QLatin1Char('/') + tf::fileNameFromBytes("b\xff.png");
    EXPECT_EQ(tf::reachablePath(one), tf::reachablePath(one));
    EXPECT_NE(tf::reachablePath(one), tf::reachablePath(tmp.path() + QLatin1Char('/') + tf::fileNameFromBytes("b\xfe.png")));
    // Qt's temporary folder cannot see these names to remove them.
    for (const char* raw : {"b\xff.png", "b\xfe.png"}) ::unlink((QFile::encodeName(tmp.path()) + '/' + raw).constData());
}
