// The lists' keys, clicks, drops, captions and menus reach their commands.
#include "mainwindow_gui.h"

#include "basket/modMultiPage.h"
#include "frame/frmSettings.h"
#include "metadata/MetadataController.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
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
    ReportView* folder() { return window().browse()->lvFolder(); }
    ReportView* basket() { return window().basket()->lvPages(); }
    QString shownFile() const { return QFileInfo(m_window->browse()->ibMain()->Tag()).fileName(); }
    QString panel(const char* key) const { return m_window->sbMain()->panelText(QString::fromLatin1(key)); }

    void untilAdded() { ASSERT_TRUE(QTest::qWaitFor([this] { return !window().basket()->isAdding(); }, 30000)); settleBrowse(); }
    void emptyBasket() { window().basket()->cmdPagesNew_Click(), QApplication::processEvents(); }
    void fillBasket()
    {
        emptyBasket();
        folder()->setFocus();
        QTest::keyClick(folder(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(folder(), Qt::Key_Return);
        untilAdded();
    }
    QPoint rowPoint(QTreeView* list, int index)
    {
        const QRect rect = list->visualRect(rowAt(list, index));
        return QPoint(rect.left() + 12, rect.center().y());
    }
    // Right-clicks the row; the menu that popped up at the pointer.
    QMenu* rightClickRow(QTreeView* list, int index, const QString& menuName)
    {
        const QPoint at = rowPoint(list, index);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        EXPECT_NE(menu, nullptr);
        if (!menu) return nullptr;
        EXPECT_EQ(menu->objectName(), menuName);
        EXPECT_TRUE(menu->geometry().adjusted(-1, -1, 1, 1).contains(list->viewport()->mapToGlobal(at)));
        return menu;
    }
    static QList<bool> enabledEntries(QMenu* menu)
    {
        QList<bool> enabled;
        for (QAction* action : menu->actions()) enabled << action->isEnabled();
        return enabled;
    }
    void choose(QMenu* menu, const QString& entry)
    {
        ASSERT_NE(menu, nullptr);
        const auto actions = menu->actions();
        const auto it = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == entry; });
        ASSERT_NE(it, actions.end()) << entry.toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(*it).center());
        settleBrowse();
    }
    // Two clicks on the name caption: the second turns the rows round.
    void clickNameCaptionTwice(QTreeView* list)
    {
        QHeaderView* header = list->header();
        const QPoint at(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2);
        for (int i = 0; i < 2; ++i) QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    TempFolder shots;
};

// Three pictures whose sizes' texts sort the other way round from their bytes: "1xx bytes",
// "89.6KB", "4.69MB" (a picture's reader stops at its end; the zeros after it are only bytes).
class MainWindowSizes : public MainWindowLists {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        const qint64 sizes[] = {0, 91750, 4918000};
        const char* names[] = {"a.png", "b.png", "c.png"};
        for (int i = 0; i < 3; ++i) {
            writeQt(shots.file(names[i]), solid(30, 20, QColor(60 * i, 90, 200)), "png");
            QFile file(shots.file(names[i]));
            ASSERT_TRUE(file.open(QIODevice::Append));
            if (sizes[i] > file.size()) file.write(QByteArray(int(sizes[i] - file.size()), '\0'));
        }
    }
    void clickCaption(QTreeView* list, int column)
    {
        QHeaderView* header = list->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    QStringList sizeTexts(QTreeView* list) const
    {
        QStringList out;
        for (int i = 1; i <= rowCount(list); ++i) out << rowAt(list, i).siblingAtColumn(2).data().toString();
        return out;
    }
};

} // namespace

TEST_F(MainWindowSizes, TheSizeCaptionSortsBothListsByBytes)
{
    startOnShots();
    ASSERT_EQ(sizeTexts(folder()).mid(1), QStringList({"89.6KB", "4.69MB"}));
    clickCaption(folder(), 2);
    EXPECT_EQ(rowTexts(folder()), QStringList({"a.png", "b.png", "c.png"}));

    fillBasket();
    ASSERT_EQ(rowCount(basket()), 3);
    // Added in the folder's order by size: sorted by name first, so that the size click moves them.
    clickNameCaptionTwice(basket());
    clickCaption(basket(), 2);
    EXPECT_EQ(rowTexts(basket()), QStringList({"a", "b", "c"}));
}

TEST_F(MainWindowSizes, SettingsOkShowsTheSizeStyleAndFullRowsAtOnceAndKeepsTheThumbnailsMade)
{
    frmMain& w = startOn(shots.path(), /*details*/ false);
    ASSERT_EQ(w.browse()->ilFolder().count(), 3);
    const QSize thumbnails = folder()->iconSize();
    clickRow(folder(), "b.png");
    const int row = 1;
    const QAbstractItemModel* rows = folder()->model();
    const bool fullRows = folder()->selectionModel()->isSelected(rows->index(row, 4));

    w.browse()->cmdBrowseSettings()->click();
    auto* d = w.findChild<frmSettings*>();
    ASSERT_NE(d, nullptr);
    d->findChild<QRadioButton*>("optFileSize_1")->setChecked(true);
    auto* fullRow = d->findChild<QCheckBox*>("chkFolderFullRowSelect");
    fullRow->setChecked(!fullRow->isChecked());
    auto* width = d->findChild<QLineEdit*>("txtFolderThumbnailWidth");
    width->setText(QString::number(thumbnails.width() + 30));
    d->findChild<QPushButton*>("cmdOK")->click();

    // The rows on screen say their sizes the long way at once.
    const QStringList texts = sizeTexts(folder());
    EXPECT_TRUE(texts[1].startsWith("89.6KB (") && texts[1].endsWith(" bytes)")) << texts[1].toStdString();
    EXPECT_TRUE(texts[2].startsWith("4.69MB (") && texts[2].endsWith(" bytes)")) << texts[2].toStdString();
    // The chosen row shows whole, or by its name alone, at once; the basket switched with it.
    EXPECT_NE(folder()->selectionModel()->isSelected(rows->index(row, 4)), fullRows);
    EXPECT_TRUE(folder()->selectionModel()->isSelected(rows->index(row, 0)));
    EXPECT_EQ(basket()->selectionBehavior(), folder()->selectionBehavior());
    // The thumbnails made keep their size until the list is filled again; back from details,
    // thumbnails of the old size are not shown at the new one but made again.
    EXPECT_EQ(folder()->iconSize(), thumbnails);
    click(w.browse()->cmdDetailFolder());
    click(w.browse()->cmdThumbnailFolder());
    EXPECT_EQ(folder()->iconSize().width(), thumbnails.width() + 30);
    EXPECT_EQ(w.browse()->fncFolderThumbnail(rowAt(folder(), 1)).width(), thumbnails.width() + 30);
    EXPECT_TRUE(sizeTexts(folder())[1].startsWith("89.6KB (")) << "listed again in the style chosen";
}

TEST_F(MainWindowLists, KeysInTheFolderListAndTheBasketReachTheirCommands)
{
    frmMain& w = startOnShots();
    const QStringList all = {"a", "b", "c", "d", "e"};
    const struct {
        const char* what;
        bool inBasket;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* shown;
        QStringList basketRows;
        int chosen; // rows chosen afterwards, -1 for none to check
    } cases[] = {
        {"down", false, Qt::Key_Down, {}, "d.png", {}, 1},
        {"up", false, Qt::Key_Up, {}, "b.png", {}, 1},
        {"end", false, Qt::Key_End, {}, "e.png", {}, 1},
        {"page up", false, Qt::Key_PageUp, {}, "a.png", {}, 1},
        {"enter adds the file", false, Qt::Key_Return, {}, "c.png", {"c"}, 1},
        {"ctrl+a chooses every file", false, Qt::Key_A, Qt::ControlModifier, "c.png", {}, 5},
        {"delete does nothing to files", false, Qt::Key_Delete, {}, "c.png", {}, 1},
        {"ctrl+a chooses every page", true, Qt::Key_A, Qt::ControlModifier, "c.png", all, 5},
        {"delete removes the page", true, Qt::Key_Delete, {}, "c.png", {"a", "b", "d", "e"}, -1},
        {"enter does nothing to pages", true, Qt::Key_Return, {}, "c.png", all, 1},
        {"up shows the page above", true, Qt::Key_Up, {}, "b.png", all, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTreeView* list = c.inBasket ? basket() : folder();
        c.inBasket ? fillBasket() : emptyBasket();
        clickRow(list, c.inBasket ? "c" : "c.png");
        ASSERT_EQ(shownFile(), "c.png");
        QTest::keyClick(list, c.key, c.modifiers);
        untilAdded();
        EXPECT_EQ(shownFile(), c.shown);
        EXPECT_EQ(rowTexts(basket()), c.basketRows);
        if (c.chosen >= 0) {
            EXPECT_EQ(chosenRowCount(list), c.chosen);
        }
        if (c.inBasket) {
            EXPECT_EQ(panel("queue"), QString::number(c.basketRows.size()) + " file(s) in basket");
        }
    }

    // After a drop the keys show nothing until a row is clicked again.
    clickRow(folder(), "c.png");
    w.basket()->lvPages_OLEDragDrop(folder(), QPoint(5, 5));
    untilAdded();
    QTest::keyClick(folder(), Qt::Key_Down);
    settleBrowse();
    EXPECT_EQ(shownFile(), "c.png");
}

TEST_F(MainWindowLists, FolderListMouseMenuDropsAndCaptionsReachTheirCommands)
{
    frmMain& w = startOnShots();

    clickRow(folder(), "b.png");
    QTest::mouseDClick(folder()->viewport(), Qt::LeftButton, {}, rowPoint(folder(), 2));
    untilAdded();
    EXPECT_EQ(rowTexts(basket()), QStringList({"b"}));

    // The right button's "Add to basket" adds the row under the pointer.
    emptyBasket();
    QMenu* menu = rightClickRow(folder(), 4, "mnuContextFolderParent");
    choose(menu, "Add to basket");
    untilAdded();
    EXPECT_EQ(rowTexts(basket()), QStringList({"d"}));

    // Rows are dragged as copies; a drop on the folder list is refused.
    EXPECT_TRUE(folder()->dragEnabled() && folder()->defaultDropAction() == Qt::CopyAction);
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile(shots.file("a.png"))});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &foreign, Qt::LeftButton, {});
    QApplication::sendEvent(folder()->viewport(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(rowCount(folder()), kFiles.size());

    clickNameCaptionTwice(folder());
    EXPECT_EQ(rowTexts(folder()), QStringList(kFiles.rbegin(), kFiles.rend()));

    // An empty folder: nothing to add, choose or show.
    TempFolder empty;
    w.browse()->subShowFilesInFolder(empty.path());
    settleBrowse();
    folder()->setFocus();
    QTest::keyClick(folder(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(folder(), Qt::Key_Return);
    QTest::mouseClick(folder()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(rowCount(basket()), 1);
}

TEST_F(MainWindowLists, BasketMenuAndCaptionsReachTheirCommands)
{
    frmMain& w = startOnShots();
    // One page chosen: every entry applies; two: only "Remove from basket", and neither is shown.
    fillBasket();
    clickRow(basket(), "b");
    QMenu* menu = rightClickRow(basket(), 2, "mnuContextBasket");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(enabledEntries(menu), QList<bool>({true, true, true}));
    menu->close();
    clickRow(basket(), "d", Qt::ControlModifier);
    EXPECT_EQ(shownFile(), "b.png");
    menu = rightClickRow(basket(), 4, "mnuContextBasket");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(enabledEntries(menu), QList<bool>({false, false, true}));
    choose(menu, "Remove from basket");
    EXPECT_EQ(rowTexts(basket()), QStringList({"a", "c", "e"}));

    // "Rename title" edits the row in place; the page takes the new title.
    clickRow(basket(), "c");
    choose(rightClickRow(basket(), 2, "mnuContextBasket"), "Rename title");
    QApplication::processEvents();
    auto* editor = basket()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "cover");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(rowTexts(basket()), QStringList({"a", "cover", "e"}));
    EXPECT_EQ(w.basket()->model().at(1).text, "cover");

    // "Save As" shows the chosen page first, then asks.
    clickRow(folder(), "e.png");
    basket()->setFocus();
    basket()->setCurrentIndex(rowAt(basket(), 1));
    ScriptedDialogs dialogs;
    QString shownWhileAsked;
    dialogs.cancelFile([&](const FileDialogRequest&) { shownWhileAsked = shownFile(); });
    choose(rightClickRow(basket(), 1, "mnuContextBasket"), "Save As");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.fileRequests().empty(); }, 30000));
    EXPECT_EQ(shownWhileAsked, "a.png");

    clickNameCaptionTwice(basket());
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
    ReportView* exif = w.metadata()->lvExif();
    auto& rows = const_cast<MetadataRows&>(w.metadata()->exifRows());
    rows.clear();
    int rank = 3;
    for (const QString text : {"Make", "aperture", "Model"}) rows.add({text, text, text, QString::number(rank--), 0});

    for (const auto& [section, order] : {std::pair{0, QStringList{"aperture", "Make", "Model"}},
                                         {0, QStringList{"Model", "Make", "aperture"}},
                                         {1, QStringList{"Model", "aperture", "Make"}}}) {
        emit exif->header()->sectionClicked(section);
        EXPECT_EQ(rowTexts(exif), order);
        QStringList held;
        for (int i = 0; i < rows.count(); ++i) held << rows.row(i).text;
        EXPECT_EQ(held, QStringList({"Make", "aperture", "Model"})) << "the rows the commands read keep their order";
    }
    // A double click edits the row it was made on.
    QString edited;
    w.metadata()->execDialog = [&](QDialog& dialog) {
        for (const QLabel* label : dialog.findChildren<QLabel*>()) edited += label->text() + '|';
        for (const QLineEdit* line : dialog.findChildren<QLineEdit*>()) edited += line->text() + '|';
        return int(QDialog::Rejected);
    };
    const QModelIndex second = exif->model()->index(1, 0);
    exif->setCurrentIndex(second);
    emit exif->doubleClicked(second);
    EXPECT_TRUE(edited.contains("aperture") && !edited.contains("Make")) << edited.toStdString();
}

TEST_F(MainWindowLists, ThePreviewBarsTaskButtonRunsTheEditBars)
{
    frmMain& w = startOnShots();
    ScriptedDialogs dialogs;
    w.cmdEditPreview(1)->click();
    w.cmdEditBar(1)->click();
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    EXPECT_EQ(dialogs.fileRequests()[0].title, dialogs.fileRequests()[1].title);
}
