#pragma once
// The players' windows. Every animation runs on a timer of the window's: nothing waits, and a
// window with nothing left to animate stops its timer.
#include "players/kit/PlayerRuntime.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <random>
#include <vector>

class QPushButton;

namespace tf::players {

// How long a page of the slide show or screen saver stays, in milliseconds: 1 to 9 seconds, so
// that a package saying 0, less, or more than a 16-bit timer held can neither spin nor stall.
int showIntervalMs(int seconds);

// The options record's first byte decides the Simple and Watery shows' border: 1 is a single line,
// anything else (it is the low byte of the rolling text's length) none.
bool hasSingleBorder(const QByteArray& optionsRecord);

// Shows one picture at a position; a plain widget so that its clicks reach the window.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

signals:
    void pressed(QPoint at);
    void dragged(QPoint at);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

private:
    QImage m_picture;
};

// The four effect shows: the page in a window of its size in the middle of the screen.
class EffectWindow : public QWidget {
    Q_OBJECT
public:
    EffectWindow(const QImage& page, bool endsOnKey, bool border = false);
    PictureView* picBlank() const { return m_picBlank; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    const QImage m_page;
    PictureView* m_picBlank;

private:
    bool m_endsOnKey;
};

// Ripples spread from where the user clicks or drags.
class WateryWindow : public EffectWindow {
    Q_OBJECT
public:
    explicit WateryWindow(const QImage& page, bool border = false);
    // More drops than this at once add nothing the eye can tell apart; the oldest make room.
    static constexpr int kMaxDrops = 48;
    int liveDrops() const { return static_cast<int>(m_drops.size()); }
    bool animating() const { return m_timer.isActive(); }
    void addDrop(QPoint at);
    void tick();

private:
    struct Drop {
        int x, y;
        int radius = 0;
        int strength = 8;
    };
    std::vector<Drop> m_drops;
    QTimer m_timer;
    std::mt19937 m_random{std::random_device{}()};
};

// The rolling text falls letter by letter onto the page and bounces to rest.
class RainingTextWindow : public EffectWindow {
    Q_OBJECT
public:
    RainingTextWindow(const QImage& page, const EffectExeOptions& options);
    void start();
    bool animating() const { return m_timer.isActive(); }

private:
    struct Letter {
        QString text;
        double apex = 0;   // top of its current arc, in pixels from the top
        double y = 0;
        double arcStart = 0; // seconds, when the arc began (at its apex)
        double bounce = 0.2;
        bool resting = false;
    };
    void tick();
    std::vector<Letter> m_letters;
    QColor m_color;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

class ClockWindow : public EffectWindow {
    Q_OBJECT
public:
    ClockWindow(const QImage& page, const EffectExeOptions& options);
    bool stopped() const { return m_chkStop; }
    void tick();

private:
    EffectExeOptions m_options;
    QTimer m_timer1;
    bool m_chkStop = false;
};

// The slide show and the screen saver: every page full screen in turn.
class SaverWindow : public QWidget {
    Q_OBJECT
public:
    SaverWindow(std::shared_ptr<OwnShow> show, bool slide);
    int shownPage() const { return m_tag; }
    const QImage& shownPicture() const { return m_picLoader->picture(); }
    bool playing() const { return m_tmrShow.isActive(); }
    // The slide show ends at a page it cannot show, once it has said why.
    bool ended() const { return m_ended; }
    int pagesToShow() const { return m_show->pageCount(); }

signals:
    // The page the show is at has been read: shown, or (shown false) left out.
    void pageRead(int index, bool shown);

public:
    int tmrShowInterval() const { return m_tmrShow.interval(); }
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdExit_Click();

protected:
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void subShowImage(int index);
    void onPageDecoded(quint64 request, int index, const QImage& picture, const QString& cause);
    void layoutPicture();
    void next();
    bool handleInput(QEvent* event);
    std::shared_ptr<OwnShow> m_show;
    const bool m_slide;
    PictureView* m_picLoader;
    QWidget* m_picControls = nullptr;
    QPushButton* m_cmdPlay = nullptr;
    QPushButton* m_cmdPause = nullptr;
    QTimer m_tmrShow;
    QTimer m_tmrMMove;
    int m_tag = 0;
    int m_moves = 0;
    bool m_ended = false;
    // Pages are decoded beside the window, one at a time; only the latest asked for is shown.
    quint64 m_request = 0;
    QThreadPool m_decoder;
};

std::unique_ptr<QWidget> makePlayerWindow(PlayerKind kind, std::shared_ptr<OwnShow> show);
// An effect show's window for the page already read from `show`.
std::unique_ptr<QWidget> makeEffectWindow(PlayerKind kind, const QImage& page, const OwnShow& show);

} // namespace tf::players
