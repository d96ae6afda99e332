#pragma once
// The widgets the browse controller works on, placed as the main window has them, and writers
// of image files to browse that do not go through the code under test.
#include "browse/BrowseController.h"
#include "controls/splitter.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"

#include <QColor>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <memory>
#include <ostream>

namespace browse_test {

struct BrowseFixture {
    explicit BrowseFixture(bool withTree = false);

    QWidget window;
    BrowseWidgets w; // every widget, created by the fixture
    std::unique_ptr<BrowseController> browse;
    int resizeCalls = 0;

    QStringList rowTexts() const;
    QTreeWidgetItem* row(const QString& text) const;
    // Selects exactly this row (1-based), as a click would, without showing it.
    static void selectRow(tf::ListView* list, int index);
    QString panel(const char* key) const { return w.sbMain->panelText(key); }
};

// One colour; the first column darker.
QImage solid(int width, int height, QColor colour);
void writeQt(const QString& path, const QImage& image, const char* format, bool progressive = false);
// gif and psd through the image control's writers.
void writeWithControl(const QString& path, const QImage& image);
void writeBytes(const QString& path, const QByteArray& bytes);

} // namespace browse_test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE
