// Typed task records and the parameter texts of the edit list: one conversion each way.
#include "editing/TaskRecords.h"
#include "editing_testutil.h"
#include "support/imagebox_testutil.h"

#include <gtest/gtest.h>

using namespace tf;
using tf::test::row;

TEST(TaskRecords, EveryKindWritesTheFieldsItIsReadBackFrom)
{
    editops::TextParams text;
    text.fontName = QStringLiteral("DejaVu Sans");
    text.fontSize = 10.5;
    text.angle = -90;
    text.bold = true;
    text.color = -2147483640;
    const task::Record records[] = {
        task::Flip{1},
        task::Rotate{true, -45, rgb(1, 2, 3)},
        task::Resize{true, 640, 480, 100},
        task::Resize{false, 0, 0, 50},
        task::Blur{7},
        task::Contrast{80, {true, false, true}},
        task::Brightness{20, {false, true, false}},
        task::Sharpen{30},
        task::Crop{true, 1, {2, 3, 40, 30}, rgb(0, 255, 0), std::nullopt},
        task::Crop{false, 0, {5, 6, 7, 8}, 0, QSize(320, 240)},
        task::Watermark{true, 40, 1, QStringLiteral("/tmp/a, b.png"), rgb(255, 255, 0), 12, 34, true},
        task::Text{text, true, 1, 8, QStringLiteral("two\nlines"), 100, 20},
        task::Invert{},
        task::Canvas{rgb(0, 0, 255), 1, 2, 3, 4},
        task::Frame{rgb(255, 0, 0), false, 0, 4, 1},
        task::Frame{rgb(255, 0, 0), true, 9, 0, 0},
        task::Mask{true, 30, 6},
        task::Shadow{2},
    };
    for (const task::Record& record : records) {
        const EditTask written = task::toTask(record);
        SCOPED_TRACE(written.TaskName.toStdString());
        EXPECT_EQ(written.TaskCode, task::codeOf(record));
        EXPECT_EQ(written.TaskName, QString::fromLatin1(taskInfo(written.TaskCode)->itemKey).toLower());
        const std::optional<task::Record> read = task::fromTask(written);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->index(), record.index());
        EXPECT_EQ(task::toTask(*read), written);
    }
    // The texts are the ones the rows always held.
    EXPECT_EQ(task::toTask(task::Rotate{true, -45, rgb(1, 2, 3)}), row(taskRotate, {"True", "-45", "197121"}));
    EXPECT_EQ(task::toTask(task::Frame{255, false, 0, 4, 1}), row(taskFrame, {"255", "0", "4", "1"}));
    EXPECT_EQ(task::toTask(task::Crop{true, 0, {2, 3, 40, 30}, 99, std::nullopt}), row(taskCrop, {"True", "0", "2", "3", "40", "30"}))
        << "a rectangle records no background";
}

TEST(TaskRecords, RowsAreReadByWhatTheirChoicesUse)
{
    const std::tuple<const char*, EditTask, bool> cases[] = { // what, the row, whether it reads
        {"text on the grid: no origin, no fit", row(taskText, {"True", "", "True", "0", "1", "Sans", "9", "False", "False", "False", "0", "0", "0", "4", "x"}), true},
        {"text at its origin needs it", row(taskText, {"True", "", "True", "0", "0", "Sans", "9", "False", "False", "False", "0", "0", "0", "9", "x", "", ""}), false},
        {"opaque centred watermark: no colour, no point", row(taskWatermark, {"False", "0", "0", "a.png"}), true},
        {"transparent watermark needs its colour", row(taskWatermark, {"True", "0", "0", "a.png", ""}), false},
        {"watermark at a point needs it", row(taskWatermark, {"False", "0", "1", "a.png", "0", "", "3"}), false},
        {"rectangle crop: no background", row(taskCrop, {"True", "0", "1", "1", "5", "5"}), true},
        {"ellipse crop needs its background", row(taskCrop, {"True", "1", "1", "1", "5", "5", "x"}), false},
        {"plain frame: no picture switch", row(taskFrame, {"0", "1", "5"}), true},
        {"resize by percent: no height", row(taskResize, {"False", "50"}), true},
        {"a number that is none", row(taskBlur, {"three"}), false},
    };
    for (const auto& [what, task, reads] : cases) {
        SCOPED_TRACE(what);
        const int error = test::imageBoxErrorOf([&] { task::fromTask(task); });
        EXPECT_EQ(error == 0, reads);
    }
    EXPECT_FALSE(task::fromTask(row(taskBlur)));
    EXPECT_TRUE(task::fromTask(row(taskInvert)));
    EXPECT_FALSE(task::fromTask(row(taskRedEye, {"1"})));
}
