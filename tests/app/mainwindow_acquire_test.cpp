// The capture and scanner buttons open their dialogs over the window, without waiting on them.
#include "mainwindow_fixture.h"

#include <QDialog>
#include <QPushButton>

namespace tf::test {
namespace {

class MainWindowAcquire : public MainWindowTest {};

TEST_F(MainWindowAcquire, CaptureAndAcquireOpenTheirDialogs)
{
    frmMain& w = start();
    for (const auto& [button, dialog] : {std::pair{w.browse()->cmdCapture(), "frmCapture"},
                                         std::pair{w.browse()->cmdTwainAcquire(), "frmTwain"}}) {
        button->click();
        auto* shown = w.findChild<QDialog*>(QString::fromLatin1(dialog));
        ASSERT_NE(shown, nullptr) << dialog;
        EXPECT_TRUE(shown->isVisible()) << dialog;
        shown->close();
    }
}

} // namespace
} // namespace tf::test
