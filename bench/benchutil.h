#pragma once
// What the benchmarks share: photo-like test pictures, the "[COUNT] [WIDTHxHEIGHT]" arguments and
// running ImageMagick alongside.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <spawn.h>
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
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return 1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return 1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const long long ms = (end.tv_sec - start.tv_sec) * 1000LL + (end.tv_nsec - start.tv_nsec) / 1000000;
    FILE* out = std::fopen(argv[2], "w");
    if (!out) return 1;
    std::fprintf(out, "%d %lld %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, ms, usage.ru_maxrss);
    std::fclose(out);
    return 0;
}

} // namespace tf::bench
