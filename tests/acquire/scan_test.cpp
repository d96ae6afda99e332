#include "acquire/AcquiredPages.h"
#include "acquire/SaneDevice.h"
#include "acquire/ScanJob.h"
#include "acquire/ScannerProgram.h"
#include "support/doctools.h"
#include "support/processes.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <cstring>
#include <unistd.h>

namespace tf {
namespace {

// SANE reads its configuration once per process, so the private one naming only the test backend
// is in place before any test runs.
const bool kSaneConfigured = [] {
    static QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("dll.conf")));
    if (!conf.open(QIODevice::WriteOnly) || conf.write("test\n") < 0) return false;
    conf.close();
    // The backend's own settings as the system ships them (without them it scans colour as 1x1).
    QFile::copy(QStringLiteral("/etc/sane.d/test.conf"), dir.filePath(QStringLiteral("test.conf")));
    setScannerProgram(QStringLiteral(TF_SCANNER_PROGRAM));
    return setenv("SANE_CONFIG_DIR", dir.path().toLocal8Bit().constData(), 1) == 0;
}();

SaneFrame frame(SANE_Frame format, int depth, int ppl, int bpl, int lines, const QByteArray& data, bool last = true)
{
    SaneFrame f;
    f.params = {format, last ? SANE_TRUE : SANE_FALSE, bpl, ppl, lines, depth};
    f.data = data;
    return f;
}

QByteArray words(std::initializer_list<quint16> values)
{
    QByteArray b;
    for (quint16 v : values) b.append(reinterpret_cast<const char*>(&v), 2); // host order, as SANE sends
    return b;
}

TEST(SaneFrames, PicturesFromEveryFrameKind)
{
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    struct Case {
        const char* what;
        std::vector<SaneFrame> frames;
        QSize size;
        QPoint at;
        QRgb pixel;
    } cases[] = {
        // 1 is black; a padding byte per row is skipped
        {"line art", {frame(SANE_FRAME_GRAY, 1, 3, 2, 2, QByteArray("\xA0\xFF\x40\xFF", 4))}, {3, 2}, {1, 0}, white},
        {"line art set bit", {frame(SANE_FRAME_GRAY, 1, 3, 2, 2, QByteArray("\xA0\xFF\x40\xFF", 4))}, {3, 2}, {1, 1}, black},
        {"grey padded", {frame(SANE_FRAME_GRAY, 8, 2, 3, 2, QByteArray("\x10\x20\x99\x30\x40\x99", 6))}, {2, 2}, {1, 1}, qRgb(0x40, 0x40, 0x40)},
        {"grey 16", {frame(SANE_FRAME_GRAY, 16, 2, 4, 1, words({0x0000, 0x8080}))}, {2, 1}, {1, 0}, qRgb(0x80, 0x80, 0x80)},
        {"colour", {frame(SANE_FRAME_RGB, 8, 2, 6, 1, QByteArray("\x01\x02\x03\xC8\x64\x32", 6))}, {2, 1}, {1, 0}, qRgb(200, 100, 50)},
        {"colour 16", {frame(SANE_FRAME_RGB, 16, 1, 6, 1, words({0xFFFF, 0x0000, 0x8080}))}, {1, 1}, {0, 0}, qRgb(255, 0, 0x80)},
        {"colour 1 bit is full intensity", {frame(SANE_FRAME_RGB, 1, 2, 1, 1, QByteArray("\x98", 1))}, {2, 1}, {1, 0}, qRgb(255, 255, 0)},
        {"three passes",
         {frame(SANE_FRAME_RED, 8, 1, 1, 1, "\x0A", false), frame(SANE_FRAME_GREEN, 8, 1, 1, 1, "\x14", false),
          frame(SANE_FRAME_BLUE, 8, 1, 1, 1, "\x1E")},
         {1, 1}, {0, 0}, qRgb(10, 20, 30)},
        // a hand scanner knows its height at the end: whole rows only
        {"height unknown", {frame(SANE_FRAME_GRAY, 8, 2, 2, -1, QByteArray("\x01\x02\x03\x04\x05", 5))}, {2, 2}, {0, 1}, qRgb(3, 3, 3)},
    };
    for (const Case& c : cases) {
        const QImage image = assembleSaneImage(c.frames);
        EXPECT_EQ(image.size(), c.size) << c.what;
        if (!image.isNull()) {
            EXPECT_EQ(image.pixel(c.at), c.pixel) << c.what;
        }
    }
    // Nothing SANE defines: no picture, never a crash.
    EXPECT_TRUE(assembleSaneImage({frame(SANE_FRAME_GRAY, 4, 2, 1, 1, "\x11")}).isNull());
    EXPECT_TRUE(assembleSaneImage({frame(SANE_FRAME_GRAY, 8, 4, 2, 1, "\x11\x11")}).isNull());
    EXPECT_TRUE(assembleSaneImage({frame(SANE_FRAME_RED, 8, 1, 1, 1, "\x01")}).isNull());
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kSaneConfigured);
        setScannerTimeLimit(kTestBackendLimit);
    }
    // A cancelled scan's program may still be closing the device when the test ends; the next
    // test's scan would find it busy.
    void TearDown() override
    {
        EXPECT_TRUE(deviceFree());
        setScannerTimeLimit(kDefaultScannerTimeLimit);
    }
    // The test backend reads a page on a thread that its cancel stops asynchronously: now and then
    // that thread is stopped inside the allocator and the backend never comes back from the
    // cancel. Its program is then ended after the limit, which is kept short enough here for the
    // next scan not to wait long for the device.
    static constexpr std::chrono::milliseconds kTestBackendLimit{10000};
    ScanRequest request(ScanRequest::Route route, const QString& ext, QList<std::pair<QString, QString>> options = {})
    {
        ScanRequest q;
        q.device = QStringLiteral("test");
        q.route = route;
        q.extension = ext;
        q.genericName = QStringLiteral("Twain");
        q.folder = folder.file(QStringLiteral("Acquired")); // not there yet
        q.tempFolder = folder.file(QStringLiteral("Temp"));
        // The test backend keeps option values from one opening to the next: each scan starts from
        // the same settings.
        q.options = {{"mode", "Color"}, {"three-pass", "false"}, {"mode", "Gray"}, {"depth", "8"},
                     {"source", "Flatbed"}, {"hand-scanner", "false"}, {"ppl-loss", "0"},
                     {"read-return-value", "Default"}, {"read-delay", "false"}, {"read-limit", "false"},
                     {"test-picture", "Solid black"}};
        for (const auto& o : options) q.options.push_back(o);
        return q;
    }
    static std::pair<QString, QString> feeder() { return {"source", "Automatic Document Feeder"}; }
    // A scan that was cancelled or failed leaves its program to close the device in the background.
    static bool deviceFree(const QString& device = QStringLiteral("test"))
    {
        // On a busy machine a program ended after its limit can take a while more to go: only one
        // that never ends fails here.
        return QTest::qWaitFor([&] { return !scannerBusy(device); }, 120000);
    }
    // Runs one acquisition to its end; the images and paths announced come back in `acquired`.
    ScanResult run(const ScanRequest& q, const std::function<void(ScanJob&)>& setUp = {})
    {
        ScanJob job(q);
        if (setUp) setUp(job);
        QSignalSpy images(&job, &ScanJob::imageAcquired);
        // Queued, so that an end that comes before the loop runs still ends it.
        QEventLoop loop;
        QObject::connect(&job, &ScanJob::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QTimer::singleShot(60000, &loop, [&] { loop.exit(1); });
        job.start();
        EXPECT_EQ(loop.exec(), 0);
        acquired.clear();
        for (const QList<QVariant>& args : images) acquired.push_back({args[1].value<QImage>(), args[2].toString()});
        return job.result();
    }
    QStringList files(const QString& sub = "Acquired") const
    {
        return QDir(folder.file(sub)).entryList(QDir::Files, QDir::Name);
    }
    test::TempFolder folder;
    std::vector<std::pair<QImage, QString>> acquired;
};

TEST_F(Scan, TheScannerProgramListsTheDevicesAndTheirChoices)
{
    QStringList names, labels;
    QString why;
    ASSERT_TRUE(listScanners(names, labels, &why)) << why.toStdString();
    EXPECT_EQ(names, QStringList({"test:0", "test:1"}));
    EXPECT_EQ(scannerDisplayName("test:1"), "Noname frontend-tester (test:1)");
    std::vector<ScannerChoice> choices;
    ASSERT_TRUE(readScannerChoices("test:0", choices, &why)) << why.toStdString();
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(choices[0].values, QStringList({"Flatbed", "Automatic Document Feeder"}));
    EXPECT_EQ(choices[1].values, QStringList({"Gray", "Color"}));
    // A range offers the usual steps within it.
    EXPECT_EQ(choices[2].values, QStringList({"50", "75", "100", "150", "200", "300", "400", "600", "1200"}));
    EXPECT_FALSE(readScannerChoices("test:99", choices, &why));
    EXPECT_FALSE(why.isEmpty());
}

// A SANE configuration of the tests' own backend that stops answering, for the scanner programs
// started while it is in place.
class StuckScanner : public Scan {
protected:
    void SetUp() override
    {
        Scan::SetUp();
        QFile conf(config.filePath("dll.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("stuck\n");
        conf.close();
        savedConfig = qgetenv("SANE_CONFIG_DIR");
        savedPath = qgetenv("LD_LIBRARY_PATH");
        qputenv("SANE_CONFIG_DIR", config.path().toLocal8Bit());
        qputenv("LD_LIBRARY_PATH", QByteArray(TF_STUCK_BACKEND_DIR) + (savedPath.isEmpty() ? "" : ":" + savedPath));
        setScannerTimeLimit(std::chrono::milliseconds(1500));
    }
    void TearDown() override
    {
        // A stuck scanner program a failed test left being ended must not hold its device for the
        // next test.
        for (const pid_t pid : test::childrenRunning(::getpid(), QStringLiteral(TF_SCANNER_PROGRAM)))
            test::WatchedProcess(pid).kill();
        EXPECT_TRUE(deviceFree("stuck:read") && deviceFree("stuck:cancel"));
        Scan::TearDown();
        setScannerTimeLimit(kDefaultScannerTimeLimit);
        qputenv("SANE_CONFIG_DIR", savedConfig);
        if (savedPath.isEmpty())
            qunsetenv("LD_LIBRARY_PATH");
        else
            qputenv("LD_LIBRARY_PATH", savedPath);
    }
    ScanRequest stuck(const char* device)
    {
        ScanRequest q;
        q.device = QString::fromLatin1(device);
        q.tempFolder = folder.file(QStringLiteral("Temp"));
        return q;
    }
    QTemporaryDir config;
    QByteArray savedConfig, savedPath;
};

TEST_F(StuckScanner, ABackendThatNeverComesBackEndsTheScanWithAMessageNamingIt)
{
    // Never back from a read.
    const ScanResult read = run(stuck("stuck:read"));
    EXPECT_TRUE(read.error.contains("stuck:read") && read.error.contains("did not answer")) << read.error.toStdString();
    EXPECT_EQ(read.images, 0);
    // Its process is ended: the device is free again.
    EXPECT_TRUE(deviceFree("stuck:read"));
}

TEST_F(StuckScanner, AFailureOrACancelEndsTheScanAtOnceWhileItsProgramIsEndedAside)
{
    // Longer than any wait here: the scan must not wait for it.
    setScannerTimeLimit(std::chrono::minutes(10));
    // A read that fails, then never back from its cancel: the failure is said at once.
    const ScanResult failed = run(stuck("stuck:cancel"));
    EXPECT_EQ(failed.error, "Scanning stopped: Error during device I/O");
    EXPECT_FALSE(failed.cancelled);
    // Its program is still being ended: the device is busy, and a scan of it says so.
    EXPECT_TRUE(scannerBusy("stuck:cancel"));
    EXPECT_EQ(run(stuck("stuck:cancel")).error, "The scanner stuck:cancel is still busy.");

    // The user's Cancel while a read never comes back, once the scanner program has the device.
    QTimer underWay;
    const ScanResult cancelled = run(stuck("stuck:read"), [&](ScanJob& job) {
        QObject::connect(&underWay, &QTimer::timeout, &job, [&] {
            if (!scannerBusy("stuck:read")) return;
            underWay.stop();
            job.cancel();
        });
        underWay.start(10);
    });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(cancelled.error.isEmpty()) << cancelled.error.toStdString();
    EXPECT_EQ(cancelled.images, 0);

    // The processes left are this program's children: ended here, their devices are free again.
    // (The Cancel may have come before the read, which then never started: that program is gone.)
    const auto left = test::childrenRunning(::getpid(), QStringLiteral(TF_SCANNER_PROGRAM));
    EXPECT_GE(left.size(), 1u);
    for (const pid_t pid : left) test::WatchedProcess(pid).kill();
    EXPECT_TRUE(deviceFree("stuck:cancel"));
    EXPECT_TRUE(deviceFree("stuck:read"));
}

TEST_F(StuckScanner, AScannerProgramEndsItselfOnceItsProgramIsKilled)
{
    // After the device failed and the user's Cancel went to a backend that never comes back from
    // it; and in a read that never comes back.
    for (const char* device : {"stuck:cancel", "stuck:read"}) {
        QProcess program;
        program.start(QStringLiteral(TF_SCAN_PARENT_PROGRAM), {QStringLiteral(TF_SCANNER_PROGRAM), QString::fromLatin1(device)});
        ASSERT_TRUE(program.waitForReadyRead(60000)) << device << program.readAllStandardError().toStdString();
        const auto scanners = test::childrenRunning(pid_t(program.processId()), QStringLiteral(TF_SCANNER_PROGRAM));
        ASSERT_EQ(scanners.size(), 1u) << device;
        test::WatchedProcess scanner(scanners[0]);
        ASSERT_TRUE(scanner.valid());
        program.kill();
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_TRUE(scanner.waitEnded(std::chrono::seconds(60))) << device;
        scanner.kill();
    }
}

TEST_F(StuckScanner, AScannerStillEndingIsBusyAndTheNextScanSaysSo)
{
    // A scan is a long command: a second one asked for while it runs does not start.
    ScanJob first(stuck("stuck:read"));
    QSignalSpy firstEnded(&first, &ScanJob::finished);
    first.start();
    ASSERT_TRUE(QTest::qWaitFor([] { return scannerBusy("stuck:read"); }, 120000));
    const ScanResult refused = run(stuck("stuck:read"));
    EXPECT_TRUE(refused.cancelled);
    EXPECT_TRUE(refused.error.isEmpty()) << refused.error.toStdString();
    EXPECT_TRUE(!firstEnded.isEmpty() || firstEnded.wait(120000));
    // Its program may still be ending: the device is free before the next one takes it.
    ASSERT_TRUE(QTest::qWaitFor([] { return !scannerBusy("stuck:read"); }, 120000));

    // The device held by a scanner program still ending, outside any command of the window's. It
    // is given time enough that a loaded machine still finds it there when the next scan starts.
    setScannerTimeLimit(std::chrono::milliseconds(5000));
    PagePipeline ending(std::make_unique<ScannerPageSource>(QStringLiteral("stuck:read"),
                                                            std::vector<std::pair<QString, QString>>{}),
                        std::make_unique<FreshFileSink>(folder.file(QStringLiteral("Temp")),
                                                        [](int n) { return QString::number(n); },
                                                        AcquiredPageSink::Hooks{}),
                        {});
    QSignalSpy endingEnded(&ending, &PagePipeline::finished);
    ending.start();
    ASSERT_TRUE(QTest::qWaitFor([] { return scannerBusy("stuck:read"); }, 120000));
    const ScanResult second = run(stuck("stuck:read"));
    EXPECT_EQ(second.error, "The scanner stuck:read is still busy.") << second.error.toStdString();
    setScannerTimeLimit(std::chrono::milliseconds(1500));
    EXPECT_TRUE(!endingEnded.isEmpty() || endingEnded.wait(120000));
    EXPECT_TRUE(QTest::qWaitFor([] { return !scannerBusy("stuck:read"); }, 120000));
    // Once its process has ended, the device can be asked again.
    EXPECT_TRUE(run(stuck("stuck:read")).error.contains("did not answer"));
}

TEST_F(Scan, TenFeederPagesMakeOneMultipageDocument)
{
    const ScanResult tif = run(request(ScanRequest::Route::MultiPage, "tif", {feeder()}));
    EXPECT_TRUE(tif.error.isEmpty()) << tif.error.toStdString();
    EXPECT_EQ(tif.images, 10);
    EXPECT_EQ(test::tiffDirectories(folder.file("Acquired/Twain.tif")).size(), 10u);
    const ScanResult pdf = run(request(ScanRequest::Route::MultiPage, "pdf", {feeder()}));
    EXPECT_EQ(test::pdfPages(folder.file("Acquired/Twain.pdf")), 10);
    EXPECT_TRUE(test::qpdfCheckPasses(pdf.output));

    // The same name again: a new file beside it, unless overwriting was asked for.
    auto again = request(ScanRequest::Route::MultiPage, "tif");
    EXPECT_EQ(run(again).output, folder.file("Acquired/Twain_2.tif"));
    again.overwrite = true;
    EXPECT_EQ(run(again).output, folder.file("Acquired/Twain.tif"));
    EXPECT_EQ(test::tiffDirectories(folder.file("Acquired/Twain.tif")).size(), 1u);
}

TEST_F(Scan, SinglePageFilesAreNumberedAndAFlatbedGivesOneImage)
{
    auto q = request(ScanRequest::Route::SingleFiles, "jpg", {feeder()});
    q.folder += "/"; // a final separator changes nothing
    EXPECT_EQ(run(q).images, 10);
    QStringList expected;
    for (int n = 1; n <= 10; ++n) expected << QStringLiteral("Twain%1.jpg").arg(n);
    expected.sort();
    EXPECT_EQ(files(), expected);
    EXPECT_EQ(test::loadPage(folder.file("Acquired/Twain10.jpg")).size(), QSize(157, 196));

    EXPECT_EQ(run(request(ScanRequest::Route::SingleFiles, "psd")).images, 1);
    EXPECT_EQ(test::loadPage(folder.file("Acquired/Twain1.psd")).size(), QSize(157, 196));
}

TEST_F(Scan, LineArtAloneIsWrittenAsGroupFour)
{
    const auto lineart = std::pair<QString, QString>("depth", "1");
    const auto black = std::pair<QString, QString>("test-picture", "Solid black");
    run(request(ScanRequest::Route::MultiPage, "tif", {lineart, black}));
    const QString tif = folder.file("Acquired/Twain.tif");
    EXPECT_EQ(test::tiffTagValues(tif, 259), QStringList{"4"}); // CCITT Group 4
    EXPECT_EQ(test::loadPage(tif).pixel(10, 10), qRgb(0, 0, 0));

    // Every single-page format takes a black-and-white page, whatever depths it can hold.
    for (const char* ext : {"bmp", "jpg", "tif", "pdf", "psd", "gif"}) {
        const ScanResult r = run(request(ScanRequest::Route::SingleFiles, ext, {lineart, black}));
        EXPECT_TRUE(r.error.isEmpty()) << ext << ": " << r.error.toStdString();
    }
    EXPECT_EQ(files().size(), 7);
    EXPECT_EQ(test::pdfPages(folder.file("Acquired/Twain1.pdf")), 1);
    EXPECT_TRUE(test::qpdfCheckPasses(folder.file("Acquired/Twain1.pdf")));

    auto colour = request(ScanRequest::Route::MultiPage, "tif", {{"mode", "Color"}});
    colour.overwrite = true;
    run(colour);
    EXPECT_NE(test::tiffTagValues(tif, 259), QStringList{"4"});
}

TEST_F(Scan, ScannerFrameShapesArriveWhole)
{
    struct Case {
        std::pair<QString, QString> a, b;
        QSize size;
    } cases[] = {
        {{"ppl-loss", "7"}, {"mode", "Gray"}, {150, 196}},
        {{"depth", "16"}, {"mode", "Color"}, {157, 196}},
        {{"three-pass", "true"}, {"mode", "Color"}, {157, 196}},
        {{"hand-scanner", "true"}, {"mode", "Gray"}, {216, 334}}, // the whole bed, height learnt at the end
    };
    for (const Case& c : cases) {
        const ScanResult r = run(request(ScanRequest::Route::Basket, "tif", {c.b, c.a}));
        EXPECT_TRUE(r.error.isEmpty()) << c.a.first.toStdString() << ": " << r.error.toStdString();
        ASSERT_EQ(acquired.size(), 1u) << c.a.first.toStdString();
        EXPECT_EQ(acquired[0].first.size(), c.size) << c.a.first.toStdString();
        EXPECT_EQ(test::loadPage(acquired[0].second).size(), c.size) << c.a.first.toStdString();
    }
}

TEST_F(Scan, BasketPagesGetFreeNumberedTempNames)
{
    EXPECT_EQ(run(request(ScanRequest::Route::Basket, "tif", {feeder()})).images, 10);
    ASSERT_EQ(acquired.size(), 10u);
    for (size_t i = 0; i < acquired.size(); ++i)
        EXPECT_TRUE(QFileInfo(acquired[i].second).fileName().contains(QRegularExpression(QStringLiteral("^%1_\\d{1,4}\\.tif$").arg(i + 1))))
            << acquired[i].second.toStdString();
    EXPECT_EQ(files("Temp").size(), 10);
}

TEST_F(Scan, FailuresAreReportedAndKeepWhatWasWritten)
{
    const ScanResult io = run(request(ScanRequest::Route::MultiPage, "tif", {{"read-return-value", "SANE_STATUS_IO_ERROR"}}));
    EXPECT_TRUE(io.error.contains("Error during device I/O")) << io.error.toStdString();
    EXPECT_EQ(io.images, 0);
    EXPECT_TRUE(files().isEmpty());
    ASSERT_TRUE(deviceFree());

    const ScanResult option = run(request(ScanRequest::Route::Basket, "tif", {{"no-such-option", "1"}}));
    EXPECT_FALSE(option.error.isEmpty());
    EXPECT_FALSE(option.error.contains("busy")) << option.error.toStdString();
    ASSERT_TRUE(deviceFree());
    auto missing = request(ScanRequest::Route::Basket, "tif");
    missing.device = "test:99";
    EXPECT_FALSE(run(missing).error.isEmpty());

    // A folder that cannot be made: reported, nothing scanned into nowhere.
    folder.write("file", "x");
    auto blocked = request(ScanRequest::Route::SingleFiles, "tif");
    blocked.folder = folder.file("file/Acquired");
    const ScanResult r = run(blocked);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(r.images, 0);
}

TEST_F(Scan, ACancelStopsTheScanAndKeepsThePagesWritten)
{
    // From the worker as page 3 is announced: the feeder's other pages are never read.
    const ScanResult third = run(request(ScanRequest::Route::MultiPage, "tif", {feeder()}), [](ScanJob& job) {
        QObject::connect(&job, &ScanJob::imageAcquired, &job, [&job](int n) {
            if (n == 3) job.cancel();
        }, Qt::DirectConnection);
    });
    EXPECT_TRUE(third.cancelled);
    EXPECT_TRUE(third.error.isEmpty()) << third.error.toStdString();
    EXPECT_EQ(third.images, 3);
    EXPECT_EQ(third.output, folder.file("Acquired/Twain.tif"));
    EXPECT_EQ(test::tiffDirectories(third.output).size(), 3u);
    ASSERT_TRUE(deviceFree());

    // From the window while the scanner is slow to send the first page: nothing is left behind.
    const ScanResult early = run(request(ScanRequest::Route::MultiPage, "pdf",
                                         {feeder(), {"read-limit", "true"}, {"read-limit-size", "64"},
                                          {"read-delay", "true"}, {"read-delay-duration", "200000"}}),
                                 [](ScanJob& job) { QTimer::singleShot(0, &job, [&job] { job.cancel(); }); });
    EXPECT_TRUE(early.cancelled);
    EXPECT_TRUE(early.error.isEmpty()) << early.error.toStdString();
    EXPECT_EQ(early.images, 0);
    EXPECT_TRUE(early.output.isEmpty());
    EXPECT_EQ(files(), QStringList{"Twain.tif"});
}

TEST_F(Scan, AWriteThatFailsEndsTheScanWithOneReport)
{
    // The third page's name is a folder: it cannot be replaced by a file.
    ASSERT_TRUE(QDir().mkpath(folder.file("Acquired/Twain3.jpg")));
    auto q = request(ScanRequest::Route::SingleFiles, "jpg", {feeder()});
    q.overwrite = true;
    const ScanResult r = run(q);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.images, 2);
    ASSERT_EQ(acquired.size(), 2u);
    EXPECT_EQ(files(), QStringList({"Twain1.jpg", "Twain2.jpg"}));
}

} // namespace
} // namespace tf
