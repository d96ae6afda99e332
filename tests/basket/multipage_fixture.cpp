#include "multipage_fixture.h"

#include "support/imagebox_testutil.h"

#include <FreeImage.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <unistd.h>

namespace tf::test::multipage {

QImage pagePicture(int w, int h, QColor tint, int dpi)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(0, 0, w / 3, h, tint);
    for (int x = w / 3; x < 2 * w / 3; ++x)
        p.fillRect(x, 0, 1, h / 2, QColor::fromHsv(0, 0, 255 * (x - w / 3) / qMax(1, w / 3)));
    p.fillRect(2 * w / 3, h / 4, w / 6, h / 2, Qt::black);
    p.end();
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

QString writePage(const QString& path, const QImage& picture)
{
    QImage out = picture;
    const QString name = QFileInfo(path).fileName().toLower();
    if (name.contains(QLatin1String("grey"))) out = picture.convertToFormat(QImage::Format_Grayscale8);
    if (name.contains(QLatin1String("mono"))) out = picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    if (name.endsWith(QLatin1String(".tif"))) {
        // Qt has no TIFF writer here; FreeImage's own saver stands in.
        EXPECT_TRUE(saveWithFreeImage(out, FIF_TIFF, path, TIFF_DEFLATE)) << path.toStdString();
        return path;
    }
    QImageWriter writer(path);
    writer.setQuality(85);
    EXPECT_TRUE(writer.write(out)) << path.toStdString() << ": " << writer.errorString().toStdString();
    return path;
}

std::unique_ptr<tf::basket::BasketModel> basketOf(const QStringList& files)
{
    auto basket = std::make_unique<tf::basket::BasketModel>();
    for (const QString& f : files) {
        tf::basket::PageRecord page;
        page.source = page.tag = f;
        page.text = QFileInfo(f).fileName();
        basket->append(page);
    }
    return basket;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

ReadOnlyFolder::ReadOnlyFolder(const QString& folder) : m_folder(folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
    if (::geteuid() == 0) {
        int code = -1;
        runTool(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}, &code);
        m_immutable = code == 0;
    }
    const QString probe = folder + QStringLiteral("/.probe");
    QFile f(probe);
    m_usable = !f.open(QIODevice::WriteOnly);
    if (!m_usable) QFile::remove(probe);
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (m_immutable) runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace tf::test::multipage
