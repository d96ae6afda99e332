// The metadata commands on real files, checked with the exiv2 command.
#include "controls/datepicker/DateTimePicker.h"
#include "metadata/metadataDialogs.h"
#include "metadata_fixture.h"
#include "support/doctools.h"
#include "support/fulldisk.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QFile>
#include <QLineEdit>
#include <QDir>
#include <QListView>
#include <QPointer>
#include <QProgressBar>
#include <QSemaphore>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

class MetadataEdit : public MetadataControllerTest {
protected:
    // A JPEG with some metadata, shown.
    QString showTagged()
    {
        const QString path = writeJpeg(dir, "shot.jpg");
        exiv2Modify(path, {"set Exif.Image.Make Canon", "set Exif.Image.Artist Bob", "set Exif.Image.Orientation 1",
                           "set Exif.Image.DateTime 2024:01:02 15:04:05", "set Iptc.Application2.Caption Kept",
                           "add Iptc.Application2.Keywords k"});
        show(path);
        return path;
    }
};

} // namespace

TEST_F(MetadataEdit, EditingAnExifValueWritesOnlyTheMetadata)
{
    const QString path = showTagged();
    const QByteArray scan = jpegScan(path);
    select(exif(), "Make");
    workDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>("txtValue")->setText("  Nikon ");
        click(d, "cmdOK");
    };
    controller.cmdEXIFBar_Click(0);
    settle();

    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(value(exif(), "Make"), "Nikon");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Nikon");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Software"), "Tavrel Folio");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "Bob");
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Caption"), "Kept");
    EXPECT_EQ(jpegScan(path), scan) << "the compressed picture is not touched";

    // A row without a key is not editable: no dialog.
    select(exif(), "Orientation");
    controller.cmdEXIFBar_Click(0);
    settle();
    EXPECT_EQ(dialogsShown, 1);
}

TEST_F(MetadataEdit, EditingADateKeepsItsTimeOfDay)
{
    const QString path = showTagged();
    select(exif(), "Date/Time");
    workDialog = [](QDialog& d) {
        auto* picker = d.findChild<DateTimePicker*>("ucDateTime");
        EXPECT_TRUE(picker->isVisibleTo(&d));
        EXPECT_EQ(picker->DateSelected().date(), QDate(2024, 1, 2));
        picker->setDateSelected(QDateTime(QDate(2024, 3, 5), QTime(9, 0)));
        click(d, "cmdOK");
    };
    controller.cmdEXIFBar_Click(0);
    settle();
    EXPECT_EQ(value(exif(), "Date/Time"), "3/5/2024 3:04:05 PM");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.DateTime"), "2024:03:05 15:04:05");
}

TEST_F(MetadataEdit, EditAttributeWritesTheDayItsBoxShows)
{
    // The calendar browsed a day on and closed, then text that is no date typed and Enter pressed:
    // the box shows the browsed day, and that day is what the file gets.
    const QString path = showTagged();
    select(exif(), "Date/Time");
    QString shown;
    workDialog = [&shown](QDialog& d) {
        d.show();
        auto* picker = d.findChild<DateTimePicker*>("ucDateTime");
        picker->openCalendar();
        QWidget* calendar = d.findChild<QWidget*>("picCalendar");
        for (int key : {int(Qt::Key_Right), int(Qt::Key_Escape)}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(calendar, &press);
        }
        auto* text = picker->findChild<QLineEdit*>("Text1");
        text->setText("soon");
        QTest::keyClick(text, Qt::Key_Return);
        shown = text->text();
        if (d.isVisible()) click(d, "cmdOK");
    };
    controller.cmdEXIFBar_Click(0);
    settle();
    EXPECT_EQ(shown, "3 Jan 2024");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.DateTime"), "2024:01:03 15:04:05");
    EXPECT_EQ(value(exif(), "Date/Time"), "1/3/2024 3:04:05 PM");
}

TEST_F(MetadataEdit, AddingOffersOnlyFreeEditableNames)
{
    const QString path = showTagged();
    QStringList offered;
    workDialog = [&](QDialog& d) {
        auto* names = d.findChild<QComboBox*>("cmbAttribute");
        for (int i = 0; i < names->count(); ++i) offered << names->itemText(i);
        names->setCurrentText("Model");
        emit names->activated(names->currentIndex());
        d.findChild<QLineEdit*>("txtValue")->setText("EOS");
        click(d, "cmdOK");
    };
    controller.cmdEXIFBar_Click(1);
    settle();
    EXPECT_FALSE(offered.contains("Make") || offered.contains("Artist") || offered.contains("DateTime"));
    EXPECT_TRUE(offered.contains("Model") && offered.contains("UserComment"));
    EXPECT_EQ(value(exif(), "Model"), "EOS") << "a new row shows the raw name";
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Model"), "EOS");

    // With all eleven present the list says so and cannot be used.
    MetadataRows full;
    for (const QString& name : gstrEditableEXIF) full.add({name, name, name, "x", 1});
    frmExifNewAttribute dialog(full);
    auto* names = dialog.findChild<QComboBox*>("cmbAttribute");
    EXPECT_EQ(names->count(), 1);
    EXPECT_EQ(names->currentText(), "No editable attribute to add!");
    EXPECT_FALSE(names->isEnabled());
    EXPECT_FALSE(dialog.findChild<QPushButton*>("cmdOK")->isEnabled());
}

TEST_F(MetadataEdit, AUserCommentKeepsItsCharacters)
{
    const QString path = showTagged();
    ASSERT_TRUE(update(path, 0, "UserComment", "Grüße"));
    EXPECT_EQ(runTool("exiv2", {"-q", "-Pt", "-K", "Exif.Photo.UserComment", path}).trimmed(), "charset=Unicode Grüße");
    show(path);
    EXPECT_EQ(value(exif(), "User Comment"), "Grüße");
}

TEST_F(MetadataEdit, RefusedValuesAndFailedWritesChangeNothing)
{
    const QString path = showTagged();
    const QByteArray before = readAll(path);
    EXPECT_FALSE(update(path, 0, "PixelXDimension", "abc"));
    EXPECT_FALSE(update(path, 0, "NoSuchTag", "1"));
    EXPECT_FALSE(update(path, 0, "DateTime", "not a date"));
    EXPECT_EQ(readAll(path), before);

    // A file replaced behind the program's back is left as it is, and what is held is as before.
    const QByteArray replaced = "not a picture any more";
    QFile::remove(path);
    dir.write("shot.jpg", replaced);
    EXPECT_FALSE(update(path, 0, "Make", "Nikon"));
    EXPECT_EQ(readAll(path), replaced);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].icon(), vbCritical);
    EXPECT_EQ(controller.metadata().ExifValueByName("Make"), "Canon");
    EXPECT_EQ(controller.metadata().ExifValueByName("Software"), "");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.jpg"}) << "no copy left behind";

    // A type that takes no metadata keeps none: the change is refused, not reported as made.
    const QString png = dir.file("flat.png");
    ASSERT_TRUE(pattern(4, 4).save(png));
    show(png);
    EXPECT_FALSE(update(png, 0, "Artist", "Ann"));
    EXPECT_EQ(controller.metadata().ExifValueByName("Artist"), "");

    if (::geteuid() != 0) { // the owner of everything may write a read-only file
        const QString other = showTagged();
        const QByteArray kept = readAll(other);
        QFile::setPermissions(other, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        EXPECT_FALSE(update(other, 0, "Make", "Nikon"));
        EXPECT_EQ(readAll(other), kept);
        EXPECT_EQ(controller.metadata().ExifValueByName("Make"), "Canon");
    }
}

TEST_F(MetadataEdit, DeletingAndClearing)
{
    const QString path = showTagged();
    select(exif(), "Artist");
    controller.cmdEXIFBar_Click(2);
    settle();
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "");
    EXPECT_EQ(value(exif(), "Artist"), "<no row>");

    // No to the question: nothing goes.
    messages.answerNext(vbNo);
    controller.cmdEXIFBar_Click(3);
    settle();
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Canon");
    messages.answerNext(vbYes);
    controller.cmdEXIFBar_Click(3);
    settle();
    EXPECT_EQ(rowCount(exif()), 0);
    EXPECT_FALSE(exiv2Keys(path).join(" ").contains("Exif.")) << exiv2Keys(path).join(" ").toStdString();
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Caption"), "Kept");

    controller.setMetadataKind(1);
    messages.answerNext(vbYes);
    controller.cmdIPTCBar_Click(4);
    settle();
    ASSERT_EQ(rowCount(iptc()), 52);
    EXPECT_EQ(value(iptc(), "Caption"), "");
    EXPECT_TRUE(exiv2Keys(path).isEmpty()) << exiv2Keys(path).join(" ").toStdString();
    EXPECT_EQ(messages.prompts().last(),
              "All IPTC metadata available in the current image will be deleted!\nDo you want to continue?");
}

TEST_F(MetadataEdit, IptcFieldsListsUrgencyAndDates)
{
    const QString path = showTagged();
    controller.setMetadataKind(1);

    select(iptc(), "Keywords");
    workDialog = [](QDialog& d) {
        auto* list = d.findChild<QListView*>("lstKeywords");
        EXPECT_EQ(list->model()->rowCount(), 1);
        list->setCurrentIndex(list->model()->index(0, 0));
        click(d, "cmdDelKeyword");
        for (const char* k : {"x", "y", "z"}) {
            d.findChild<QLineEdit*>("txtKeywordAdd")->setText(k);
            click(d, "cmdAddKeyword");
        }
        click(d, "cmdOK");
    };
    controller.cmdIPTCBar_Click(0);
    settle();
    EXPECT_EQ(value(iptc(), "Keywords"), "x,y,z");
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Keywords").split('\n'), (QStringList{"x", "y", "z"}));

    select(iptc(), "Supplemental Categories");
    workDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>("txtSupCatAdd")->setText("Sport");
        click(d, "cmdAddSupCat");
        d.findChild<QComboBox*>("cboUrgency")->setCurrentText("3");
        click(d, "cmdOK");
    };
    controller.cmdIPTCBar_Click(0);
    settle();
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Urgency"), "3");
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.SuppCategory"), "Sport");
    workDialog = [](QDialog& d) {
        EXPECT_EQ(d.findChild<QComboBox*>("cboUrgency")->currentText(), "3");
        d.findChild<QComboBox*>("cboUrgency")->setCurrentText("None");
        click(d, "cmdOK");
    };
    controller.cmdIPTCBar_Click(0);
    settle();
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Urgency"), "");

    // A date set under one locale is the same day under another.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(update(path, 1, "Date Created", "3/4/2024"));
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.DateCreated"), "2024-03-04");
    show(path);
    controller.setMetadataKind(1);
    EXPECT_EQ(value(iptc(), "Date Created"), "3/4/2024");

    // Deleting a date field removes the dataset; a blank field is left alone.
    select(iptc(), "Date Created");
    controller.cmdIPTCBar_Click(3);
    settle();
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.DateCreated"), "");
    EXPECT_EQ(value(iptc(), "Date Created"), "");
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(MetadataEdit, APsdKeepsEverythingAfterItsResources)
{
    // A small RGB PSD written by hand: the header (6 x 9, 8 bits, RGB), empty colour data, resources and
    // layer sections, the raw compression code, then the planes.
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\6\0\0\0\x09\0\x08\0\x03", 26);
    psd.append(QByteArray(14, '\0'));
    QByteArray planes;
    for (int i = 0; i < 6 * 9 * 3; ++i) planes.append(char(i * 7));
    psd.append(planes);
    const QString path = dir.write("layers.psd", psd);
    show(path);
    ASSERT_TRUE(update(path, 1, "Caption", "On a PSD")) << messages.prompts().join("|").toStdString();
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Caption"), "On a PSD");
    const QByteArray written = readAll(path);
    EXPECT_TRUE(written.endsWith(QByteArray(4, '\0') + QByteArray("\0\0", 2) + planes)) << "layers and planes as they were";
    EXPECT_EQ(written.left(26), psd.left(26));
}

TEST_F(MetadataEdit, TheRowsAreHeldApartFromTheListsThatShowThem)
{
    showTagged();
    select(exif(), "Artist");
    workDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>("txtValue")->setText("Eve");
        click(d, "cmdOK");
    };
    controller.cmdEXIFBar_Click(0);
    settle();
    const int artist = controller.exifRows().findKey("Artist");
    ASSERT_GE(artist, 0);
    EXPECT_EQ(controller.exifRows().row(artist).value, "Eve");
    EXPECT_EQ(exif()->currentIndex().siblingAtColumn(0).data().toString(), "Artist") << "the list keeps its selection when it is filled again";

    // A preview of a file without metadata empties the lists: the rows go too, and the commands
    // have nothing to act on.
    controller.ClearLists();
    EXPECT_EQ(controller.exifRows().count(), 0);
    EXPECT_EQ(controller.iptcRows().count(), 0);
    controller.subClearAllAttributes();
    settle();
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(MetadataEdit, AFullDiskKeepsThePictureAndIsNamedFirst)
{
    // A JPEG (rewritten by exiv2 in memory) and a TIFF (whose directories are rewritten here).
    const QString jpeg = writeJpeg(dir, "shot.jpg", 400, 300);
    exiv2Modify(jpeg, {"set Exif.Image.Make Canon"});
    ASSERT_TRUE(writeRgbTiff(dir.file("scan.tif"), {pattern(200, 150)}));
    auto expectFailsCleanly = [&](const QString& path) {
        const QString folder = QFileInfo(path).absolutePath();
        const QByteArray before = readAll(path);
        const QStringList entries = entriesOf(folder);
        show(path);
        messages.clear();
        EXPECT_FALSE(update(path, 0, "Artist", "Ann"));
        EXPECT_EQ(readAll(path), before);
        EXPECT_EQ(entriesOf(folder), entries) << "no copy left behind";
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown()[0].prompt,
                  "The disk is full.\nThe metadata could not be written to " + QFileInfo(path).fileName() + '.');
    };

    for (const QString& path : {jpeg, dir.file("scan.tif")}) {
        SCOPED_TRACE(path.toStdString());
        const qint64 size = QFileInfo(path).size();
        for (qint64 bytes : {qint64(0), qint64(1), size / 2, size - 1}) {
            SCOPED_TRACE(bytes);
            WriteBudget budget(bytes);
            expectFailsCleanly(path);
        }
    }

    SmallDisk disk(dir.file("disk"), "1m");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    for (const QString& name : {QStringLiteral("shot.jpg"), QStringLiteral("scan.tif")}) {
        const QString path = dir.file("disk/" + name);
        disk.empty();
        ASSERT_TRUE(QFile::copy(dir.file(name), path));
        for (qint64 free : {0, 8192}) {
            SCOPED_TRACE(free);
            ASSERT_TRUE(disk.leaveFree(free));
            expectFailsCleanly(path);
        }
    }
}

namespace {

// Writes that wait until the test lets each of them go.
class HeldWrites : public MetadataEdit {
protected:
    void SetUp() override
    {
        MetadataEdit::SetUp();
        controller.writeFile = [this](const ExifIptc& meta, const QString& file, QString* why,
                                      const ExifIptc::WriteStep& step) {
            gate.acquire();
            return meta.WriteMetadataTo(file, why, step);
        };
    }
    void editMake(const char* make)
    {
        select(exif(), "Make");
        workDialog = [make](QDialog& d) {
            d.findChild<QLineEdit*>("txtValue")->setText(make);
            click(d, "cmdOK");
        };
        controller.cmdEXIFBar_Click(0);
    }
    QSemaphore gate;
};

} // namespace

TEST_F(HeldWrites, AnEditIsWrittenBesideTheWindowAndHoldsBackTheNextCommand)
{
    const QString path = showTagged();
    editMake("Nikon");
    ASSERT_TRUE(controller.writePending());
    EXPECT_EQ(value(exif(), "Make"), "Canon") << "the row changes once the file holds the change";
    EXPECT_EQ(controller.metadata().ExifValueByName("Make"), "Canon");

    // While it is written no second command of the pane starts: no dialog, no question.
    select(exif(), "Artist");
    controller.cmdEXIFBar_Click(0);
    controller.cmdEXIFBar_Click(2);
    controller.cmdEXIFBar_Click(3);
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_FALSE(controller.fncDeleteAttribute("Artist"));

    gate.release();
    EXPECT_TRUE(settle());
    EXPECT_EQ(value(exif(), "Make"), "Nikon");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Nikon");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "Bob");

    // A write that ends after another file was shown changes that file's rows in nothing.
    editMake("Leica");
    const QString other = writeJpeg(dir, "other.jpg");
    exiv2Modify(other, {"set Exif.Image.Make Pentax"});
    show(other);
    gate.release();
    EXPECT_TRUE(settle());
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Leica");
    EXPECT_EQ(value(exif(), "Make"), "Pentax");
    EXPECT_EQ(controller.metadata().ExifValueByName("Make"), "Pentax");
}

TEST_F(HeldWrites, ALargeFileShowsItsProgressAndItsCancelLeavesTheFileAsItWas)
{
    const QString path = showTagged();
    const QByteArray before = readAll(path);
    controller.progressWindowBytes = 0; // every file is large enough here
    editMake("Nikon");
    QPointer<QDialog> status = pane.findChild<QDialog*>("frmStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    QPushButton* cancel = status->findChild<QPushButton*>("cmdCancel");
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    gate.release();
    EXPECT_FALSE(settle());
    EXPECT_EQ(readAll(path), before);
    EXPECT_TRUE(messages.shown().empty()) << "a Cancel is no failure";
    EXPECT_EQ(value(exif(), "Make"), "Canon");
    EXPECT_TRUE(status.isNull()) << "the window goes with the command";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.jpg"}) << "no copy left behind";

    // Not cancelled, it runs through to the end, its bar moving.
    editMake("Nikon");
    status = pane.findChild<QDialog*>("frmStatus");
    ASSERT_NE(status, nullptr);
    int shown = 0;
    QObject::connect(status->findChild<QProgressBar*>("pbQueue"), &QProgressBar::valueChanged, [&](int v) { shown = v; });
    gate.release();
    EXPECT_TRUE(settle());
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Nikon");
    EXPECT_GT(shown, 0);
}
