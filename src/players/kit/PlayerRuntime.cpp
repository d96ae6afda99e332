#include "players/kit/PlayerRuntime.h"

#include "platform/imagebox/picture_geometry.h"
#include "platform/imagebox/picture_limits.h"
#include "platform/ui/msgbox.h"
#include "players/kit/PlayerWindows.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QTextStream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace tf::players {

StartMode startMode(const QStringList& arguments, PlayerKind kind)
{
    const QString first = arguments.isEmpty() ? QStringLiteral("/S") : arguments.first().left(2).toUpper();
    if (first == QLatin1String("/S")) return StartMode::Show;
    if (first == QLatin1String("/C")) return StartMode::Configure;
    if (first == QLatin1String("/P") && kind == PlayerKind::Saver) return StartMode::Show;
    return StartMode::End;
}

OptionsKind optionsKind(PlayerKind kind)
{
    return kind == PlayerKind::Saver || kind == PlayerKind::Slide ? OptionsKind::Saver : OptionsKind::Effect;
}

bool OwnShow::openOwnProgram(OptionsKind kind)
{
    // The link names the running file itself: a renamed copy, or one started through a link,
    // still reads its own bytes.
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return load(kind);
}

bool OwnShow::openFile(const QString& path, OptionsKind kind)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::ReadOnly) && load(kind);
}

bool OwnShow::load(OptionsKind kind)
{
    struct stat st {};
    if (::fstat(m_file.handle(), &st) != 0) return false;
    std::optional<Package> package = readPackage(m_file, st.st_size, kind, &m_damage);
    if (!package) return false;
    m_package = std::move(*package);
    return true;
}

QImage decodeShowPage(const QByteArray& jpeg, QString* cause)
{
    const auto fail = [cause](const QString& why) {
        if (cause) *cause = why;
        return QImage();
    };
    if (jpeg.isEmpty()) return fail(QStringLiteral("The page could not be read from the show's file."));
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "JPEG");
    reader.setAutoTransform(false);
    // Qt's own limit refuses an A4 page scanned at 600 dpi in colour; the builders wrote every
    // page the program reads, so the show takes them all, and stops where the program stops.
    reader.setAllocationLimit(static_cast<int>(maxPicturePixels() * 4 / (1024 * 1024)));
    const QSize size = reader.size();
    if (size.isValid() && !pictureSizeAllowed(size.width(), size.height()))
        return fail(QStringLiteral("The page is too large to be shown (%1 x %2 pixels).").arg(size.width()).arg(size.height()));
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) return fail(QStringLiteral("The page's picture is damaged."));
    return picture;
}

QImage OwnShow::page(int index, QString* cause)
{
    if (index < 0 || index >= pageCount()) {
        if (cause) *cause = pageCount() == 0 ? QStringLiteral("The show holds no page.") : QStringLiteral("The show holds no such page.");
        return {};
    }
    return decodeShowPage(readItem(m_file, m_package.items[index]), cause);
}

QByteArray OwnShow::pageBytes(int index)
{
    if (index < 0 || index >= pageCount()) return {};
    return readItem(m_file, m_package.items[index]);
}

EffectExeOptions OwnShow::effectOptions() const
{
    return unpackEffectOptions(m_package.options).value_or(EffectExeOptions{});
}

SaverOptions OwnShow::saverOptions() const
{
    return unpackSaverOptions(m_package.options).value_or(SaverOptions{});
}

namespace {

const char* kindName(PlayerKind kind)
{
    switch (kind) {
    case PlayerKind::Simple: return "simple";
    case PlayerKind::Watery: return "watery";
    case PlayerKind::RainingText: return "rainingtext";
    case PlayerKind::Clock: return "clock";
    case PlayerKind::Saver: return "saver";
    case PlayerKind::Slide: return "slide";
    }
    return "";
}

bool isEffect(PlayerKind kind) { return kind != PlayerKind::Saver && kind != PlayerKind::Slide; }

// For the tests of built shows: what the player found, instead of its window.
void dump(OwnShow& show, PlayerKind kind)
{
    QTextStream out(stdout);
    out << "player " << kindName(kind) << "\nitems " << show.pageCount() << '\n';
    for (int i = 0; i < show.pageCount(); ++i) {
        const PlayerItem& item = show.package().items[i];
        QString cause;
        const QImage page = show.page(i, &cause);
        out << "item " << i << ' ' << item.name << ' ' << item.offset << ' ' << item.size << ' ' << page.width() << 'x'
            << page.height() << '\n';
        if (page.isNull()) out << "unreadable " << cause << '\n';
    }
    if (isEffect(kind)) {
        const EffectExeOptions o = show.effectOptions();
        out << "text " << QString::fromUtf8(o.RollingText) << "\nclock " << o.ClockType << " date " << o.ShowDate
            << " colours " << o.RollingTextColor << ' ' << o.DateColor << ' ' << o.DigitalClockColor << ' '
            << o.HourHandColor << ' ' << o.MinuteHandColor << ' ' << o.SecondHandColor << '\n';
    } else {
        const SaverOptions o = show.saverOptions();
        out << "background " << o.BackColor << " interval " << o.Interval << '\n';
    }
}

// One running copy of a show per user: a second start of the same file ends at once. The lock
// lives in the user's private runtime folder; without one no lock is taken (a fixed name in the
// shared temp folder is no place for it), and every start shows.
struct FirstCopy {
    std::unique_ptr<QLockFile> lock;
    bool first = true;
};

FirstCopy firstCopy()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) return {};
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QByteArray key = QCryptographicHash::hash(exe.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    FirstCopy copy;
    copy.lock = std::make_unique<QLockFile>(QDir(dir).filePath(QStringLiteral("tavrel-folio-show-") +
                                                               QString::fromLatin1(key) + QStringLiteral(".lock")));
    copy.first = copy.lock->tryLock(0);
    return copy;
}

// While a show is dumped, its messages are printed instead of shown.
class PrintedMessages : public MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        QTextStream(stdout) << "message " << prompt << '\n';
        return msgBoxDefaultAnswer(style);
    }
};

// What a player whose show could not be opened says before it ends: the slide show names what is
// wrong with a damaged package; a file without one, and every other player, end quietly.
void reportUnopenedShow(PlayerKind kind, const OwnShow& show)
{
    if (kind != PlayerKind::Slide || show.damage().isEmpty()) return;
    MsgBox(QStringLiteral("This slide show cannot be shown: ") + show.damage(), vbCritical);
}

} // namespace

int runPlayer(int argc, char** argv, PlayerKind kind)
{
    QApplication app(argc, argv);
    const bool dumping = qEnvironmentVariableIntValue("FOLIO_PLAYER_DUMP") == 1;
    PrintedMessages printed;
    if (dumping) setMessageBoxHandler(&printed);
    const FirstCopy copy = dumping ? FirstCopy{} : firstCopy();
    if (!copy.first) return 0;
    switch (startMode(app.arguments().mid(1), kind)) {
    case StartMode::End: return 0;
    case StartMode::Configure:
        MsgBox(QStringLiteral("No Configurations Can Be Made."), vbExclamation, QStringLiteral("Config"));
        return 0;
    case StartMode::Show: break;
    }
    auto show = std::make_shared<OwnShow>();
    if (!show->openOwnProgram(optionsKind(kind))) {
        if (dumping) QTextStream(stdout) << (show->damage().isEmpty() ? "no package\n" : "damaged package\n");
        reportUnopenedShow(kind, *show);
        return 0;
    }
    if (dumping) dump(*show, kind);
    std::unique_ptr<QWidget> window;
    if (isEffect(kind)) {
        // A greeting without its page has nothing to draw on; the one who opened it hears why.
        QString cause;
        const QImage page = show->page(0, &cause);
        if (page.isNull()) {
            MsgBox(QStringLiteral("This greeting cannot be shown: ") + cause, vbCritical);
            return 0;
        }
        window = makeEffectWindow(kind, page, *show);
    } else {
        window = makePlayerWindow(kind, show);
    }
    if (dumping) {
        // What would be on screen, for the tests of built shows: the window and the page it opened
        // with, once that page has been read.
        QTextStream(stdout) << "window " << window->width() << 'x' << window->height() << '\n';
        auto* saver = qobject_cast<SaverWindow*>(window.get());
        if (!saver || saver->pagesToShow() == 0) return 0;
        QObject::connect(saver, &SaverWindow::pageRead, &app, [saver](int index, bool shown) {
            if (shown)
                QTextStream(stdout) << "shown " << index << ' ' << saver->shownPicture().width() << 'x'
                                    << saver->shownPicture().height() << '\n';
            QCoreApplication::quit();
        });
        return app.exec();
    }
    window->show();
    return app.exec();
}

} // namespace tf::players
