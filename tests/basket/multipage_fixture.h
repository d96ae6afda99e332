#pragma once
// A basket of seven pages of distinct widths (101 to 107 pixels, so every written page tells
// which basket page it came from), the main window's pieces the commands work with, and the
// scripted dialogs and message boxes a user would answer.
#include "basket/frmDialogExtension.h"
#include "basket/modMultiPage.h"
#include "frame/frmStatus.h"
#include "frame/TaskReplay.h"
#include "frame/globals.h"
#include "frame/modSettings.h"
#include "multipage_testutil.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/listview.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/userdirs.h"
#include "support/filesizelimit.h"
#include "support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace tf::test::multipage {

class MultiPageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        gudtSettings.SaveDialog = typSaveDialogOptions{};
        gudtSettings.SaveDialog.ProcessTaskList = 1;
        gblnCancelOperation = 0;
        const char* names[] = {"p1.jpg", "p2.jpg", "p3.jpg", "p4.png", "p5_mono.tif", "p6_grey.tif", "p7.tif"};
        const QColor tints[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::magenta, Qt::black, Qt::darkCyan, Qt::yellow};
        for (int i = 0; i < 7; ++i)
            pages << writePage(src.file(QLatin1String(names[i])), pagePicture(101 + i, 80, tints[i]));
        setBasket(pages);
    }

    void setBasket(const QStringList& files)
    {
        commands.reset();
        basket = basketOf(files);
        commands = std::make_unique<MultiPageCommands>(*basket, ibTemp, noTasks, &owner);
    }

    // The multipage save as a user makes it: Save As, then the choices on the panel and the name.
    bool save(const QString& path, int compression, int colorFormat, int filterIndex = 1)
    {
        dialogs.answerFile(path, filterIndex, [=](const FileDialogRequest& r) {
            auto* panel = qobject_cast<frmDialogExtension*>(r.panel);
            ASSERT_NE(panel, nullptr);
            panel->cboTIFFCompression->setCurrentIndex(compression);
            panel->cboColorFormat->setCurrentIndex(colorFormat);
        });
        int32_t filter = 2;
        return commands->fncSaveToFileDialog(filter);
    }

    bool append(const QString& path, int appendMode, int outputMode, int colorFormat = 0, int compression = 0)
    {
        dialogs.answerFile(path, 1, [=](const FileDialogRequest& r) {
            auto* panel = qobject_cast<frmDialogExtension*>(r.panel);
            ASSERT_NE(panel, nullptr);
            panel->cboAppendMode->setCurrentIndex(appendMode);
            panel->cboOutputMode->setCurrentIndex(outputMode);
            panel->cboColorFormat->setCurrentIndex(colorFormat);
            panel->cboTIFFCompression->setCurrentIndex(compression);
        });
        int32_t filter = 2;
        return commands->fncAppendToFileDialog(filter);
    }

    // Presses Cancel in the progress window once `pages` pages are done (0: while the first loads).
    void cancelAfter(int pages)
    {
        auto* timer = new QTimer(&owner);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, pages] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* status = qobject_cast<frmStatus*>(w);
                if (!status || !status->isVisible()) continue;
                timer->stop();
                if (pages == 0) {
                    status->cmdCancel->click();
                    return;
                }
                QObject::connect(status->pbQueue, &QProgressBar::valueChanged, status, [status, pages](int v) {
                    if (v == pages) status->cmdCancel->click();
                });
                return;
            }
        });
        timer->start();
    }

    // Work folders the writers may leave behind in the program's own temp folder.
    QStringList spoolLeft() const { return folderEntries(userTempDir()).filter(QStringLiteral("-")); }

    TempFolder src;
    TempFolder out;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    QWidget owner;
    ImageDocument ibTemp;
    QStringList pages;
    NoTasks noTasks;
    std::unique_ptr<basket::BasketModel> basket;
    std::unique_ptr<MultiPageCommands> commands;
};

} // namespace tf::test::multipage
