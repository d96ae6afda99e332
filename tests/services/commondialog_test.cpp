#include "frame/globals.h"
#include "platform/ui/dialogs.h"
#include "services/modCommonDialog.h"

#include <gtest/gtest.h>

TEST(CommonDialogs, CancelAnswersNoFileAndTheFilterOfferedFirst)
{
    tf::ScriptedDialogs dialogs;
    typCommonDialog dialog;
    dialog.lngFilterIndex = 2;
    dialog.strFilter = "EXIF file (*.xiff)|*.xiff|All files|*";
    dialog.strDialogTitle = "Open";
    const typCommonDialogResult result = fncShowOpen(dialog);
    EXPECT_TRUE(result.strFileName.isEmpty());
    EXPECT_TRUE(result.strFileTitle.isEmpty());
    EXPECT_EQ(result.lngFilterIndex, 2);
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_FALSE(dialogs.fileRequests()[0].save);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Open");
    EXPECT_EQ(dialogs.fileRequests()[0].filter, "EXIF file (*.xiff)|*.xiff|All files|*");
    EXPECT_EQ(dialogs.fileRequests()[0].filterIndex, 2);
}

TEST(CommonDialogs, ColourDialogRemembersTheLastColourAndCustomColours)
{
    subResetColorDialogState();
    tf::ScriptedDialogs dialogs;
    dialogs.answerColor(QColor(10, 20, 30));
    const typColorResult first = fncShowColor(nullptr);
    EXPECT_FALSE(first.blnCancelled);
    EXPECT_EQ(first.lngColor, 0x1E140A); // 0x00BBGGRR
    // First opening: black, and sixteen custom colours of 254, 254, 254.
    ASSERT_EQ(dialogs.lastInitialColors().size(), 17);
    EXPECT_EQ(dialogs.lastInitialColors()[0], QColor(0, 0, 0));
    EXPECT_EQ(dialogs.lastInitialColors()[16], QColor(254, 254, 254));

    dialogs.cancelColor();
    const typColorResult second = fncShowColor(nullptr);
    EXPECT_TRUE(second.blnCancelled);
    EXPECT_EQ(second.lngColor, 0);
    EXPECT_EQ(dialogs.lastInitialColors()[0], QColor(10, 20, 30)) << "reopens on the colour chosen before";
}

TEST(CommonDialogs, FolderBrowseBlankIsEmpty)
{
    tf::ScriptedDialogs dialogs;
    dialogs.answerFolder("   ");
    EXPECT_EQ(fncBrowseDestinationFolder(nullptr, "/tmp"), QString());
    dialogs.answerFolder("/srv/out");
    EXPECT_EQ(fncBrowseDestinationFolder(nullptr, "/tmp"), "/srv/out");
    ASSERT_EQ(dialogs.folderTitles().size(), 2u);
    EXPECT_EQ(dialogs.folderTitles()[0], "Please select a destination folder to save all the files!");
    EXPECT_EQ(fncBrowseDestinationFolder(nullptr, "/tmp"), QString()) << "cancel";
    EXPECT_EQ(dialogs.folderStarts()[0], "/tmp") << "the dialog opens at the starting folder";

    // The starting folder lasts for one browse only: a plain browse afterwards starts nowhere.
    dialogs.answerFolder("/srv/other");
    EXPECT_EQ(Folder_Browse(nullptr, "Choose", 0), "/srv/other");
    ASSERT_EQ(dialogs.folderStarts().size(), 4u);
    EXPECT_EQ(dialogs.folderStarts()[3], QString());
    EXPECT_EQ(gstrCurrentOperation, "Returning selected folder from the Browse dialog");
}

TEST(CommonDialogs, AcceptedSaveAnswersTheFileAndAsksBeforeReplacingUnlessTheCallerAsksItself)
{
    tf::ScriptedDialogs dialogs;
    dialogs.answerFile("/home/u/pics/basket.ibf", 1);
    typCommonDialog dialog;
    dialog.strFilter = "Image basket file (*.ibf)|*.ibf";
    const typCommonDialogResult result = fncShowSave(dialog);
    EXPECT_EQ(result.strFileName, "/home/u/pics/basket.ibf");
    EXPECT_EQ(result.strFileTitle, "basket.ibf");
    EXPECT_EQ(result.lngFilterIndex, 1);
    dialog.blnConfirmOverwrite = false;
    fncShowSave(dialog);
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    const tf::FileDialogRequest& asking = dialogs.fileRequests()[0];
    const tf::FileDialogRequest& silent = dialogs.fileRequests()[1];
    EXPECT_TRUE(asking.save);
    EXPECT_TRUE(asking.confirmOverwrite);
    EXPECT_FALSE(silent.confirmOverwrite);

    // What the real dialog is given: Qt's own dialog always (its filters ignore case), the
    // question before replacing only where the caller did not turn it off.
    EXPECT_TRUE(tf::fileDialogOptions(asking).testFlag(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(tf::fileDialogOptions(asking).testFlag(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(tf::fileDialogOptions(silent).testFlag(QFileDialog::DontConfirmOverwrite));
    tf::FileDialogRequest open;
    open.confirmOverwrite = false;
    EXPECT_FALSE(tf::fileDialogOptions(open).testFlag(QFileDialog::DontConfirmOverwrite))
        << "an open dialog replaces nothing";
}
