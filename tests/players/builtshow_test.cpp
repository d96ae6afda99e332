// Shows built by the page pipeline and run as the programs they are.
#include "basket/BasketPageSource.h"
#include "players/PlayerBuild.h"
#include "players/kit/PlayerPackage.h"

#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace tf;
using tf::test::TempFolder;
using tf::test::readAll;

namespace {

struct PlayerRun {
    int exitCode = -1;
    QString out;
    std::string why; // how the run went, for a failure's message
};

// The program under the offscreen platform, printing what it loaded instead of showing it.
PlayerRun runDumping(const QString& program, const QStringList& args = {}, bool dump = true)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (dump) env.insert(QStringLiteral("FOLIO_PLAYER_DUMP"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    // A program just written can be refused for a moment ("Text file busy"): a helper process
    // the decoders' pool was starting meanwhile holds a copy of the writer's descriptor until its
    // own exec. The kernel's answer, not the show's: start it again.
    for (int attempt = 0; attempt < 50 && !p.waitForStarted(60000) && p.errorString().contains(QStringLiteral("Text file busy"));
         ++attempt) {
        QTest::qWait(20);
        p.start(program, args);
    }
    const bool finished = p.waitForFinished(60000);
    const std::string why = QStringLiteral("%1 %2: %3, exit status %4; stderr: %5")
                                .arg(program, finished ? QStringLiteral("finished") : QStringLiteral("did not finish"),
                                     p.errorString())
                                .arg(int(p.exitStatus()))
                                .arg(QString::fromLocal8Bit(p.readAllStandardError()).left(2000))
                                .toStdString();
    if (!finished) return {-1, {}, why};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), why};
}

std::vector<basket::PageRecord> threePages(const TempFolder& dir)
{
    std::vector<basket::PageRecord> pages;
    const QSize sizes[] = {{64, 48}, {30, 90}, {120, 20}};
    for (int i = 0; i < 3; ++i) {
        QImage page(sizes[i], i == 1 ? QImage::Format_Mono : QImage::Format_RGB32);
        page.fill(i == 1 ? 1 : 0xFF336699u);
        const QString path = dir.file(QStringLiteral("page%1.png").arg(i + 1));
        EXPECT_TRUE(page.save(path));
        basket::PageRecord record;
        record.source = record.tag = path;
        record.text = QStringLiteral("page %1;x.png").arg(i + 1);
        pages.push_back(record);
    }
    return pages;
}

PipelineResult build(const std::vector<basket::PageRecord>& pages, const QString& target, const QString& player,
                     const QByteArray& options, QString name = {})
{
    setPlayerProgramFolder(QStringLiteral(TF_PLAYER_DIR));
    PagePipeline pipeline(std::make_unique<BasketPageSource>(pages),
                          std::make_unique<PlayerPackageSink>(target, fncPlayerProgram(player), options, 80, name), {});
    BlockingCallsAllowed buildsHere; // the build runs on the test's thread on purpose
    return pipeline.runHere();
}

} // namespace

TEST(BuiltShow, SlideShowFromThreePagesRunsAsItselfUnderAnyName)
{
    TempFolder dir;
    const QString show = dir.file(QStringLiteral("holiday.exe"));
    const PipelineResult r = build(threePages(dir), show, QStringLiteral("SLIDE"),
                                   players::packSaverOptions({0x00FF8000, 4}));
    ASSERT_TRUE(r.committed) << r.failure.toStdString();
    EXPECT_EQ(r.written, 3);
    EXPECT_TRUE(QFileInfo(show).isExecutable());

    const PlayerRun run = runDumping(show);
    EXPECT_EQ(run.exitCode, 0) << run.why;
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("player slide"));
    EXPECT_EQ(lines[1], QStringLiteral("items 3"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("item 0 page 1_x.png "))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" 64x48")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" 30x90")));
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral(" 120x20")));
    EXPECT_EQ(lines[5], QStringLiteral("background 16744448 interval 4"));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("window "))) << lines[6].toStdString();
    EXPECT_EQ(lines[7], QStringLiteral("shown 0 64x48"));

    // Renamed, without its extension, and started through a link: it still finds itself.
    const QString renamed = dir.file(QStringLiteral("renamed"));
    ASSERT_TRUE(QFile::copy(show, renamed));
    const QString link = dir.file(QStringLiteral("link.scr"));
    ASSERT_TRUE(QFile::link(renamed, link));
    EXPECT_EQ(runDumping(renamed).out, run.out);
    EXPECT_EQ(runDumping(link).out, run.out);
}

TEST(BuiltShow, EffectShowCarriesOnePageAndItsOptions)
{
    TempFolder dir;
    const QString show = dir.file(QStringLiteral("greeting.exe"));
    players::EffectExeOptions options;
    options.RollingText = "Happy Greetings!";
    options.ClockType = 1;
    options.HourHandColor = 255;
    std::vector<basket::PageRecord> pages = threePages(dir);
    pages.resize(1);
    ASSERT_TRUE(build(pages, show, QStringLiteral("CLOCK"), players::packEffectOptions(options),
                      QStringLiteral("Single")).committed);
    const PlayerRun run = runDumping(show);
    EXPECT_TRUE(run.out.contains(QStringLiteral("player clock\nitems 1\nitem 0 Single ")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("text Happy Greetings!\nclock 1 date 0 colours 0 0 0 255 0 0\n")))
        << run.out.toStdString();
}

TEST(BuiltShow, PlayersWithoutAShowOrAskedOtherThingsEndQuietly)
{
    const QString player = QStringLiteral(TF_PLAYER_DIR "/tavrel-folio-player-saver");
    EXPECT_EQ(runDumping(player).out, QStringLiteral("no package\n"));
    // Only "/S" (or nothing) shows; "/P" shows the screen saver too, anything else ends.
    EXPECT_EQ(runDumping(player, {QStringLiteral("/p"), QStringLiteral("123")}).out, QStringLiteral("no package\n"));
    EXPECT_EQ(runDumping(player, {QStringLiteral("/P")}).out, QStringLiteral("no package\n"));
    EXPECT_EQ(runDumping(player, {QStringLiteral("/x")}).out, QString());
    EXPECT_EQ(runDumping(QStringLiteral(TF_PLAYER_DIR "/tavrel-folio-player-slide"), {QStringLiteral("/p")}).out,
              QString());
}

TEST(BuiltShow, NoPageReadableMeansNoShow)
{
    TempFolder dir;
    const QString show = dir.file(QStringLiteral("old.exe"));
    dir.write(QStringLiteral("old.exe"), "the user's file");
    basket::PageRecord gone;
    gone.source = gone.tag = dir.file(QStringLiteral("missing.png"));
    const PipelineResult r = build({gone}, show,
                                   QStringLiteral("SAVER"), players::packSaverOptions({}));
    EXPECT_FALSE(r.committed);
    EXPECT_EQ(readAll(show), QByteArray("the user's file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(BuiltShow, CancelFinishesThePageUnderWayAndKeepsAWholeShow)
{
    tf::BlockingCallsAllowed buildsHere; // the build runs on the test's thread on purpose
    TempFolder dir;
    setPlayerProgramFolder(QStringLiteral(TF_PLAYER_DIR));
    const std::vector<basket::PageRecord> pages = threePages(dir);
    // Cancelled while page 1, then page 2 of 3 is read.
    for (const int during : {1, 2}) {
        const QString show = dir.file(QStringLiteral("cut%1.scr").arg(during));
        PagePipeline pipeline(std::make_unique<BasketPageSource>(pages),
                              std::make_unique<PlayerPackageSink>(show, fncPlayerProgram(QStringLiteral("SAVER")),
                                                                  players::packSaverOptions({}), 80),
                              {});
        QObject::connect(&pipeline, &PagePipeline::progress, [&](int done, int, const QString&) {
            if (done == during - 1) pipeline.cancel();
        });
        const PipelineResult r = pipeline.runHere();
        EXPECT_TRUE(r.cancelled);
        ASSERT_TRUE(r.committed) << during;
        EXPECT_EQ(r.written, during);
        const QString out = runDumping(show).out;
        EXPECT_TRUE(out.contains(QStringLiteral("items %1\nitem 0 page 1_x.png").arg(during))) << out.toStdString();
    }
}

TEST(BuiltShow, ADamagedSlideShowSaysSoAndTheScreenSaverEndsQuietly)
{
    TempFolder dir;
    std::vector<basket::PageRecord> pages = threePages(dir);
    pages.resize(2);
    for (const char* player : {"SLIDE", "SAVER"}) {
        const QString built = dir.file(QStringLiteral("whole-%1").arg(QString::fromLatin1(player)));
        ASSERT_TRUE(build(pages, built, QString::fromLatin1(player), players::packSaverOptions({})).committed);
        const QByteArray bytes = readAll(built);
        const qsizetype listOffset = bytes.right(11).trimmed().toLongLong();
        QByteArray early = bytes, notJpeg = bytes, longer = bytes;
        // The trailer names the list a byte early; the first page's first byte is gone; the
        // options record has a byte more.
        early.replace(early.size() - 11, 10, QByteArray::number(listOffset - 1).leftJustified(10, ' '));
        notJpeg[bytes.mid(listOffset).split(';').at(1).toLongLong()] = 'J';
        longer.insert(listOffset, 'x');
        longer.replace(longer.size() - 11, 10, QByteArray::number(listOffset + 1).leftJustified(10, ' '));
        for (const QByteArray& damaged : {early, notJpeg, longer}) {
            const QString show = dir.file(QStringLiteral("damaged"));
            QFile::remove(show);
            dir.write(QStringLiteral("damaged"), damaged);
            QFile::setPermissions(show, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            const PlayerRun run = runDumping(show);
            EXPECT_EQ(run.exitCode, 0) << run.why;
            if (QLatin1String(player) == QLatin1String("SLIDE"))
                EXPECT_TRUE(run.out.startsWith(QStringLiteral("damaged package\nmessage This slide show cannot be shown: ")))
                    << run.out.toStdString();
            else
                EXPECT_EQ(run.out, QStringLiteral("damaged package\n"));
        }
    }
}

TEST(BuiltShow, GreetingsWithoutAReadablePageSaySoAndEndWithoutAWindow)
{
    TempFolder dir;
    // Framed as a JPEG, so the package is whole; its picture data is cut short.
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QByteArray notAPicture = fncPageJpeg(picture, 80).first(40) + "\xff\xd9";
    for (const char* player : {"simple", "watery", "rainingtext", "clock"}) {
        for (const bool withPage : {false, true}) {
            const QString show = dir.file(QStringLiteral("%1-%2").arg(QString::fromLatin1(player)).arg(withPage));
            QFile out(show);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            players::PackageWriter writer(out);
            writer.writePlayer(readAll(QStringLiteral(TF_PLAYER_DIR "/tavrel-folio-player-") + QString::fromLatin1(player)));
            if (withPage) writer.addPage(QStringLiteral("Single"), notAPicture);
            ASSERT_TRUE(writer.finish(players::packEffectOptions({})));
            out.close();
            QFile::setPermissions(show, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            const PlayerRun run = runDumping(show);
            EXPECT_EQ(run.exitCode, 0) << player << ' ' << withPage << ' ' << run.why;
            const QString said = QStringLiteral("message This greeting cannot be shown: ") +
                                 (withPage ? "The page's picture is damaged.\n" : "The show holds no page.\n");
            EXPECT_TRUE(run.out.endsWith(said)) << player << ' ' << withPage << ' ' << run.out.toStdString();
            EXPECT_FALSE(run.out.contains(QStringLiteral("window "))) << player;
        }
    }
}

TEST(BuiltShow, PagesPastQtsDefaultLimitAreShownWholeBySlideShowsAndGreetings)
{
    TempFolder dir;
    // An A4 colour page scanned at 600 dpi, and a square just past what Qt takes by default.
    std::vector<basket::PageRecord> pages;
    for (const QSize size : {QSize(4960, 7016), QSize(5800, 5800)}) {
        basket::PageRecord page;
        page.source = page.tag = dir.file(QStringLiteral("%1x%2.png").arg(size.width()).arg(size.height()));
        page.text = QFileInfo(page.tag).fileName();
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(0xFF2080C0u);
        ASSERT_TRUE(picture.save(page.tag, "PNG", 90));
        pages.push_back(page);
    }
    const QString slide = dir.file(QStringLiteral("scans.exe"));
    ASSERT_TRUE(build(pages, slide, QStringLiteral("SLIDE"), players::packSaverOptions({0, 3})).committed);
    const PlayerRun run = runDumping(slide);
    EXPECT_EQ(run.exitCode, 0) << run.why;
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << run.out.toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" 4960x7016"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" 5800x5800"))) << lines[3].toStdString();
    EXPECT_EQ(lines[6], QStringLiteral("shown 0 4960x7016")) << "pages are shown at their own size";

    for (const auto& page : pages) {
        const QString greeting = dir.file(QStringLiteral("greeting.exe"));
        QFile::remove(greeting);
        ASSERT_TRUE(build({page}, greeting, QStringLiteral("SIMPLE"), players::packEffectOptions({}), QStringLiteral("Single"))
                        .committed);
        const PlayerRun shown = runDumping(greeting);
        const QString size = QFileInfo(page.tag).completeBaseName();
        EXPECT_TRUE(shown.out.endsWith(QStringLiteral("window ") + size + QLatin1Char('\n'))) << shown.out.toStdString();
    }
}
