#include "support/doctools.h"

#include "support/testenv.h"

#include <QRegularExpression>

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

QStringList tiffTagValues(const QString& path, int tag)
{
    QStringList out;
    for (const TiffDirectory& d : tiffDirectories(path))
        if (d.tags.contains(tag)) out << d.tags.value(tag);
    return out;
}

QStringList tiffinfoValues(const QString& path, const QString& key)
{
    QStringList out;
    const QRegularExpression re(QStringLiteral("%1: ([^\\n]*)").arg(QRegularExpression::escape(key)));
    for (auto it = re.globalMatch(runTool(QStringLiteral("tiffinfo"), {path})); it.hasNext();)
        out << it.next().captured(1).trimmed();
    return out;
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

QString pdfInfo(const QString& path) { return runTool(QStringLiteral("pdfinfo"), {path}); }

int pdfPages(const QString& path)
{
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(pdfInfo(path)).captured(1).toInt();
}

QStringList pdfPageSizes(const QString& path)
{
    QStringList sizes;
    const QString info = runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                            QStringLiteral("-l"), QStringLiteral("100000"), path});
    static const QRegularExpression re(QStringLiteral("Page\\s+\\d+ size:\\s+([^\\n]*)"));
    for (auto it = re.globalMatch(info); it.hasNext();) sizes << it.next().captured(1).trimmed();
    return sizes;
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
