// The help file: opened with the desktop's handler, and a plain message where Linux has nothing
// that reads it.
#include "mainwindow_fixture.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/ui/msgbox.h"
#include "services/modGenericFunctions.h"

#include <QUrl>

using namespace tf;
using tf::test::MainWindowTest;

namespace {

// A desktop with no program for the file.
class NoHandler : public ShellOpener {
public:
    NoHandler() { setShellOpener(this); }
    ~NoHandler() override { setShellOpener(nullptr); }
    bool open(const QUrl& url) override
    {
        asked.push_back(url);
        return false;
    }
    std::vector<QUrl> asked;
};

} // namespace

TEST_F(MainWindowTest, TheHelpFileGoesToTheDesktopOrGivesAPlainMessage)
{
    frmMain& w = start(QSize());
    EXPECT_TRUE(w.HelpFile().endsWith("/Help.chm"));
    EXPECT_FALSE(w.HelpFile().contains("//"));

    test::TempFolder folder;
    const QString help = folder.write("Help.chm", "ITSF");

    {
        RecordedShellOpens opens;
        ScriptedMessageBoxes boxes;
        EXPECT_TRUE(fncOpenHelpFile(help));
        ASSERT_EQ(opens.opened().size(), 1u);
        EXPECT_EQ(opens.opened()[0], QUrl::fromLocalFile(help));
        EXPECT_TRUE(boxes.shown().empty());
    }
    {
        NoHandler none;
        ScriptedMessageBoxes boxes;
        EXPECT_FALSE(fncOpenHelpFile(help));
        EXPECT_EQ(none.asked.size(), 1u);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("The help file could not be opened:\n" + help));
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(".chm"));
        EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
        EXPECT_EQ(boxes.shown()[0].title, gstrApplicationName);
    }
    {
        RecordedShellOpens opens;
        ScriptedMessageBoxes boxes;
        EXPECT_FALSE(fncOpenHelpFile(folder.file("missing.chm")));
        EXPECT_TRUE(opens.opened().empty()) << "nothing is handed to the desktop for a missing file";
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("The help file could not be found:"));
    }
}
