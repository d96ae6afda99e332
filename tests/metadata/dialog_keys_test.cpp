// Enter presses OK from a text box; Escape presses Cancel and runs its handler.
#include "frame/frmSettings.h"
#include "metadata/MetadataRows.h"
#include "controls/datepicker/DateTimePicker.h"
#include "metadata/metadataDialogs.h"
#include "metadata/modMetadata.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

namespace {

// The dialog's result after the key in `focus`, or -1 while it stays open.
int press(QDialog& dialog, QWidget* focus, Qt::Key key)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    focus->setFocus();
    dialog.setResult(-1);
    QTest::keyClick(focus, key);
    return dialog.isVisible() ? -1 : dialog.result();
}

} // namespace

TEST(DialogKeys, EnterPressesOkAndEscapePressesCancel)
{
    const tf::MetadataRows noRows;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Enter" : "Escape");
        const int expected = key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected;
        frmExifEditAttribute edit("Artist", "Ann");
        edit.txtValue->setText("Bob");
        EXPECT_EQ(press(edit, edit.txtValue, key), expected);
        EXPECT_EQ(edit.changed(), key == Qt::Key_Return) << "Cancel's handler ran, not a bare close";
        frmExifNewAttribute added(noRows);
        added.txtValue->setText("Ann");
        EXPECT_EQ(press(added, added.txtValue, key), expected);
        frmIPTCCategory categories;
        EXPECT_EQ(press(categories, categories.findChild<QLineEdit*>("txtSupCatAdd"), key), expected);
        frmIPTCKeywords keywords;
        EXPECT_EQ(press(keywords, keywords.findChild<QLineEdit*>("txtKeywordAdd"), key), expected);
        frmSettings settings(SettingsPickers{});
        EXPECT_EQ(press(settings, settings.findChild<QLineEdit*>("txtCaptureGeneric"), key), expected);
    }
    // With OK disabled (no value yet) Enter does nothing.
    frmExifNewAttribute empty(noRows);
    empty.txtValue->clear();
    EXPECT_EQ(press(empty, empty.txtValue, Qt::Key_Return), -1);
}

TEST(DialogKeys, EnterWithTextInTheBoxAddsItAndOkKeepsWhatWasTyped)
{
    frmIPTCKeywords keywords;
    frmIPTCCategory categories;
    const struct {
        QDialog* dialog;
        QLineEdit* box;
        QListView* list;
    } dialogs[] = {{&keywords, keywords.txtKeywordAdd, keywords.lstKeywords},
                   {&categories, categories.txtSupCatAdd, categories.lstSupCats}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.dialog->objectName().toStdString());
        d.box->setText("sea");
        EXPECT_EQ(press(*d.dialog, d.box, Qt::Key_Return), -1) << "still open";
        ASSERT_EQ(d.list->model()->rowCount(), 1);
        EXPECT_EQ(d.list->model()->index(0, 0).data().toString(), "sea");
        EXPECT_TRUE(d.box->text().isEmpty());
        // Typed, not added, and OK clicked: kept all the same.
        d.box->setText("sky");
        d.dialog->findChild<QPushButton*>("cmdOK")->click();
        EXPECT_EQ(d.dialog->result(), QDialog::Accepted);
        EXPECT_EQ(d.list->model()->rowCount(), 2);
    }
    EXPECT_EQ(keywords.keywords(), QStringList({"sea", "sky"}));
}

TEST(DialogKeys, EditAttributeOpensWithTheFocusOnTheValue)
{
    subInitMetadata(); // the date attributes' names
    frmExifEditAttribute edit("Artist", "Ann");
    edit.show();
    QApplication::setActiveWindow(&edit);
    EXPECT_EQ(QApplication::focusWidget(), edit.txtValue);
    QTest::keyClicks(QApplication::focusWidget(), " Example");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(edit.changed());
    EXPECT_EQ(edit.value(), "Ann Example");

    frmExifEditAttribute date("DateTime", "3/4/2024 1:02:03 PM");
    date.show();
    QApplication::setActiveWindow(&date);
    EXPECT_TRUE(date.ucDateTime->isAncestorOf(QApplication::focusWidget()));
}
