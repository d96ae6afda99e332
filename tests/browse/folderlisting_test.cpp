// The folder listing as the folder list's model: files stay in the order they were listed, the
// list's sort is a proxy's, and what a row shows comes from the file.
#include "browse/FolderListing.h"
#include "platform/ui/reportview.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QStringList>
#include <gtest/gtest.h>
#include <utility>

using tf::FolderFile;
using tf::FolderListing;

namespace {

FolderFile file(const QString& name, qint64 bytes = -1, const QString& sizeText = {})
{
    FolderFile f;
    f.path = "/pictures/" + name;
    f.texts[tf::kFolderFileName] = name;
    f.texts[tf::kFolderSize] = sizeText;
    f.bytes = bytes;
    return f;
}

QStringList names(const QAbstractItemModel& model)
{
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i) out << model.index(i, tf::kFolderFileName).data().toString();
    return out;
}

struct Shown {
    Shown() { sorted.setSourceModel(&listing); }
    FolderListing listing;
    tf::ColumnSortProxy sorted;
};

} // namespace

TEST(FolderListing, FilesKeepTheOrderTheyCameInAndRowsShowTheirTexts)
{
    FolderListing listing;
    EXPECT_EQ(listing.add(file("b")), 0);
    EXPECT_EQ(listing.add(file("A", 2048, "2.00KB")), 1);
    EXPECT_EQ(names(listing), QStringList({"b", "A"}));
    EXPECT_EQ(listing.file(2), nullptr);
    EXPECT_EQ(listing.file(-1), nullptr);
    EXPECT_EQ(listing.indexOf("/pictures/A"), 1);
    EXPECT_EQ(listing.indexOf("/pictures/c"), -1);
    EXPECT_EQ(listing.index(1, tf::kFolderSize).data().toString(), "2.00KB");
    EXPECT_EQ(listing.headerData(tf::kFolderPages, Qt::Horizontal).toString(), "Pages");

    // A change reaches the views through the model, and the rows' pictures are the browse area's.
    QSignalSpy changed(&listing, &QAbstractItemModel::dataChanged);
    listing.setText(0, tf::kFolderResolution, "10 x 10");
    listing.setText(0, tf::kFolderResolution, "10 x 10");
    EXPECT_EQ(changed.count(), 1) << "an unchanged text changes nothing";
    QPixmap sheet(4, 4);
    listing.setPicture([&](const FolderFile& f) { return f.failure.isEmpty() ? QVariant() : QVariant(sheet); });
    listing.setFailure(1, "Unable to read");
    EXPECT_EQ(listing.index(1, 0).data(Qt::ToolTipRole).toString(), "Unable to read");
    EXPECT_EQ(qvariant_cast<QPixmap>(listing.index(1, 0).data(Qt::DecorationRole)).cacheKey(), sheet.cacheKey());
    EXPECT_FALSE(listing.index(0, 0).data(Qt::DecorationRole).isValid());
}

TEST(FolderListing, TheSizeColumnSortsByBytesNotByItsText)
{
    Shown s;
    for (const auto& [name, bytes, text] : {std::tuple{"c", 89 * 1024, "89.0KB"}, {"a", 3 * 1024 * 1024, "3.00MB"},
                                            {"B", 3 * 1024, "3.00KB"}})
        s.listing.add(file(name, bytes, text));
    s.listing.add(file("d")); // its size not known yet
    s.sorted.columnClicked(tf::kFolderSize);
    EXPECT_EQ(names(s.sorted), QStringList({"d", "B", "c", "a"}));
    s.sorted.columnClicked(tf::kFolderSize);
    EXPECT_EQ(names(s.sorted), QStringList({"a", "c", "B", "d"}));
    EXPECT_EQ(names(s.listing), QStringList({"c", "a", "B", "d"})) << "the files keep the listed order";
}

TEST(FolderListing, ASortOutlivesTheListingAndPlacesNewFilesAndLateSizes)
{
    Shown s;
    s.listing.add(file("m"));
    s.sorted.columnClicked(tf::kFolderFileName);
    s.sorted.columnClicked(tf::kFolderFileName); // names descending
    s.listing.clear();
    EXPECT_EQ(s.sorted.rowCount(), 0);

    // The next folder's files come in as they are read, by name, and show in descending order.
    for (const char* name : {"a", "d", "b", "D", "c"}) s.listing.add(file(name));
    EXPECT_EQ(names(s.sorted), QStringList({"d", "D", "c", "b", "a"}));

    // Sizes that come after the rows move them to their place.
    s.sorted.columnClicked(tf::kFolderSize);
    s.listing.setSize(s.listing.indexOf("/pictures/b"), 100, "100 B");
    s.listing.setSize(s.listing.indexOf("/pictures/a"), 300, "300 B");
    EXPECT_EQ(names(s.sorted).mid(3), QStringList({"b", "a"}));
    s.listing.remove(s.listing.indexOf("/pictures/b"));
    EXPECT_EQ(names(s.sorted).last(), "a");
}
