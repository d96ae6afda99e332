// Enter and Escape in the dialogs: Enter presses OK from a text box, Escape presses Cancel and runs
// its handler.
#include "frame/frmSettings.h"
#include "metadata/MetadataRows.h"
#include "metadata/metadataDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>

namespace {

struct Shown {
    std::unique_ptr<QDialog> dialog;
    QWidget* focus; // where the user types
};

// The dialog's result after the key, or -1 while it stays open.
int pressIn(QDialog* dialog, QWidget* focus, Qt::Key key)
{
    dialog->show();
    QApplication::setActiveWindow(dialog);
    focus->setFocus();
    dialog->setResult(-1);
    QTest::keyClick(focus, key);
    return dialog->isVisible() ? -1 : dialog->result();
}

} // namespace

TEST(DialogKeys, EnterPressesOkAndEscapePressesCancel)
{
    const tf::MetadataRows noRows;
    const struct {
        const char* what;
        std::function<Shown()> make;
    } cases[] = {
        {"edit attribute",
         [] {
             auto* d = new frmExifEditAttribute("Artist", "Ann");
             return Shown{std::unique_ptr<QDialog>(d), d->txtValue};
         }},
        {"new attribute",
         [&] {
             auto* d = new frmExifNewAttribute(noRows);
             d->txtValue->setText("Ann");
             return Shown{std::unique_ptr<QDialog>(d), d->txtValue};
         }},
        {"categories",
         [] {
             auto* d = new frmIPTCCategory;
             return Shown{std::unique_ptr<QDialog>(d), d->findChild<QLineEdit*>("txtSupCatAdd")};
         }},
        {"keywords",
         [] {
             auto* d = new frmIPTCKeywords;
             return Shown{std::unique_ptr<QDialog>(d), d->findChild<QLineEdit*>("txtKeywordAdd")};
         }},
        {"settings",
         [] {
             auto* d = new frmSettings(SettingsPickers{});
             return Shown{std::unique_ptr<QDialog>(d), d->findChild<QLineEdit*>("txtCaptureGeneric")};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Shown enter = c.make();
        ASSERT_NE(enter.focus, nullptr);
        EXPECT_EQ(pressIn(enter.dialog.get(), enter.focus, Qt::Key_Return), QDialog::Accepted);
        const Shown escape = c.make();
        EXPECT_EQ(pressIn(escape.dialog.get(), escape.focus, Qt::Key_Escape), QDialog::Rejected);
    }
}

TEST(DialogKeys, EnterDoesNothingWhileOkIsDisabledAndEscapeRunsTheCancelHandler)
{
    const tf::MetadataRows noRows;
    frmExifNewAttribute empty(noRows);
    empty.txtValue->clear();
    EXPECT_EQ(pressIn(&empty, empty.txtValue, Qt::Key_Return), -1) << "no value, no OK";

    // Cancel after a typed change reports no change: its handler ran, not a bare close.
    frmExifEditAttribute edit("Artist", "Ann");
    edit.txtValue->setText("Bob");
    edit.cmdOK_Click();
    ASSERT_TRUE(edit.changed());
    EXPECT_EQ(pressIn(&edit, edit.txtValue, Qt::Key_Escape), QDialog::Rejected);
    EXPECT_FALSE(edit.changed());
}
