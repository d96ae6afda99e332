// How long the main window takes to show when a killed run left a large journal behind: the
// journal's records name work files and page folders that are long gone, as a damaged or planted
// journal would. Prints the time from the window's making to its first paint, and when the
// clean-up that runs beside it ended. The aim: the window within 1 s, whatever the journal's size.
//   startup_journal_bench [MEGABYTES]      the journal's size (default 50; 0 for none)
#include "app/frmMain.h"
#include "platform/decode/decoder_client.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Writes a dead run's journal of about `megabytes` in the data folder `data`.
bool plantJournal(const QString& data, qint64 megabytes)
{
    QDir().mkpath(data + "/WorkFiles");
    QFile out(data + "/WorkFiles/12345-0000beef.journal");
    if (!out.open(QIODevice::WriteOnly)) return false;
    out.write("tavrel-folio work journal 1\n");
    const QByteArray folder = QFile::encodeName(data + "/gone").toPercentEncoding();
    QByteArray chunk;
    for (int i = 0; chunk.size() < (1 << 20); ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(26, '0');
        chunk += "work " + folder + " .tavrel-folio-" + n + ".tif 2049 " + QByteArray::number(1000 + i) +
                 " 1796651391677101742\n";
        if (i % 8 == 0) chunk += "temp multipage-" + n.right(12) + "\n";
    }
    for (qint64 written = 0; written < (megabytes << 20); written += chunk.size())
        if (out.write(chunk) != chunk.size()) return false;
    return out.flush();
}

// Notes the window's first paint.
class FirstPaint : public QObject {
public:
    QElapsedTimer* since = nullptr;
    qint64 ms = -1;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && ms < 0) ms = since->elapsed();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::currentPath() + "/startup_journal_bench-XXXXXX");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 50;
    if (megabytes < 0 || !plantJournal(home.path() + "/tavrel-folio", megabytes)) {
        std::fprintf(stderr, "usage: startup_journal_bench [MEGABYTES]\n");
        return 2;
    }
    std::printf("a dead run's journal of %lld MB\n", static_cast<long long>(megabytes));

    QElapsedTimer since;
    FirstPaint paint;
    paint.since = &since;
    since.start();
    frmMain window;
    window.installEventFilter(&paint);
    window.resize(1000, 700);
    window.show();
    const qint64 shown = since.elapsed();
    qint64 cleaned = -1;
    QObject::connect(&window, &frmMain::WorkFilesOfDeadRunsRemoved, [&] { cleaned = since.elapsed(); });
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (paint.ms >= 0 && (cleaned >= 0 || window.workFilesOfDeadRunsRemoved())) app.quit();
    });
    check.start(10);
    app.exec();
    std::printf("window shown        %8lld ms\n", static_cast<long long>(shown));
    std::printf("window first paint  %8lld ms\n", static_cast<long long>(paint.ms));
    std::printf("clean-up ended      %8lld ms\n", static_cast<long long>(cleaned));
    return 0;
}
