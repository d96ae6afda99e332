#include "acquire/ScannerProgram.h"

#include "acquire/SaneDevice.h"
#include "platform/decode/decode_wire.h"
#include "platform/sys/spawnchild.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tf {

namespace wire = decode::wire;

namespace {

// Room for the largest page a scanner sends (1 GiB of pixels) and its header.
constexpr quint32 kMaxPayload = (quint32(1) << 30) + 4096;

struct Settings {
    std::mutex mutex;
    QString program;
    std::chrono::milliseconds limit = kDefaultScannerTimeLimit;
    std::map<QString, int> busy;   // device -> scanner processes alive for it
    std::map<QString, QString> labels; // device -> vendor and model, from the last listing
};

// Never destroyed: a reaper may still use it while the program ends.
Settings& settings()
{
    static auto* s = new Settings;
    return *s;
}

wire::Deadline deadlineFromNow() { return wire::Clock::now() + scannerTimeLimit(); }

} // namespace

void setScannerProgram(const QString& path)
{
    const std::lock_guard lock(settings().mutex);
    settings().program = path;
}

QString scannerProgram()
{
    {
        const std::lock_guard lock(settings().mutex);
        if (!settings().program.isEmpty()) return settings().program;
    }
    const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                     : QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    return QDir(dir).filePath(QString::fromLatin1(kScannerProgramName));
}

void setScannerTimeLimit(std::chrono::milliseconds limit)
{
    const std::lock_guard lock(settings().mutex);
    settings().limit = std::max(limit, std::chrono::milliseconds(1));
}

std::chrono::milliseconds scannerTimeLimit()
{
    const std::lock_guard lock(settings().mutex);
    return settings().limit;
}

bool scannerBusy(const QString& device)
{
    const std::lock_guard lock(settings().mutex);
    const auto it = settings().busy.find(device);
    return it != settings().busy.end() && it->second > 0;
}

QString scannerDisplayName(const QString& device)
{
    const std::lock_guard lock(settings().mutex);
    const auto it = settings().labels.find(device);
    if (it == settings().labels.end() || it->second.isEmpty()) return device;
    return it->second + QStringLiteral(" (") + device + QLatin1Char(')');
}

// ---------------------------------------------------------------- messages

QByteArray encodeImage(const QImage& image)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << qint32(image.width()) << qint32(image.height()) << qint32(image.format()) << qint32(image.dotsPerMeterX())
      << qint32(image.dotsPerMeterY()) << image.colorTable();
    const qsizetype row = image.bytesPerLine();
    for (int y = 0; y < image.height(); ++y) out.append(reinterpret_cast<const char*>(image.constScanLine(y)), row);
    return out;
}

QImage decodeImage(const QByteArray& payload)
{
    QDataStream s(payload);
    qint32 w = 0, h = 0, format = 0, dpmX = 0, dpmY = 0;
    QList<QRgb> colours;
    s >> w >> h >> format >> dpmX >> dpmY >> colours;
    if (s.status() != QDataStream::Ok || w <= 0 || h <= 0 || format <= QImage::Format_Invalid ||
        format >= QImage::NImageFormats || colours.size() > 256)
        return {};
    QImage image(w, h, QImage::Format(format));
    if (image.isNull()) return {};
    const qsizetype at = s.device()->pos();
    if (payload.size() - at != image.bytesPerLine() * qsizetype(h)) return {};
    std::memcpy(image.bits(), payload.constData() + at, size_t(image.sizeInBytes()));
    image.setColorTable(colours);
    image.setDotsPerMeterX(dpmX);
    image.setDotsPerMeterY(dpmY);
    return image;
}

QByteArray encodeChoices(const std::vector<ScannerChoice>& choices)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << qint32(choices.size());
    for (const ScannerChoice& c : choices) s << c.name << c.values << c.current;
    return out;
}

std::vector<ScannerChoice> decodeChoices(const QByteArray& payload)
{
    QDataStream s(payload);
    qint32 count = 0;
    s >> count;
    std::vector<ScannerChoice> choices;
    for (qint32 i = 0; i < count && i < 16 && s.status() == QDataStream::Ok; ++i) {
        ScannerChoice c;
        s >> c.name >> c.values >> c.current;
        if (s.status() == QDataStream::Ok) choices.push_back(std::move(c));
    }
    return choices;
}

// ---------------------------------------------------------------- the program's side

struct ScannerProcess::Child {
    std::mutex mutex; // between cancel() and kill() on any thread and the owner
    pid_t pid = 0;
    int socket = -1;
    int wake = -1; // readable once the scan is cancelled: a next() waiting on the socket comes back
    QString device;
    bool registered = false;
    bool reaping = false; // a reaper thread owns the socket and the process now
    bool cancelled = false; // guarded by mutex

    ~Child()
    {
        if (wake >= 0) ::close(wake);
    }

    void unregister()
    {
        const std::lock_guard lock(settings().mutex);
        if (!registered) return;
        registered = false;
        if (--settings().busy[device] <= 0) settings().busy.erase(device);
    }
    // Waits for the process to end, killing it when it has not by `deadline`.
    void reap(wire::Deadline deadline)
    {
        char sink[4096];
        for (;;) {
            const wire::Io io = wire::readExact(socket, sink, sizeof sink, deadline);
            if (io == wire::Io::Ok) continue;
            if (io != wire::Io::Closed) {
                const std::lock_guard lock(mutex);
                ::kill(pid, SIGKILL);
            }
            break;
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        {
            const std::lock_guard lock(mutex);
            pid = 0;
            ::close(socket);
            socket = -1;
        }
        unregister();
    }
};

namespace {

// Gives the process until `deadline` to end, then kills it, on a thread of its own: a process
// stuck in the kernel may take its time to die, and the window never waits for it. Its device
// stays busy until it is gone.
void reapAside(const std::shared_ptr<ScannerProcess::Child>& child, wire::Deadline deadline)
{
    child->reaping = true;
    std::thread([child, deadline] { child->reap(deadline); }).detach();
}

} // namespace

namespace {

enum class Read { Ok, Closed, TimedOut, Failed, Cancelled };

// Reads `size` bytes by `deadline`, unless `wake` becomes readable first.
Read readOrWake(int socket, int wake, char* data, size_t size, wire::Deadline deadline)
{
    while (size > 0) {
        pollfd fds[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - wire::Clock::now()).count();
            timeout = int(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
        }
        const int ready = ::poll(fds, wake >= 0 ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Read::Failed;
        }
        if (ready == 0) return Read::TimedOut;
        if (fds[1].revents) return Read::Cancelled;
        const ssize_t n = ::read(socket, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
        } else if (n == 0 || errno == ECONNRESET || errno == EPIPE) {
            return Read::Closed;
        } else if (errno != EINTR && errno != EAGAIN) {
            return Read::Failed;
        }
    }
    return Read::Ok;
}

} // namespace

ScannerProcess::ScannerProcess() = default;

ScannerProcess::~ScannerProcess()
{
    if (!m_child || m_child->pid <= 0 || m_child->reaping) return;
    // A process that still has to close its device gets the time limit to do so.
    reapAside(m_child, deadlineFromNow());
}

bool ScannerProcess::start(const QString& device, const QStringList& arguments, QString* why)
{
    const auto fail = [&](const QString& text) {
        if (why) *why = text;
        return false;
    };
    if (m_child) return fail(QStringLiteral("a scanner process is running"));
    auto child = std::make_shared<Child>();
    child->device = device;
    if (!device.isEmpty()) {
        const std::lock_guard lock(settings().mutex);
        int& count = settings().busy[device];
        if (count > 0) return fail(QStringLiteral("The scanner %1 is still busy.").arg(device));
        ++count;
        child->registered = true;
    }
    const QString program = scannerProgram();
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments) args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int socket = -1;
    if (const int rc = spawnOnSocket(argv.data(), &socket, &pid); rc != 0) {
        child->unregister();
        return fail(QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(std::strerror(rc))));
    }
    child->pid = pid;
    child->socket = socket;
    child->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_child = std::move(child);
    return true;
}

ScannerProcess::Got ScannerProcess::next(char& kind, QByteArray& payload)
{
    if (!m_child || m_child->reaping || m_child->socket < 0) return Got::Ended;
    const Child& c = *m_child;
    const auto ended = [&](Read io) {
        switch (io) {
        case Read::TimedOut:
            kill();
            reapAside(m_child, std::nullopt);
            return Got::TimedOut;
        case Read::Cancelled:
            // What the process still sends is read by the reaper, which gives it the time limit
            // to close the device.
            reapAside(m_child, deadlineFromNow());
            return Got::Cancelled;
        default:
            // The process closed its end: it is ending.
            reapAside(m_child, deadlineFromNow());
            return Got::Ended;
        }
    };
    {
        const std::lock_guard lock(m_child->mutex);
        if (m_child->cancelled) return ended(Read::Cancelled);
    }
    char header[5];
    Read io = readOrWake(c.socket, c.wake, header, sizeof header, deadlineFromNow());
    if (io != Read::Ok) return ended(io);
    quint32 length = 0;
    std::memcpy(&length, header + 1, sizeof length);
    if (length > kMaxPayload) {
        kill();
        reapAside(m_child, std::nullopt);
        return Got::Ended;
    }
    kind = header[0];
    payload.resize(qsizetype(length));
    io = readOrWake(c.socket, c.wake, payload.data(), length, deadlineFromNow());
    if (io != Read::Ok) return ended(io);
    return Got::Message;
}

bool ScannerProcess::waitClosed()
{
    char kind = 0;
    QByteArray payload;
    switch (next(kind, payload)) {
    case Got::TimedOut: return false;
    // The reaper holds the device until the process has closed it.
    case Got::Cancelled: return true;
    case Got::Message:
    case Got::Ended: break;
    }
    if (m_child) m_child->unregister();
    return true;
}

void ScannerProcess::closeAside()
{
    if (!m_child || m_child->reaping) return;
    reapAside(m_child, deadlineFromNow());
}

void ScannerProcess::cancel()
{
    if (!m_child) return;
    const std::lock_guard lock(m_child->mutex);
    m_child->cancelled = true;
    if (m_child->socket >= 0) {
        const char c = scanmsg::kCancel;
        [[maybe_unused]] const ssize_t n = ::send(m_child->socket, &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    if (m_child->wake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_child->wake, &one, sizeof one);
    }
}

void ScannerProcess::kill()
{
    if (!m_child) return;
    const std::lock_guard lock(m_child->mutex);
    if (m_child->pid > 0) ::kill(m_child->pid, SIGKILL);
}

// A question put to a scanner program: its answers up to its end message, and the device given
// back once it closed it.
namespace {

bool ask(const QString& device, const QStringList& arguments, const std::function<void(char, const QByteArray&)>& take,
         QString* why)
{
    ScannerProcess process;
    if (!process.start(device, arguments, why)) return false;
    const QString named = device.isEmpty() ? QStringLiteral("SANE") : scannerDisplayName(device);
    char kind = 0;
    QByteArray payload;
    bool ok = true;
    for (;;) {
        switch (process.next(kind, payload)) {
        case ScannerProcess::Got::TimedOut:
            if (why) *why = QStringLiteral("The scanner %1 did not answer within %2 seconds.")
                                .arg(named)
                                .arg(scannerTimeLimit().count() / 1000.0);
            return false;
        case ScannerProcess::Got::Ended:
        case ScannerProcess::Got::Cancelled:
            if (ok && why) *why = QStringLiteral("The scanner program ended without an answer.");
            return false;
        case ScannerProcess::Got::Message: break;
        }
        if (kind == scanmsg::kEnd) {
            QDataStream s(payload);
            qint32 end = 0;
            QString text;
            s >> end >> text;
            if (ScanEnd(end) != ScanEnd::Done) {
                ok = false;
                if (why) *why = text;
            }
            if (!process.waitClosed()) {
                if (why) *why = QStringLiteral("The scanner %1 did not answer within %2 seconds.")
                                    .arg(named)
                                    .arg(scannerTimeLimit().count() / 1000.0);
                return false;
            }
            return ok;
        }
        if (kind != scanmsg::kAlive) take(kind, payload);
    }
}

} // namespace

bool listScanners(QStringList& names, QStringList& labels, QString* why)
{
    names.clear();
    labels.clear();
    const bool ok = ask({}, {QStringLiteral("devices")}, [&](char kind, const QByteArray& payload) {
        if (kind != scanmsg::kDevices) return;
        QDataStream s(payload);
        s >> names >> labels;
    }, why);
    if (labels.size() != names.size()) labels = names;
    const std::lock_guard lock(settings().mutex);
    for (int i = 0; i < names.size(); ++i) settings().labels[names[i]] = labels[i];
    return ok;
}

bool readScannerChoices(const QString& device, std::vector<ScannerChoice>& choices, QString* why)
{
    choices.clear();
    return ask(device, {QStringLiteral("choices"), device}, [&](char kind, const QByteArray& payload) {
        if (kind == scanmsg::kChoices) choices = decodeChoices(payload);
    }, why);
}

// ---------------------------------------------------------------- the scanner program

namespace {

constexpr int kSocket = 0;

bool send(char kind, const QByteArray& payload)
{
    char header[5];
    header[0] = kind;
    const quint32 length = quint32(payload.size());
    std::memcpy(header + 1, &length, sizeof length);
    return wire::writeExact(kSocket, header, sizeof header, std::nullopt) == wire::Io::Ok &&
           wire::writeExact(kSocket, payload.constData(), size_t(payload.size()), std::nullopt) == wire::Io::Ok;
}

void sendEnd(ScanEnd end, const QString& text = {})
{
    QByteArray payload;
    QDataStream s(&payload, QIODevice::WriteOnly);
    s << qint32(end) << text;
    send(scanmsg::kEnd, payload);
}

// The value closest to `current` among numbers, or the first value.
QString nearest(const QStringList& values, const QString& current)
{
    bool ok = false;
    const double wanted = current.toDouble(&ok);
    QString best = values.value(0);
    if (!ok) return best;
    double distance = -1;
    for (const QString& v : values) {
        bool number = false;
        const double d = std::abs(v.toDouble(&number) - wanted);
        if (number && (distance < 0 || d < distance)) {
            distance = d;
            best = v;
        }
    }
    return best;
}

int listDevices()
{
    QStringList labels;
    const QStringList names = SaneDevice::devices(&labels);
    QByteArray payload;
    QDataStream s(&payload, QIODevice::WriteOnly);
    s << names << labels;
    send(scanmsg::kDevices, payload);
    sendEnd(ScanEnd::Done);
    return 0;
}

int describe(const QString& device)
{
    SaneDevice sane;
    QString error;
    if (!sane.open(device, &error)) {
        sendEnd(ScanEnd::Failed, error);
        return 0;
    }
    std::vector<ScannerChoice> choices;
    for (const char* name : {"source", "mode", "resolution"}) {
        ScannerChoice c;
        c.name = QString::fromLatin1(name);
        c.values = sane.optionValues(c.name);
        if (c.values.isEmpty()) continue;
        c.current = sane.optionText(c.name);
        // A default outside what the device lists (a backend set up without its configuration
        // file) is shown as the listed value closest to it.
        if (!c.values.contains(c.current)) c.current = nearest(c.values, c.current);
        choices.push_back(std::move(c));
    }
    send(scanmsg::kChoices, encodeChoices(choices));
    sendEnd(ScanEnd::Done);
    sane.close();
    send(scanmsg::kAlive, {}); // the device is closed
    return 0;
}

// The program's end of the socket, watched for the whole life of this process: a cancel byte
// stops the scan; the socket's closing (the program ended or was killed) stops it too, and ends
// this process a few seconds later whatever SANE call it is in, so that no scanner program
// outlives the program for long.
constexpr auto kOrphanGrace = std::chrono::seconds(5);

struct ProgramWatch {
    std::mutex lock;
    bool stopped = false;
    std::function<void()> onStop;
};

// Never destroyed: the watching thread may wake while the program ends.
ProgramWatch& watch()
{
    static auto* w = new ProgramWatch;
    return *w;
}

void stopRequested()
{
    std::function<void()> handler;
    {
        const std::lock_guard guard(watch().lock);
        if (watch().stopped) return;
        watch().stopped = true;
        handler = watch().onStop;
    }
    // On a thread of its own: a backend that does not come back from its cancel must not keep the
    // socket from being watched.
    if (handler) std::thread(handler).detach();
}

// `handler` runs once when the scan is to stop: at once when it already is.
void whenStopped(std::function<void()> handler)
{
    bool now = false;
    {
        const std::lock_guard guard(watch().lock);
        watch().onStop = handler;
        now = watch().stopped;
    }
    if (now) handler();
}

void watchProgram()
{
    std::thread([] {
        char bytes[64];
        for (;;) {
            const ssize_t n = ::read(kSocket, bytes, sizeof bytes);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            if (std::memchr(bytes, scanmsg::kCancel, size_t(n))) stopRequested();
        }
        stopRequested();
        std::this_thread::sleep_for(kOrphanGrace);
        // Not exit(): the backend's own clean-up could hang as its calls did.
        ::_exit(3);
    }).detach();
}

int scan(const QString& device, const std::vector<std::pair<QString, QString>>& options)
{
    // Never destroyed: a cancel on its own thread may still use it while the program ends.
    struct Shared {
        SaneDevice sane;
        std::mutex lock;
        bool live = false, stopped = false;
    };
    auto* shared = new Shared;
    SaneDevice& sane = shared->sane;
    std::mutex& lock = shared->lock;
    bool& live = shared->live;
    bool& stopped = shared->stopped;
    whenStopped([shared] {
        const std::lock_guard guard(shared->lock);
        shared->stopped = true;
        if (shared->live) shared->sane.cancel();
    });
    auto lastSign = wire::Clock::now();
    sane.setProgress([&] {
        // A sign of life now and then, however quickly the backend answers.
        const auto now = wire::Clock::now();
        if (now - lastSign < std::chrono::milliseconds(200)) return;
        lastSign = now;
        send(scanmsg::kAlive, {});
    });
    const auto finish = [&](ScanEnd end, const QString& text) {
        sendEnd(end, text);
        {
            const std::lock_guard guard(lock);
            live = false;
        }
        sane.close();
        send(scanmsg::kAlive, {}); // the device is closed
        return 0;
    };
    QString error;
    if (!sane.open(device, &error)) return finish(ScanEnd::Failed, error);
    send(scanmsg::kAlive, {});
    bool stoppedWhileOpening = false;
    {
        const std::lock_guard guard(lock);
        live = true;
        stoppedWhileOpening = stopped;
    }
    // Outside the lock: finishing takes it again.
    if (stoppedWhileOpening) return finish(ScanEnd::Cancelled, {});
    for (const auto& [name, value] : options) {
        if (!sane.setOption(name, value, &error)) return finish(ScanEnd::Failed, error);
        send(scanmsg::kAlive, {});
    }
    const bool feeder = sane.isFeeder();
    for (int images = 0;; ++images) {
        // Anything but a feeder gives one image per acquisition.
        if (images > 0 && !feeder) return finish(ScanEnd::Done, {});
        QImage image;
        switch (sane.readImage(image, &error)) {
        case SaneDevice::Read::Image: break;
        case SaneDevice::Read::Cancelled: return finish(ScanEnd::Cancelled, {});
        case SaneDevice::Read::NoDocuments: return finish(images == 0 ? ScanEnd::NoDocuments : ScanEnd::Done, {});
        case SaneDevice::Read::Failed: return finish(ScanEnd::Failed, QStringLiteral("Scanning stopped: ") + error);
        }
        if (!send(scanmsg::kImage, encodeImage(image))) return finish(ScanEnd::Cancelled, {});
    }
}

} // namespace

int runScannerProgram(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    watchProgram();
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i) a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    const QString command = args.value(0);
    if (command == QLatin1String("devices")) return listDevices();
    if (command == QLatin1String("choices") && args.size() == 2) return describe(args[1]);
    if (command == QLatin1String("scan") && args.size() % 2 == 0) {
        std::vector<std::pair<QString, QString>> options;
        for (int i = 2; i + 1 < args.size(); i += 2) options.emplace_back(args[i], args[i + 1]);
        return scan(args[1], options);
    }
    sendEnd(ScanEnd::Failed, QStringLiteral("The scanner program was asked something it does not know."));
    return 2;
}

} // namespace tf
