// Enter presses OK from a text box; Escape presses Cancel and runs its handler.
#include "frame/frmSettings.h"
#include "metadata/MetadataRows.h"
#include "metadata/metadataDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
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
