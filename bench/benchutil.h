#pragma once
// What the benchmarks share: photo-like test pictures, the "[COUNT] [WIDTHxHEIGHT]" arguments and
// running ImageMagick alongside.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace tf::bench {

// Smooth shapes and fine noise, so the files have the size of real photos; the seed makes each
// picture different.
inline QImage makePhoto(int width, int height, quint32 seed)
{
    QImage img(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    const double phase = rng.bounded(100) / 10.0;
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double s = std::sin(x / 173.0 + phase) * std::cos(y / 131.0 - phase);
            const int noise = static_cast<int>(rng.bounded(24)) - 12;
            line[x] = qRgb(std::clamp(static_cast<int>(128 + 90 * s) + noise, 0, 255),
                           std::clamp(x * 255 / width + noise, 0, 255), std::clamp(y * 255 / height - noise, 0, 255));
        }
    }
    return img;
}

// A4 at 300 dpi, as scanners and the program's users make their pages.
constexpr int kA4Width = 2480;
constexpr int kA4Height = 3508;
constexpr int kA4DotsPerMeter = 11811;

// A photo as a camera or a scanner gives it: sky and ground in smooth gradients, soft shapes of
// colour, a textured ground and mild sensor noise. At JPEG quality 85 an A4 page of it is about
// 1.2 MB, as real A4 300-dpi photo JPEGs are (noisier synthetic pages come out several times
// larger and give every writer more bytes to move than a user's pages do).
inline QImage makeA4Photo(quint32 seed, int width = kA4Width, int height = kA4Height)
{
    QImage img(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(seed * 2654435761u + 17u);
    struct Blob {
        double x, y, r;
        int c[3];
    };
    Blob blobs[7];
    for (Blob& b : blobs) {
        b.x = rng.bounded(double(width));
        b.y = rng.bounded(double(height));
        b.r = (0.08 + rng.bounded(0.25)) * height;
        for (int& c : b.c) c = static_cast<int>(rng.bounded(256));
    }
    int sky[3], ground[3];
    for (int& c : sky) c = 120 + static_cast<int>(rng.bounded(136));
    for (int& c : ground) c = static_cast<int>(rng.bounded(140));
    const double horizon = (0.35 + rng.bounded(0.3)) * height;
    quint32 state = seed * 747796405u + 2891336453u;
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const double t = std::clamp((y - horizon) / (0.05 * height), -1.0, 1.0) * 0.5 + 0.5;
        for (int x = 0; x < width; ++x) {
            double v[3];
            const double texture =
                40.0 * t * std::sin(x * 0.031 + std::sin(y * 0.017) * 3) * std::cos(y * 0.023 + x * 0.004);
            for (int k = 0; k < 3; ++k) v[k] = sky[k] * (1 - t) + ground[k] * t + texture;
            for (const Blob& b : blobs) {
                const double dx = x - b.x, dy = y - b.y, d2 = (dx * dx + dy * dy) / (b.r * b.r);
                if (d2 > 4) continue;
                const double w = std::exp(-d2 * 1.5);
                for (int k = 0; k < 3; ++k) v[k] = v[k] * (1 - w) + b.c[k] * w;
            }
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) % 15) - 7;
            line[x] = qRgb(std::clamp(static_cast<int>(v[0]) + noise, 0, 255),
                           std::clamp(static_cast<int>(v[1]) + noise, 0, 255),
                           std::clamp(static_cast<int>(v[2]) + noise, 0, 255));
        }
    }
    img.setDotsPerMeterX(kA4DotsPerMeter);
    img.setDotsPerMeterY(kA4DotsPerMeter);
    return img;
}

// A scanned A4 page of typed text at 300 dpi, black on white, one bit a pixel: lines of words
// drawn in a serif face at about 10 points, as a manual or a letter is scanned for fax.
inline QImage makeA4TextPage(quint32 seed)
{
    QImage page(kA4Width, kA4Height, QImage::Format_RGB32);
    page.fill(Qt::white);
    QRandomGenerator rng(seed * 104729u + 3u);
    static const char* words[] = {"the", "pipeline", "writes", "pages", "in", "order", "while", "window",
                                  "never", "waits", "document", "scanner", "letter", "invoice", "of", "and"};
    QPainter p(&page);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(42);
    p.setFont(font);
    p.setPen(Qt::black);
    for (int y = 300; y < kA4Height - 250; y += 62) {
        QString line;
        while (line.size() < 75) line += QLatin1String(words[rng.bounded(16)]) + QLatin1Char(' ');
        p.drawText(240, y, line);
    }
    p.end();
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(kA4DotsPerMeter);
    mono.setDotsPerMeterY(kA4DotsPerMeter);
    return mono;
}

// Reads "[COUNT] [WIDTHxHEIGHT]" (either may be left out, in any order); false on anything else.
inline bool parseCountAndSize(const QStringList& args, int& count, int& width, int& height, int maxSide = 1000)
{
    for (const QString& arg : args) {
        bool ok = false;
        if (arg.contains('x')) {
            const QStringList parts = arg.split('x');
            bool okW = false, okH = false;
            if (parts.size() == 2) {
                width = parts[0].toInt(&okW);
                height = parts[1].toInt(&okH);
            }
            ok = okW && okH && width > 0 && height > 0 && width <= maxSide && height <= maxSide;
        } else {
            count = arg.toInt(&ok);
            ok = ok && count > 0;
        }
        if (!ok) return false;
    }
    return true;
}

// True when `convert` is ImageMagick's and not a stand-in of the same name.
inline bool isImageMagick(const QString& convert)
{
    if (convert.isEmpty()) return false;
    QProcess p;
    p.start(convert, {QStringLiteral("-version")});
    p.waitForFinished(10000);
    return p.readAllStandardOutput().contains("ImageMagick") && !p.readAllStandardError().contains("not installed");
}

// The distribution's ImageMagick policy caps the pixel cache (256 MiB memory, 1 GiB disk), far
// below the many full A4 pages convert holds before it writes a document, so such runs fail.
// A policy of our own, found first through MAGICK_CONFIGURE_PATH, raises those caps for these
// runs only; the system's file and its coder rules stay as they are.
inline void allowImageMagickTheWholeDocument(const QString& folder)
{
    QDir(folder).mkpath(QStringLiteral("."));
    QFile policy(QDir(folder).filePath(QStringLiteral("policy.xml")));
    if (!policy.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    policy.write("<policymap>\n"
                 "  <policy domain=\"resource\" name=\"memory\" value=\"2GiB\"/>\n"
                 "  <policy domain=\"resource\" name=\"map\" value=\"4GiB\"/>\n"
                 "  <policy domain=\"resource\" name=\"area\" value=\"1GP\"/>\n"
                 "  <policy domain=\"resource\" name=\"disk\" value=\"64GiB\"/>\n"
                 "</policymap>\n");
    policy.close();
    qputenv("MAGICK_CONFIGURE_PATH", QFile::encodeName(folder));
}

// True when the system's ImageMagick policy forbids writing PDF (Debian's default does).
inline bool imageMagickRefusesPdf(const QString& convert)
{
    QProcess p;
    p.start(convert, {QStringLiteral("-list"), QStringLiteral("policy")});
    p.waitForFinished(10000);
    const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].trimmed().compare(QLatin1String("rights: None"), Qt::CaseInsensitive) == 0 &&
            lines[i + 1].trimmed() == QLatin1String("pattern: PDF"))
            return true;
    return false;
}

// `prog --measure OUT CMD ARGS...`: runs CMD from this small process and writes its exit code,
// wall time in ms and peak memory in KB to OUT. The peak the system reports for a child counts
// what its parent held when it started, so a benchmark measures its peers through a fresh copy of
// itself rather than from its own, large, process.
inline int measure(int argc, char** argv)
{
    if (argc < 4) return 2;
    std::vector<char*> args(argv + 3, argv + argc);
    args.push_back(nullptr);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    // Helper processes the command leaves running as it ends (decoders that end when their socket
    // closes) come to this process, which reaps them: their peak counts like any other's.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return 1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return 1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const long long ms = (end.tv_sec - start.tv_sec) * 1000LL + (end.tv_nsec - start.tv_nsec) / 1000000;
    while (wait(nullptr) > 0 || errno == EINTR) {
    }
    // The largest of every process reaped, the command's and all under it.
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    FILE* out = std::fopen(argv[2], "w");
    if (!out) return 1;
    std::fprintf(out, "%d %lld %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, ms, usage.ru_maxrss);
    std::fclose(out);
    return 0;
}

} // namespace tf::bench
