#include "editing/EditListModel.h"
#include "editing/EditTask.h"
#include "platform/sys/colors.h"

#include <gtest/gtest.h>

using namespace tf;

TEST(EditTask, ListNamesAndKeys)
{
    for (int32_t code : {0, 16, 17, -1}) EXPECT_EQ(fncGetTaskName(code), "") << code; // no recorded task

    EXPECT_EQ(taskCodeFromKey("REDEYE"), taskRedEye);
    EXPECT_EQ(taskCodeFromKey("Canvas"), taskCanvas);
    EXPECT_FALSE(taskCodeFromKey("Paint"));
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

    const std::pair<const char*, std::optional<bool>> bools[] = {{"True", true}, {"false", false},     {"0", false}, {"-1", true},
                                                                 {"2", true},    {"", std::nullopt}, {"yes", std::nullopt}};
    for (const auto& [text, value] : bools) EXPECT_EQ(taskparam::toBool(text), value) << text;

    const std::pair<const char*, std::optional<int32_t>> longs[] = {
        {"10,5", 10}, {"11,5", 12}, {" 7 ", 7}, {"+3", 3}, {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt},
        {"1,000,000", std::nullopt}, {"abc", std::nullopt}, {"-", std::nullopt}, {"", std::nullopt}, {"nan", std::nullopt}};
    for (const auto& [text, value] : longs) EXPECT_EQ(taskparam::toLong(text), value) << text;

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
