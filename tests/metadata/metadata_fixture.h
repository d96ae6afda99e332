#pragma once
// A metadata controller on its own pane, showing files as the preview hands them over.
#include "metadata/MetadataController.h"
#include "metadata/modMetadata.h"
#include "metadata_testutil.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/listview.h"
#include "platform/ui/msgbox.h"

#include <QDialog>
#include <QPushButton>
#include <QTreeWidgetItem>
#include <QWidget>
#include <functional>

namespace tf::test {

class MetadataControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gbytMetadataKind = 0;
        gblnMetaChanged = false;
        controller.execDialog = [this](QDialog& d) {
            ++dialogsShown;
            if (!workDialog) return int(QDialog::Rejected);
            workDialog(d);
            return d.result();
        };
    }

    // The preview shows `path`: the lists are emptied and read again.
    void show(const QString& path)
    {
        box.setPicture(pattern(8, 8));
        box.setTag(path);
        exif()->Clear();
        iptc()->Clear();
        controller.ReadFileEXIFInfo(box, *exif(), path);
        controller.ReadFileIPTCInfo(box, *iptc(), path);
        controller.HasIptc(box);
    }
    ListView* exif() const { return controller.lvExif(); }
    ListView* iptc() const { return controller.lvIPTC(); }
    // Selects the row with that text (display name or field name).
    QTreeWidgetItem* select(ListView* list, const QString& text)
    {
        for (int i = 1; i <= list->Count(); ++i) {
            if (list->Item(i)->text(0) == text) {
                list->setCurrentItem(list->Item(i));
                return list->Item(i);
            }
        }
        ADD_FAILURE() << "no row " << text.toStdString();
        return nullptr;
    }
    QString value(ListView* list, const QString& text)
    {
        for (int i = 1; i <= list->Count(); ++i)
            if (list->Item(i)->text(0) == text) return ListView::SubItem(list->Item(i), 1);
        return QStringLiteral("<no row>");
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
};

} // namespace tf::test
