// A program that starts a scan of one of the stuck test devices, presses Cancel, and then waits to
// be killed, as a user's program may be: the tests look for the scanner program it leaves behind.
// Arguments: the scanner program, the device. Prints one line once the scan is under way (for
// stuck:cancel, once its device has failed).
#include "acquire/ScannerProgram.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    tf::setScannerProgram(QString::fromLocal8Bit(argv[1]));
    const QString device = QString::fromLocal8Bit(argv[2]);
    tf::ScannerProcess process;
    QString why;
    if (!process.start(device, {QStringLiteral("scan"), device}, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const bool untilFailed = device == QLatin1String("stuck:cancel");
    for (;;) {
        char kind = 0;
        QByteArray payload;
        if (process.next(kind, payload) != tf::ScannerProcess::Got::Message) return 1;
        // The device opened: the read follows. Or the device's failure: its cancel follows.
        if (untilFailed ? kind == tf::scanmsg::kEnd : kind == tf::scanmsg::kAlive) break;
    }
    process.cancel();
    std::printf("scanning\n");
    std::fflush(stdout);
    for (;;) ::pause();
}
