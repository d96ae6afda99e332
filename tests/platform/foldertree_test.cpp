// The folder tree's model (folders only, in name order, kept up to date while open) and the
// gathered notices of changes in watched folders.
#include "platform/ui/foldermodel.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/folderwatch.h"
#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using tf::FolderModel;
using tf::FolderTreeView;
using tf::FolderWatch;
using tf::test::TempFolder;

namespace {

QStringList rowNames(const FolderModel& model, const QModelIndex& parent)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row) names << model.index(row, 0, parent).data().toString();
    return names;
}

// Reads the folder's subfolders and waits for them.
void readFolder(FolderModel& model, const QModelIndex& folder)
{
    QSignalSpy loaded(&model, &FolderModel::directoryLoaded);
    ASSERT_TRUE(model.canFetchMore(folder));
    model.fetchMore(folder);
    ASSERT_TRUE(loaded.wait(5000));
}

} // namespace

TEST(FolderModel, HoldsTheSubfoldersInNameOrderAndNoFiles)
{
    TempFolder tmp;
    for (const char* name : {"B", "a", "10", "2", "x02y", "x1y", ".hidden"}) QDir().mkpath(tmp.file(name));
    for (const char* name : {"x.jpg", "y.txt", "Z"}) tmp.write(name, "file");
    QFile::link(tmp.file("B"), tmp.file("link"));
    QFile::link(tmp.file("gone"), tmp.file("broken"));

    FolderModel model;
    const QModelIndex top = model.index(tmp.path());
    ASSERT_TRUE(top.isValid());
    EXPECT_EQ(model.filePath(top), tmp.path());
    EXPECT_TRUE(model.hasChildren(top)) << "a folder not read yet offers to open";
    readFolder(model, top);
    EXPECT_EQ(rowNames(model, top), QStringList({"2", "10", "a", "B", "link", "x1y", "x02y"}));
    EXPECT_FALSE(model.canFetchMore(top));
    // One icon for every folder, none looked up for a row of its own.
    const qint64 icon = model.index(0, 0, top).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    for (int row = 1; row < model.rowCount(top); ++row)
        EXPECT_EQ(model.index(row, 0, top).data(Qt::DecorationRole).value<QIcon>().cacheKey(), icon);

    const QModelIndex empty = model.index(tmp.file("a"));
    readFolder(model, empty);
    EXPECT_FALSE(model.hasChildren(empty));

    for (const QString& notFolder : {tmp.file("x.jpg"), tmp.file("missing"), QString()})
        EXPECT_FALSE(model.index(notFolder).isValid()) << notFolder.toStdString();
    // The root is the one drive, and the parents on the way lead up to it.
    QModelIndex up = top;
    while (up.parent().isValid()) up = up.parent();
    EXPECT_EQ(model.filePath(up), "/");
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(FolderModel, AFolderAskedForByPathKeepsItsOneRowAfterItsParentIsRead)
{
    TempFolder tmp;
    const QStringList names = {"a b", "x#y [1]", "ünïcödé", "line\nbreak", "quote\"d", ".hidden", "trailing "};
    for (const QString& name : names) QDir().mkpath(tmp.file(name + "/inner"));
    FolderModel model;
    for (const QString& name : names) {
        const QModelIndex inner = model.index(tmp.file(name + "/inner/"));
        ASSERT_TRUE(inner.isValid()) << name.toStdString();
        EXPECT_EQ(model.filePath(inner), tmp.file(name + "/inner"));
        EXPECT_EQ(inner.data().toString(), "inner");
    }
    const QPersistentModelIndex first = model.index(tmp.file(names[0]));
    readFolder(model, model.index(tmp.path()));
    QStringList rows = rowNames(model, model.index(tmp.path()));
    QStringList all = names;
    rows.sort();
    all.sort();
    EXPECT_EQ(rows, all) << "each folder once, the hidden one asked for kept";
    EXPECT_TRUE(first.isValid());
    EXPECT_EQ(model.filePath(first), tmp.file(names[0]));
}

TEST(FolderModel, AnOpenFolderFollowsItsSubfoldersButNotItsFiles)
{
    TempFolder tmp;
    QDir().mkpath(tmp.file("old/deep"));
    FolderTreeView tree;
    FolderModel& model = *tree.folderModel();
    const QPersistentModelIndex top = model.index(tmp.path());
    const QPersistentModelIndex old = model.index(tmp.file("old"));
    QSignalSpy loaded(&model, &FolderModel::directoryLoaded);
    tree.expand(top);
    tree.expand(old);
    while (rowNames(model, top) != QStringList{"old"} || !rowNames(model, old).contains("deep")) ASSERT_TRUE(loaded.wait(5000));

    for (int i = 0; i < 20; ++i) tmp.write(QString("file%1.png").arg(i), "x");
    QDir().mkpath(tmp.file("new"));
    while (rowNames(model, top) != QStringList({"new", "old"})) ASSERT_TRUE(loaded.wait(5000));

    // A watched folder that goes away takes its watch with it; the tree goes on.
    ASSERT_TRUE(QDir(tmp.file("old")).removeRecursively());
    while (rowNames(model, top) != QStringList{"new"}) ASSERT_TRUE(loaded.wait(5000));

    tree.collapse(top);
    QDir().mkpath(tmp.file("unseen"));
    tree.expand(top); // opening it again reads it again
    while (rowNames(model, top) != QStringList({"new", "unseen"})) ASSERT_TRUE(loaded.wait(5000));
}

TEST(FolderWatch, ABurstOfWritesInTheShownFolderIsToldOfOnceASecondAtMost)
{
    TempFolder shown, other;
    FolderTreeView tree;
    QStringList clicked;
    QObject::connect(&tree, &FolderTreeView::FolderClick, [&](const QString& path) { clicked << path; });
    ASSERT_TRUE(tree.setSelectedFolder(shown.path()));
    ASSERT_EQ(clicked, QStringList{shown.path()});

    QSignalSpy notices(&tree, &FolderTreeView::shownFolderChanged);
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> times;
    QObject::connect(&tree, &FolderTreeView::shownFolderChanged, [&] { times.push_back(clock.elapsed()); });
    // 200 files over about a second and a half, from another thread, as another program writes.
    std::atomic<bool> written = false;
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            shown.write(QString("w%1.txt").arg(i), "data");
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
        written = true;
    });
    const bool done = QTest::qWaitFor([&] { return written.load(); }, 10000);
    writer.join();
    ASSERT_TRUE(done);
    // The last change is told of within the second; after it, nothing more.
    while (notices.wait(1200)) {
    }
    ASSERT_GE(notices.size(), 1);
    EXPECT_LE(notices.size(), 3);
    for (const QList<QVariant>& notice : notices) EXPECT_EQ(notice.value(0).toString(), shown.path());
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 1000) << "notice " << i;

    // The watch follows the chosen folder.
    notices.clear();
    ASSERT_TRUE(tree.setSelectedFolder(other.path()));
    shown.write("after.txt", "x");
    other.write("here.txt", "x");
    ASSERT_TRUE(notices.wait(3000));
    EXPECT_FALSE(notices.wait(300));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].value(0).toString(), other.path());
}

TEST(FolderWatch, AFolderThatGoesAwayIsToldOfOnceAndLeavesTheSet)
{
    TempFolder tmp;
    QDir().mkpath(tmp.file("a"));
    QDir().mkpath(tmp.file("b"));
    FolderWatch watch(nullptr, std::chrono::milliseconds(50));
    watch.setFolders({tmp.file("a"), tmp.file("b"), tmp.file("missing")});
    QStringList watched = watch.folders();
    watched.sort();
    EXPECT_EQ(watched, QStringList({tmp.file("a"), tmp.file("b")}));

    QSignalSpy notices(&watch, &FolderWatch::changed);
    ASSERT_TRUE(QDir(tmp.file("a")).removeRecursively());
    ASSERT_TRUE(notices.wait(3000));
    EXPECT_FALSE(notices.wait(300));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].value(0).toString(), tmp.file("a"));
    EXPECT_EQ(watch.folders(), QStringList{tmp.file("b")});

    // A folder dropped while its notice is pending is not told of.
    tmp.write("b/x", "x");
    watch.setFolders({});
    EXPECT_FALSE(notices.wait(300));
}

TEST(FolderWatch, ChangesItsFilterPassesOverBringNoNoticeButTheFolderGoingAwayDoes)
{
    TempFolder parent;
    const QString shown = parent.file("shown");
    ASSERT_TRUE(QDir().mkpath(shown));
    FolderWatch watch(nullptr, std::chrono::milliseconds(100));
    watch.setEntryFilter([](const QString&, const char* name, bool isFolder) {
        return isFolder || QByteArray(name).endsWith(".png");
    });
    watch.addFolder(shown);
    QSignalSpy notices(&watch, &FolderWatch::changed);
    for (int i = 0; i < 20; ++i) QFile(shown + QString("/note%1.txt").arg(i)).open(QIODevice::WriteOnly);
    EXPECT_FALSE(notices.wait(600)) << "files the filter passes over";

    QFile(shown + "/shot.png").open(QIODevice::WriteOnly);
    ASSERT_TRUE(notices.wait(3000));
    QDir().mkpath(shown + "/sub");
    ASSERT_TRUE(notices.wait(3000));
    // A change that counts, among many that do not, is not lost in their wait.
    for (int i = 20; i < 40; ++i) QFile(shown + QString("/note%1.txt").arg(i)).open(QIODevice::WriteOnly);
    QFile::remove(shown + "/shot.png");
    ASSERT_TRUE(notices.wait(3000));

    ASSERT_TRUE(QDir(shown).removeRecursively());
    ASSERT_TRUE(notices.wait(3000));
    EXPECT_EQ(notices.last().value(0).toString(), shown);
    EXPECT_TRUE(watch.folders().isEmpty()) << "a folder gone leaves the watch";
}
