#include "platform/ui/msgbox.h"
#include "services/modFileSystem.h"
#include "services/modGenericFunctions.h"
#include "services/modListViewFunctions.h"
#include "support/testenv.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <array>

using tf::test::TempFolder;

struct PathCase {
    const char* path;
    const char* extension;
    const char* withoutExtension;
    const char* name;
    const char* folder;
};

TEST(PathText, ExtensionsComeFromTheFileNameOnly)
{
    const PathCase cases[] = {
        {"/a.b/file", "", "/a.b/file", "file", "/a.b/"},
        {"/pics.2020/scan", "", "/pics.2020/scan", "scan", "/pics.2020/"},
        {"/x.tif", "tif", "/x", "x.tif", "/"},
        {"name", "", "name", "name", ""},
        {"/home/u/.hidden", "", "/home/u/.hidden", ".hidden", "/home/u/"},
        {"/home/u/.hidden.TIF", "TIF", "/home/u/.hidden", ".hidden.TIF", "/home/u/"},
        {"/d/archive.tar.gz", "gz", "/d/archive.tar", "archive.tar.gz", "/d/"},
        {"/d/trailing.", "", "/d/trailing", "trailing.", "/d/"},
        {"/my \"docs\", old/a,b \"c\".jpeg", "jpeg", "/my \"docs\", old/a,b \"c\"", "a,b \"c\".jpeg", "/my \"docs\", old/"},
        {"/w/*.t?f", "t?f", "/w/*", "*.t?f", "/w/"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(fncGetExtension(c.path), c.extension);
        EXPECT_EQ(fncRemoveExtension(c.path), c.withoutExtension);
        EXPECT_EQ(fncGetFileName(c.path), c.name);
        EXPECT_EQ(fncGetFolder(c.path), c.folder);
    }
    EXPECT_EQ(fncTrimNull(QString("abc") + QChar(0) + "def"), "abc");
    EXPECT_EQ(fncTrimNull("plain"), "plain");
}

TEST(PathExistence, FilesAndFoldersAreToldApartAndNamesAreLiteral)
{
    TempFolder tmp;
    ASSERT_TRUE(QDir().mkdir(tmp.file("pics.2020")));
    const struct {
        QString path;
        bool file, folder;
    } cases[] = {
        {tmp.write("a.tif", "x"), true, false},  {tmp.write(".hidden", "x"), true, false},
        {tmp.file("pics.2020"), false, true},     {tmp.file("missing.tif"), false, false},
        {"  ", false, false},                     {"", false, false},
        {tmp.file("*.tif"), false, false},        {tmp.file("?.tif"), false, false}, // no wildcard search
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(fncFileExists(c.path), c.file);
        EXPECT_EQ(fncPathExists(c.path, false), c.file);
        EXPECT_EQ(fncPathExists(c.path, true), c.folder);
    }
    EXPECT_TRUE(fncFileExists(tmp.write("*.tif", "y")));
}

TEST(CopyAndFolders, CopyFailsQuietlyAndMakeFolderReportsOnlyRealFailures)
{
    TempFolder tmp;
    const QString source = tmp.write("src, \"1\".tif", "new content");
    const QString target = tmp.write("dst.tif", "old content that is longer");
    EXPECT_TRUE(subCopyFile(source, target));
    EXPECT_EQ(tf::test::readAll(target), "new content");
    EXPECT_TRUE(subCopyFile(target, target));
    EXPECT_EQ(tf::test::readAll(target), "new content");

    EXPECT_FALSE(subCopyFile("   ", target));
    EXPECT_FALSE(subCopyFile(tmp.file("missing"), target));
    EXPECT_FALSE(subCopyFile(tmp.path(), target)); // a folder is no source
    EXPECT_FALSE(subCopyFile(source, tmp.file("no/such/folder/x.tif")));
    EXPECT_EQ(tf::test::readAll(target), "new content");

    // Making a folder reports only real failures.
    tf::ScriptedMessageBoxes boxes;
    EXPECT_TRUE(subMakeFolder(tmp.file("Captured")));
    EXPECT_TRUE(QFileInfo(tmp.file("Captured")).isDir());
    EXPECT_TRUE(subMakeFolder(tmp.file("Captured"))); // already there
    EXPECT_TRUE(boxes.shown().empty());

    const QString file = tmp.write("plain", "x");
    EXPECT_FALSE(subMakeFolder(file));
    EXPECT_FALSE(subMakeFolder(tmp.file("a/b/c")));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].prompt, "Error creating directory");
    EXPECT_EQ(boxes.shown()[0].title, "Tavrel Folio");
    EXPECT_EQ(boxes.shown()[0].buttons(), vbOKOnly);
}

TEST(CopyAndFolders, TempFolderIsPrivateAndStable)
{
    const QString temp = fncGetTempFolder();
    ASSERT_TRUE(temp.endsWith('/'));
    EXPECT_EQ(temp, fncGetTempFolder());
    const QFileInfo info(temp);
    EXPECT_TRUE(info.isDir());
    EXPECT_NE(QDir::cleanPath(temp), QDir::cleanPath(QDir::tempPath()));
    EXPECT_FALSE(info.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::WriteGroup));
}

TEST(NumericBoxes, OnlyDigitsBackspaceAndTheMarkerPass)
{
    // key, the one extra character allowed (-1: none), the key that passes (0: swallowed)
    const std::array<int16_t, 3> keys[] = {{'0', -1, '0'}, {'5', -1, '5'}, {'9', -1, '9'}, {8, -1, 8},
                                           {'a', -1, 0},   {'.', -1, 0},   {'-', -1, 0},   {' ', -1, 0},
                                           {'/', -1, 0},   {':', -1, 0},   {13, -1, 0},    {'-', 45, '-'}};
    for (auto [key, marker, passes] : keys) {
        int16_t k = key;
        subNumericKeyPress(k, marker);
        EXPECT_EQ(k, passes) << key;
    }
    QLineEdit box;
    subAttachNumericKeyFilter(&box);
    QTest::keyClicks(&box, "1a2.-3x");
    EXPECT_EQ(box.text(), "123");
    QTest::keyClick(&box, Qt::Key_Backspace);
    EXPECT_EQ(box.text(), "12");
    QLineEdit signedBox;
    subAttachNumericKeyFilter(&signedBox, 45);
    QTest::keyClicks(&signedBox, "-4e5");
    EXPECT_EQ(signedBox.text(), "-45");
}

TEST(NumericBoxes, ClampDefaultAndCaret)
{
    QLineEdit box;
    const std::pair<const char*, const char*> clamps[] = {
        {"500", "300"}, {"5", "20"}, {"150", "150"}, {"abc", "300"}, {"", "300"},
        {"-", "300"}, {"40000", "300"}, {"-40000", "300"}, {"-7", "20"}, {"300", "300"}, {"20", "20"},
    };
    for (const auto& [in, out] : clamps) {
        box.setText(in);
        subClampValue(&box, 20, 300);
        EXPECT_EQ(box.text(), out) << in;
    }
    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText("9");
    subClampValue(&combo, 10, 99);
    EXPECT_EQ(combo.currentText(), "10");
    subClampValue(nullptr, 1, 2);

    box.clear();
    subDefaultIfEmpty(&box, "100");
    EXPECT_EQ(box.text(), "100");
    EXPECT_EQ(box.selectedText(), "100");
    box.setText("7");
    subDefaultIfEmpty(&box, "100");
    EXPECT_EQ(box.text(), "7");

    box.setText("12345");
    box.setSelection(0, 2);
    subCaretToEnd(&box);
    EXPECT_EQ(box.cursorPosition(), 5);
    EXPECT_FALSE(box.hasSelectedText());
}

TEST(ShellAndPan, ShellOpenGoesThroughTheOpener)
{
    TempFolder tmp;
    const QString doc = tmp.write("help page.html", "<p>");
    tf::RecordedShellOpens shell;
    subShellOpen("https://example.com/form?a=1&b=2");
    subShellOpen(doc);
    subShellOpen("   ");
    ASSERT_EQ(shell.opened().size(), 2u);
    EXPECT_EQ(shell.opened()[0].toString(), "https://example.com/form?a=1&b=2");
    EXPECT_TRUE(shell.opened()[1].isLocalFile());
    EXPECT_EQ(shell.opened()[1].toLocalFile(), doc);
}

TEST(ShellAndPan, PanMovesEnabledBarsOnlyWhilePanning)
{
    QScrollBar h(Qt::Horizontal), v(Qt::Vertical);
    h.setRange(0, 1000);
    v.setRange(0, 1000);
    h.setValue(50);
    v.setValue(50);
    subPanPreview(Qt::LeftButton, 300, 300, &h, &v);
    EXPECT_EQ(h.value(), 50); // not panning

    subStartPan(10, 30);
    v.setEnabled(false);
    // Pixels, not twips: 20 pixels right of the start moves the bar back by 10.
    subPanPreview(Qt::LeftButton, 20, 0, &h, &v);
    EXPECT_EQ(h.value(), 40);
    EXPECT_EQ(v.value(), 50);
    v.setEnabled(true);
    subPanPreview(Qt::LeftButton, 8, 0, &h, &v);
    EXPECT_EQ(h.value(), 42);
    EXPECT_EQ(v.value(), 80);

    QGuiApplication::setOverrideCursor(Qt::SizeAllCursor);
    subResetBusy();
    EXPECT_FALSE(fncIsPanning());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    subPanPreview(Qt::LeftButton, 0, 0, &h, &v);
    EXPECT_EQ(h.value(), 42);
}

TEST(ListViews, FullRowSelectSwitchesAndReportsAMissingList)
{
    QTreeWidget lv;
    lv.setColumnCount(3);
    for (const char* text : {"a", "b", "c"}) lv.addTopLevelItem(new QTreeWidgetItem(QStringList{text, "1", "2"}));
    lv.setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv.setSelectionBehavior(QAbstractItemView::SelectItems);
    // Chosen by a cell each, as a click chooses them without full rows.
    const QAbstractItemModel* model = lv.model();
    lv.selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select);
    lv.selectionModel()->select(model->index(2, 1), QItemSelectionModel::Select);
    lv.selectionModel()->setCurrentIndex(model->index(2, 1), QItemSelectionModel::NoUpdate);
    const auto selectedCells = [&] {
        QList<QPoint> cells;
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                if (lv.selectionModel()->isSelected(model->index(row, column))) cells << QPoint(column, row);
        return cells;
    };

    EXPECT_TRUE(fncListViewFullRowSelect(&lv, true));
    EXPECT_EQ(lv.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(selectedCells(), QList<QPoint>({{0, 0}, {1, 0}, {2, 0}, {0, 2}, {1, 2}, {2, 2}}));
    EXPECT_TRUE(fncListViewFullRowSelect(&lv, false));
    EXPECT_EQ(lv.selectionBehavior(), QAbstractItemView::SelectItems);
    EXPECT_EQ(selectedCells(), QList<QPoint>({{0, 0}, {0, 2}}));
    EXPECT_EQ(lv.currentIndex(), model->index(2, 1)) << "the focus stays where it was";

    tf::ScriptedMessageBoxes boxes;
    EXPECT_FALSE(fncListViewFullRowSelect(nullptr, true));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error in Function : fncListViewFullRowSelect");
    EXPECT_EQ(boxes.shown()[0].icon(), vbInformation);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("Error 91\t"));
}
