// The four lists' keys, clicks, drops, caption clicks and menus, and the browse bar's buttons,
// reaching the commands they run. What the commands do is tested with their areas.
#include "mainwindow_gui.h"

#include "basket/modMultiPage.h"
#include "controls/hyperlink.h"
#include "frame/frmAbout.h"
#include "frame/frmSettings.h"
#include "metadata/MetadataController.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "services/modGenericFunctions.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using namespace tf;
using namespace tf::test;

namespace {

const QStringList kFiles = {"a.png", "b.png", "c.png", "d.png", "e.png"};

class MainWindowLists : public MainWindowGui {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        for (int i = 0; i < kFiles.size(); ++i) writeQt(shots.file(kFiles[i]), solid(30 + i, 20, QColor(40 * i, 90, 200)), "png");
    }

    frmMain& startOnShots() { return startOn(shots.path(), /*details*/ true); }
    ListView* folder() { return window().browse()->lvFolder(); }
    ListView* basket() { return window().basket()->lvPages(); }
    QString shownFile() const { return QFileInfo(m_window->browse()->ibMain()->Tag()).fileName(); }
    QString panel(const char* key) const { return m_window->sbMain()->panelText(QString::fromLatin1(key)); }
    int selectedCount(ListView* list) const { return int(list->selectedItems().size()); }

    void untilAdded()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window().basket()->isAdding(); }, 30000));
        settleBrowse();
    }
    void emptyBasket()
    {
        window().basket()->cmdPagesNew_Click();
        QApplication::processEvents();
    }
    void fillBasket()
    {
        emptyBasket();
        folder()->setFocus();
        QTest::keyClick(folder(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(folder(), Qt::Key_Return);
        untilAdded();
    }
    QPoint rowPoint(ListView* list, int index)
    {
        const QRect rect = list->visualItemRect(list->Item(index));
        return QPoint(rect.left() + 12, rect.center().y());
    }
    // Right-clicks the row and gives back the menu that popped up at the pointer.
    QMenu* rightClickRow(ListView* list, int index, const QString& menuName)
    {
        const QPoint at = rowPoint(list, index);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        EXPECT_NE(menu, nullptr);
        if (!menu) return nullptr;
        EXPECT_EQ(menu->objectName(), menuName);
        // At the pointer (moved only as far as the screen's edges make it).
        const QPoint pointer = list->viewport()->mapToGlobal(at);
        EXPECT_TRUE(menu->geometry().adjusted(-1, -1, 1, 1).contains(pointer))
            << menu->pos().x() << "," << menu->pos().y() << " " << pointer.x() << "," << pointer.y();
        return menu;
    }
    void choose(QMenu* menu, const QString& entry)
    {
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            if (action->text() == entry) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                settleBrowse();
                return;
            }
        ADD_FAILURE() << "no entry " << entry.toStdString();
    }
    void closePopups()
    {
        while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    }
    void clickCaption(ListView* list, int section)
    {
        QHeaderView* header = list->header();
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    TempFolder shots;
};

} // namespace

TEST_F(MainWindowLists, FolderListKeysShowAddOrChooseAsTheyShould)
{
    frmMain& w = startOnShots();
    ASSERT_EQ(rowTexts(folder()), kFiles);
    const struct {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* shown;     // the file the preview shows afterwards
        QStringList basket;    // the basket's rows afterwards
        int chosen;            // rows chosen in the folder list afterwards
    } cases[] = {
        {"down", Qt::Key_Down, {}, "d.png", {}, 1},
        {"up", Qt::Key_Up, {}, "b.png", {}, 1},
        {"home", Qt::Key_Home, {}, "a.png", {}, 1},
        {"end", Qt::Key_End, {}, "e.png", {}, 1},
        {"page down", Qt::Key_PageDown, {}, "e.png", {}, 1},
        {"page up", Qt::Key_PageUp, {}, "a.png", {}, 1},
        {"enter adds the chosen file", Qt::Key_Return, {}, "c.png", {"c"}, 1},
        {"ctrl+a chooses every row", Qt::Key_A, Qt::ControlModifier, "c.png", {}, 5},
        {"delete does nothing here", Qt::Key_Delete, {}, "c.png", {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBasket();
        clickRow(folder(), "c.png");
        ASSERT_EQ(shownFile(), "c.png");
        QTest::keyClick(folder(), c.key, c.modifiers);
        untilAdded();
        EXPECT_EQ(shownFile(), c.shown);
        EXPECT_EQ(rowTexts(basket()), c.basket);
        EXPECT_EQ(selectedCount(folder()), c.chosen);
        EXPECT_EQ(folder()->Count(), kFiles.size());
    }

    // After a drop the keys show nothing until a row is clicked again.
    clickRow(folder(), "c.png");
    w.basket()->lvPages_OLEDragDrop(folder(), QPoint(5, 5));
    untilAdded();
    EXPECT_EQ(panel("queue"), "1 file(s) in basket");
    QTest::keyClick(folder(), Qt::Key_Down);
    settleBrowse();
    EXPECT_EQ(shownFile(), "c.png");
}

TEST_F(MainWindowLists, FolderListMouseMenuDropsAndCaptionsReachTheirCommands)
{
    frmMain& w = startOnShots();

    // A double click adds the row.
    clickRow(folder(), "b.png");
    QTest::mouseDClick(folder()->viewport(), Qt::LeftButton, {}, rowPoint(folder(), 2));
    untilAdded();
    EXPECT_EQ(rowTexts(basket()), QStringList({"b"}));

    // The right button opens "Add to basket" at the pointer; the row under it is what it adds.
    emptyBasket();
    QMenu* menu = rightClickRow(folder(), 4, "mnuContextFolderParent");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    choose(menu, "Add to basket");
    untilAdded();
    EXPECT_EQ(rowTexts(basket()), QStringList({"d"}));
    EXPECT_EQ(panel("queue"), "1 file(s) in basket");

    // Folder rows are dragged as copies; a drop from elsewhere is refused and adds nothing.
    EXPECT_TRUE(folder()->dragEnabled());
    EXPECT_EQ(folder()->defaultDropAction(), Qt::CopyAction);
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile(shots.file("a.png"))});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &foreign, Qt::LeftButton, {});
    QApplication::sendEvent(folder()->viewport(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(folder()->Count(), kFiles.size());
    EXPECT_EQ(basket()->Count(), 1);

    // A caption click sorts: the name column, already in order, turns round on the second click.
    clickCaption(folder(), 0);
    clickCaption(folder(), 0);
    QStringList reversed(kFiles.rbegin(), kFiles.rend());
    EXPECT_EQ(rowTexts(folder()), reversed);

    // An empty folder: nothing to add, choose or show.
    TempFolder empty;
    w.browse()->subShowFilesInFolder(empty.path());
    settleBrowse();
    folder()->setFocus();
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_A, Qt::KeyboardModifiers(Qt::ControlModifier)},
                                         std::pair{Qt::Key_Return, Qt::KeyboardModifiers()}})
        QTest::keyClick(folder(), key, modifiers);
    QTest::mouseClick(folder()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(basket()->Count(), 1);
}

TEST_F(MainWindowLists, BasketKeysClicksMenuAndCaptionsReachTheirCommands)
{
    frmMain& w = startOnShots();
    fillBasket();
    ASSERT_EQ(rowTexts(basket()), QStringList({"a", "b", "c", "d", "e"}));

    const struct {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList rows;
        int chosen;
        const char* shown;
    } keys[] = {
        {"ctrl+a chooses every page", Qt::Key_A, Qt::ControlModifier, {"a", "b", "c", "d", "e"}, 5, "c.png"},
        {"delete removes the chosen page", Qt::Key_Delete, {}, {"a", "b", "d", "e"}, -1, "c.png"},
        {"enter does nothing", Qt::Key_Return, {}, {"a", "b", "c", "d", "e"}, 1, "c.png"},
        {"up shows the page above", Qt::Key_Up, {}, {"a", "b", "c", "d", "e"}, 1, "b.png"},
    };
    for (const auto& c : keys) {
        SCOPED_TRACE(c.what);
        if (basket()->Count() != 5) fillBasket();
        clickRow(basket(), "c");
        ASSERT_EQ(shownFile(), "c.png");
        QTest::keyClick(basket(), c.key, c.modifiers);
        settleBrowse();
        EXPECT_EQ(rowTexts(basket()), c.rows);
        if (c.chosen >= 0) {
            EXPECT_EQ(selectedCount(basket()), c.chosen);
        }
        EXPECT_EQ(shownFile(), c.shown);
        EXPECT_EQ(panel("queue"), QString::number(c.rows.size()) + " file(s) in basket");
    }

    // The menu: with one page chosen every entry applies; with two only "Remove from basket",
    // and a left click then shows neither page.
    fillBasket();
    clickRow(basket(), "b");
    QMenu* menu = rightClickRow(basket(), 2, "mnuContextBasket");
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    QList<bool> enabled;
    for (QAction* action : menu->actions()) captions << action->text(), enabled << action->isEnabled();
    EXPECT_EQ(captions, QStringList({"Save As", "Rename title", "Remove from basket"}));
    EXPECT_EQ(enabled, QList<bool>({true, true, true}));
    closePopups();
    clickRow(basket(), "d", Qt::ControlModifier);
    EXPECT_EQ(shownFile(), "b.png") << "two pages chosen: none is shown";
    menu = rightClickRow(basket(), 4, "mnuContextBasket");
    enabled.clear();
    for (QAction* action : menu->actions()) enabled << action->isEnabled();
    EXPECT_EQ(enabled, QList<bool>({false, false, true}));
    choose(menu, "Remove from basket");
    EXPECT_EQ(rowTexts(basket()), QStringList({"a", "c", "e"}));
    EXPECT_EQ(panel("queue"), "3 file(s) in basket");

    // "Rename title" edits the row's name in place; the page takes the new title.
    clickRow(basket(), "c");
    choose(rightClickRow(basket(), 2, "mnuContextBasket"), "Rename title");
    QApplication::processEvents();
    auto* editor = basket()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "the editor stays open once the menu has gone";
    EXPECT_EQ(editor->text(), "c");
    editor->selectAll();
    QTest::keyClicks(editor, "cover");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(rowTexts(basket()), QStringList({"a", "cover", "e"}));
    EXPECT_EQ(w.basket()->model().at(1).text, "cover");

    // "Save As" saves the chosen page, shown first when another file is.
    clickRow(folder(), "e.png");
    basket()->setFocus();
    basket()->setCurrentItem(basket()->Item(1));
    {
        ScriptedDialogs dialogs;
        QString shownWhileAsked;
        dialogs.cancelFile([&](const FileDialogRequest&) { shownWhileAsked = shownFile(); });
        choose(rightClickRow(basket(), 1, "mnuContextBasket"), "Save As");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.fileRequests().empty(); }, 30000));
        EXPECT_EQ(shownWhileAsked, "a.png");
        EXPECT_EQ(dialogs.fileRequests()[0].title, "Save As");
    }

    // Caption clicks: the second click on the name turns the pages round, and the pages follow.
    clickCaption(basket(), 0);
    clickCaption(basket(), 0);
    EXPECT_EQ(rowTexts(basket()), QStringList({"e", "cover", "a"}));
    EXPECT_EQ(w.basket()->model().at(0).text, "e");
}

TEST_F(MainWindowLists, TheSaveAsMenuDoesNothingForAnEmptyBasket)
{
    frmMain& w = startOnShots();
    ScriptedDialogs dialogs;
    const auto windowsBefore = QApplication::topLevelWidgets().size();
    for (int i = 0; i < 3; ++i) w.multiPage()->mnuSaveAs(i)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(dialogs.fileRequests().empty());
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
}

TEST_F(MainWindowLists, MetadataCaptionsSortTheRowsAndEditingFindsTheRowShown)
{
    frmMain& w = startOnShots();
    ListView* exif = w.metadata()->lvExif();
    const QStringList texts = {"Make", "aperture", "Model"};
    // The rows as a read would leave them, shown through the controller so that the rows and the
    // list stay in step.
    auto& rows = const_cast<MetadataRows&>(w.metadata()->exifRows());
    exif->Clear();
    rows.clear();
    for (int i = 0; i < texts.size(); ++i) rows.add({texts[i], texts[i], texts[i], QString::number(3 - i), 0});

    const struct {
        int section;
        QStringList order;
    } clicks[] = {
        {0, {"aperture", "Make", "Model"}},
        {0, {"Model", "Make", "aperture"}},
        {1, {"Model", "aperture", "Make"}},
    };
    for (const auto& c : clicks) {
        emit exif->header()->sectionClicked(c.section);
        EXPECT_EQ(rowTexts(exif), c.order);
        QStringList held;
        for (int i = 0; i < rows.count(); ++i) held << rows.row(i).text;
        EXPECT_EQ(held, c.order) << "the rows the commands read follow the list";
    }
    // A double click edits the row it was made on, found through the sorted rows.
    QStringList edited;
    w.metadata()->execDialog = [&](QDialog& dialog) {
        for (const QLabel* label : dialog.findChildren<QLabel*>()) edited << label->text();
        for (const QLineEdit* line : dialog.findChildren<QLineEdit*>()) edited << line->text();
        return int(QDialog::Rejected);
    };
    exif->setCurrentItem(exif->Item(2));
    emit exif->itemDoubleClicked(exif->Item(2), 0);
    EXPECT_TRUE(edited.join('|').contains("aperture")) << edited.join('|').toStdString();
    EXPECT_FALSE(edited.join('|').contains("Make")) << edited.join('|').toStdString();
}

TEST_F(MainWindowLists, BrowseBarButtonsOpenTheirMenuAndDialogs)
{
    frmMain& w = startOnShots();
    RecordedShellOpens opens;

    // About: its menu below the button, in this order, with the separator.
    QPushButton* about = w.browse()->cmdBrowseAbout();
    QTest::mouseClick(about, Qt::LeftButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "mnuAboutParent");
    EXPECT_EQ(menu->pos(), about->mapToGlobal(about->rect().bottomLeft()));
    QStringList captions;
    for (QAction* action : menu->actions()) captions << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(captions, QStringList({"Online tutorials", "Visit homepage", "-", "Help Manual", "About Tavrel Folio"}));
    closePopups();

    const QUrl home(frmAbout::homePage());
    for (const auto& [index, address] : {std::pair{0, BrowseController::tutorialAddress()}, std::pair{1, home.toString()}}) {
        w.browse()->mnuAbout(index)->trigger();
        ASSERT_FALSE(opens.opened().empty());
        EXPECT_EQ(opens.opened().back(), QUrl(address));
    }
    EXPECT_EQ(QUrl(BrowseController::tutorialAddress()).query(), "action=tutorial");
    EXPECT_EQ(QUrl(BrowseController::tutorialAddress()).host(), home.host());

    // Help Manual: the program's help file, or a plain message when there is none.
    {
        ScriptedMessageBoxes boxes;
        const auto before = opens.opened().size();
        w.browse()->mnuAbout(3)->trigger();
        if (QFileInfo(w.HelpFile()).isFile()) {
            EXPECT_EQ(opens.opened().size(), before + 1);
        } else {
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_TRUE(boxes.shown()[0].prompt.contains("Help.chm"));
        }
    }

    w.browse()->mnuAbout(4)->trigger();
    auto* box = w.findChild<frmAbout*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible() && box->isModal());
    box->close();

    // Settings and capture open their dialogs; the task basket's preview bar runs the edit bar.
    QTest::mouseClick(w.browse()->cmdBrowseSettings(), Qt::LeftButton);
    auto* settings = w.findChild<frmSettings*>();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    settings->close();

    ScriptedDialogs dialogs;
    w.cmdEditPreview(1)->click();
    w.cmdEditBar(1)->click();
    ASSERT_EQ(dialogs.fileRequests().size(), 2u) << "both open a task basket";
    EXPECT_EQ(dialogs.fileRequests()[0].title, dialogs.fileRequests()[1].title);
}
