// The settings dialog against the settings record: what OK stores, what Cancel leaves, and the
// rules of the thumbnail boxes and the generic names.
#include "frame/frmSettings.h"
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "platform/sys/colors.h"
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace tf;

namespace {

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        gudtSettings = fncDefaultSettings();
        gudtSettings.FolderThumbWidth = gudtSettings.PagesThumbWidth = 64;
        gudtSettings.FolderThumbHeight = gudtSettings.PagesThumbHeight = 48;
        pickers.color = [this](QWidget*) { ++colorAsked; return pickedColor; };
        pickers.folder = [this](QWidget*, const QString& start) {
            folderStarts << start;
            return pickedFolder;
        };
    }

    template <typename T> T* child(frmSettings& d, const char* name)
    {
        T* found = d.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void leave(QWidget* box)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
    }
    // Every control of the dialog set away from the record.
    void editEverything(frmSettings& d)
    {
        child<QCheckBox>(d, "chkAllowTip")->setChecked(false);
        child<QRadioButton>(d, "optFileSize_1")->setChecked(true);
        child<QCheckBox>(d, "chkFolderFullRowSelect")->setChecked(true);
        child<QLineEdit>(d, "txtFolderThumbnailWidth")->setText("120");
        child<QLineEdit>(d, "txtFolderThumbnailHeight")->setText("90");
        child<QLineEdit>(d, "txtCaptureGeneric")->setText("Shot");
        child<QLineEdit>(d, "txtTwainGeneric")->setText("Scan");
        child<QLineEdit>(d, "txtTwainFolder")->setText("/typed/twain");
        pickedFolder = "/chosen/capture";
        child<QPushButton>(d, "cmdCaptureBrowse")->click();
        pickedColor = rgb(10, 20, 30);
        d.picPreviewBackground_Click();
    }

    SettingsPickers pickers;
    std::optional<int32_t> pickedColor;
    QString pickedFolder;
    int colorAsked = 0;
    QStringList folderStarts;
};

} // namespace

TEST_F(SettingsDialog, CancelAfterEveryEditLeavesTheRecordByteForByte)
{
    const QByteArray before = encodeSettings(gudtSettings);
    frmSettings d(pickers);
    QSignalSpy stored(&d, &frmSettings::settingsStored);
    editEverything(d);
    child<QPushButton>(d, "cmdCancel")->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(stored.count(), 0);
    EXPECT_EQ(encodeSettings(gudtSettings), before);
}

TEST_F(SettingsDialog, OkWithoutEditsStoresTheRecordAsItWas)
{
    const QByteArray before = encodeSettings(gudtSettings);
    frmSettings d(pickers);
    child<QPushButton>(d, "cmdOK")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(encodeSettings(gudtSettings), before);
}

TEST_F(SettingsDialog, OkStoresEveryControlAndSetsBothListsAlike)
{
    frmSettings d(pickers);
    QSignalSpy stored(&d, &frmSettings::settingsStored);
    editEverything(d);
    EXPECT_EQ(folderStarts, QStringList{gudtSettings.Capture.Folder}) << "the browse starts at the folder in the box";
    child<QPushButton>(d, "cmdOK")->click();

    typSettings expected = fncDefaultSettings();
    expected.ShowToolTips = 0;
    expected.LongFileSize = 1;
    expected.FolderFullRowSelect = expected.PagesFullRowSelect = -1;
    expected.FolderThumbWidth = expected.PagesThumbWidth = 120;
    expected.FolderThumbHeight = expected.PagesThumbHeight = 90;
    expected.Capture.GenericName = "Shot";
    expected.Capture.Folder = "/chosen/capture";
    expected.Twain.GenericName = "Scan";
    expected.Twain.Folder = "/typed/twain";
    expected.PreviewBackColor = rgb(10, 20, 30);
    EXPECT_EQ(encodeSettings(gudtSettings), encodeSettings(expected));
    EXPECT_EQ(stored.count(), 1);
    EXPECT_EQ(colorAsked, 1);
}

TEST_F(SettingsDialog, ThumbnailBoxesKeepDigitsDefaultWhenEmptiedAndClampWhenLeft)
{
    frmSettings d(pickers);
    for (const char* name : {"txtFolderThumbnailWidth", "txtFolderThumbnailHeight"}) {
        SCOPED_TRACE(name);
        auto* box = child<QLineEdit>(d, name);

        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), "20");
        EXPECT_EQ(box->selectedText(), "20") << "typing replaces the default";
        QTest::keyClicks(box, "7x8-9");
        EXPECT_EQ(box->text(), "789") << "digits only";
        QTest::keyClicks(box, "1");
        EXPECT_EQ(box->text(), "789") << "three digits at most";
        box->setText("1");
        box->insert("2a");
        EXPECT_EQ(box->text(), "1") << "a paste with a letter is refused";

        const struct {
            const char* typed;
            const char* left;
        } cases[] = {{"5", "20"}, {"19", "20"}, {"20", "20"}, {"150", "150"}, {"300", "300"},
                     {"301", "300"}, {"999", "300"}, {"0", "20"}};
        for (const auto& c : cases) {
            box->setText(QString::fromLatin1(c.typed));
            leave(box);
            EXPECT_EQ(box->text(), c.left) << c.typed;
        }
    }
}

TEST_F(SettingsDialog, EnterOnOkStoresTheClampedSizeOfABoxNeverLeft)
{
    frmSettings d(pickers);
    d.show();
    auto* width = child<QLineEdit>(d, "txtFolderThumbnailWidth");
    auto* height = child<QLineEdit>(d, "txtFolderThumbnailHeight");
    width->setText("5");
    height->setText("999");
    QTest::keyClick(width, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(gudtSettings.FolderThumbWidth, 20);
    EXPECT_EQ(gudtSettings.PagesThumbWidth, 20);
    EXPECT_EQ(gudtSettings.FolderThumbHeight, 300);
    EXPECT_EQ(gudtSettings.PagesThumbHeight, 300);
}

TEST_F(SettingsDialog, GenericNamesThatCannotNameAFileAreRefusedOnOk)
{
    const QByteArray before = encodeSettings(gudtSettings);
    const struct {
        const char* box;
        const char* page;
        QString name;
        const char* said;
    } cases[] = {
        {"txtCaptureGeneric", "picCapture", QStringLiteral("a/b"), "\"/\""},
        {"txtTwainGeneric", "picTwain", QStringLiteral("scan") + QChar(0), "a NUL character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        ScriptedMessageBoxes boxes;
        frmSettings d(pickers);
        d.show();
        QSignalSpy stored(&d, &frmSettings::settingsStored);
        child<QLineEdit>(d, c.box)->setText(c.name);
        child<QPushButton>(d, "cmdOK")->click();
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(QString::fromLatin1(c.said)));
        EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open for a better name";
        EXPECT_EQ(child<QTabWidget>(d, "tbsSettings")->currentWidget()->objectName(), c.page);
        EXPECT_EQ(stored.count(), 0);
        EXPECT_EQ(encodeSettings(gudtSettings), before);
    }
}
