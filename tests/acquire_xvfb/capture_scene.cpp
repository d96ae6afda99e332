// Run under an X server, with openbox as window manager when given --wm: a main window of a known
// colour opens the capture dialog through the program's own controller and captures in the mode
// named on the command line, then checks what the screen and the capture hold:
//   foreground  the capture holds the main window and nothing of the dialog;
//   desktop, background  the capture holds no window of ours;
//   region  (three times) the picker covers the screen, is the topmost window, shows its toolbar
//           on its own background, takes a drag, and a real Escape key cancels it.
// Exits 0 when all holds; prints what failed otherwise. With TF_SCENE_SHOTS set to a folder, the
// screens it checks are saved there as PNGs.
#include "acquire/AcquireController.h"
#include "acquire/ScreenGrabber.h"
#include "acquire/fCaptureRectangle.h"
#include "acquire/frmCapture.h"
#include "basket/basketModel.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/imagelist.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <poll.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
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

class Scene {
public:
    Scene(bool wm, QString mode) : m_wm(wm), m_mode(std::move(mode))
    {
        gudtSettings.Capture.Folder = m_folder.path();
        // A capture joins the basket with a thumbnail of the basket's size, as the window sets it.
        glngPagesThumbWidth = glngPagesThumbHeight = 64;
        m_main.setObjectName("frmMain");
        m_main.setWindowTitle("Tavrel Folio");
        m_main.setAutoFillBackground(true);
        QPalette p = m_main.palette();
        p.setColor(QPalette::Window, kMain);
        m_main.setPalette(p);
        m_acquire = std::make_unique<tf::AcquireController>(&m_main, m_basket, m_images,
                                                            [this](const QImage& picture, const QString&) {
                                                                captured(picture);
                                                            });
    }

    void start()
    {
        step("main window");
        m_main.showNormal();
        m_main.setGeometry(60, 40, 520, 400);
        after(&m_main, QEvent::Paint, [this] { openDialog(); });
    }

private:
    void openDialog()
    {
        step(QString("dialog, round %1").arg(m_round));
        m_acquire->cmdCapture_Click();
        m_dialog = m_main.findChild<tf::frmCapture*>();
        if (!m_dialog) return finish("no capture dialog");
        after(m_dialog, QEvent::Paint, [this] { dialogShown(); });
    }

    void dialogShown()
    {
        m_dialogRect = m_dialog->geometry();
        m_mainRect = m_main.geometry();
        m_mainFrame = m_main.frameGeometry();
        // The dialog is on the screen before the capture, or the test would prove nothing.
        const QImage before = grab(QString("%1-%2-before").arg(m_mode).arg(m_round));
        if (before.pixelColor(m_dialogRect.center()) == kMain) return finish("the dialog is not on the screen");
        const int index = m_mode == "desktop" ? 0 : m_mode == "background" ? 2 : 1;
        m_dialog->findChild<QRadioButton*>(QString("optCapture%1").arg(index))->click();
        if (m_mode == "region") {
            tf::fCaptureRectangle* picker = m_acquire->capture().picker();
            after(picker, QEvent::Paint, [this, picker] { pickerShown(picker); });
            m_dialog->findChild<QPushButton*>("CmdCustom")->click();
        } else {
            m_dialog->findChild<QPushButton*>("cmdCapture")->click();
        }
    }

    void captured(const QImage& picture)
    {
        step(m_mode + " capture");
        grab(m_mode + "-after");
        if (qEnvironmentVariableIsSet("TF_SCENE_SHOTS"))
            picture.save(QDir(qEnvironmentVariable("TF_SCENE_SHOTS")).filePath(m_mode + "-captured.png"));
        // Nothing of ours lies at the bottom right corner: what the root shows.
        const QColor root = picture.pixelColor(picture.width() - 1, picture.height() - 1);
        int wrong = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QPoint at(x, y);
                const QColor c = picture.pixelColor(at);
                if (m_mode == "foreground" && m_mainRect.contains(at))
                    wrong += c != kMain;
                else if (m_mode != "foreground" || !m_mainFrame.contains(at))
                    wrong += c != root;
            }
        if (root == kMain) fail("the main window covers the corner");
        if (!m_main.isVisible() || !m_main.isMaximized()) fail("the main window is not back maximised");
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
        // A drag of the real pointer draws a rectangle on the picker.
        after(picker, QEvent::MouseButtonRelease, [this, picker] { dragged(picker); });
        fakeInput(XCB_MOTION_NOTIFY, 0, 200, 150);
        fakeInput(XCB_BUTTON_PRESS, 1);
        fakeInput(XCB_MOTION_NOTIFY, 0, 260, 220);
        fakeInput(XCB_MOTION_NOTIFY, 0, 300, 250);
        fakeInput(XCB_BUTTON_RELEASE, 1);
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
        if (!m_main.isVisible()) fail("the main window is not back");
        if (++m_round < 3) {
            // From a normal-size window again, as a user starts.
            m_main.showNormal();
            m_main.setGeometry(60, 40, 520, 400);
            QTimer::singleShot(0, qApp, [this] { openDialog(); });
            return;
        }
        finish(nullptr);
    }

    void finish(const char* error)
    {
        if (error) fail(error);
        QTimer::singleShot(0, qApp, [] { QApplication::exit(g_failures ? 1 : 0); });
    }

    bool m_wm;
    QString m_mode;
    QTemporaryDir m_folder;
    QWidget m_main;
    tf::basket::BasketModel m_basket;
    tf::ImageList m_images{QSize(64, 64)};
    std::unique_ptr<tf::AcquireController> m_acquire;
    tf::frmCapture* m_dialog = nullptr;
    QRect m_dialogRect, m_mainRect, m_mainFrame;
    int m_round = 0;
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
            fail("no end within two minutes");
            QApplication::exit(1);
        });
        limit.start(120000);
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
