// The browse controller's widgets, built into the panes the window gives it, each with its old name
// as objectName. The window places them (modMainLayout); the sizes here are their design sizes.
#include "browse/BrowseController.h"

#include "browse/modPreview.h"
#include "controls/modButtonPicture.h"
#include "controls/panewidgets.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/reportview.h"
#include "platform/ui/tabstrip.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace {

constexpr int kPreviewToolbarRowHeight = 32;

} // namespace

void BrowseController::buildBrowsePane(QWidget* picBrowse)
{
    m_lblBrowse = tf::makePaneCaption(picBrowse, QStringLiteral("lblBrowse"), QStringLiteral("Browse File System"));
    m_tbsBrowse = new tf::TabStrip(picBrowse);
    m_tbsBrowse->setObjectName(QStringLiteral("tbsBrowse"));
    m_tbsBrowse->addTab(QStringLiteral("File System"));
    m_tbsBrowse->addTab(QStringLiteral("  Task Basket  "));

    m_picFileSystem = new QWidget(picBrowse);
    m_picFileSystem->setObjectName(QStringLiteral("picFileSystem"));
    m_ftvBrowse = new tf::FolderTreeView(m_picFileSystem);
    m_ftvBrowse->setObjectName(QStringLiteral("ftvBrowse"));
}

void BrowseController::buildFolderPane(QWidget* picFolder)
{
    m_lblFolder = tf::makePaneCaption(picFolder, QStringLiteral("lblFolder"), QStringLiteral("Folder"));
    // The folder's tool bar stands in the caption strip, right of the caption.
    m_PicToolbarFolder = new QWidget(picFolder);
    m_PicToolbarFolder->setObjectName(QStringLiteral("PicToolbarFolder"));
    const int h = tf::kPaneCaptionHeight - 4;
    int x = 0;
    auto next = [&](int width) {
        const QRect r(x, 0, width, h);
        x += width + 3;
        return r;
    };
    m_cmdThumbnailFolder = tf::makePaneButton(m_PicToolbarFolder, QStringLiteral("cmdThumbnailFolder"), QString(), next(28),
                                      QStringLiteral("Show thumbnails"));
    m_cmdDetailFolder = tf::makePaneButton(m_PicToolbarFolder, QStringLiteral("cmdDetailFolder"), QString(), next(28),
                                   QStringLiteral("Show details"));
    // A button with a caption beside its picture grows with the font, so the two stay apart.
    auto captioned = [&](const QString& name, const QString& caption, int designWidth, const QString& tip) {
        QPushButton* button = tf::makePaneButton(m_PicToolbarFolder, name, caption, QRect(), tip);
        button->setGeometry(next(tf::pictureButtonWidth(designWidth, caption, QFontMetrics(button->font()))));
        return button;
    };
    x += 6;
    m_cmdTwainAcquire = captioned(QStringLiteral("cmdTwainAcquire"), QStringLiteral("Acquire"), 84,
                                  QStringLiteral("Acquire images from a scanner or camera"));
    m_cmdCapture = captioned(QStringLiteral("cmdCapture"), QStringLiteral("Capture"), 84, QStringLiteral("Capture the screen"));
    x += 6;
    m_cmdBrowseSettings = captioned(QStringLiteral("cmdBrowseSettings"), QStringLiteral("Settings"), 88, QStringLiteral("Settings"));
    m_cmdBrowseAbout = captioned(QStringLiteral("cmdBrowseAbout"), QStringLiteral("About"), 80, QStringLiteral("Help and about"));
    m_PicToolbarFolder->setGeometry(74, 2, x, h);

    // The captions come from the listing the list shows.
    m_lvFolder = new tf::ReportView(picFolder);
    m_lvFolder->setObjectName(QStringLiteral("lvFolder"));
    // Every row is one line with an icon of the list's size: the list then lays out a thousand
    // rows without measuring each, which a listing would otherwise pay after every file.
    m_lvFolder->setUniformRowHeights(true);
}

void BrowseController::buildPreviewPane(QWidget* picView)
{
    m_picToolbarPreview = new QWidget(picView);
    m_picToolbarPreview->setObjectName(QStringLiteral("picToolbarPreview"));
    m_picToolbarPreview->setAttribute(Qt::WA_StyledBackground);
    // Wider than any screen, so that it spans the pane's top at every width.
    m_picToolbarPreview->setGeometry(0, 0, 4000, kPreviewToolbarRowHeight);
    QWidget* bar = m_picToolbarPreview;
    const QRect design(0, 0, 28, kPreviewToolbarRowHeight - 8);
    auto add = [&](QWidget* item, int width, int gapBefore = 0) {
        item->resize(width, design.height());
        m_previewToolbarItems.push_back({item, width, gapBefore});
    };
    // The pane's title; a click on it brings up the preview's menus.
    m_Label4 = new QLabel(QStringLiteral("Preview"), bar);
    m_Label4->setObjectName(QStringLiteral("Label4"));
    QFont title = m_Label4->font();
    title.setBold(true);
    m_Label4->setFont(title);
    m_Label4->setAlignment(Qt::AlignCenter);
    m_Label4->setToolTip(QStringLiteral("Preview menu"));
    m_Label4->installEventFilter(this);
    add(m_Label4, m_Label4->sizeHint().width() + 8);
    m_cmdPreviewPrevious = tf::makePaneButton(bar, QStringLiteral("cmdPreviewPrevious"), QString(), design,
                                      QStringLiteral("Previous file"));
    add(m_cmdPreviewPrevious, 28, 3);
    m_cmdPreviewNext = tf::makePaneButton(bar, QStringLiteral("cmdPreviewNext"), QString(), design, QStringLiteral("Next file"));
    add(m_cmdPreviewNext, 28);
    m_cmdPreviewView = tf::makePaneButton(bar, QStringLiteral("cmdPreviewView"), QStringLiteral("  Best Fit"), design,
                                  QStringLiteral("Preview zoom"));
    const auto captionedWidth = [](const QPushButton* button, int designWidth) {
        return tf::pictureButtonWidth(designWidth, button->text(), QFontMetrics(button->font()));
    };
    add(m_cmdPreviewView, captionedWidth(m_cmdPreviewView, 94), 6);
    m_cmdPreviewType = tf::makePaneButton(bar, QStringLiteral("cmdPreviewType"), QStringLiteral("    Optimized"), design,
                                  QStringLiteral("Preview selection"));
    add(m_cmdPreviewType, captionedWidth(m_cmdPreviewType, 106));
    m_CmdPreviewEdit = tf::makePaneButton(bar, QStringLiteral("CmdPreviewEdit"), QStringLiteral("     Edit"), design,
                                  QStringLiteral("Edit/Enhance image"));
    add(m_CmdPreviewEdit, captionedWidth(m_CmdPreviewEdit, 72), 6);
    m_cmdPreviewSave = tf::makePaneButton(bar, QStringLiteral("cmdPreviewSave"), QString(), design,
                                  QStringLiteral("Save the preview"));
    add(m_cmdPreviewSave, 28, 6);
    m_cmdPreviewPrint = tf::makePaneButton(bar, QStringLiteral("cmdPreviewPrint"), QString(), design,
                                   QStringLiteral("Print the preview"));
    add(m_cmdPreviewPrint, 28);
    subArrangePreviewToolbar(4000);

    m_PicViewImage = new QWidget(picView);
    m_PicViewImage->setObjectName(QStringLiteral("PicViewImage"));
    m_PicViewImage->setAutoFillBackground(true);
    m_ibMain = new ImageBox(m_PicViewImage);
    m_ibMain->setObjectName(QStringLiteral("ibMain"));
    m_ibMain->hide();
    m_PicTiff = new QLabel(m_PicViewImage);
    m_PicTiff->setObjectName(QStringLiteral("PicTiff"));
    m_PicTiff->hide();

    m_vsbView = new QScrollBar(Qt::Vertical, picView);
    m_vsbView->setObjectName(QStringLiteral("vsbView"));
    m_vsbView->resize(m_vsbView->sizeHint().width(), 100);
    m_hsbView = new QScrollBar(Qt::Horizontal, picView);
    m_hsbView->setObjectName(QStringLiteral("hsbView"));
    m_hsbView->resize(100, m_hsbView->sizeHint().height());
}

int BrowseController::subArrangePreviewToolbar(int width)
{
    std::vector<ToolbarItem> items;
    for (const PreviewToolbarItem& item : m_previewToolbarItems) items.push_back({item.width, item.gapBefore});
    const ToolbarRows rows = fncToolbarRows(items, width, 4, 3, kPreviewToolbarRowHeight, kPreviewToolbarRowHeight - 8);
    for (size_t i = 0; i < rows.items.size(); ++i)
        if (m_previewToolbarItems[i].widget) m_previewToolbarItems[i].widget->setGeometry(rows.items[i]);
    if (m_picToolbarPreview && m_picToolbarPreview->height() != rows.height)
        m_picToolbarPreview->resize(m_picToolbarPreview->width(), rows.height);
    return rows.height;
}

