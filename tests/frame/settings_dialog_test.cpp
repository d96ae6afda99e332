// The settings dialog against the settings record: what OK stores and what Cancel leaves.
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
        pickers.folder = [this](QWidget*, const QString& start) { folderStarts << start; return pickedFolder; };
    }

    template <typename T> T* child(frmSettings& d, const char* name)
    {
        T* found = d.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void leave(QWidget* box) { QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason); QApplication::sendEvent(box, &out); }
    // Sets every control away from the record.
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

TEST_F(SettingsDialog, CancelAfterEditsAndOkWithoutEditsLeaveTheRecordByteForByte)
{
    const QByteArray before = encodeSettings(gudtSettings);
    for (const bool cancel : {true, false}) {
        frmSettings d(pickers);
        if (cancel) editEverything(d);
        child<QPushButton>(d, cancel ? "cmdCancel" : "cmdOK")->click();
        EXPECT_EQ(d.result(), cancel ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(encodeSettings(gudtSettings), before) << cancel;
    }
}

TEST_F(SettingsDialog, OkStoresEveryControlAndSetsBothListsAlike)
{
    frmSettings d(pickers);
    QSignalSpy stored(&d, &frmSettings::settingsStored);
    editEverything(d);
    EXPECT_EQ(folderStarts, QStringList{gudtSettings.Capture.Folder});
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
        EXPECT_EQ(box->selectedText(), "20") << "emptied: the default, chosen";
        QTest::keyClicks(box, "7x8-91");
        EXPECT_EQ(box->text(), "789") << "three digits at most";
        box->setText("1");
        box->insert("2a");
        EXPECT_EQ(box->text(), "1") << "a paste with a letter is refused";

        for (const auto& [typed, left] : {std::pair{"19", "20"}, {"20", "20"}, {"300", "300"}, {"301", "300"}, {"0", "20"}}) {
            box->setText(QString::fromLatin1(typed));
            leave(box);
            EXPECT_EQ(box->text(), left) << typed;
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
    EXPECT_EQ(QList<int>({gudtSettings.FolderThumbWidth, gudtSettings.PagesThumbWidth, gudtSettings.FolderThumbHeight,
                          gudtSettings.PagesThumbHeight}),
              QList<int>({20, 20, 300, 300}));
}

TEST_F(SettingsDialog, GenericNamesThatCannotNameAFileAreRefusedOnOk)
{
    const QByteArray before = encodeSettings(gudtSettings);
    const struct { const char* box; const char* page; QString name; const char* said; } cases[] = {
        {"txtCaptureGeneric", "picCapture", QStringLiteral("a/b"), "\"/\""},
        {"txtTwainGeneric", "picTwain", QStringLiteral("scan") + QChar(0), "a NUL character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        ScriptedMessageBoxes boxes;
        frmSettings d(pickers);
        d.show();
        child<QLineEdit>(d, c.box)->setText(c.name);
        child<QPushButton>(d, "cmdOK")->click();
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(QString::fromLatin1(c.said)));
        EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(child<QTabWidget>(d, "tbsSettings")->currentWidget()->objectName(), c.page);
        EXPECT_EQ(encodeSettings(gudtSettings), before);
    }
}
