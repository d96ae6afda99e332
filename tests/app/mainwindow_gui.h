#pragma once
// Driving the main window as a person does: pictures to browse, the saved folder, clicks on rows
// and buttons, and choices from the menus the buttons pop up.
#include "mainwindow_fixture.h"

#include "basket/BasketController.h"
#include "basket/modMultiPage.h"
#include "platform/ui/listview.h"
#include "platform/ui/reportview.h"

#include <QFile>
#include <QImageWriter>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <tiffio.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tf::test {

inline QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

inline void writeQt(const QString& path, const QImage& image, const char* format)
{
    QImageWriter writer(path, format);
    ASSERT_TRUE(writer.write(image)) << path.toStdString();
}

class MainWindowGui : public MainWindowTest {
protected:
    // The settings file of a user who last browsed `folder` in details (or thumbnail) mode.
    void savedSettings(const QString& folder, bool details, int previewFit = 0)
    {
        typSettings s = fncDefaultSettings();
        s.TreeFolder = folder;
        s.FolderView = details ? 3 : 0;
        s.PreviewFit = int16_t(previewFit);
        s.PreviewType = 0;
        writeSettings(s);
    }

    // Starts the window on a folder and makes it the active window, so that clicks give the
    // lists the focus as they do for the user.
    frmMain& startOn(const QString& folder, bool details, QSize size = QSize(1000, 700))
    {
        savedSettings(folder, details);
        frmMain& w = start(size);
        activate();
        settleBrowse();
        return w;
    }
    // Waits until the browse area has nothing on its way: rows, their pictures, the previewed file.
    void settleBrowse()
    {
        const BrowseController* browse = window().browse();
        EXPECT_TRUE(QTest::qWaitFor([browse] { return !browse->listingBusy() && !browse->previewPending(); }, 30000));
    }
    void activate()
    {
        QApplication::setActiveWindow(&window());
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window()));
    }

    // The first column's texts in the order the view shows its rows.
    static QStringList rowTexts(const QAbstractItemView* view)
    {
        QStringList out;
        for (int i = 0; i < view->model()->rowCount(); ++i) out << view->model()->index(i, 0).data().toString();
        return out;
    }
    static int rowCount(const QAbstractItemView* view) { return view->model()->rowCount(); }
    // Row i (from 1) as the view shows it.
    static QModelIndex rowAt(const QAbstractItemView* view, int i) { return view->model()->index(i - 1, 0); }
    // The row (from 1) the user chose last; 0 for none.
    static int selectedRow(const QAbstractItemView* view) { return chosenViewRow(view) + 1; }
    // What a row shows besides its texts: its file, its picture, its tool tip.
    static QString tagOf(const QModelIndex& row) { return row.siblingAtColumn(0).data(kPathRole).toString(); }
    static QPixmap pictureOf(const QModelIndex& row)
    {
        return qvariant_cast<QPixmap>(row.siblingAtColumn(0).data(Qt::DecorationRole));
    }
    static QString tipOf(const QModelIndex& row) { return row.siblingAtColumn(0).data(Qt::ToolTipRole).toString(); }
    // The row the view shows with that name; invalid (and a failure) when none.
    static QModelIndex row(const QAbstractItemView* view, const QString& text)
    {
        for (int i = 0; i < view->model()->rowCount(); ++i)
            if (view->model()->index(i, 0).data().toString() == text) return view->model()->index(i, 0);
        ADD_FAILURE() << "no row " << text.toStdString();
        return {};
    }
    // A click on the row's name, as the user makes it.
    void clickRow(QAbstractItemView* list, const QString& text, Qt::KeyboardModifiers modifiers = {})
    {
        const QModelIndex item = row(list, text);
        if (!item.isValid()) return;
        list->scrollTo(item);
        const QRect rect = list->visualRect(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, QPoint(rect.left() + 12, rect.center().y()));
        settleBrowse();
    }
    void click(QPushButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        settleBrowse();
    }

    // Clicks the button, checks it popped up the named menu below itself, and clicks the entry.
    void chooseFromMenu(QPushButton* button, const QString& menuName, const QString& entry)
    {
        click(button);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "the button pops its menu up";
        EXPECT_EQ(menu->objectName(), menuName);
        EXPECT_EQ(menu->pos(), button->mapToGlobal(button->rect().bottomLeft())) << "below the button";
        for (QAction* action : menu->actions()) {
            if (action->text() != entry) continue;
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
            return;
        }
        ADD_FAILURE() << "no entry " << entry.toStdString();
    }

    // Runs a command that starts a save or an append of the basket, and waits in the test's own
    // event loop for the output to end (the window writes on a worker thread).
    void untilOutputEnds(frmMain& w, const std::function<void()>& command)
    {
        QSignalSpy ended(w.basket()->multiPage(), &MultiPageCommands::outputFinished);
        command();
        if (ended.isEmpty()) {
            ASSERT_TRUE(ended.wait(60000)) << "the output never ended";
        }
    }
};

} // namespace tf::test
