#pragma once
// Pictures whose metadata the exiv2 command writes and reads back, and a metadata controller on its
// own pane, showing files as the preview hands them over.
#include "metadata/MetadataController.h"
#include "metadata/modMetadata.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <vector>
#include <QTest>
#include <gtest/gtest.h>

namespace tf::test {

inline QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb((x * 37) & 255, (y * 53) & 255, (x * y) & 255));
    return img;
}

inline QString writeJpeg(const TempFolder& dir, const QString& name, int w = 64, int h = 48)
{
    const QString path = dir.file(name);
    EXPECT_TRUE(pattern(w, h).save(path, "JPEG", 90));
    return path;
}

// Runs `exiv2 -M cmd ... mo path`; each command as the exiv2 command takes it ("set Exif.Image.Make X").
inline void exiv2Modify(const QString& path, const QStringList& commands)
{
    QStringList args;
    for (const QString& c : commands) args << QStringLiteral("-M") + c;
    args << QStringLiteral("mo") << path;
    int rc = -1;
    runTool(QStringLiteral("exiv2"), args, &rc);
    ASSERT_EQ(rc, 0) << commands.join(QLatin1String(" | ")).toStdString();
}

// The raw value of one key as the exiv2 command prints it; empty when absent.
inline QString exiv2Value(const QString& path, const QString& key)
{
    return runTool(QStringLiteral("exiv2"), {QStringLiteral("-q"), QStringLiteral("-Pv"), QStringLiteral("-K"), key, path})
        .trimmed();
}

// Every key the exiv2 command lists, in its order (repeated keys repeated).
inline QStringList exiv2Keys(const QString& path)
{
    QStringList keys;
    const QString out = runTool(QStringLiteral("exiv2"), {QStringLiteral("-q"), QStringLiteral("-Pk"), path});
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) keys << line.trimmed();
    return keys;
}

// The compressed picture of a JPEG: everything from the start-of-scan marker on.
inline QByteArray jpegScan(const QString& path)
{
    const QByteArray bytes = readAll(path);
    const qsizetype sos = bytes.indexOf(QByteArray("\xFF\xDA", 2));
    return sos < 0 ? QByteArray() : bytes.mid(sos);
}

class MetadataControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.execDialog = [this](QDialog& d) {
            ++dialogsShown;
            if (!workDialog) return int(QDialog::Rejected);
            workDialog(d);
            return d.result();
        };
        QObject::connect(&controller, &MetadataController::metadataWritten,
                         [this](const QString&, bool written) { writes.push_back(written); });
    }

    // Waits for the write a command started, if one runs, to end (as its event arrives); then
    // whether the last write put its change into the file.
    bool settle()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !controller.writePending(); }, 60000));
        return !writes.empty() && writes.back();
    }
    // A command's answer that it started a write, followed to that write's end.
    bool written(bool started) { return started && settle(); }
    bool update(const QString& file, uint8_t kind, const QString& name, const QString& value)
    {
        return written(controller.fncUpdateAttribute(file, kind, name, value));
    }

    // The preview shows `path`: the lists are emptied and read again.
    void show(const QString& path)
    {
        box.setPicture(pattern(8, 8));
        box.setTag(path);
        controller.ClearLists();
        bool landed = false;
        controller.readShownFile(path, true, true, [&](bool) { landed = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return landed; }));
    }
    ReportView* exif() const { return controller.lvExif(); }
    ReportView* iptc() const { return controller.lvIPTC(); }
    static int rowCount(const ReportView* list) { return list->model()->rowCount(); }
    // The row the list shows with that text (display name or field name); invalid when none.
    static QModelIndex shownRow(const ReportView* list, const QString& text)
    {
        for (int i = 0; i < list->model()->rowCount(); ++i)
            if (list->model()->index(i, 0).data().toString() == text) return list->model()->index(i, 0);
        return {};
    }
    // Selects the row with that text, as a click on it does.
    void select(ReportView* list, const QString& text)
    {
        const QModelIndex row = shownRow(list, text);
        if (!row.isValid()) ADD_FAILURE() << "no row " << text.toStdString();
        list->setCurrentIndex(row);
    }
    QString value(const ReportView* list, const QString& text)
    {
        const QModelIndex row = shownRow(list, text);
        return row.isValid() ? row.siblingAtColumn(1).data().toString() : QStringLiteral("<no row>");
    }
    static void click(QDialog& d, const char* name)
    {
        auto* b = d.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }

    TempFolder dir;
    QWidget pane;
    ImageList icons{QSize(16, 16)};
    MetadataController controller{&pane, &icons};
    ImageBox box;
    ScriptedMessageBoxes messages;
    ScriptedDialogs dialogs;
    std::function<void(QDialog&)> workDialog;
    int dialogsShown = 0;
    std::vector<bool> writes; // each write's end, in order
};

} // namespace tf::test
