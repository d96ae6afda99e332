#include "players/kit/PlayerWindows.h"

#include "controls/modButtonPicture.h"
#include "platform/ui/msgbox.h"
#include "players/kit/ClockFace.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace tf::players {

int showIntervalMs(int seconds) { return std::clamp(seconds, 1, 9) * 1000; }

bool hasSingleBorder(const QByteArray& optionsRecord) { return !optionsRecord.isEmpty() && optionsRecord.at(0) == 1; }

// ---------------------------------------------------------------- the slide show's buttons

namespace {

enum class SlideButton { Previous, Play, Pause, Next, Exit };

constexpr int kGlyph = 24;

// A button's picture: a dark glyph on white, which the button lays over its face. The pressed
// picture is the glyph in blue, one pixel down and to the right, as if pushed in.
QPixmap slideButtonPicture(SlideButton which, bool pressed)
{
    QImage picture(kGlyph, kGlyph, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? QColor(0x10, 0x30, 0x90) : QColor(0x40, 0x40, 0x40));
    if (pressed) p.translate(1, 1);
    const auto triangle = [&](int tipX, int baseX) {
        QPainterPath path;
        path.moveTo(baseX, 4);
        path.lineTo(tipX, 12);
        path.lineTo(baseX, 20);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (which) {
    case SlideButton::Previous:
        p.drawRect(4, 4, 3, 16);
        triangle(7, 19);
        break;
    case SlideButton::Play: triangle(19, 6); break;
    case SlideButton::Pause:
        p.drawRect(6, 4, 4, 16);
        p.drawRect(14, 4, 4, 16);
        break;
    case SlideButton::Next:
        triangle(17, 5);
        p.drawRect(17, 4, 3, 16);
        break;
    case SlideButton::Exit: {
        p.setPen(QPen(p.brush().color(), 3, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(6, 6, 17, 17);
        p.drawLine(17, 6, 6, 17);
        break;
    }
    }
    p.end();
    return QPixmap::fromImage(picture);
}

} // namespace

// ---------------------------------------------------------------- the picture

PictureView::PictureView(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void PictureView::setPicture(const QImage& picture)
{
    m_picture = picture;
    resize(picture.size());
    update();
}

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, m_picture);
}

void PictureView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) emit pressed(e->position().toPoint());
    e->ignore(); // the window sees it too
}

void PictureView::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() & Qt::LeftButton) emit dragged(e->position().toPoint());
    e->ignore();
}

void PictureView::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

// ---------------------------------------------------------------- effect shows

EffectWindow::EffectWindow(const QImage& page, bool endsOnKey, bool border)
    : m_page(page.convertToFormat(QImage::Format_RGB32)), m_picBlank(new PictureView(this)), m_endsOnKey(endsOnKey)
{
    setObjectName(QStringLiteral("frmMain"));
    m_picBlank->setObjectName(QStringLiteral("picBlank"));
    m_picBlank->setPicture(m_page);
    // The border is a line round the picture, and the window grows by it.
    const int frame = border ? 1 : 0;
    if (border) {
        m_picBlank->move(frame, frame);
        setAutoFillBackground(true);
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, Qt::black);
        setPalette(palette);
    }
    setFixedSize(m_page.size() + QSize(2 * frame, 2 * frame));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    connect(m_picBlank, &PictureView::doubleClicked, this, &QWidget::close);
}

void EffectWindow::keyPressEvent(QKeyEvent* e)
{
    if (m_endsOnKey)
        close();
    else
        QWidget::keyPressEvent(e);
}

WateryWindow::WateryWindow(const QImage& page, bool border) : EffectWindow(page, true, border)
{
    // As fast as the eye follows; each tick is one step of every ring.
    m_timer.setInterval(15);
    connect(&m_timer, &QTimer::timeout, this, &WateryWindow::tick);
    connect(m_picBlank, &PictureView::pressed, this, &WateryWindow::addDrop);
    connect(m_picBlank, &PictureView::dragged, this, &WateryWindow::addDrop);
}

void WateryWindow::addDrop(QPoint at)
{
    if (static_cast<int>(m_drops.size()) >= kMaxDrops) m_drops.erase(m_drops.begin());
    m_drops.push_back({at.x(), at.y()});
    if (!m_timer.isActive()) m_timer.start();
}

void WateryWindow::tick()
{
    QImage work = m_page;
    {
        QPainter p(&work);
        std::uniform_real_distribution<double> extra(0.0, 2.0);
        for (Drop& d : m_drops) {
            // Halves round to even, as the step always has.
            const int step = d.strength + static_cast<int>(std::nearbyint(extra(m_random)));
            for (int a = 0; a <= 360; a += step) {
                const double rad = a * M_PI / 180.0;
                const int px = static_cast<int>(std::nearbyint(d.radius * std::cos(rad) + d.x));
                const int py = static_cast<int>(std::nearbyint(d.radius * std::sin(rad) + d.y));
                p.drawImage(QPoint(px, py), m_page, QRect(px + 2, py + 2, step, step));
            }
            d.radius += 3;
            if (d.strength > 1) --d.strength;
        }
    }
    const int reach = std::max(m_page.width(), m_page.height());
    std::erase_if(m_drops, [reach](const Drop& d) { return d.radius >= reach; });
    if (m_drops.empty()) {
        m_timer.stop();
        work = m_page;
    }
    m_picBlank->setPicture(work);
}

RainingTextWindow::RainingTextWindow(const QImage& page, const EffectExeOptions& options)
    : EffectWindow(page, true), m_color(colorFromOle(options.RollingTextColor))
{
    std::mt19937 random{std::random_device{}()};
    std::uniform_real_distribution<double> r(0.0, 1.0);
    const QString text = QString::fromUtf8(options.RollingText);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        Letter letter;
        letter.text = text.mid(i, n);
        letter.bounce = r(random) * 25 / 100 + 0.2;
        m_letters.push_back(letter);
        i += n - 1;
    }
    m_timer.setInterval(30);
    connect(&m_timer, &QTimer::timeout, this, &RainingTextWindow::tick);
    connect(m_picBlank, &PictureView::pressed, this, &RainingTextWindow::start);
}

void RainingTextWindow::start()
{
    if (m_clock.isValid() || m_letters.empty()) return;
    m_clock.start();
    // One letter after another, a third of a second apart.
    for (size_t i = 0; i < m_letters.size(); ++i) m_letters[i].arcStart = 0.33 * static_cast<double>(i);
    m_timer.start();
}

void RainingTextWindow::tick()
{
    const double now = m_clock.elapsed() / 1000.0;
    const double ground = m_page.height() - 2;
    bool moving = false;
    for (Letter& l : m_letters) {
        if (l.resting) continue;
        moving = true;
        const double t = now - l.arcStart;
        l.y = l.apex + 4.905 * t * t;
        if (t > 0 && l.y >= ground) {
            l.y = ground;
            l.apex += (m_page.height() - l.apex) * l.bounce;
            // Rises from the ground and falls again from the new apex: the arc's top lies ahead.
            l.arcStart = now + std::sqrt(std::max(0.0, ground - l.apex) / 4.905);
            if (ground - l.apex < 1) l.resting = true;
        }
    }
    QImage frame = m_page;
    {
        QPainter p(&frame);
        QFont font(QStringLiteral("Tahoma"));
        font.setPointSize(12);
        p.setFont(font);
        p.setPen(m_color);
        const QFontMetrics metrics(font);
        int total = 0;
        for (const Letter& l : m_letters) total += metrics.horizontalAdvance(l.text);
        int x = (m_page.width() - total) / 2;
        for (const Letter& l : m_letters) {
            // A letter waiting for its first fall is not shown yet.
            if (l.resting || l.apex > 0 || now >= l.arcStart) p.drawText(QPointF(x, l.y), l.text);
            x += metrics.horizontalAdvance(l.text);
        }
    }
    m_picBlank->setPicture(frame);
    if (!moving) m_timer.stop();
}

ClockWindow::ClockWindow(const QImage& page, const EffectExeOptions& options) : EffectWindow(page, true), m_options(options)
{
    m_timer1.setInterval(100);
    connect(&m_timer1, &QTimer::timeout, this, &ClockWindow::tick);
    connect(m_picBlank, &PictureView::pressed, this, [this] { m_chkStop = !m_chkStop; });
    m_timer1.start();
    tick();
}

void ClockWindow::tick()
{
    if (m_chkStop) return;
    m_picBlank->setPicture(drawClock(m_page, QDateTime::currentDateTime(), m_options, QLocale::system()));
}

// ---------------------------------------------------------------- slide show and screen saver

SaverWindow::SaverWindow(std::shared_ptr<OwnShow> show, bool slide)
    : m_show(std::move(show)), m_slide(slide), m_picLoader(new PictureView(this))
{
    m_decoder.setMaxThreadCount(1);
    setObjectName(QStringLiteral("frmMain"));
    m_picLoader->setObjectName(QStringLiteral("PicLoader"));
    m_picLoader->installEventFilter(this);
    const SaverOptions options = m_show->saverOptions();
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colorFromOle(options.BackColor));
    setPalette(palette);
    m_tmrShow.setInterval(showIntervalMs(options.Interval));
    connect(&m_tmrShow, &QTimer::timeout, this, &SaverWindow::next);
    if (m_slide) {
        m_picControls = new QWidget(this);
        m_picControls->setObjectName(QStringLiteral("picControls"));
        auto* bar = new QHBoxLayout(m_picControls);
        const auto button = [&](const char* name, SlideButton which, void (SaverWindow::*slot)()) {
            auto* b = new QPushButton(m_picControls);
            b->setObjectName(QString::fromLatin1(name));
            b->setFocusPolicy(Qt::NoFocus);
            // The picture sits 5 pixels in from the left; as wide again on the right.
            b->setFixedSize(kGlyph + 10, kGlyph + 10);
            const QPixmap normal = slideButtonPicture(which, false), down = slideButtonPicture(which, true);
            subSetButtonPicture(b, normal);
            connect(b, &QPushButton::pressed, b, [b, down] { subSetButtonPicture(b, down); });
            connect(b, &QPushButton::released, b, [b, normal] { subSetButtonPicture(b, normal); });
            connect(b, &QPushButton::clicked, this, slot);
            bar->addWidget(b);
            return b;
        };
        button("cmdPrevious", SlideButton::Previous, &SaverWindow::cmdPrevious_Click);
        m_cmdPlay = button("cmdPlay", SlideButton::Play, &SaverWindow::cmdPlay_Click);
        m_cmdPause = button("cmdPause", SlideButton::Pause, &SaverWindow::cmdPause_Click);
        button("cmdNext", SlideButton::Next, &SaverWindow::cmdNext_Click);
        button("cmdExit", SlideButton::Exit, &SaverWindow::cmdExit_Click);
        m_cmdPlay->hide();
        m_picControls->adjustSize();
    } else {
        setCursor(Qt::BlankCursor);
        setMouseTracking(true);
        m_tmrMMove.setInterval(600);
        connect(&m_tmrMMove, &QTimer::timeout, this, [this] { m_moves = 0; });
        m_tmrMMove.start();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
    setWindowState(Qt::WindowFullScreen);
    subShowImage(0);
    // Without pages there is only the background to show.
    if (m_show->pageCount() > 0) m_tmrShow.start();
}

void SaverWindow::subShowImage(int index)
{
    if (m_ended) return;
    m_tag = index;
    if (m_show->pageCount() == 0) return;
    const quint64 request = ++m_request;
    // A page scanned at 600 dpi takes a good part of a second to decode: the buttons and the
    // timer go on meanwhile. The pool is a member, so the window outlives every decode.
    m_decoder.start([this, request, index, jpeg = m_show->pageBytes(index)] {
        QString cause;
        const QImage picture = decodeShowPage(jpeg, &cause);
        QMetaObject::invokeMethod(
            this, [this, request, index, picture, cause] { onPageDecoded(request, index, picture, cause); },
            Qt::QueuedConnection);
    });
}

void SaverWindow::onPageDecoded(quint64 request, int index, const QImage& picture, const QString& cause)
{
    // A later page was asked for meanwhile: this one is no longer the show's.
    if (request != m_request || m_ended) return;
    if (picture.isNull()) {
        // The screen saver keeps the page before on screen and goes on; the slide show, which
        // someone is watching, says what went wrong and ends.
        if (m_slide) {
            m_ended = true;
            m_tmrShow.stop();
        }
        emit pageRead(index, false);
        if (!m_slide) return;
        MsgBox(QStringLiteral("This slide show cannot show page %1: %2").arg(index + 1).arg(cause), vbCritical);
        close();
        return;
    }
    m_picLoader->setPicture(picture);
    layoutPicture();
    emit pageRead(index, true);
}

void SaverWindow::layoutPicture()
{
    const QSize picture = m_picLoader->size();
    m_picLoader->move(std::max(0, (width() - picture.width()) / 2), std::max(0, (height() - picture.height()) / 2));
    if (m_picControls) {
        m_picControls->move((width() - m_picControls->width()) / 2, height() - m_picControls->height());
        m_picControls->raise();
    }
}

void SaverWindow::resizeEvent(QResizeEvent*) { layoutPicture(); }

void SaverWindow::next()
{
    const int n = m_show->pageCount();
    subShowImage(n == 0 || m_tag + 1 >= n ? 0 : m_tag + 1);
}

void SaverWindow::cmdNext_Click()
{
    if (m_show->pageCount() == 0) return;
    m_tmrShow.stop();
    next();
}

void SaverWindow::cmdPrevious_Click()
{
    if (m_show->pageCount() == 0) return;
    m_tmrShow.stop();
    const int n = m_show->pageCount();
    subShowImage(m_tag - 1 < 0 ? std::max(0, n - 1) : m_tag - 1);
}

void SaverWindow::cmdPause_Click()
{
    m_tmrShow.stop();
    if (m_cmdPause) m_cmdPause->hide();
    if (m_cmdPlay) m_cmdPlay->show();
}

void SaverWindow::cmdPlay_Click()
{
    if (m_cmdPlay) m_cmdPlay->hide();
    if (m_cmdPause) m_cmdPause->show();
    m_tmrShow.start();
}

void SaverWindow::cmdExit_Click()
{
    m_tmrShow.stop();
    close();
}

bool SaverWindow::handleInput(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        close();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
        if (!m_slide) close();
        return !m_slide;
    case QEvent::MouseMove:
        // Only a quick run of moves ends the screen saver: the count starts again every 600 ms.
        if (!m_slide && ++m_moves > 15) close();
        return false;
    default: return false;
    }
}

bool SaverWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picLoader && handleInput(event)) return true;
    return QWidget::eventFilter(watched, event);
}

void SaverWindow::keyPressEvent(QKeyEvent* e)
{
    if (!handleInput(e)) QWidget::keyPressEvent(e);
}
void SaverWindow::mousePressEvent(QMouseEvent* e) { handleInput(e); }
void SaverWindow::mouseDoubleClickEvent(QMouseEvent* e) { handleInput(e); }
void SaverWindow::mouseMoveEvent(QMouseEvent* e) { handleInput(e); }

void SaverWindow::closeEvent(QCloseEvent* e)
{
    m_tmrShow.stop();
    m_tmrMMove.stop();
    unsetCursor();
    QWidget::closeEvent(e);
}

std::unique_ptr<QWidget> makeEffectWindow(PlayerKind kind, const QImage& page, const OwnShow& show)
{
    switch (kind) {
    case PlayerKind::Simple: return std::make_unique<EffectWindow>(page, false, hasSingleBorder(show.package().options));
    case PlayerKind::Watery: return std::make_unique<WateryWindow>(page, hasSingleBorder(show.package().options));
    case PlayerKind::RainingText: return std::make_unique<RainingTextWindow>(page, show.effectOptions());
    case PlayerKind::Clock: return std::make_unique<ClockWindow>(page, show.effectOptions());
    case PlayerKind::Saver:
    case PlayerKind::Slide: break;
    }
    return nullptr;
}

std::unique_ptr<QWidget> makePlayerWindow(PlayerKind kind, std::shared_ptr<OwnShow> show)
{
    switch (kind) {
    case PlayerKind::Saver: return std::make_unique<SaverWindow>(show, false);
    case PlayerKind::Slide: return std::make_unique<SaverWindow>(show, true);
    default: return makeEffectWindow(kind, show->page(0), *show);
    }
}

} // namespace tf::players
