// A new user's first session, start to finish, through the window's own controls. Each stop is
// checked; with TF_WALK_SCREENSHOTS naming a folder, each is also kept there as walk-NN-name.png.
#include "mainwindow_gui.h"

#include "controls/explorerbar/ExplorerBar.h"
#include "controls/explorerbar/ExplorerBarModel.h"
#include "frame/frmAbout.h"
#include "controls/splitter.h"
#include "frame/frmSettings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"

#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QTest>

using namespace tf;
using namespace tf::test;

namespace {

class MainWindowWalk : public MainWindowGui {
protected:
    // Keeps the widget's picture as the walk's next stop (only when asked for).
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
    // The popup the last click opened, kept with the window behind it.
    QMenu* popup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    void closePopups()
    {
        while (QWidget* open = QApplication::activePopupWidget()) open->close();
    }
    template <typename T> T* dialogNamed(const char* name) { return window().findChild<T*>(QString::fromLatin1(name)); }

    int m_stop = 0;
    TempFolder pics;
    TempFolder out;
};

} // namespace

TEST_F(MainWindowWalk, ANewUsersFirstSession)
{
    const QColor colours[] = {QColor(200, 60, 40), QColor(40, 140, 90), QColor(50, 90, 190), QColor(230, 180, 40)};
    const char* names[] = {"harbour.png", "meadow.jpg", "river.png", "sunset.bmp"};
    for (int i = 0; i < 4; ++i) {
        QImage picture = solid(320, 240, colours[i]);
        for (int y = 0; y < 240; y += 24) picture.setPixelColor(10 + y, y, Qt::white);
        writeQt(pics.file(names[i]), picture, i == 1 ? "jpg" : i == 3 ? "bmp" : "png");
    }
    ASSERT_TRUE(writeRgbTiff(pics.file("scan.tif"), {solid(200, 280, Qt::white), solid(200, 280, Qt::lightGray)}));

    // Start: the folder last browsed, in thumbnails.
    frmMain& w = startOn(pics.path(), /*details*/ false, QSize(1180, 760));
    ASSERT_EQ(w.browse()->lvFolder()->Count(), 5);
    stop("start", &w);

    // Browse and preview.
    clickRow(w.browse()->lvFolder(), "river.png");
    EXPECT_TRUE(w.browse()->ibMain()->HasImage());
    stop("preview", &w);

    // Into the basket: every file, the multipage one split into its pages.
    w.browse()->lvFolder()->setFocus();
    QTest::keyClick(w.browse()->lvFolder(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.browse()->lvFolder(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    settleBrowse();
    EXPECT_EQ(w.basket()->lvPages()->Count(), 6);
    stop("basket", &w);

    // The folder list's own menu.
    const QRect row = w.browse()->lvFolder()->visualItemRect(w.browse()->lvFolder()->Item(2));
    QTest::mouseClick(w.browse()->lvFolder()->viewport(), Qt::RightButton, {}, row.center());
    ASSERT_NE(popup(), nullptr);
    stop("folder-menu", popup());
    closePopups();

    // Edit with a task: the preview's Edit, then a task from the chart.
    clickRow(w.basket()->lvPages(), "harbour");
    w.CmdPreviewEdit_Click();
    w.editing()->eb_ItemClick(ExplorerBarModel::kSpecialGroupKey, QStringLiteral("Rotate"));
    QApplication::processEvents();
    EXPECT_EQ(w.arrangement(), PaneArrangement::Editing);
    stop("edit-task", &w);
    w.CmdPreviewEdit_Click();

    // The metadata pane, on a file that has some.
    clickRow(w.browse()->lvFolder(), "scan.tif");
    EXPECT_EQ(w.splView()->RightOrBottomControl(), w.PicMetadata());
    stop("metadata", &w);

    // The basket's menu and the Save As menu, then a PDF of the basket.
    clickRow(w.basket()->lvPages(), "meadow");
    const QRect page = w.basket()->lvPages()->visualItemRect(w.basket()->lvPages()->Item(2));
    QTest::mouseClick(w.basket()->lvPages()->viewport(), Qt::RightButton, {}, page.center());
    ASSERT_NE(popup(), nullptr);
    stop("basket-menu", popup());
    closePopups();
    click(w.basket()->cmdSaveAs());
    ASSERT_NE(popup(), nullptr);
    stop("saveas-menu", popup());
    closePopups();
    {
        ScriptedDialogs dialogs;
        ScriptedMessageBoxes boxes;
        const QString pdf = out.file("walk.pdf");
        dialogs.answerFile(pdf, 2);
        untilOutputEnds(w, [&] { w.multiPage()->mnuSaveAs(1)->trigger(); });
        EXPECT_TRUE(QFileInfo(pdf).size() > 0);
    }
    stop("saved-pdf", &w);

    // The settings and about dialogs, and the about menu they sit beside.
    w.browse()->cmdBrowseSettings()->click();
    stop("settings", w.findChild<frmSettings*>());
    w.findChild<frmSettings*>()->close();
    click(w.browse()->cmdBrowseAbout());
    ASSERT_NE(popup(), nullptr);
    stop("about-menu", popup());
    closePopups();
    w.browse()->mnuAbout(4)->trigger();
    stop("about", w.findChild<frmAbout*>());
    w.findChild<frmAbout*>()->close();

    // Capture, scanning and the slide show builder.
    for (const auto& [button, name, shot] : {std::tuple{w.browse()->cmdCapture(), "frmCapture", "capture"},
                                             std::tuple{w.browse()->cmdTwainAcquire(), "frmTwain", "scan"}}) {
        button->click();
        auto* dialog = dialogNamed<QDialog>(name);
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
