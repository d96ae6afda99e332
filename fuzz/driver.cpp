#include "fuzz/driver.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/blockingcalls.h"
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace tf;

class DefaultAnswers : public MessageBoxHandler {
public:
    int show(const QString&, int style, const QString&) override { return msgBoxDefaultAnswer(style); }
};

class NoReports : public ErrorReportPresenter {
public:
    void showErrorReport() override {}
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's data and temp folders stay out of the user's home.
    static QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    static QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toUtf8());
    // Qt must not see libFuzzer's options.
    static int argc = 1;
    static char name[] = "tavrel-folio-fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    // The entries call the readers on this thread on purpose: each input is read as a worker would.
    static BlockingCallsAllowed readersHere;
    static DefaultAnswers answers;
    static NoReports reports;
    tf::setMessageBoxHandler(&answers);
    tf::setErrorReportPresenter(&reports);
    return 0;
}

int tf::fuzz::runEntry(QString (*entry)(const QByteArray&), const uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString fault = entry(bytes);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "fuzz entry fault: %s\n", fault.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
