#include "app/frmMain.h"

#include "controls/panewidgets.h"
#include "app/appDialogs.h"
#include "app/basketFolderFiles.h"
#include "acquire/AcquireController.h"
#include "basket/BasketController.h"
#include "basket/BasketPrinting.h"
#include "basket/SinglePageSink.h"
#include "basket/modMultiPage.h"
#include "browse/BrowseController.h"
#include "browse/ControlSaveAs.h"
#include "browse/modFolderView.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "controls/modButtonPicture.h"
#include "controls/modFontsCombo.h"
#include "controls/splitter.h"
#include "editing/EditingController.h"
#include "frame/LongCommand.h"
#include "metadata/MetadataController.h"
#include "metadata/modMetadata.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modINI.h"
#include "app/modMainIcons.h"
#include "app/modWindowPlacement.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox.h"
#include "platform/sys/colors.h"
#include "platform/sys/numbers.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/imagelist.h"
#include "players/PlayerCommands.h"
#include "platform/ui/reportview.h"
#include "platform/ui/statusbar.h"
#include "platform/ui/tabstrip.h"
#include "services/modListViewFunctions.h"
#include "services/modMainServices.h"
#include "version_info.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace {

// Design sizes of the window's fixed parts, in pixels.

// Built once: the pictures are shared by the buttons that show the same one.
QPixmap picture(const QString& name)
{
    static QHash<QString, QPixmap> cache;
    auto found = cache.find(name);
    if (found == cache.end()) found = cache.insert(name, tf::mainWindowPicture(name));
    return found.value();
}

QString editBarPicture(int index) { return QStringLiteral("IconEditbar%1").arg(index); }

QWidget* makePanel(QWidget* parent, const QString& name)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAutoFillBackground(true);
    return panel;
}

// The look of the pane captions and tool-bar strips: a quiet band in the palette's accent, so
// that the five panes read as separate areas.
const char* kWindowStyle = R"(
QLabel[paneCaption="true"] {
    color: palette(highlighted-text);
    font-weight: bold;
    padding-left: 8px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4f79ad, stop:1 #3b5f8c);
    border-bottom: 1px solid #2c4a70;
}
QWidget#picToolbarPreview, QWidget#m_basket->picLiveBar() {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 palette(light), stop:1 palette(window));
}
QStatusBar#m_sbMain::item { border: none; border-left: 1px solid palette(mid); }
)";

} // namespace

// ---- construction -----------------------------------------------------------------------------

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(tf::version::kTitle));
    setMinimumSize(tf::kMainWindowMinimumSize);
    buildWidgets();
    buildControllers();

    try {
        gstrCurrentOperation = QStringLiteral("Loading all controls and settings");
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        subSetup();
        m_browse->mblnSuppressItemShow = true;
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.Form_Load"));
    }
}

frmMain::~frmMain()
{
    // Stopped between two records, the clean-up leaves the rest of its journal to the next start.
    m_stopDeadRunCleanup = true;
    if (m_deadRunCleanup.joinable()) m_deadRunCleanup.join();
    // The controllers hold plain pointers to the widgets and filter the lists' events: they go
    // first, while every widget they know is still whole, so that nothing of theirs runs on a
    // widget the window is taking down.
    if (m_editing) m_editing->detachPreview();
    // Their jobs print through ibMain's printer, a member that goes before the window's children.
    delete m_previewPrint;
    delete m_batchPrint;
    delete m_browse;
    m_browse = nullptr;
    delete m_basket;
    m_basket = nullptr;
    // Last: the two above hold its replay and its selection.
    delete m_editing;
    m_editing = nullptr;
}

QString frmMain::arrayName(const QString& array, int index) { return array + QLatin1Char('_') + QString::number(index); }

void frmMain::buildWidgets()
{
    setStyleSheet(QString::fromLatin1(kWindowStyle));
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    m_ilEdit = new tf::ImageList(QSize(16, 16), this);
    m_ilEdit->setObjectName(QStringLiteral("ilEdit"));
    for (const QString& key : tf::taskIconKeys()) m_ilEdit->Add(key, tf::taskIcon(key));
    m_ilMetadata = new tf::ImageList(QSize(16, 16), this);
    m_ilMetadata->setObjectName(QStringLiteral("ilMetadata"));
    // Picture 1 marks the rows the user may change: the editable EXIF attributes and every IPTC field.
    m_ilMetadata->Add(QStringLiteral("editable"), tf::mainWindowPicture(QStringLiteral("ilMetadata1")));

    // The splitters are nested as containers: each pane is a child of the splitter that places it.
    m_splMain = new tf::Splitter(m_client);
    m_splMain->setObjectName(QStringLiteral("splMain"));
    m_splMain->setOrientation(tf::SplitterModel::kHorizontalBar);
    m_splRight = new tf::Splitter(m_splMain);
    m_splRight->setObjectName(QStringLiteral("splRight"));
    m_splLeft = new tf::Splitter(m_splMain);
    m_splLeft->setObjectName(QStringLiteral("splLeft"));
    m_splView = new tf::Splitter(m_splRight);
    m_splView->setObjectName(QStringLiteral("splView"));

    m_picBrowse = makePanel(m_splRight, QStringLiteral("picBrowse"));
    m_picView = makePanel(m_splView, QStringLiteral("picView"));
    m_PicMetadata = makePanel(m_splView, QStringLiteral("PicMetadata"));
    m_picFolder = makePanel(m_splLeft, QStringLiteral("picFolder"));
    m_PicQueue = makePanel(m_splLeft, QStringLiteral("PicQueue"));

    buildMetadataPane();
    buildStatusBar();
    buildEditingController();
    buildBrowseController();

    connect(m_splMain, &tf::Splitter::SplitComplete, this, &frmMain::splMain_SplitComplete);
    connect(m_splRight, &tf::Splitter::SplitComplete, this, &frmMain::splRight_SplitComplete);
    connect(m_splLeft, &tf::Splitter::SplitComplete, this, &frmMain::splLeft_SplitComplete);
    connect(m_splView, &tf::Splitter::SplitComplete, this, &frmMain::splView_SplitComplete);
    connect(m_browse->tbsBrowse(), &tf::TabStrip::Click, this, &frmMain::tbsBrowse_Click);
    connect(m_tbsMetadata, &tf::TabStrip::Click, this, &frmMain::tbsMetadata_Click);
    connect(m_browse->cmdBrowseSettings(), &QPushButton::clicked, this,
            [this] { tf::showSettingsDialog(this, [this] { subUpdateForm(); }); });
    // The about button opens its menu; the menu's last entries reach the help file and the box.
    connect(m_browse, &BrowseController::aboutBoxRequested, this, [this] { tf::showAboutDialog(this); });
    connect(m_browse, &BrowseController::helpManualRequested, this, [this] { fncOpenHelpFile(m_strHelpFile); });
    buildMenuBar();
}

void frmMain::buildMenuBar()
{
    // The window's own bar, also where a desktop offers a global one: it takes its room in the
    // window, and the panes are laid out below it. The preview's menus wait in it, hidden, until
    // the preview's title is clicked; without a menu on show the bar takes no room.
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnuBar"));
    bar->setNativeMenuBar(false);
    for (QMenu* menu : {m_browse->mnuPreviewFitParent(), m_browse->mnuPreviewTypeParent(),
                        m_browse->mnuSavePreviewAsParent()}) {
        menu->menuAction()->setVisible(false);
        bar->addMenu(menu);
        connect(menu->menuAction(), &QAction::visibleChanged, this, &frmMain::subShowMenuBar);
    }
    bar->hide();
}

void frmMain::subShowMenuBar()
{
    QMenuBar* bar = menuBar();
    const QList<QAction*> menus = bar->actions();
    const bool wanted = std::any_of(menus.begin(), menus.end(), [](const QAction* menu) { return menu->isVisible(); });
    if (bar->isVisibleTo(this) == wanted) return;
    bar->setVisible(wanted);
    // The client area gives the bar its height now, and the panes follow at once: a pop-up placed
    // right after this is placed in the client area as it now lies.
    layout()->activate();
    subResize();
}

void frmMain::buildMetadataPane()
{
    m_lblMetadata = tf::makePaneCaption(m_PicMetadata, QStringLiteral("lblMetadata"), QStringLiteral("Metadata"));
    m_tbsMetadata = new tf::TabStrip(m_PicMetadata);
    m_tbsMetadata->setObjectName(QStringLiteral("tbsMetadata"));
    m_tbsMetadata->addTab(QStringLiteral("EXIF Tags"));
    m_tbsMetadata->addTab(QStringLiteral("IPTC File Info"));

    // The lists, their bars and their commands are the metadata area's; the window places them.
    m_metadata = new MetadataController(m_PicMetadata, m_ilMetadata, this);
    const int top = tf::kPaneCaptionHeight + m_tbsMetadata->tabRowHeight() + 4;
    m_metadata->picEXIFBar()->move(0, top);
    m_metadata->picIPTCBar()->move(0, top);
}

void frmMain::buildEditingController()
{
    // The editing area builds the explorer bar into the preview pane, the edit list behind the
    // browse pane's second tab, and the option panels and the edit list group, which wait hidden
    // on the window until the explorer bar hosts them. It comes before the browse area, which is
    // handed its replay and its selection.
    tf::EditingPanes panes;
    panes.picView = m_picView;
    panes.picBrowse = m_picBrowse;
    panes.host = m_client;
    panes.ilEdit = m_ilEdit;
    panes.layout = this;
    panes.editMode = this;
    m_editing = new tf::EditingController(panes, this);
    connect(this, &frmMain::EditModeEntering, m_editing, &tf::EditingController::EditModeEntering);
    connect(this, &frmMain::EditModeLeaving, m_editing, &tf::EditingController::EditModeLeaving);

    m_ibTemp = new tf::ImageDocument(this);
    m_ibTemp->setObjectName(QStringLiteral("ibTemp"));
}

void frmMain::buildStatusBar()
{
    // Placed by the layout along the window's bottom; hidden until the window is first shown.
    m_sbMain = new tf::StatusBar(m_client);
    m_sbMain->setObjectName(QStringLiteral("sbMain"));
    // Each panel takes its text's width ("1600 X 1200 X 24     2.25MB" is read whole); a file name
    // longer than its cap is shortened rather than pushing the other panels aside; the folder's
    // path, the other text that may be longer than there is room for, takes what is left.
    m_sbMain->addPanel(QStringLiteral("filename"), 140, 0, 280);
    m_sbMain->addPanel(QStringLiteral("pages"), 70, 0);
    m_sbMain->addPanel(QStringLiteral("resolution"), 130, 0);
    m_sbMain->addPanel(QStringLiteral("queue"), 140, 0);
    m_sbMain->addPanel(QStringLiteral("metadata"), 120, 0);
    m_sbMain->addPanel(QStringLiteral("folder"), 160, 1);
    m_sbMain->addPanel(QStringLiteral("status"), 64, 0);
    m_pbQueue = new QProgressBar(m_sbMain);
    m_pbQueue->setObjectName(QStringLiteral("pbQueue"));
    m_pbQueue->setMaximumWidth(160);
    m_pbQueue->setTextVisible(false);
    m_sbMain->addPermanentWidget(m_pbQueue);
    m_pbQueue->hide();
    m_sbMain->hide();
}

void frmMain::buildBrowseController()
{
    // The browse area builds the folder tree, the folder list and the preview into their panes and
    // owns them with their thumbnails, menus and the state both lists share: which of them had the
    // focus last and whether their clicks show a file.
    BrowsePanes panes;
    panes.picBrowse = m_picBrowse;
    panes.picFolder = m_picFolder;
    panes.picView = m_picView;
    panes.sbMain = m_sbMain;
    panes.pbQueue = m_pbQueue;
    panes.splView = m_splView;
    panes.PicMetadata = m_PicMetadata;
    panes.client = m_client;
    panes.tbsMetadata = m_tbsMetadata->tabBar(); // its Click stays with tbsMetadata_Click
    panes.iDetailIcon = picture(QStringLiteral("iDetailIcon"));
    m_players = new tf::PlayerCommands(
        [this] { return m_basket ? m_basket->model().pages() : std::vector<tf::basket::PageRecord>{}; },
        m_editing->replayer(), [this] { return m_browse ? m_browse->ibMain()->Tag() : QString(); }, this, this);
    m_ibMainPrinter = std::make_unique<tf::ImagePrinter>();
    m_previewPrint = new tf::PreviewPrintCommand(*m_ibMainPrinter, this, this);
    m_controlSaveAs = new tf::ControlSaveAs(this);
    const tf::BrowseServices services{*this,       *this,           *m_editing,       m_editing->replayer(),
                                      *m_metadata, *m_previewPrint, *m_controlSaveAs, *m_players};
    m_browse = new BrowseController(panes, services, this);
    m_editing->attachPreview(*m_browse);
    // The edit list's bar stands in the browse pane's tab row, right of the tabs. The list was
    // made before the tab strip, which covers the tab's whole body: above it, the "Task Basket"
    // tab shows the list rather than an empty page.
    const tf::TabStrip* tabs = m_browse->tbsBrowse();
    QWidget* bar = m_editing->picEditBar();
    bar->move(2 + tabs->tabBar()->sizeHint().width() + 6,
              tf::kPaneCaptionHeight + std::max(0, (tabs->tabRowHeight() - bar->height()) / 2));
    m_editing->lvEdit()->raise();
    bar->raise();
}

void frmMain::buildControllers()
{
    // The basket builds its pane in PicQueue; it reaches the folder list through BrowseFolderFiles.
    m_folderFiles = std::make_unique<BrowseFolderFiles>(*this);
    BasketSetup basketSetup;
    basketSetup.owner = this;
    basketSetup.pane = m_PicQueue;
    basketSetup.sbMain = m_sbMain;
    basketSetup.pbQueue = m_pbQueue;
    m_basket = new BasketController(basketSetup, *m_folderFiles, *m_ibTemp, m_editing->replayer(), this);
    // The basket's other outputs: single-page files from the Save As menu, and printing.
    auto* singlePage = new tf::SinglePageCommands(m_basket->model(), m_editing->replayer(), this, this);
    connect(m_basket->multiPage(), &tf::MultiPageCommands::batchConversionRequested, singlePage,
            &tf::SinglePageCommands::subSaveAsSinglePage);
    m_batchPrint = new tf::BatchPrintCommands(m_basket->model(), *m_ibMainPrinter, this, this);
    connect(m_basket->cmdBatchPrint(), &QPushButton::clicked, m_batchPrint, &tf::BatchPrintCommands::cmdBatchPrint_Click);
    // Tab reaches the basket right after the preview, as it did when the window made these widgets.
    QWidget* previous = m_browse->ibMain();
    const BasketController& b = *m_basket;
    for (QWidget* next : std::initializer_list<QWidget*>{b.cmdPagesNew(), b.cmdPagesOpen(), b.cmdPagesSave(),
                                                         b.cmdPagesDelete(), b.cmdAddToQueue(), b.cmdSaveAs(),
                                                         b.cmdsaveAppend(), b.cmdBatchPrint(), b.lvPages()}) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }

    m_browse->setBasketList(m_basket->lvPages());
    connect(multiPage(), &tf::MultiPageCommands::slideShowRequested, m_players, &tf::PlayerCommands::mnuScreenSaver);
    // Captured and scanned pages join the basket like any other page.
    auto* acquire = new tf::AcquireController(this, m_basket->model(), *m_basket->ilPages(),
                                              [this](const QImage& picture, const QString& path) {
                                                  m_basket->subUpdateQueuePanel();
                                                  m_browse->showCapturedPicture(picture, path);
                                              },
                                              this);
    connect(m_browse->cmdCapture(), &QPushButton::clicked, acquire, &tf::AcquireController::cmdCapture_Click);
    connect(m_browse->cmdTwainAcquire(), &QPushButton::clicked, acquire, &tf::AcquireController::cmdTwainAcquire_Click);
    connect(m_basket, &BasketController::droppedOnBasket, this, [this] { m_browse->mblnSuppressItemShow = true; });
    // The folder list's Enter, double click and menu add to the basket; the basket's right click
    // opens its menu with what the browse area counted at the click.
    connect(m_browse, &BrowseController::addToBasketRequested, m_basket, &BasketController::cmdAddToQueue_Click);
    connect(m_browse, &BrowseController::basketMenuRequested, m_basket, &BasketController::lvPages_ContextMenu);
    connect(m_basket, &BasketController::savePageRequested, this,
            [this] { m_browse->subSaveSelectedPage(m_basket->lvPages()); });
    // A page file New basket deleted is no longer the file the preview names.
    connect(m_basket, &BasketController::pageFilesDeleted, this, [this](const QStringList& paths) {
        if (m_browse->ibMain()->Tag().isEmpty() || !paths.contains(m_browse->ibMain()->Tag())) return;
        m_browse->subForgetShownFile();
        m_sbMain->setPanelPicture(QStringLiteral("filename"), QPixmap());
        m_sbMain->setPanelText(QStringLiteral("filename"), QString());
    });
}

tf::MultiPageCommands* frmMain::multiPage() const { return m_basket->multiPage(); }

bool frmMain::fncSaveToFileDialog(int32_t& Filter) { return multiPage()->fncSaveToFileDialog(Filter); }

bool frmMain::fncAppendToFileDialog(int32_t& Filter) { return multiPage()->fncAppendToFileDialog(Filter); }

// ---- start-up ---------------------------------------------------------------------------------

void frmMain::startDeadRunCleanup()
{
    // Beside the window: a dead run's journal can be long (or planted), and nothing the window
    // shows waits for it. The files it removes are no run's that is alive.
    m_deadRunCleanup = std::thread([this] {
        tf::removeWorkFilesOfDeadRuns(&m_stopDeadRunCleanup);
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_deadRunsCleanedUp = true;
                emit WorkFilesOfDeadRunsRemoved();
            },
            Qt::QueuedConnection);
    });
}

void frmMain::subSetup()
{
    try {
        gstrCurrentOperation = QStringLiteral("Setting up Main Application");
        subLoadSettings();
        startDeadRunCleanup(); // what an earlier run killed mid-save left behind
        m_metadata->setMetadataKind(0);
        mblnFirstResize = true;
        blnPreviewPending = false;
        mblnFolderChosen = false;
        subInitErrorHandling();
        subInitMetadata();
        subInitImageBox();
        glngFolderThumbWidth = gudtSettings.FolderThumbWidth;
        glngFolderThumbHeight = gudtSettings.FolderThumbHeight;
        subSetupExplorerBar();
        subSetHelpFile();
        m_browse->ibMain()->setApplicationName(QString::fromUtf8(tf::version::kTitle));

        m_sbMain->setPanelPicture(QStringLiteral("queue"), picture(QStringLiteral("imgQueue")));
        m_sbMain->setPanelPicture(QStringLiteral("metadata"), picture(QStringLiteral("imgMetadata")));
        m_sbMain->setPanelPicture(QStringLiteral("folder"), picture(QStringLiteral("imgFolder")));
        m_sbMain->setPanelPicture(QStringLiteral("status"), picture(QStringLiteral("picPreviewView")));

        m_splMain->setLeftOrTopControl(m_splRight);
        m_splMain->setRightOrBottomControl(m_splLeft);
        m_splRight->setLeftOrTopControl(m_picBrowse);
        m_splRight->setRightOrBottomControl(m_splView);
        m_splLeft->setLeftOrTopControl(m_picFolder);
        m_splLeft->setRightOrBottomControl(m_PicQueue);
        m_splView->setLeftOrTopControl(m_picView);
        m_splView->setRightOrBottomControl(m_PicMetadata);

        subSetButtonPictures();
        subFillFixedLists();
        m_sbMain->setPanelText(QStringLiteral("queue"), QStringLiteral("No files in basket"));
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.subSetup"));
    }
}

void frmMain::subLoadSettings()
{
    subLoadSettingsRecord([this] { subApplySettings(); });
}

// The record onto the window. Throws when the record names a state the window cannot take; the
// settings are then dropped and this runs once more with the defaults.
void frmMain::subApplySettings()
{
    const auto& s = gudtSettings;
    if (s.PreviewType > 1 || s.PreviewFit > 1) throw std::out_of_range("preview menu index");

    m_splMain->setSplitterPosition(s.SplitterPosition[0]);
    m_splRight->setSplitterPosition(s.SplitterPosition[1]);
    m_splLeft->setSplitterPosition(s.SplitterPosition[2]);
    m_splView->setSplitterPosition(s.SplitterPosition[3]);

    // Only here, not in subUpdateForm: the settings dialog's OK must not undo a preview fit or
    // type the user has chosen from the menus since the start.
    m_browse->subUpdatePreviewSettings();

    for (int i = 0; i < m_browse->lvFolder()->header()->count() && i < int(s.FolderColumnWidth.size()); ++i)
        m_browse->lvFolder()->setColumnWidth(i, s.FolderColumnWidth[i]);
    for (int i = 0; i < m_basket->lvPages()->header()->count() && i < int(s.PagesColumnWidth.size()); ++i)
        m_basket->lvPages()->setColumnWidth(i, s.PagesColumnWidth[i]);
    gstrCurrentFolder = s.CurrentFolder;
    m_metadata->lvExif()->setColumnWidth(0, s.MetadataColumnWidth[0]);
    m_metadata->lvExif()->setColumnWidth(1, s.MetadataColumnWidth[1]);
    m_metadata->lvIPTC()->setColumnWidth(0, s.MetadataColumnWidth[2]);
    m_metadata->lvIPTC()->setColumnWidth(1, s.MetadataColumnWidth[3]);

    // The window comes back at the size and place it was closed at, within the screen; without one
    // (a first start, or settings dropped) it opens large enough for every control, centred.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), tf::kFirstStartWindowSize);
    if (gblnSettingsFromFile) {
        const QSize size = tf::fncRestoredWindowSize(
            QSize(tf::twipsToPixels(s.WindowWidth), tf::twipsToPixels(s.WindowHeight)), available.size());
        resize(size);
        // Before the first show, a move places the frame's top left, as it was stored.
        if (s.WindowPlaced) move(tf::fncRestoredWindowPosition(QPoint(s.WindowLeft, s.WindowTop), size, available));
    } else {
        setGeometry(tf::fncFirstStartGeometry(available));
    }

    subUpdateForm();
}

void frmMain::subInitImageBox()
{
    mintToolMode = 0;
    m_browse->ibMain()->setViewOption1(15);
    m_browse->ibMain()->setViewOption2(1);
    m_browse->ibMain()->setViewOption3(true);
}

void frmMain::subSetupExplorerBar()
{
    m_editing->eb()->DisableUpdates(true);
    m_editing->eb()->ClearStructure();
    m_editing->eb()->SetImageList(m_ilEdit);
    m_editing->eb()->AddSpecialGroup(QStringLiteral("Tasks Chart"), picture(QStringLiteral("picMultiPage")));
    const struct {
        const char* key;
        const char* caption;
        const char* icon;
    } tasks[] = {
        {"Resize", "Resize", "resize"},         {"Canvas", "Canvas", "canvas"},
        {"Crop", "Crop", "crop"},               {"Rotate", "Rotate", "rotate"},
        {"Flip", "Flip", "flip"},               {"Invert", "Invert", "invert"},
        {"Contrast", "Contrast", "contrast"},   {"Sharpen", "Sharpen", "sharpen"},
        {"Blur", "Blur", "blur"},               {"Brightness", "Brightness", "brightness"},
        {"Text", "Text", "text"},               {"Watermark", "Watermark/Merge", "watermark"},
        {"Mask", "Mask", "mask"},               {"Shadow", "Shadow", "shadow"},
        {"Frame", "Frame", "frame"},            {"RedEye", "Red-Eye Correction", "RedEye"},
    };
    for (const auto& task : tasks)
        m_editing->eb()->AddItem(tf::ExplorerBarModel::kSpecialGroupKey, QString::fromLatin1(task.key),
                    QString::fromLatin1(task.caption), tf::EbRef(QString::fromLatin1(task.icon)));
    m_editing->eb()->AddGroup(QStringLiteral("Dialog"), QStringLiteral(" Task Options"), 1);
    m_editing->eb()->SetGroupChild(QStringLiteral("Dialog"), m_editing->picDialog());
    m_editing->eb()->AddGroup(QStringLiteral("Editing"), QStringLiteral("Task Basket"), 1);
    m_editing->eb()->SetGroupChild(QStringLiteral("Editing"), m_editing->picEditPreview());
}

void frmMain::subSetHelpFile() { m_strHelpFile = tf::programDir() + QStringLiteral("/Help.chm"); }

void frmMain::subSetButtonPictures()
{
    m_pictureButtons.clear();
    auto set = [this](QPushButton* button, const QString& pictureName) {
        subSetButtonPicture(button, picture(pictureName));
        m_pictureButtons.push_back(button);
    };
    set(m_basket->cmdSaveAs(), QStringLiteral("picSaveMultiPage"));
    set(m_browse->cmdDetailFolder(), QStringLiteral("picDetailFolder"));
    set(m_browse->cmdThumbnailFolder(), QStringLiteral("picThumbnailFolder"));
    set(m_basket->cmdAddToQueue(), QStringLiteral("picAddToQueue"));
    set(m_browse->cmdBrowseSettings(), QStringLiteral("picBrowseSettings"));
    set(m_browse->cmdBrowseAbout(), QStringLiteral("picBrowseAbout"));
    set(m_browse->cmdPreviewView(), QStringLiteral("picPreviewView"));
    set(m_browse->cmdPreviewPrevious(), QStringLiteral("picPreviewPrevious"));
    set(m_browse->cmdPreviewNext(), QStringLiteral("picPreviewNext"));
    set(m_browse->cmdPreviewType(), QStringLiteral("picPreviewType"));
    set(m_browse->cmdPreviewSave(), QStringLiteral("picPreviewSave"));
    set(m_editing->cmdReset(), QStringLiteral("IconReset"));
    set(m_editing->cmdOriginalImage(), QStringLiteral("IconOriginalImage"));
    set(m_basket->cmdBatchPrint(), QStringLiteral("picBatchPrint"));
    for (int i = 0; i < kEditBarCount; ++i) {
        set(cmdEditBar(i), editBarPicture(i));
        set(cmdEditPreview(i), editBarPicture(i));
    }
    set(m_metadata->cmdEXIFBar(0), QStringLiteral("picMetadataEdit"));
    set(m_metadata->cmdEXIFBar(1), QStringLiteral("picMetadataAdd"));
    set(m_metadata->cmdEXIFBar(2), editBarPicture(3));
    set(m_metadata->cmdEXIFBar(3), editBarPicture(0));
    set(m_metadata->cmdEXIFBar(4), editBarPicture(1));
    set(m_metadata->cmdEXIFBar(5), editBarPicture(2));
    set(m_metadata->cmdIPTCBar(0), QStringLiteral("picMetadataEdit"));
    set(m_metadata->cmdIPTCBar(1), editBarPicture(1));
    set(m_metadata->cmdIPTCBar(2), editBarPicture(2));
    set(m_metadata->cmdIPTCBar(3), editBarPicture(3));
    set(m_metadata->cmdIPTCBar(4), editBarPicture(0));
    set(m_basket->cmdPagesNew(), editBarPicture(0));
    set(m_basket->cmdPagesOpen(), editBarPicture(1));
    set(m_basket->cmdPagesSave(), editBarPicture(2));
    set(m_basket->cmdPagesDelete(), editBarPicture(3));
    set(m_browse->CmdPreviewEdit(), QStringLiteral("picPreviewEdit"));
    set(m_browse->cmdPreviewPrint(), QStringLiteral("picPreviewPrint"));
    set(m_browse->cmdTwainAcquire(), QStringLiteral("picTwainAcquire"));
    set(m_browse->cmdCapture(), QStringLiteral("picCapture"));
    set(m_basket->cmdsaveAppend(), QStringLiteral("picSaveAppend"));
}

void frmMain::subFillFixedLists()
{
    // The editing area's option panels hold these lists; the window fills them at start-up.
    QWidget* dialog = m_editing->picDialog();
    auto* cboMergeStyle = dialog->findChild<QComboBox*>(QStringLiteral("cboMergeStyle"));
    auto* ComboFilter = dialog->findChild<QComboBox*>(QStringLiteral("ComboFilter"));
    auto* cboPosition = dialog->findChild<QComboBox*>(QStringLiteral("cboPosition"));
    auto* comboFontSize = dialog->findChild<QComboBox*>(QStringLiteral("comboFontSize"));
    auto* ComboFontFamily = dialog->findChild<QComboBox*>(QStringLiteral("ComboFontFamily"));
    cboMergeStyle->clear();
    cboMergeStyle->addItems({QStringLiteral("Custom position"), QStringLiteral("Centre"), QStringLiteral("Tile"),
                             QStringLiteral("Wrap")});
    ComboFilter->clear();
    ComboFilter->addItems({QStringLiteral("Bilinear"), QStringLiteral("Hermite"), QStringLiteral("Bell"),
                           QStringLiteral("B-Spline"), QStringLiteral("Lanczos"), QStringLiteral("Mitchell")});
    cboPosition->clear();
    cboPosition->addItems({QStringLiteral("Top-Left"), QStringLiteral("Top-Centre"), QStringLiteral("Top-Right"),
                           QStringLiteral("Centre-Left"), QStringLiteral("Centre"), QStringLiteral("Centre-Right"),
                           QStringLiteral("Bottom-Left"), QStringLiteral("Bottom-Centre"), QStringLiteral("Bottom-Right"),
                           QStringLiteral("Mouse-Click Position")});
    comboFontSize->clear();
    for (int size = 8; size <= 100; ++size) comboFontSize->addItem(QString::number(size));
    fncLoadFontsCombo(ComboFontFamily, true);
}

// ---- settings applied while running -------------------------------------------------------------

void frmMain::subUpdateForm()
{
    try {
        gstrCurrentOperation = QStringLiteral("Updating settings to controls");
        subUpdateThumbnailSizes();
        fncListViewFullRowSelect(m_browse->lvFolder(), gudtSettings.FolderFullRowSelect != 0);
        fncListViewFullRowSelect(m_basket->lvPages(), gudtSettings.PagesFullRowSelect != 0);
        m_browse->subUpdateSizeTexts();
        const bool tips = gudtSettings.ShowToolTips == 1;
        auto tip = [tips](QWidget* widget, const char* text) {
            widget->setToolTip(tips ? QString::fromLatin1(text) : QString());
        };
        tip(m_browse->ftvBrowse(), "Browse for a particular folder where image files are placed.");
        tip(m_browse->lvFolder(), "List all supported image formats from the selected folder.");
        tip(m_metadata->lvExif(), "List all available EXIF attributes from JPEG/TIFF files.");
        tip(m_metadata->lvIPTC(), "List all available IPTC attributes from JPEG/TIFF/PSD files.");
        tip(m_basket->lvPages(), "List all added files or pages for creating/editing multipage TIFF and PDF.");
        tip(m_browse->PicViewImage(), "Container for the preview file.");
        // The preview's background is the one chosen in the settings dialog.
        QPalette viewport = m_browse->PicViewImage()->palette();
        viewport.setColor(QPalette::Window, tf::colorFromOle(gudtSettings.PreviewBackColor));
        m_browse->PicViewImage()->setPalette(viewport);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.subUpdateForm"));
    }
}

// ---- layout -------------------------------------------------------------------------------------

namespace {

// A splitter that has not been shown yet receives its resize only when it is shown; laying it out
// from its percent places its panes now, so that the panes inside can be laid out at once.
void placeSplitterPanes(tf::Splitter* splitter) { splitter->setSplitterPosition(splitter->SplitterPosition()); }

} // namespace

tf::PaneArrangement frmMain::arrangement() const
{
    return tf::fncPaneArrangement(m_splView->LeftOrTopControl() != nullptr, m_splView->RightOrBottomControl() != nullptr,
                                  m_splMain->LeftOrTopControl() != nullptr);
}

void frmMain::subResize()
{
    if (isMinimized()) return;
    // Every placement is a plain geometry change of a widget we own: none can fail, and negative
    // sizes are already clamped to 0 by the layout functions.
    const QSize client = m_client->size();
    const int statusHeight = m_sbMain->sizeHint().height();
    m_splMain->setGeometry(tf::fncPaneRect(0, 0, client.width(), client.height() - statusHeight));
    m_sbMain->setGeometry(tf::fncPaneRect(0, client.height() - statusHeight, client.width(), statusHeight));
    for (tf::Splitter* splitter : {m_splMain, m_splRight, m_splLeft, m_splView}) placeSplitterPanes(splitter);

    const auto browse = tf::fncBrowsePaneLayout(m_picBrowse->size(), m_browse->lblBrowse()->height(),
                                                m_browse->tbsBrowse()->tabRowHeight());
    m_browse->lblBrowse()->setGeometry(browse.lblBrowse);
    m_browse->tbsBrowse()->setGeometry(browse.tbsBrowse);
    m_browse->picFileSystem()->setGeometry(browse.picFileSystem);
    m_browse->ftvBrowse()->setGeometry(browse.ftvBrowse);
    m_editing->lvEdit()->setGeometry(browse.lvEdit);

    const auto metadata = tf::fncMetadataPaneLayout(m_PicMetadata->size(), m_lblMetadata->height(),
                                                    m_tbsMetadata->tabRowHeight(), m_metadata->picEXIFBar()->width());
    m_lblMetadata->setGeometry(metadata.lblMetadata);
    m_tbsMetadata->setGeometry(metadata.tbsMetadata);
    m_metadata->lvExif()->setGeometry(metadata.lvExif);
    m_metadata->lvIPTC()->setGeometry(metadata.lvIPTC);
    m_metadata->picEXIFBar()->move(metadata.toolbarLeft, m_metadata->picEXIFBar()->y());
    m_metadata->picIPTCBar()->move(metadata.toolbarLeft, m_metadata->picEXIFBar()->y());

    const auto folder = tf::fncFolderPaneLayout(m_picFolder->size(), m_browse->lblFolder()->height());
    m_browse->lblFolder()->resize(folder.lblFolderWidth, m_browse->lblFolder()->height());
    m_browse->lvFolder()->setGeometry(folder.lvFolder);

    tf::PreviewPaneInput in;
    in.arrangement = arrangement();
    in.client = client;
    in.statusBarHeight = statusHeight;
    in.splMain = m_splMain->size();
    in.splView = m_splView->size();
    in.picView = m_picView->size();
    in.toolbarHeight = m_browse->picToolbarPreview()->height();
    in.vsbWidth = m_browse->vsbView()->width();
    in.hsbHeight = m_browse->hsbView()->height();
    in.ebWidth = m_editing->eb()->width();
    auto preview = tf::fncPreviewPaneLayout(in);
    // The preview's bar takes as many rows as the pane's width needs; the pane's width does not
    // depend on the bar, its viewport's height does.
    const int toolbarHeight = m_browse->subArrangePreviewToolbar(preview.picView ? preview.picView->width() : in.picView.width());
    if (toolbarHeight != in.toolbarHeight) {
        in.toolbarHeight = toolbarHeight;
        preview = tf::fncPreviewPaneLayout(in);
    }
    if (preview.splRight) {
        m_splRight->setGeometry(*preview.splRight);
        m_splRight->raise();
        placeSplitterPanes(m_splRight);
    }
    if (preview.splView) {
        m_splView->setGeometry(*preview.splView);
        m_splView->raise();
        placeSplitterPanes(m_splView);
    }
    if (preview.picView) {
        // Over whatever the splitter left beneath it: the metadata pane and the bars.
        m_picView->setGeometry(*preview.picView);
        m_picView->raise();
    }
    m_browse->PicViewImage()->setGeometry(preview.PicViewImage);
    m_browse->vsbView()->setGeometry(preview.vsbView);
    m_browse->hsbView()->setGeometry(preview.hsbView);
    if (preview.eb) m_editing->eb()->setGeometry(*preview.eb);
    if (preview.ebVisibility == tf::Visibility::Show) m_editing->eb()->show();
    else if (preview.ebVisibility == tf::Visibility::Hide) m_editing->eb()->hide();
    m_browse->vsbView()->show();
    m_browse->hsbView()->show();

    const auto queue =
        tf::fncQueuePaneLayout(m_PicQueue->size(), m_basket->lblQueue()->height(), m_basket->picLiveBar()->geometry());
    m_basket->lblQueue()->setGeometry(queue.lblQueue);
    m_basket->lvPages()->setGeometry(queue.lvPages);

    m_browse->subFitPreview();

    const bool hasImage = m_browse->ibMain()->HasImage();
    m_browse->ibMain()->setVisible(hasImage);
    m_browse->cmdPreviewSave()->setEnabled(hasImage);
    m_browse->CmdPreviewEdit()->setEnabled(hasImage);
    m_browse->cmdPreviewPrint()->setEnabled(hasImage);
    m_browse->PicViewImage()->show();
    m_sbMain->setPanelText(QStringLiteral("status"), fncZoomPanelText(m_browse->ibMain()->Zoom()));

    for (QWidget* panel : optionPanels()) panel->move(0, 0);
}

QList<QWidget*> frmMain::optionPanels() const
{
    // By the editing tasks' panel codes, in the layout's order.
    QList<QWidget*> panels;
    for (int code : {5, 6, 7, 4, 1, 3, 2, 8, 9, 10, 0, 12, 13, 14, 15, 16})
        panels.push_back(m_editing->optionPanel(code));
    return panels;
}

void frmMain::tbsBrowse_Click()
{
    switch (m_browse->tbsBrowse()->SelectedIndex()) {
    case 1:
        m_browse->picFileSystem()->show();
        m_editing->lvEdit()->hide();
        m_editing->picEditBar()->hide();
        m_browse->lblBrowse()->setText(QStringLiteral("Browse File System"));
        break;
    case 2:
        m_browse->picFileSystem()->hide();
        m_editing->lvEdit()->show();
        m_editing->picEditBar()->show();
        m_editing->picEditBar()->raise();
        m_browse->lblBrowse()->setText(QStringLiteral("Task Basket"));
        break;
    default:
        break;
    }
}

void frmMain::tbsMetadata_Click()
{
    switch (m_tbsMetadata->SelectedIndex()) {
    case 1:
        m_metadata->lvExif()->show();
        m_metadata->picEXIFBar()->show();
        m_metadata->lvIPTC()->hide();
        m_metadata->picIPTCBar()->hide();
        m_metadata->setMetadataKind(0);
        break;
    case 2:
        m_metadata->lvExif()->hide();
        m_metadata->picEXIFBar()->hide();
        m_metadata->lvIPTC()->show();
        m_metadata->picIPTCBar()->show();
        m_metadata->setMetadataKind(1);
        break;
    default:
        break;
    }
}

void frmMain::splMain_SplitComplete() { subResize(); }
void frmMain::splRight_SplitComplete() { subResize(); }
void frmMain::splLeft_SplitComplete() { subResize(); }
void frmMain::splView_SplitComplete() { subResize(); }

void frmMain::CmdPreviewEdit_Click()
{
    if (!m_browse->ibMain()->HasImage()) return;
    if (arrangement() == tf::PaneArrangement::Editing) {
        m_splMain->setLeftOrTopControl(m_splRight);
        m_splRight->setRightOrBottomControl(m_splView);
        if (m_splView->RightOrBottomControl()) m_splView->setLeftOrTopControl(m_picView);
        m_browse->CmdPreviewEdit()->setText(QStringLiteral("     Edit"));
        emit EditModeLeaving();
        m_browse->cmdPreviewType()->setEnabled(true);
    } else {
        m_splMain->setLeftOrTopControl(nullptr);
        m_splRight->setRightOrBottomControl(nullptr);
        m_splView->setLeftOrTopControl(nullptr);
        m_browse->cmdPreviewType()->setEnabled(false);
        emit EditModeEntering();
        m_browse->CmdPreviewEdit()->setText(QStringLiteral("     Finish"));
    }
    subResize();
}

// ---- window events ------------------------------------------------------------------------------

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    subResize();
    if (mblnFirstResize) {
        mblnFirstResize = false;
        m_browse->subOpenFolder(fncExistingFolderOrHome(gudtSettings.TreeFolder));
        m_sbMain->show();
    }
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Coming back from the task bar: the panes were left alone while minimised.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && !mblnFirstResize) subResize();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A long command yields to events while it runs: closing under it would pull its widgets and
    // page files away. It is cancelled, and the window closes once it has ended.
    if (tf::fncCloseWhenIdle(this)) {
        event->ignore();
        return;
    }
    subEnd();
    event->accept();
}

// ---- shutdown ------------------------------------------------------------------------------------

void frmMain::subStoreSettings()
{
    auto& s = gudtSettings;
    s.SplitterPosition[0] = tf::roundToInteger(m_splMain->SplitterPosition());
    s.SplitterPosition[1] = tf::roundToInteger(m_splRight->SplitterPosition());
    s.SplitterPosition[2] = tf::roundToInteger(m_splLeft->SplitterPosition());
    s.SplitterPosition[3] = tf::roundToInteger(m_splView->SplitterPosition());
    m_browse->subStorePreviewSettings();
    // A tree with no folder chosen keeps the folder it was opened at.
    const QString tree = m_browse->SelectedFolder();
    if (!tree.isEmpty()) s.TreeFolder = tree;
    for (int i = 0; i < int(s.FolderColumnWidth.size()); ++i)
        s.FolderColumnWidth[i] = tf::roundToInteger(m_browse->lvFolder()->columnWidth(i));
    for (int i = 0; i < int(s.PagesColumnWidth.size()); ++i)
        s.PagesColumnWidth[i] = tf::roundToInteger(m_basket->lvPages()->columnWidth(i));
    subStoreSettingsGlobals();
    s.MetadataColumnWidth[0] = tf::roundToInteger(m_metadata->lvExif()->columnWidth(0));
    s.MetadataColumnWidth[1] = tf::roundToInteger(m_metadata->lvExif()->columnWidth(1));
    s.MetadataColumnWidth[2] = tf::roundToInteger(m_metadata->lvIPTC()->columnWidth(0));
    s.MetadataColumnWidth[3] = tf::roundToInteger(m_metadata->lvIPTC()->columnWidth(1));
    // The size and place the window has when it is neither maximised nor minimised.
    const QRect normal = (isMaximized() || isMinimized() || isFullScreen()) ? normalGeometry() : geometry();
    if (normal.isValid()) {
        s.WindowWidth = tf::pixelsToTwips(normal.width());
        s.WindowHeight = tf::pixelsToTwips(normal.height());
        const QPoint place = tf::fncFramePositionToStore(normal, geometry(), frameGeometry());
        s.WindowPlaced = true;
        s.WindowLeft = place.x();
        s.WindowTop = place.y();
    }
}

void frmMain::subDeletePageFiles()
{
    const QDir temp(tf::userTempDir());
    const auto entries = temp.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        if (entry.fileName().endsWith(QStringLiteral(".tif"), Qt::CaseInsensitive)) QFile::remove(entry.filePath());
}

namespace {

// The program's other windows, the one made last first. Qt keeps no order of its top-level widgets,
// but its window list grows as windows are made (at their first show); windows never shown come
// after them.
QList<QPointer<QWidget>> fncOtherWindowsLatestFirst(const QWidget* main)
{
    QList<QPointer<QWidget>> made, neverShown;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    const QWindowList order = QGuiApplication::topLevelWindows();
    for (qsizetype i = order.size() - 1; i >= 0; --i)
        for (QWidget* widget : widgets)
            if (widget != main && widget->windowHandle() == order[i]) made.push_back(widget);
    for (QWidget* widget : widgets)
        if (widget != main && widget->isWindow() && !widget->windowHandle()) neverShown.push_back(widget);
    return made + neverShown;
}

} // namespace

void frmMain::subEnd()
{
    if (m_ended) return;
    m_ended = true;
    // A folder still being listed is not finished for a window that is going away.
    m_browse->stopListing();
    m_stopDeadRunCleanup = true;
    // Each step runs whatever became of the one before: a settings file that cannot be written
    // must not leave the page files behind.
    try {
        gstrCurrentOperation = QStringLiteral("Saving Settings before termination");
        subStoreSettings();
        QString why;
        if (!subWriteSettingsFile(&why))
            subGlobalErrorHandler(why, 75, 0, QStringLiteral("FrmMain.subEnd"));
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.subEnd"));
    }
    // No graphics engine is started on Linux; the image snapshots of the preview and the editing
    // tasks are let go here, before the windows that show them.
    gstrCurrentOperation = QStringLiteral("Trying to stop Graphic Engine");
    m_editing->releaseWorkingImage();
    m_browse->releaseOriginalImage();
    gstrCurrentOperation = QStringLiteral("UnSubclass all controls");
    for (const QPointer<QPushButton>& button : std::as_const(m_pictureButtons))
        if (button) subRemoveButtonPicture(button);

    try {
        // Every other window, hidden ones too, the latest first; one that refuses to close ends the
        // round, as it would have kept the windows before it.
        for (const QPointer<QWidget>& window : fncOtherWindowsLatestFirst(this))
            if (window && !window->close()) break;
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.subEnd"));
    } catch (...) {
        subReportUnknownException(QStringLiteral("FrmMain.subEnd"));
    }
    try {
        subDeletePageFiles();
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("FrmMain.subDeletePageFiles"));
    } catch (...) {
        subReportUnknownException(QStringLiteral("FrmMain.subDeletePageFiles"));
    }
}

// ---- control arrays -------------------------------------------------------------------------------

namespace {
template <std::size_t N, typename T>
T* element(const std::array<T*, N>& array, int index)
{
    return index >= 0 && index < int(N) ? array[index] : nullptr;
}
} // namespace

QPushButton* frmMain::cmdEditBar(int index) const { return m_editing->cmdEditBar(index); }
QPushButton* frmMain::cmdEditPreview(int index) const { return m_editing->cmdEditPreview(index); }
QPushButton* frmMain::cmdEXIFBar(int index) const { return m_metadata->cmdEXIFBar(index); }
QPushButton* frmMain::cmdIPTCBar(int index) const { return m_metadata->cmdIPTCBar(index); }
QAction* frmMain::mnuPreviewFit(int index) const { return m_browse->mnuPreviewFit(index); }
QAction* frmMain::mnuPreviewType(int index) const { return m_browse->mnuPreviewType(index); }
QList<QPushButton*> frmMain::pictureButtons() const
{
    QList<QPushButton*> buttons;
    for (const QPointer<QPushButton>& button : m_pictureButtons)
        if (button) buttons.push_back(button);
    return buttons;
}
