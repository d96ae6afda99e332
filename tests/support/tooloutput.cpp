#include "support/tooloutput.h"

#include "support/testenv.h"

#include <QRegularExpression>
#include <QStringList>

namespace tf::test {

std::vector<TiffDirectory> tiffDirectories(const QString& path)
{
    std::vector<TiffDirectory> dirs;
    static const QRegularExpression head(QStringLiteral("^Directory \\d+: offset (\\d+) .*next (\\d+)"));
    static const QRegularExpression tag(QStringLiteral("^\\S+ \\((\\d+)\\) \\S+ \\(\\d+\\) \\d+<(.*)>$"));
    for (const QString& line : runTool(QStringLiteral("tiffdump"), {path}).split(QLatin1Char('\n'))) {
        if (const auto m = head.match(line); m.hasMatch()) {
            dirs.push_back({m.captured(1).toLongLong(), m.captured(2).toLongLong(), {}});
        } else if (const auto t = tag.match(line); t.hasMatch() && !dirs.empty()) {
            dirs.back().tags.insert(t.captured(1).toInt(), t.captured(2));
        }
    }
    return dirs;
}

std::vector<PdfImage> pdfImages(const QString& path)
{
    std::vector<PdfImage> rows;
    const QStringList lines =
        runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path}).split(QLatin1Char('\n'));
    for (int i = 2; i < lines.size(); ++i) {
        const QStringList f = lines[i].simplified().split(QLatin1Char(' '));
        if (f.size() < 10) continue;
        rows.push_back({f[0].toInt(), f[3].toInt(), f[4].toInt(), f[5], f[7].toInt(), f[8]});
    }
    return rows;
}

int pdfPages(const QString& path)
{
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(runTool(QStringLiteral("pdfinfo"), {path})).captured(1).toInt();
}

bool qpdfCheckPasses(const QString& path)
{
    int code = -1;
    runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), path}, &code);
    return code == 0;
}

QList<int> widthsOf(const std::vector<TiffDirectory>& dirs)
{
    QList<int> w;
    for (const TiffDirectory& d : dirs) w << d.value(256);
    return w;
}

QList<int> widthsOf(const std::vector<PdfImage>& images)
{
    QList<int> w;
    for (const PdfImage& im : images) w << im.width;
    return w;
}

} // namespace tf::test
