#include "editing/EditListModel.h"
#include "editing/EditTask.h"
#include "editing/modTaskBasket.h"
#include "editing_testutil.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/colors.h"
#include "platform/sys/safefile.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace tf;
using test::row;

namespace {

std::vector<EditTask> sampleTasks()
{
    EditTask text = row(taskText, {"True", "False", "False", "0", "2", "DejaVu Sans", "10.5", "True", "False", "False",
                                   "-2147483640", "-2147483634", "0", "4",
                                   "Caf\xc3\xa9, \"quoted\"\nsecond line\r\nthird", "12", "-3"});
    return {row(taskBlur, {"3"}), text, row(taskCanvas, {"-2147483634", "10", "0", "10", "5"}), row(taskInvert),
            row(taskWatermark, {"True", "50", "1", "/home/ana/Bilder/logo, final.png", "-1", "7", "9", "False"})};
}

const char* kBlurLine = "\"4\",\"blur\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"";

} // namespace

TEST(TaskBasketFile, RoundTripKeepsEveryFieldAndWritesOneLinePerPlainTask)
{
    const auto tasks = sampleTasks();
    const QByteArray bytes = formatTaskBasket({tasks[0]});
    EXPECT_EQ(bytes, QByteArray(kBlurLine) + "\r\n");

    test::TempFolder dir;
    QString name = dir.file("recipe");
    QString why;
    ASSERT_TRUE(fncSaveTaskBasket(name, tasks, &why)) << why.toStdString();
    EXPECT_EQ(name, dir.file("recipe.tbf"));
    const auto back = fncOpenTaskBasket(name, &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(*back, tasks);
    // The suffix is added unless the name has it, in any case.
    EXPECT_EQ(taskBasketFileName("a/b.TbF"), "a/b.TbF");
    EXPECT_EQ(taskBasketFileName("a/b.tbf.bak"), "a/b.tbf.bak.tbf");
}

TEST(TaskBasketFile, WritesWindows1252WhereEveryCharacterFitsAndUtf8Otherwise)
{
    const std::pair<const char*, QByteArray> cases[] = { // the text (UTF-8 here), the field as written
        {"plain", "plain"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xe9 \x80"},                    // both in Windows-1252
        {"caf\xc3\xa9 \xce\xa9", "caf\xc3\xa9 \xce\xa9"},               // an omega: the whole file in UTF-8
        {"\xc3\x83\xc2\xa9", "\xc3\x83\xc2\xa9"},                       // Windows-1252 bytes would read as "é"
    };
    for (const auto& [text, field] : cases) {
        SCOPED_TRACE(text);
        const std::vector<EditTask> tasks{row(taskText, {"True", "False", "True", "0", "0", "Sans", "10", "False", "False",
                                                         "False", "0", "0", "0", "4", text, "0", "0"}),
                                          row(taskBlur, {"3"})};
        const QByteArray bytes = formatTaskBasket(tasks);
        EXPECT_TRUE(bytes.contains("\"" + field + "\"")) << bytes.toStdString();
        EXPECT_EQ(parseTaskBasket(bytes), tasks);
    }
}

TEST(TaskBasketFile, ReadsFilesFromOtherPrograms)
{
    const QByteArray blur(kBlurLine);
    const std::tuple<const char*, QByteArray, QString> cases[] = { // what is odd, the bytes, the first parameter
        {"LF only, trailing blank lines", blur + "\n" + blur + "\n\n\n", "3"},
        {"no line end after the last record", blur + "\r\n" + blur, "3"},
        {"record broken over two lines",
         "\"4\",\"blur\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n" + blur + "\r\n", "3"},
        {"Windows-1252 text",
         "\"10\",\"text\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"caf\xe9 \x80\",\"\",\"\"\r\n" + blur + "\r\n",
         ""},
        {"key of another task, upper-case key",
         "\"4\",\"MASK\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
         "\"4\",\"BLUR\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n", "3"},
    };
    for (const auto& [name, bytes, firstParam] : cases) {
        SCOPED_TRACE(name);
        QString why;
        const auto tasks = parseTaskBasket(bytes, &why);
        ASSERT_TRUE(tasks) << why.toStdString();
        ASSERT_EQ(tasks->size(), 2u);
        EXPECT_EQ(tasks->at(0).p(1), firstParam);
        EXPECT_EQ(tasks->at(1), row(taskBlur, {"3"}));
    }
    const auto latin = parseTaskBasket(std::get<1>(cases[3]));
    EXPECT_EQ(latin->at(0).p(15), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
    EXPECT_EQ(latin->at(0).TaskName, "text");
    EXPECT_EQ(parseTaskBasket(std::get<1>(cases[4]))->at(0).TaskName, "blur");
}

TEST(TaskBasketFile, RefusesFilesThatAreNoTaskBasket)
{
    const QByteArray blur(kBlurLine);
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", ""},
        {"blank lines only", "\r\n\n"},
        {"last record cut short", blur + "\r\n\"4\",\"blur\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"},
        {"quote never closed", blur + "\r\n\"4\",\"blur\",\"3"},
        {"code not a number", QByteArray(kBlurLine).replace("\"4\"", "\"four\"")},
        {"code beyond any 16-bit number", QByteArray(kBlurLine).replace("\"4\"", "\"40000\"")},
        {"an image basket", "\"/home/ana/a.jpg\",\"a.jpg\"\r\n"},
        {"too large", QByteArray(kMaxTaskBasketBytes + 1, ' ')},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        QString why;
        EXPECT_FALSE(parseTaskBasket(bytes, &why));
        EXPECT_FALSE(why.isEmpty());
    }
}

// A code is read as the replay reads it: a number, rounded; a row of a code no task has does
// nothing and is passed over, and the rows around it are loaded.
TEST(TaskBasketFile, RowsOfNoRecordedTaskArePassedOverAndCodesReadAsNumbers)
{
    const QByteArray blur(kBlurLine);
    const auto coded = [&](const char* code) { return QByteArray(blur).replace("\"4\"", QByteArray("\"") + code + "\"") + "\r\n"; };
    QString why;
    const auto tasks = parseTaskBasket(coded("0") + coded("4") + coded("16") + coded("4.0") + coded("-1") + coded("4,4"), &why);
    ASSERT_TRUE(tasks) << why.toStdString();
    ASSERT_EQ(tasks->size(), 3u);
    for (const EditTask& t : *tasks) EXPECT_EQ(t.TaskCode, taskBlur);
    EXPECT_EQ(tasks->at(0), row(taskBlur, {"3"}));
    // The code is written back as it stood.
    EXPECT_EQ(formatTaskBasket(*tasks), coded("4") + coded("4.0") + coded("4,4"));

    // A file of such rows alone is a task basket that asks for nothing.
    const auto none = parseTaskBasket(coded("0") + coded("16"), &why);
    ASSERT_TRUE(none) << why.toStdString();
    EXPECT_TRUE(none->empty());

    // Through the command: the other rows are loaded, without a message.
    test::TempFolder dir;
    const QString file = dir.write("with a code 0 row.tbf", coded("0") + formatTaskBasket({row(taskFlip, {"1"})}) + coded("4.0"));
    EditListModel list;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    dialogs.answerFile(file);
    ASSERT_TRUE(subOpenTaskBasket(list));
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.rows()[0], row(taskFlip, {"1"}));
    ASSERT_TRUE(list.task(1).record());
    EXPECT_EQ(list.task(1).code(), taskBlur) << "read as the replay reads it";
    EXPECT_EQ(formatTaskBasket(list.rows()), formatTaskBasket({row(taskFlip, {"1"})}) + coded("4.0"));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(TaskBasketFile, FailedSaveKeepsTheOldFileAndEmptyListWritesNothing)
{
    test::TempFolder dir;
    QString name = dir.write("old.tbf", "old contents");
    EXPECT_FALSE(fncSaveTaskBasket(name, {}));
    EXPECT_EQ(test::readAll(name), "old contents");

    QString inMissingFolder = dir.file("missing/x.tbf");
    EXPECT_FALSE(fncSaveTaskBasket(inMissingFolder, sampleTasks()));
    EXPECT_FALSE(QFile::exists(inMissingFolder));
}

// The bar's commands through the dialogs and message seams.
TEST(EditListCommands, OpenReplacesTheListOnlyWithAValidFile)
{
    test::TempFolder dir;
    const QString good = dir.write("good.TBF", formatTaskBasket({row(taskFlip, {"1"}), row(taskBlur, {"2"})}));
    const QString truncated = dir.write("cut.tbf", formatTaskBasket(sampleTasks()).chopped(40));

    EditListModel list;
    list.setRows({row(taskSharpen, {"4"})});
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;

    dialogs.cancelFile();
    EXPECT_FALSE(subOpenTaskBasket(list));
    EXPECT_EQ(list.rowCount(), 1);

    dialogs.answerFile(truncated);
    EXPECT_FALSE(subOpenTaskBasket(list));
    EXPECT_EQ(list.rows(), std::vector<EditTask>{row(taskSharpen, {"4"})});
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "Error opening task basket!\r\nPlease select a valid task basket file.");
    EXPECT_EQ(boxes.shown()[0].icon(), vbInformation);

    dialogs.answerFile(good);
    EXPECT_TRUE(subOpenTaskBasket(list));
    ASSERT_EQ(list.rowCount(), 2);
    const FileDialogRequest& r = dialogs.fileRequests().back();
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.title, "Open task basket");
    EXPECT_EQ(r.filter, "Task basket file (*.tbf)|*.tbf");
    EXPECT_EQ(boxes.shown().size(), 1u);
}

// The list keeps records, yet a file written by another program comes back byte for byte: texts the
// records would write otherwise, parameters no kind reads, and rows that do not convert at all.
TEST(EditListCommands, AFileFromElsewhereIsSavedAgainByteForByte)
{
    auto line = [](const char* code, const char* key, std::initializer_list<const char*> params) {
        QByteArray out = QByteArray("\"") + code + "\",\"" + key + "\"";
        int n = 0;
        for (const char* p : params) out += QByteArray(",\"") + p + "\"", ++n;
        for (; n < kTaskParamCount; ++n) out += ",\"\"";
        return out + "\r\n";
    };
    const QByteArray bytes = line("2", "rotate", {"true", "+45", "0"}) +                // lower-case truth, a plus sign
                             line("4", "blur", {"3", "", "", "", "", "", "", "x"}) +      // a parameter Blur does not read
                             line("10", "text", {"1", "", "0", "0", "0", "Sans", "10,5", "0", "0", "0", "0", "0", "0", "4",
                                                 "Caf\xe9"}) +                          // decimal comma, Windows-1252
                             line("1", "flip", {}) +                                     // lost its parameters
                             line("5", "contrast", {"high", "1", "1", "1"});             // does not convert
    test::TempFolder dir;
    const QString from = dir.write("from elsewhere.tbf", bytes);
    EditListModel list;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    dialogs.answerFile(from);
    ASSERT_TRUE(subOpenTaskBasket(list));
    ASSERT_EQ(list.rowCount(), 5);
    // Each row is its kind's record, read as the replay reads it; the broken one says why.
    ASSERT_TRUE(list.task(0).record());
    EXPECT_EQ(std::get<task::Rotate>(*list.task(0).record()).degrees, 45);
    EXPECT_EQ(std::get<task::Text>(*list.task(2).record()).params.fontSize, 10.5);
    EXPECT_FALSE(list.task(3).record());
    EXPECT_FALSE(list.task(4).record());
    EXPECT_TRUE(list.task(4).fault().contains("parameter 1 (\"high\")")) << list.task(4).fault().toStdString();

    dialogs.answerFile(dir.file("again.tbf"));
    subSaveTaskBasket(list);
    QFile again(dir.file("again.tbf"));
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), bytes);
    EXPECT_TRUE(boxes.shown().empty());

    // A task set up afterwards is written as its record writes it.
    list.appendTask(task::Record(task::Flip{1}));
    EXPECT_EQ(list.rows().back(), row(taskFlip, {"1"}));
}

TEST(EditListCommands, SaveAsksForTheNameWithItsSuffixAndReportsFailure)
{
    test::TempFolder dir;
    EditListModel list;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;

    subSaveTaskBasket(list); // an empty list: no dialog at all
    EXPECT_TRUE(dialogs.fileRequests().empty());

    list.setRows(sampleTasks());
    dialogs.answerFile(dir.file("mine"));
    subSaveTaskBasket(list);
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_TRUE(dialogs.fileRequests()[0].save);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Save task basket");
    EXPECT_EQ(dialogs.fileRequests()[0].defaultSuffix, "tbf");
    EXPECT_TRUE(dialogs.fileRequests()[0].confirmOverwrite);
    EXPECT_EQ(*fncOpenTaskBasket(dir.file("mine.tbf")), sampleTasks());
    EXPECT_TRUE(boxes.shown().empty());

    dialogs.answerFile(dir.file("no/such/folder/x.tbf"));
    ScriptedErrorReports reports;
    subSaveTaskBasket(list);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "Error saving task basket!\r\nPlease try again!");
    EXPECT_TRUE(reports.reports().empty()) << "a file that cannot be made is the message's alone";
}

// A save the disk cuts short: first the report with the cause the disk gave, then the message;
// the file it was to replace stays as it was.
TEST(EditListCommands, ASaveTheDiskCutsShortIsReportedWithItsCauseThenTold)
{
    EditListModel list;
    list.setRows(sampleTasks());
    const auto saveOnto = [&](const QString& file, std::function<void()> whileSaving) {
        ScriptedDialogs dialogs;
        ScriptedMessageBoxes boxes;
        ScriptedErrorReports reports;
        int boxesBeforeReport = -1;
        reports.whileShown([&](frmErrorReport&) { boxesBeforeReport = int(boxes.shown().size()); });
        dialogs.answerFile(file);
        whileSaving();
        subSaveTaskBasket(list);
        EXPECT_EQ(boxesBeforeReport, 0) << "the report comes first";
        EXPECT_EQ(boxes.prompts(), QStringList{"Error saving task basket!\r\nPlease try again!"});
        return reports.reports();
    };

    test::TempFolder dir;
    const QString kept = dir.write("kept.tbf", "old contents");
    {
        std::unique_ptr<test::WriteBudget> failing;
        const auto reports = saveOnto(kept, [&] { failing = std::make_unique<test::WriteBudget>(100, EIO); });
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].routine, "modSaveOpenImageList.fncSaveTaskBasket");
        EXPECT_TRUE(reports[0].text.startsWith("57 - Device I/O error (")) << reports[0].text.toStdString();
        EXPECT_TRUE(reports[0].text.contains(QString::fromLocal8Bit(std::strerror(EIO)))) << reports[0].text.toStdString();
    }
    EXPECT_EQ(test::readAll(kept), "old contents");

    // A real full disk, where the tests may mount one.
    const QString disk = dir.file("disk");
    test::SmallDisk small(disk, "64k");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    const QString onDisk = disk + QStringLiteral("/kept.tbf");
    ASSERT_TRUE(writeFileSafely(onDisk, "old contents"));
    ASSERT_TRUE(small.leaveFree(0));
    const auto reports = saveOnto(onDisk, [] {});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].text.startsWith("61 - Disk full (")) << reports[0].text.toStdString();
    EXPECT_EQ(test::readAll(onDisk), "old contents");
}

TEST(EditListCommands, ClearAndDeleteChangeOnlyWhatIsThere)
{
    EditListModel list;
    EXPECT_FALSE(subClearEditList(list));
    EXPECT_FALSE(subDeleteEditTask(list, 0));

    list.setRows({row(taskFlip, {"0"}), row(taskBlur, {"2"}), row(taskInvert)});
    EXPECT_FALSE(subDeleteEditTask(list, -1)); // nothing selected
    EXPECT_FALSE(subDeleteEditTask(list, 3));
    EXPECT_TRUE(subDeleteEditTask(list, 1));
    EXPECT_EQ(list.rows(), (std::vector<EditTask>{row(taskFlip, {"0"}), row(taskInvert)}));
    EXPECT_TRUE(subClearEditList(list));
    EXPECT_EQ(list.rowCount(), 0);
}

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
    model.setIconProvider([&](const QString& key) { asked << key; return QIcon(); });
    EditTask t = makeEditTask(taskWatermark);
    t.TaskName = "Watermark"; // a key as an old file wrote it
    model.setRows({t, makeEditTask(taskFlip)});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0)).toString(), "Watermark");
    EXPECT_EQ(model.data(model.index(0), EditListModel::TaskKeyRole).toString(), "watermark");
    EXPECT_EQ(model.data(model.index(1)).toString(), "Orientation");
    model.data(model.index(1), Qt::DecorationRole);
    EXPECT_EQ(asked, QStringList{"flip"});
    EXPECT_EQ(model.task(0).key(), "watermark");
}
