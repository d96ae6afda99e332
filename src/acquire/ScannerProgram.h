#pragma once
// SANE runs in a scanner program of ours, one process per question or scan, never in the window's
// process: a backend that stops answering in a read or in cancel would otherwise hold a thread,
// the device and, at the end, the program's exit for good. The program here waits for each answer
// within a time limit and ends a process that does not give one; until such a process has ended,
// its device counts as busy.
//
// The two ends talk over one socket (the scanner program's standard input): the program sends one
// cancel byte; the scanner program sends messages, each a kind byte, a 32-bit length and its
// payload, in the machine's own byte order (both ends are the same build). The scanner program
// watches the socket whatever SANE call it is in: once the program is gone (ended or killed) it
// stops the scan and ends itself a few seconds later.
#include <QImage>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace tf {

// The scanner program's file name, found beside the running executable.
inline constexpr const char* kScannerProgramName = "tavrel-folio-scanner";
// Where scanner programs are started from: a program set here (tests), else kScannerProgramName
// beside the running executable.
void setScannerProgram(const QString& path);
QString scannerProgram();

// How long a backend may take to come back from one call (a read, a cancel, opening the device).
// Long enough for a lamp to warm up before the first line comes.
inline constexpr std::chrono::milliseconds kDefaultScannerTimeLimit{90000};
void setScannerTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds scannerTimeLimit();

// True while a scanner process for `device` is alive (scanning, or still ending after a scan).
bool scannerBusy(const QString& device);

// The choices a device's own dialog offers: its scan source, mode and resolution, each with the
// values the device lists and the one it is set to. Options the device lacks are left out.
struct ScannerChoice {
    QString name;       // the SANE option's name: "source", "mode", "resolution"
    QStringList values; // as texts ("Flatbed", "Color", "300")
    QString current;    // one of `values`
};

// What the scanner program says.
namespace scanmsg {
inline constexpr char kAlive = 'A';   // the backend came back from a call
inline constexpr char kDevices = 'D'; // QStringList of device names, QStringList of their labels
inline constexpr char kChoices = 'O'; // ScannerChoice list
inline constexpr char kImage = 'I';   // one image
inline constexpr char kEnd = 'E';     // qint32 ScanEnd, QString message; nothing follows
inline constexpr char kCancel = 'C';  // from the program: stop the scan
} // namespace scanmsg

enum class ScanEnd : qint32 { Done = 0, NoDocuments = 1, Cancelled = 2, Failed = 3 };

QByteArray encodeImage(const QImage& image);
QImage decodeImage(const QByteArray& payload);
QByteArray encodeChoices(const std::vector<ScannerChoice>& choices);
std::vector<ScannerChoice> decodeChoices(const QByteArray& payload);

// One scanner process, seen from the program. Thread-safe: cancel() may come from any thread while
// another waits in next().
class ScannerProcess {
public:
    ScannerProcess();
    // A process still running is handed to a reaper that gives it the time limit to end and then
    // kills it; its device stays busy until then.
    ~ScannerProcess();
    ScannerProcess(const ScannerProcess&) = delete;
    ScannerProcess& operator=(const ScannerProcess&) = delete;

    // Starts the scanner program with `arguments` for `device` (empty: no device of its own, as in
    // a listing). False with the reason, the device's busy state among them.
    bool start(const QString& device, const QStringList& arguments, QString* why);

    enum class Got { Message, TimedOut, Ended, Cancelled };
    // The next message, waiting at most the time limit for it. TimedOut: the backend did not come
    // back; the process has been killed. Ended: it went away without its end message. Cancelled:
    // cancel() came first; the process is left to end on its own (see closeAside).
    Got next(char& kind, QByteArray& payload);
    // After the end message: waits for the device to be closed (the next message, or the process
    // ending), and gives it back. False when that did not come within the time limit: the process
    // has been killed. A cancel() ends the wait; the device is given back once the process has
    // closed it.
    bool waitClosed();
    // After the end message, without waiting: the process closes the device on its own, and is
    // killed when it has not within the time limit; the device stays busy until then.
    void closeAside();
    // From any thread: asks the scan to stop, and a next() waiting now or later comes back at once
    // (Got::Cancelled). A backend that does not come back from its cancel holds nobody but its
    // device, which stays busy until its process has ended.
    void cancel();
    // Ends the process at once.
    void kill();

    struct Child;

private:
    std::shared_ptr<Child> m_child;
};

// The device's name for messages: its label when SANE gives one, else its name.
QString scannerDisplayName(const QString& device);

// Blocking, for a worker: the devices SANE finds, and the choices of one of them. False with the
// reason (no answer within the time limit, the device busy or failing to open).
bool listScanners(QStringList& names, QStringList& labels, QString* why);
bool readScannerChoices(const QString& device, std::vector<ScannerChoice>& choices, QString* why);

// The scanner program's main: devices | choices <device> | scan <device> [<option> <value>]...
int runScannerProgram(int argc, char** argv);

} // namespace tf
