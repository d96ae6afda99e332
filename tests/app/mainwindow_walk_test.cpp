// A first session through the window's controls; TF_WALK_SCREENSHOTS keeps each stop as walk-NN-name.png.
// The folder tree shows the temporary folder's neighbours: for the README's pictures, run with TMPDIR
// set to a folder of its own under /home.
#include "mainwindow_gui.h"

#include "controls/explorerbar/ExplorerBar.h"
#include "controls/explorerbar/ExplorerBarModel.h"
#include "frame/frmAbout.h"
#include "frame/frmSettings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"

#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QTest>

using namespace tf;
using namespace tf::test;

namespace {

class MainWindowWalk : public MainWindowGui {
protected:
    void stop(const char* name, QWidget* widget)
    {
        ++m_stop;
        ASSERT_NE(widget, nullptr) << name;
        QApplication::processEvents();
        const QString folder = qEnvironmentVariable("TF_WALK_SCREENSHOTS");
        if (folder.isEmpty()) return;
        QDir().mkpath(folder);
        const QString file = QStringLiteral("%1/walk-%2-%3.png").arg(folder).arg(m_stop, 2, 10, QLatin1Char('0')).arg(name);
        EXPECT_TRUE(widget->grab().save(file)) << file.toStdString();
    }
    // Keeps the popup the last click opened, then closes it.
    void stopAtPopup(const char* name)
    {
        stop(name, QApplication::activePopupWidget());
        while (QWidget* open = QApplication::activePopupWidget()) open->close();
    }
    void rightClickRow(QTreeView* list, int index)
    {
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->visualRect(rowAt(list, index)).center());
    }

    int m_stop = 0;
    TempFolder pics;
    TempFolder out;
};

} // namespace

TEST_F(MainWindowWalk, ANewUsersFirstSession)
{
    for (const auto& [name, format, colour] : {std::tuple{"harbour.png", "png", QColor(200, 60, 40)}, {"meadow.jpg", "jpg", QColor(40, 140, 90)},
                                               {"river.png", "png", QColor(50, 90, 190)}, {"sunset.bmp", "bmp", QColor(230, 180, 40)}})
    {
        QImage picture = solid(320, 240, colour);
        for (int y = 0; y < 240; y += 24) picture.setPixelColor(10 + y, y, Qt::white);
        writeQt(pics.file(name), picture, format);
    }
    ASSERT_TRUE(writeRgbTiff(pics.file("scan.tif"), {solid(200, 280, Qt::white), solid(200, 280, Qt::lightGray)}));

    frmMain& w = startOn(pics.path(), /*details*/ false, QSize(1180, 760));
    stop("start", &w);
    clickRow(w.browse()->lvFolder(), "river.png");
    stop("preview", &w);

    w.browse()->lvFolder()->setFocus();
    QTest::keyClick(w.browse()->lvFolder(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.browse()->lvFolder(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    settleBrowse();
    stop("basket", &w);
    rightClickRow(w.browse()->lvFolder(), 2);
    stopAtPopup("folder-menu");

    clickRow(w.basket()->lvPages(), "harbour");
    w.CmdPreviewEdit_Click();
    w.editing()->eb_ItemClick(ExplorerBarModel::kSpecialGroupKey, QStringLiteral("Rotate"));
    stop("edit-task", &w);
    w.CmdPreviewEdit_Click();
    clickRow(w.browse()->lvFolder(), "scan.tif");
    stop("metadata", &w);

    clickRow(w.basket()->lvPages(), "meadow");
    rightClickRow(w.basket()->lvPages(), 2);
    stopAtPopup("basket-menu");
    click(w.basket()->cmdSaveAs());
    stopAtPopup("saveas-menu");
    {
        ScriptedDialogs dialogs;
        ScriptedMessageBoxes boxes;
        dialogs.answerFile(out.file("walk.pdf"), 2);
        untilOutputEnds(w, [&] { w.multiPage()->mnuSaveAs(1)->trigger(); });
    }
    stop("saved-pdf", &w);

    w.browse()->cmdBrowseSettings()->click();
    stop("settings", w.findChild<frmSettings*>());
    w.findChild<frmSettings*>()->close();
    click(w.browse()->cmdBrowseAbout());
    stopAtPopup("about-menu");
    w.browse()->mnuAbout(4)->trigger();
    stop("about", w.findChild<frmAbout*>());
    w.findChild<frmAbout*>()->close();

    for (const auto& [button, name, shot] : {std::tuple{w.browse()->cmdCapture(), "frmCapture", "capture"},
                                             std::tuple{w.browse()->cmdTwainAcquire(), "frmTwain", "scan"}}) {
        button->click();
        auto* dialog = window().findChild<QDialog*>(QString::fromLatin1(name));
        stop(shot, dialog);
        if (dialog) dialog->close();
    }
    w.multiPage()->mnuSaveAs(2)->trigger();
    QWidget* builder = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top != &w && qobject_cast<QDialog*>(top)) builder = top;
    stop("slideshow", builder);
    if (builder) builder->close();
}
