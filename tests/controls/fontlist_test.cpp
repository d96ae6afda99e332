#include "controls/modFontsCombo.h"
#include "platform/ui/msgbox.h"

#include <QComboBox>
#include <QFontDatabase>
#include <gtest/gtest.h>

using namespace tf;

namespace {

QStringList entries(const QComboBox& combo)
{
    QStringList list;
    for (int i = 0; i < combo.count(); ++i) list << combo.itemText(i);
    return list;
}

class FontList : public ::testing::Test {
protected:
    void TearDown() override { setFontNameSource({}); }

    void serve(const QStringList& names)
    {
        setFontNameSource([this, names](bool families) -> std::optional<QStringList> {
            asked.push_back(families);
            return names;
        });
    }

    std::vector<bool> asked;
};

} // namespace

TEST_F(FontList, NamesAreListedAsReportedTheFirstSelectedAndTheListReplacedNextTime)
{
    const QString longName = "Noto Sans Canadian Aboriginal Syllabics Condensed ExtraBold"; // well past 31
    const QString exactly31 = QString(31, QLatin1Char('N'));
    serve({"Zeta", "", "Alpha", "Zeta", exactly31, longName});
    QComboBox combo;
    combo.setEditable(true);
    EXPECT_TRUE(fncLoadFontsCombo(&combo, true));
    // Order kept, repeats kept, empty names skipped, no length limit.
    EXPECT_EQ(entries(combo), (QStringList{"Zeta", "Alpha", "Zeta", exactly31, longName}));
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.currentText(), "Zeta");
    EXPECT_EQ(asked, (std::vector<bool>{true}));

    // A second call replaces the list; no names leave an empty box without text.
    combo.setCurrentIndex(2);
    serve({"Four", "Five"});
    EXPECT_TRUE(fncLoadFontsCombo(&combo, false));
    EXPECT_EQ(entries(combo), (QStringList{"Four", "Five"}));
    EXPECT_EQ(combo.currentText(), "Four");
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));

    for (const QStringList& names : {QStringList{}, QStringList{"", ""}}) {
        combo.setEditText("typed");
        serve(names);
        EXPECT_TRUE(fncLoadFontsCombo(&combo, true));
        EXPECT_EQ(combo.count(), 0);
        EXPECT_EQ(combo.currentIndex(), -1);
        EXPECT_TRUE(combo.currentText().isEmpty());
    }
}

TEST_F(FontList, TheInstalledFontsAreListedAndAFailedListingIsReported)
{
    QComboBox combo;
    ASSERT_TRUE(fncLoadFontsCombo(&combo, true));
    QStringList expected = QFontDatabase::families();
    expected.removeAll(QString());
    EXPECT_EQ(entries(combo), expected);
    EXPECT_TRUE(entries(combo).contains("DejaVu Sans")); // the font the install script provides
    EXPECT_EQ(combo.currentIndex(), 0);

    // A failed listing is reported once, empties the box and answers false.
    ScriptedMessageBoxes boxes;
    setFontNameSource([](bool) { return std::optional<QStringList>(); });
    EXPECT_FALSE(fncLoadFontsCombo(&combo, true));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "Failed to get font info");
    EXPECT_EQ(boxes.shown()[0].buttons(), vbOKOnly);
    EXPECT_EQ(boxes.shown()[0].title, "Tavrel Folio");
    EXPECT_EQ(combo.count(), 0);
    EXPECT_FALSE(fncLoadFontsCombo(nullptr, true));
    EXPECT_EQ(boxes.shown().size(), 1u);
}
