// Reading, writing and dropping the settings file, and the start-up rules for broken files.
#include "frame/modINI.h"
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tf;

namespace {

const QString kCorruptMessage =
    QStringLiteral("Configuration data file is corrupted\nSetting values will be initilized to default");

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        gudtSettings = typSettings();
        gstrSettingsFile.clear();
        gstrCurrentFolder.clear();
        glngFolderThumbWidth = glngFolderThumbHeight = glngPagesThumbWidth = glngPagesThumbHeight = 0;
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_oldDataHome); }

    QString dataDir() const { return m_home.path() + QStringLiteral("/tavrel-folio"); }
    QString settingsPath() const { return dataDir() + QStringLiteral("/tavrel-folio"); }
    void putFile(const QByteArray& bytes) const { m_home.write(QStringLiteral("tavrel-folio/tavrel-folio"), bytes); }
    static QByteArray recordWith(void (*change)(typSettings&))
    {
        typSettings s = fncDefaultSettings();
        change(s);
        return encodeSettings(s);
    }

    test::TempFolder m_home;
    QByteArray m_oldDataHome;
};

} // namespace

TEST_F(SettingsFile, FirstStartUsesTheDefaultsAndCreatesNoFile)
{
    gblnSettingsFromFile = true; // left from an earlier read
    subReadSettingsFile();
    EXPECT_EQ(gstrSettingsFile, settingsPath());
    EXPECT_FALSE(QFileInfo::exists(settingsPath())) << "an empty file would be read as a record next time";
    EXPECT_EQ(gudtSettings, fncDefaultSettings());
    EXPECT_EQ(gudtSettings.Capture.Folder, dataDir() + QStringLiteral("/Captured"));
    EXPECT_EQ(gudtSettings.Twain.Folder, dataDir() + QStringLiteral("/Acquired"));
    EXPECT_TRUE(QFileInfo(gudtSettings.Capture.Folder).isDir());
    EXPECT_TRUE(QFileInfo(gudtSettings.Twain.Folder).isDir());
    EXPECT_EQ(gudtSettings.TreeFolder, QDir::homePath());
    EXPECT_EQ(gudtSettings.BatchSave.DestinationFolder, dataDir());
    EXPECT_FALSE(gblnSettingsFromFile) << "no size or layout is stored";
}

TEST_F(SettingsFile, AnOutputFolderThatCannotBeMadeLeavesTheOtherDefaultsFilled)
{
    // A plain file stands where the capture folder would go.
    m_home.write(QStringLiteral("tavrel-folio/Captured"), "not a folder");
    subReadSettingsFile();
    EXPECT_EQ(gudtSettings.Capture.Folder, dataDir() + QStringLiteral("/Captured"));
    EXPECT_TRUE(QFileInfo(gudtSettings.Twain.Folder).isDir());
    EXPECT_EQ(gudtSettings, fncDefaultSettings());
}

TEST_F(SettingsFile, WrittenSettingsReadBackAndReplaceLongerFiles)
{
    subReadSettingsFile();
    gudtSettings.Tasks.Text = QStringLiteral("Überschrift");
    gudtSettings.SplitterPosition = {60, 40, 25, 75};
    gudtSettings.PreviewType = 0;
    const typSettings written = gudtSettings;
    putFile(QByteArray(5000, 'x')); // an old, longer file
    QString error;
    ASSERT_TRUE(subWriteSettingsFile(&error)) << error.toStdString();
    EXPECT_EQ(test::readAll(settingsPath()), encodeSettings(written));

    gudtSettings = typSettings();
    subReadSettingsFile();
    EXPECT_EQ(gudtSettings, written);
}

TEST_F(SettingsFile, CorruptFilesAreReportedOnceDeletedAndReplacedByDefaultsOthersAreKept)
{
    const struct {
        const char* what;
        QByteArray bytes;
        bool kept = false;
    } cases[] = {
        {"empty file", QByteArray()}, // every other refused decoding takes the same road
        {"preview type out of range", recordWith([](typSettings& s) { s.PreviewType = 2; })},
        {"zero thumbnails", recordWith([](typSettings& s) { s.FolderThumbHeight = 0; })},
        {"negative column", recordWith([](typSettings& s) { s.PagesColumnWidth[3] = -1; })},
        {"thumbnail too big", recordWith([](typSettings& s) { s.PagesThumbWidth = 301; })},
        {"all zero", encodeSettings(typSettings())},
        {"window of no width", recordWith([](typSettings& s) { s.WindowWidth = 0; })},
        {"window of negative height", recordWith([](typSettings& s) { s.WindowHeight = INT32_MIN; })},
        {"window wider than any screen", recordWith([](typSettings& s) { s.WindowWidth = 32768 * 15; })},
        {"window of 2^31 twips", recordWith([](typSettings& s) { s.WindowHeight = INT32_MAX; })},
        {"splitter below a percent", recordWith([](typSettings& s) { s.SplitterPosition[3] = -1; })},
        {"splitter at -32768", recordWith([](typSettings& s) { s.SplitterPosition[1] = INT16_MIN; })},
        {"splitter above a percent", recordWith([](typSettings& s) { s.SplitterPosition[2] = 101; })},
        {"the extreme record once accepted",
         test::readAll(QStringLiteral(TF_SETTINGS_REGRESSION_DIR "/settings-extreme-accepted.bin"))},
        // The window and the splitters bring these within what they can show; the record keeps them.
        {"smallest window", recordWith([](typSettings& s) { s.WindowWidth = s.WindowHeight = 1; }), true},
        {"largest window", recordWith([](typSettings& s) { s.WindowWidth = s.WindowHeight = 32767 * 15; }), true},
        {"splitters at 0 and 100", recordWith([](typSettings& s) { s.SplitterPosition = {0, 100, 0, 100}; }), true},
        // One main splitter at its minimum is a layout the user chose; only both at once are dropped.
        {"one splitter collapsed", recordWith([](typSettings& s) { s.SplitterPosition = {10, 30, 50, 50}; }), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        putFile(c.bytes);
        typSettings expected = fncDefaultSettings();
        ASSERT_TRUE(!c.kept || decodeSettings(c.bytes, expected) == SettingsDecodeResult::Ok);
        gudtSettings = typSettings();
        gblnSettingsFromFile = !c.kept; // the opposite, left from an earlier read
        ScriptedMessageBoxes boxes;
        subLoadSettingsRecord({});
        ASSERT_EQ(boxes.shown().size(), c.kept ? 0u : 1u);
        if (!c.kept) {
            EXPECT_EQ(boxes.shown()[0].prompt, kCorruptMessage);
            EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
            EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Tavrel Folio Professional Edition"));
        }
        EXPECT_EQ(QFileInfo::exists(settingsPath()), c.kept);
        EXPECT_EQ(gudtSettings, expected);
        EXPECT_EQ(gblnSettingsFromFile, c.kept);
    }
}

TEST_F(SettingsFile, CollapsedMainSplittersDropTheFileSilently)
{
    putFile(recordWith([](typSettings& s) { s.SplitterPosition = {10, 10, 40, 40}; s.ShowToolTips = 0; }));
    int applied = 0;
    subLoadSettingsRecord([&] { ++applied; });
    EXPECT_EQ(applied, 1);
    EXPECT_FALSE(QFileInfo::exists(settingsPath()));
    EXPECT_EQ(gudtSettings, fncDefaultSettings());
    EXPECT_FALSE(gblnSettingsFromFile);
}

TEST_F(SettingsFile, AFailedApplyRetriesOnceWithTheDefaults)
{
    putFile(recordWith([](typSettings& s) { s.FolderThumbWidth = 120; }));
    int calls = 0;
    subLoadSettingsRecord([&] {
        if (++calls == 1) throw std::runtime_error("column header");
    });
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(QFileInfo::exists(settingsPath()));
    EXPECT_EQ(glngFolderThumbWidth, 40);

    calls = 0;
    putFile(encodeSettings(fncDefaultSettings()));
    EXPECT_THROW(subLoadSettingsRecord([&] {
        ++calls;
        throw std::runtime_error("always");
    }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2) << "the second failure goes to the caller; no third pass";
}

TEST_F(SettingsFile, VanishedStartFoldersBecomeHomeButOutputFoldersAreKept)
{
    const QString gone = m_home.path() + QStringLiteral("/gone");
    typSettings s = fncDefaultSettings();
    s.TreeFolder = QStringLiteral("C:\\");
    s.CurrentFolder = QStringLiteral("relative/folder");
    putFile(encodeSettings(s));
    subReadSettingsFile();
    EXPECT_EQ(gudtSettings.TreeFolder, QDir::homePath());
    EXPECT_EQ(gudtSettings.CurrentFolder, QDir::homePath());

    s.TreeFolder = m_home.path();
    s.CurrentFolder = gone;
    s.Capture.Folder = gone; // a disk that is not mounted now may be back for the next capture
    s.PagesThumbHeight = 90;
    putFile(encodeSettings(s));
    subLoadSettingsRecord({});
    EXPECT_EQ(gudtSettings.TreeFolder, m_home.path());
    EXPECT_EQ(gstrCurrentFolder, QDir::homePath());
    EXPECT_EQ(glngPagesThumbHeight, 90);
    EXPECT_EQ(gudtSettings.Capture.Folder, gone);
}

