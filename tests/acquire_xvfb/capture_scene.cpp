// Run under an X server, with openbox as window manager when given --wm: the program's main window
// opens the capture dialog through its own Capture button and captures in the mode named on the
// command line, then checks what the screen and the capture hold:
//   foreground  the capture holds, where the dialog was, what the screen held before any dialog
//               was shown;
//   desktop, background  the capture holds no window of ours;
//   region  (three times) the picker covers the screen, is the topmost window, shows its toolbar
//           on its own background, and its frozen screen holds nothing of the dialog; it takes a
//           drag, and a real Escape key cancels it the first two times, while the third time the
//           rectangle drawn over the dialog's place is accepted and the page holds nothing of it.
// Exits 0 when all holds; prints what failed otherwise. With TF_SCENE_SHOTS set to a folder, the
// screens it checks are saved there as PNGs.
#include "acquire/AcquireController.h"
#include "acquire/ScreenGrabber.h"
#include "acquire/fCaptureRectangle.h"
#include "acquire/frmCapture.h"
#include "app/frmMain.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <tiffio.h>

#include <chrono>
#include <poll.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QColor kMain(40, 170, 60);
QString g_step = "start";
int g_failures = 0;

void step(const QString& now)
{
    g_step = now;
    if (qEnvironmentVariableIsSet("TF_SCENE_VERBOSE")) std::printf("step: %s\n", qPrintable(now));
}

void fail(const char* what)
{
    std::printf("FAIL at %s: %s\n", qPrintable(g_step), what);
    ++g_failures;
}

// Said by openbox's start-up command, which it runs once it manages windows: a property on the root.
int announceReady()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_intern_atom_reply_t* a = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 12, "_TF_WM_READY"), nullptr);
    const uint32_t one = 1;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, a->atom, XCB_ATOM_CARDINAL, 32, 1, &one);
    std::free(a);
    xcb_flush(c);
    xcb_disconnect(c);
    return 0;
}

// Starts openbox and returns once it manages windows (windows mapped while it starts may be left
// unmanaged): told by the root's property set from its start-up command. -1 when it never comes.
pid_t startWindowManager()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return -1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_intern_atom_reply_t* a = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 12, "_TF_WM_READY"), nullptr);
    const xcb_atom_t ready = a->atom;
    std::free(a);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
    const std::string startup = std::string(self) + " --announce";
    char arg0[] = "openbox", arg1[] = "--sm-disable", arg2[] = "--startup";
    char* argv[] = {arg0, arg1, arg2, const_cast<char*>(startup.c_str()), nullptr};
    // Waits for the announcement, at most `seconds`; false when it did not come.
    const auto announced = [&](int seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                const bool done = (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                                  reinterpret_cast<xcb_property_notify_event_t*>(e)->atom == ready;
                std::free(e);
                if (done) return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || xcb_connection_has_error(c)) return false;
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&fd, 1, int(left.count()));
        }
    };
    pid_t pid = -1;
    // Now and then openbox takes the selection and never gets as far as its start-up command:
    // that one is ended and another started.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (posix_spawnp(&pid, "openbox", nullptr, nullptr, argv, environ) != 0) return -1;
        if (announced(15)) break;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    xcb_disconnect(c);
    return pid;
}

xcb_connection_t* x11()
{
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t outermost(xcb_window_t w)
{
    for (;;) {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(x11(), xcb_query_tree(x11(), w), nullptr);
        if (!t) return w;
        const bool top = t->parent == t->root;
        const xcb_window_t parent = t->parent;
        std::free(t);
        if (top) return w;
        w = parent;
    }
}

// The topmost shown window on the screen (the root's children run from bottom to top); a window
// manager's helper windows kept off the screen do not count.
xcb_window_t topmost()
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root;
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(x11(), xcb_query_tree(x11(), root), nullptr);
    xcb_window_t found = XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(t);
    for (int i = xcb_query_tree_children_length(t) - 1; i >= 0 && found == XCB_WINDOW_NONE; --i) {
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(x11(), xcb_get_window_attributes(x11(), children[i]), nullptr);
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x11(), xcb_get_geometry(x11(), children[i]), nullptr);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT &&
            screen.intersects(QRect(g->x, g->y, g->width, g->height)))
            found = children[i];
        std::free(a);
        std::free(g);
    }
    std::free(t);
    return found;
}

QImage grab(const QString& name)
{
    const QImage shot = tf::QtScreenGrabber().grabScreen();
    const QString dir = qEnvironmentVariable("TF_SCENE_SHOTS");
    if (!dir.isEmpty()) shot.save(QDir(dir).filePath(name + ".png"));
    return shot;
}

void fakeInput(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root;
    xcb_test_fake_input(x11(), type, detail, XCB_CURRENT_TIME, root, x, y, 0);
    xcb_flush(x11());
}

// Runs `then` from the event loop after the next event of `type` reaches `target`.
void after(QObject* target, QEvent::Type type, std::function<void()> then)
{
    struct Once : QObject {
        QEvent::Type type;
        std::function<void()> then;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == type && then) {
                QTimer::singleShot(0, qApp, std::move(then));
                then = nullptr;
                deleteLater();
            }
            return false;
        }
    };
    auto* once = new Once;
    once->type = type;
    once->then = std::move(then);
    target->installEventFilter(once);
}

// Calls `then` once the main window's is the only window on the screen: a window manager takes a
// hidden window's frame away some time after the window went. Told by the server's notes on the
// root's children, on a connection of its own.
class OnlyMainShown : public QObject {
public:
    OnlyMainShown(QWidget* main, std::function<void()> then) : m_main(main), m_then(std::move(then))
    {
        m_c = xcb_connect(nullptr, nullptr);
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, root(), XCB_CW_EVENT_MASK, &mask);
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_c), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { check(); });
        QTimer::singleShot(0, this, [this] { check(); });
    }
    ~OnlyMainShown() override { xcb_disconnect(m_c); }

private:
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root; }
    void check()
    {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) std::free(e);
        if (!m_then) return;
        if (others()) {
            // Notes read from the socket along with the replies wake no notifier: they are
            // looked at now.
            if (xcb_generic_event_t* e = xcb_poll_for_queued_event(m_c)) {
                std::free(e);
                QTimer::singleShot(0, this, [this] { check(); });
            }
            return;
        }
        QTimer::singleShot(0, qApp, std::move(m_then));
        m_then = nullptr;
        deleteLater();
    }
    bool others()
    {
        const xcb_window_t main = outermost(xcb_window_t(m_main->winId()));
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, root()), nullptr);
        const xcb_window_t* children = xcb_query_tree_children(t);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        bool found = false;
        for (int i = 0; t && i < xcb_query_tree_children_length(t) && !found; ++i) {
            if (children[i] == main) continue;
            xcb_get_window_attributes_reply_t* a =
                xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, children[i]), nullptr);
            xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, children[i]), nullptr);
            found = a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT &&
                     screen.intersects(QRect(g->x, g->y, g->width, g->height));
            std::free(a);
            std::free(g);
        }
        std::free(t);
        return found;
    }

    QWidget* m_main;
    std::function<void()> m_then;
    xcb_connection_t* m_c = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

// The capture as written to the capture folder, read by libtiff rather than by our own reader.
QImage readCapture(const QString& path)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff) return {};
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    QImage image;
    std::vector<uint32_t> raster(size_t(width) * height);
    if (width && height && TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        image = QImage(int(width), int(height), QImage::Format_RGB32);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t v = raster[size_t(y) * width + x];
                image.setPixel(int(x), int(y), qRgb(int(TIFFGetR(v)), int(TIFFGetG(v)), int(TIFFGetB(v))));
            }
    }
    TIFFClose(tiff);
    return image;
}

// Pixels inside `area` (outside `except`) where `shot`, placed with its top left at `at`, differs
// from `reference`; a pixel `shot` lacks counts as differing.
int differing(const QImage& reference, const QImage& shot, QRect area, QRect except = {}, QPoint at = {})
{
    int count = 0;
    area &= reference.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QPoint p(x, y);
            if (except.contains(p)) continue;
            const QPoint q = p - at;
            count += !shot.rect().contains(q) || shot.pixel(q) != reference.pixel(p);
        }
    return count;
}

// Where the main window is put for each round: a normal window with room around it.
const QRect kMainPlace(60, 40, 900, 620);

class Scene {
public:
    Scene(bool wm, QString mode) : m_wm(wm), m_mode(std::move(mode)) {}

    void start()
    {
        step("main window");
        m_main = std::make_unique<frmMain>();
        // After the window's start-up, which reads the settings.
        gudtSettings.Capture.Folder = m_folder.path();
        m_capture = &m_main->findChild<tf::AcquireController*>()->capture();
        showMain();
    }

private:
    void showMain()
    {
        m_main->showNormal();
        m_main->setGeometry(kMainPlace);
        m_reference = {};
        m_settling = 0;
        step(QString("main window alone on the screen, round %1").arg(m_round));
        new OnlyMainShown(m_main.get(), [this] { sized(); });
    }

    // A window manager gives the window its size some time after it was asked for; the window
    // lays its panes out for it and paints them.
    void sized()
    {
        step(QString("main window at %1 x %2, round %3").arg(m_main->width()).arg(m_main->height()).arg(m_round));
        if (m_main->size() != kMainPlace.size())
            return after(m_main.get(), QEvent::Resize, [this] { sized(); });
        after(m_main.get(), QEvent::Paint, [this] { mainShown(); });
        m_main->update();
    }

    // The window has painted at its size; once its folder and preview are settled and its panes
    // laid out for the size (which takes a few turns of the event loop), the screen as it is with
    // no dialog is the reference every capture is compared with.
    void mainShown()
    {
        BrowseController* browse = m_main->browse();
        if (browse->listingBusy() || browse->previewPending()) {
            QObject::connect(browse, &BrowseController::folderListed, qApp, [this] { mainShown(); },
                             Qt::SingleShotConnection);
            return;
        }
        m_main->repaint();
        const QImage now = grab(QString("%1-reference-%2").arg(m_mode).arg(m_round));
        const bool same = now == m_reference;
        m_reference = now;
        if (same) return openDialog();
        if (++m_settling > 200) return finish("the main window never stops changing");
        QTimer::singleShot(0, qApp, [this] { mainShown(); });
    }

    void openDialog()
    {
        step(QString("dialog, round %1").arg(m_round));
        m_main->browse()->cmdCapture()->click();
        m_dialog = nullptr;
        for (tf::frmCapture* d : m_main->findChildren<tf::frmCapture*>())
            if (d->isVisible()) m_dialog = d;
        if (!m_dialog) return finish("no capture dialog");
        after(m_dialog, QEvent::Paint, [this] { dialogShown(); });
    }

    void dialogShown()
    {
        m_dialogRect = m_dialog->frameGeometry();
        m_mainRect = m_main->geometry();
        m_mainFrame = m_main->frameGeometry();
        // The dialog is on the screen before the capture, or the test would prove nothing.
        const QImage before = grab(QString("%1-before-%2").arg(m_mode).arg(m_round));
        if (differing(m_reference, before, m_dialog->geometry()) < m_dialog->width() * m_dialog->height() / 2)
            return finish("the dialog is not on the screen");
        const int index = m_mode == "desktop" ? 0 : m_mode == "background" ? 2 : 1;
        m_dialog->findChild<QRadioButton*>(QString("optCapture%1").arg(index))->click();
        if (m_mode == "region") {
            tf::fCaptureRectangle* picker = m_capture->picker();
            after(picker, QEvent::Paint, [this, picker] { pickerShown(picker); });
            m_dialog->findChild<QPushButton*>("CmdCustom")->click();
        } else {
            QObject::connect(m_capture, &tf::CaptureController::captureFinished, qApp,
                             [this](const QString& path) { captured(path); }, Qt::SingleShotConnection);
            m_dialog->findChild<QPushButton*>("cmdCapture")->click();
        }
    }

    void captured(const QString& path)
    {
        step(m_mode + " capture");
        grab(m_mode + "-after");
        const QImage picture = readCapture(path);
        if (picture.isNull()) return finish("no capture was written");
        if (qEnvironmentVariableIsSet("TF_SCENE_SHOTS"))
            picture.save(QDir(qEnvironmentVariable("TF_SCENE_SHOTS")).filePath(m_mode + "-captured.png"));
        if (picture.size() != m_reference.size()) return finish("the capture is not the whole screen");
        int wrong = 0;
        if (m_mode == "foreground") {
            // Where the dialog was, the screen as it was before the dialog: our window, repainted.
            wrong = differing(m_reference, picture, m_dialogRect);
        } else {
            // Nothing of ours lies at the bottom right corner: what the root shows.
            const QRgb root = picture.pixel(picture.width() - 1, picture.height() - 1);
            if (m_reference.pixel(m_mainRect.center()) == root) fail("the main window looks like the root");
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) wrong += picture.pixel(x, y) != root;
        }
        if (!m_main->isVisible() || !m_main->isMaximized()) fail("the main window is not back maximised");
        if (wrong) {
            std::printf("%d pixels hold a window of ours that should not be there\n", wrong);
            fail("a window of ours is in the capture");
        }
        finish(nullptr);
    }

    void pickerShown(tf::fCaptureRectangle* picker)
    {
        step(QString("picker shown, round %1").arg(m_round));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (picker->geometry() != screen) {
            std::printf("picker at %d,%d %dx%d\n", picker->x(), picker->y(), picker->width(), picker->height());
            fail("the picker does not cover the screen");
        }
        if (topmost() != outermost(xcb_window_t(picker->winId()))) {
            std::printf("topmost %x, picker %x in %x\n", topmost(), unsigned(picker->winId()), outermost(xcb_window_t(picker->winId())));
            fail("the picker is not the topmost window");
        }
        const QImage shot = grab(QString("region-picker-%1").arg(m_round));
        QToolBar* bar = picker->toolbar();
        const QRect barRect(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        const QColor background = bar->palette().color(QPalette::Window);
        int own = 0;
        for (int y = barRect.top(); y <= barRect.bottom(); ++y)
            for (int x = barRect.left(); x <= barRect.right(); ++x) own += shot.pixelColor(x, y) == background;
        if (own < barRect.width() * barRect.height() / 2) fail("the toolbar is not drawn on its own background");
        // The frozen screen, where the dialog was, is the screen as it was before the dialog.
        if (const int wrong = differing(m_reference, shot, m_dialogRect, barRect)) {
            std::printf("%d pixels of the frozen screen hold the dialog\n", wrong);
            fail("the picker's screen holds the dialog");
        }
        // A drag of the real pointer draws a rectangle on the picker: the last time, over the
        // dialog's place, to be kept.
        const bool keep = m_round == kRounds - 1;
        const QRect drag = keep ? m_dialogRect & screen : QRect(QPoint(200, 150), QPoint(300, 250));
        after(picker, QEvent::MouseButtonRelease, [this, picker, keep] { keep ? acceptDrag(picker) : dragged(picker); });
        fakeInput(XCB_MOTION_NOTIFY, 0, int16_t(drag.left()), int16_t(drag.top()));
        fakeInput(XCB_BUTTON_PRESS, 1);
        fakeInput(XCB_MOTION_NOTIFY, 0, int16_t(drag.center().x()), int16_t(drag.center().y()));
        fakeInput(XCB_MOTION_NOTIFY, 0, int16_t(drag.right()), int16_t(drag.bottom()));
        fakeInput(XCB_BUTTON_RELEASE, 1);
        m_drag = drag;
    }

    void dragged(tf::fCaptureRectangle* picker)
    {
        step(QString("picker dragged, round %1").arg(m_round));
        if (picker->state().mode() != tf::SelDragMode::Shown) fail("the drag drew no rectangle");
        // Escape, typed on the keyboard the server has, leaves the picker.
        QObject::connect(picker, &tf::fCaptureRectangle::cancelled, qApp, [this, picker] { cancelled(picker); },
                         Qt::SingleShotConnection);
        const xcb_setup_t* setup = xcb_get_setup(x11());
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            x11(), xcb_get_keyboard_mapping(x11(), setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr);
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        uint8_t escape = 0;
        for (int k = 0; k <= setup->max_keycode - setup->min_keycode && !escape; ++k)
            for (int s = 0; s < map->keysyms_per_keycode; ++s)
                if (syms[k * map->keysyms_per_keycode + s] == 0xff1b) escape = uint8_t(setup->min_keycode + k);
        std::free(map);
        fakeInput(XCB_KEY_PRESS, escape);
        fakeInput(XCB_KEY_RELEASE, escape);
    }

    void cancelled(tf::fCaptureRectangle* picker)
    {
        step(QString("picker cancelled, round %1").arg(m_round));
        if (picker->isVisible()) fail("the picker is still shown");
        if (!m_main->isVisible()) fail("the main window is not back");
        ++m_round;
        // From a normal-size window again, as a user starts.
        QTimer::singleShot(0, qApp, [this] { showMain(); });
    }

    // The picker's Accept button, clicked with the real pointer, keeps the rectangle drawn.
    void acceptDrag(tf::fCaptureRectangle* picker)
    {
        step("picker accepts");
        if (picker->state().mode() != tf::SelDragMode::Shown) return finish("the drag drew no rectangle");
        QWidget* button = picker->toolbar()->widgetForAction(picker->findChild<QAction*>("cmdBar1"));
        if (!button) return finish("no Accept button");
        QObject::connect(m_capture, &tf::CaptureController::captureFinished, qApp,
                         [this](const QString& path) { regionCaptured(path); }, Qt::SingleShotConnection);
        const QPoint at = button->mapToGlobal(button->rect().center());
        fakeInput(XCB_MOTION_NOTIFY, 0, int16_t(at.x()), int16_t(at.y()));
        fakeInput(XCB_BUTTON_PRESS, 1);
        fakeInput(XCB_BUTTON_RELEASE, 1);
    }

    void regionCaptured(const QString& path)
    {
        step("region capture");
        const QImage picture = readCapture(path);
        if (picture.isNull()) return finish("no capture was written");
        if (qEnvironmentVariableIsSet("TF_SCENE_SHOTS"))
            picture.save(QDir(qEnvironmentVariable("TF_SCENE_SHOTS")).filePath("region-captured.png"));
        if (picture.size() != m_drag.size()) {
            std::printf("captured %dx%d of %dx%d\n", picture.width(), picture.height(), m_drag.width(), m_drag.height());
            return finish("the capture is not the rectangle drawn");
        }
        if (const int wrong = differing(m_reference, picture, m_drag, {}, m_drag.topLeft())) {
            std::printf("%d pixels hold the dialog\n", wrong);
            fail("the region captured holds the dialog");
        }
        if (!m_main->isVisible()) fail("the main window is not back");
        finish(nullptr);
    }

    void finish(const char* error)
    {
        if (error) fail(error);
        QTimer::singleShot(0, qApp, [] { QApplication::exit(g_failures ? 1 : 0); });
    }

    static constexpr int kRounds = 3;
    bool m_wm;
    QString m_mode;
    QTemporaryDir m_folder;
    std::unique_ptr<frmMain> m_main;
    tf::CaptureController* m_capture = nullptr;
    tf::frmCapture* m_dialog = nullptr;
    QImage m_reference;
    QRect m_dialogRect, m_mainRect, m_mainFrame, m_drag;
    int m_round = 0;
    int m_settling = 0;
};

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--announce") == 0) return announceReady();
    const bool wm = argc > 2 && std::strcmp(argv[1], "--wm") == 0;
    const QString mode = QString::fromLatin1(argv[argc - 1]);
    pid_t manager = -1;
    if (wm && (manager = startWindowManager()) < 0) {
        std::printf("could not start openbox\n");
        return 5;
    }
    // The window keeps its settings and work files in a home of the scene's own, and its folder
    // tree shows the home's folder, which nobody else changes.
    QTemporaryDir scratch;
    const QString home = scratch.filePath(QStringLiteral("homes/scene"));
    QDir().mkpath(home);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    int result = 0;
    {
        QApplication app(argc, argv);
        tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
        if (QGuiApplication::platformName() != "xcb") {
            std::printf("not on X11\n");
            return 3;
        }
        Scene scene(wm, mode);
        QTimer limit;
        QObject::connect(&limit, &QTimer::timeout, [] {
            fail("no end within four minutes");
            QApplication::exit(1);
        });
        // Only a scene that is stuck gets this far; a busy machine is slow, not stuck.
        limit.start(240000);
        scene.start();
        result = app.exec();
    }
    if (manager > 0) {
        kill(manager, SIGTERM);
        waitpid(manager, nullptr, 0);
    }
    std::printf("%s\n", result == 0 ? "ok" : "failed");
    return result;
}
