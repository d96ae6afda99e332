// The folder listing without a widget: where files go while sorted, and what a caption click does.
#include "browse/FolderListing.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <utility>

using tf::FolderFile;
using tf::FolderListing;

namespace {

FolderFile file(const QString& name, qint64 bytes = -1)
{
    FolderFile f;
    f.path = "/pictures/" + name;
    f.texts[tf::kFolderFileName] = name;
    f.bytes = bytes;
    return f;
}

QStringList names(const FolderListing& listing)
{
    QStringList out;
    for (const FolderFile& f : listing.files()) out << f.texts[tf::kFolderFileName];
    return out;
}

} // namespace

TEST(FolderListing, UnsortedFilesKeepTheOrderTheyCameIn)
{
    FolderListing listing;
    EXPECT_EQ(listing.add(file("b")), 0);
    EXPECT_EQ(listing.add(file("A")), 1);
    EXPECT_EQ(names(listing), QStringList({"b", "A"}));
    EXPECT_EQ(listing.file(2), nullptr);
    EXPECT_EQ(listing.file(-1), nullptr);
    EXPECT_EQ(listing.indexOf("/pictures/A"), 1);
    EXPECT_EQ(listing.indexOf("/pictures/c"), -1);
}

TEST(FolderListing, CaptionClicksToggleOrderAndReturnTheOldPlaces)
{
    FolderListing listing;
    for (const auto& [name, size] : {std::pair{"c", 2048}, {"a", 10240}, {"B", 2048}}) listing.add(file(name, size));

    // column 1 is the row text; case does not count
    EXPECT_EQ(listing.sortByColumn(1), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(names(listing), QStringList({"a", "B", "c"}));
    listing.sortByColumn(1);
    EXPECT_EQ(names(listing), QStringList({"c", "B", "a"}));
    EXPECT_EQ(listing.sortState().SortOrder, 1);

    // Another column starts ascending; equal values keep their order. Sizes go by their bytes.
    listing.sortByColumn(tf::kFolderSize + 1);
    EXPECT_EQ(names(listing), QStringList({"c", "B", "a"}));
    EXPECT_EQ(listing.sortState().SortKey, tf::kFolderSize);
    EXPECT_EQ(listing.sortState().SortOrder, 0);

    // A column the list does not have changes nothing.
    const tf::FolderSortState before = listing.sortState();
    EXPECT_EQ(listing.sortByColumn(0), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(listing.sortByColumn(tf::kFolderColumnCount + 1), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(listing.sortState().SortKey, before.SortKey);
    EXPECT_EQ(names(listing), QStringList({"c", "B", "a"}));
}

TEST(FolderListing, ASortOutlivesTheListingAndPlacesNewFiles)
{
    FolderListing listing;
    listing.add(file("m"));
    listing.sortByColumn(1);
    listing.sortByColumn(1); // names descending
    listing.clear();
    EXPECT_EQ(listing.count(), 0);
    EXPECT_TRUE(listing.sortState().Sorted);

    // The next folder's files come in as they are read, by name, and land in descending order.
    for (const char* name : {"a", "d", "b", "D", "c"}) listing.add(file(name));
    EXPECT_EQ(names(listing), QStringList({"d", "D", "c", "b", "a"}));
    // The same column again now turns the order round.
    listing.sortByColumn(1);
    EXPECT_EQ(names(listing), QStringList({"a", "b", "c", "d", "D"}));
}

TEST(FolderListing, TextsThatCameLateAreSortedInWithoutTurningTheOrder)
{
    FolderListing listing;
    // Unsorted, a resort keeps the order the files came in.
    for (const char* name : {"x", "y", "z"}) listing.add(file(name));
    EXPECT_EQ(listing.resort(), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(listing.sortState().Sorted);

    listing.sortByColumn(tf::kFolderSize + 1);
    listing.sortByColumn(tf::kFolderSize + 1); // sizes descending
    listing.setSize(listing.indexOf("/pictures/y"), 3 * 1024, "3.00KB");
    listing.setSize(listing.indexOf("/pictures/z"), 89 * 1024, "89.0KB");
    EXPECT_EQ(listing.resort(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(names(listing), QStringList({"z", "y", "x"})) << "89.0KB is more than 3.00KB";
    EXPECT_EQ(listing.sortState().SortOrder, 1) << "a resort is no caption click";
}
