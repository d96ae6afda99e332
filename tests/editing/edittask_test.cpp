#include "editing/EditListModel.h"
#include "editing/EditTask.h"
#include "platform/sys/colors.h"

#include <gtest/gtest.h>

using namespace tf;

TEST(EditTask, ListNamesAndKeys)
{
    const struct {
        int32_t code;
        const char* name;
    } cases[] = {{0, ""}, {16, ""}, {17, ""}, {-1, ""}, {1, "Orientation"}, {11, "Negative"}, {9, "Watermark"}, {15, "Shadow"}};
    for (const auto& c : cases) EXPECT_EQ(fncGetTaskName(c.code), QString::fromLatin1(c.name)) << c.code;

    EXPECT_EQ(makeEditTask(taskWatermark).TaskName, "watermark");
    EXPECT_EQ(makeEditTask(taskRedEye).TaskName, "redeye");
    EXPECT_EQ(taskCodeFromKey("REDEYE"), taskRedEye);
    EXPECT_EQ(taskCodeFromKey("Canvas"), taskCanvas);
    EXPECT_FALSE(taskCodeFromKey("Paint"));
    EXPECT_STREQ(taskInfo(taskWatermark)->groupCaption, "Task Option - Watermark/merge");
    EXPECT_STREQ(taskInfo(taskInvert)->panel, "picNothing");
    EXPECT_EQ(taskInfo(17), nullptr);

    EditTask invert = makeEditTask(taskInvert);
    EXPECT_TRUE(invert.paramsEmpty());
    invert.setP(18, "x"); // nowhere
    EXPECT_TRUE(invert.paramsEmpty());
    EXPECT_EQ(invert.p(0), "");
}

TEST(EditTask, ParameterTextRoundTrips)
{
    EXPECT_EQ(taskparam::fromSingle(-90.0f), "-90");
    EXPECT_EQ(taskparam::fromSingle(10.5f), "10.5");
    EXPECT_EQ(taskparam::fromSingle(0.1f), "0.1");
    EXPECT_EQ(taskparam::fromBool(true), "True");
    EXPECT_EQ(taskparam::fromCheck(false), "0");
    const OleColor highlight = static_cast<OleColor>(0x8000000Du);
    EXPECT_EQ(taskparam::fromLong(highlight), "-2147483635");
    EXPECT_EQ(taskparam::toLong(taskparam::fromLong(highlight)), highlight);

    const struct {
        const char* text;
        std::optional<bool> value;
    } bools[] = {{"True", true}, {"false", false}, {"0", false}, {"-1", true}, {"2", true}, {"", std::nullopt}, {"yes", std::nullopt}};
    for (const auto& c : bools) EXPECT_EQ(taskparam::toBool(c.text), c.value) << c.text;

    const struct {
        const char* text;
        std::optional<int32_t> value;
    } longs[] = {{"10,5", 10}, {"11,5", 12}, {" 7 ", 7}, {"+3", 3}, {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt},
                 {"1,000,000", std::nullopt}, {"abc", std::nullopt}, {"-", std::nullopt}, {"", std::nullopt}, {"nan", std::nullopt}};
    for (const auto& c : longs) EXPECT_EQ(taskparam::toLong(c.text), c.value) << c.text;

    EXPECT_EQ(taskparam::toInteger("32767"), 32767);
    EXPECT_FALSE(taskparam::toInteger("40000"));
    EXPECT_EQ(taskparam::toByte("255"), 255);
    EXPECT_FALSE(taskparam::toByte("-1"));
}

TEST(EditListModel, RowsShowListNamesWithLowerCaseKeys)
{
    EditListModel model;
    QStringList asked;
    model.setIconProvider([&](const QString& key) {
        asked << key;
        return QIcon();
    });
    EditTask t = makeEditTask(taskWatermark);
    t.TaskName = "Watermark"; // a key as an old file wrote it
    model.appendTask(t);
    model.appendTask(makeEditTask(taskFlip));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0)).toString(), "Watermark");
    EXPECT_EQ(model.data(model.index(0), EditListModel::TaskKeyRole).toString(), "watermark");
    EXPECT_EQ(model.data(model.index(1)).toString(), "Orientation");
    model.data(model.index(1), Qt::DecorationRole);
    EXPECT_EQ(asked, QStringList{"flip"});
    EXPECT_EQ(model.task(0).TaskName, "watermark");

    EXPECT_FALSE(model.removeTask(2));
    EXPECT_TRUE(model.removeTask(0));
    EXPECT_EQ(model.task(0).TaskCode, taskFlip);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}
