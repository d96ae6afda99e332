#include "players/PlayerBuild.h"

#include "platform/imagebox/imagebox_document.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

namespace tf {

namespace {

std::mutex& folderMutex()
{
    static std::mutex m;
    return m;
}

QString& folderOverride()
{
    static QString folder;
    return folder;
}

[[noreturn]] void fail(const QString& why) { throw std::runtime_error(why.toLocal8Bit().toStdString()); }

} // namespace

void setPlayerProgramFolder(const QString& folder)
{
    std::lock_guard lock(folderMutex());
    folderOverride() = folder;
}

QString fncPlayerProgram(const QString& resource)
{
    static const std::map<QString, QString> names = {
        {QStringLiteral("SIMPLE"), QStringLiteral("simple")}, {QStringLiteral("WATERY"), QStringLiteral("watery")},
        {QStringLiteral("FALLINGTEXT"), QStringLiteral("rainingtext")}, {QStringLiteral("CLOCK"), QStringLiteral("clock")},
        {QStringLiteral("SAVER"), QStringLiteral("saver")}, {QStringLiteral("SLIDE"), QStringLiteral("slide")},
    };
    const auto it = names.find(resource);
    if (it == names.end()) return {};
    std::lock_guard lock(folderMutex());
    const QString folder = !folderOverride().isEmpty() ? folderOverride() : QCoreApplication::applicationDirPath();
    return QDir(folder).filePath(QStringLiteral("tavrel-folio-player-") + it->second);
}

QString fncWithExtension(const QString& name, const QString& extension)
{
    return name.right(4).toLower() == extension.toLower() ? name : name + extension;
}

QByteArray fncPageJpeg(const QImage& page, int quality)
{
    QImage image = page;
    if (image.depth() <= 8 || image.format() == QImage::Format_Indexed8)
        image = image.convertToFormat(image.allGray() ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    else if (image.hasAlphaChannel())
        image = image.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(quality, 1, 100));
    return writer.write(image) ? bytes : QByteArray();
}

PlayerPackageSink::PlayerPackageSink(QString target, QString playerProgram, QByteArray optionsRecord, int quality,
                                     QString pageName)
    : m_player(std::move(playerProgram)), m_options(std::move(optionsRecord)), m_quality(quality),
      m_pageName(std::move(pageName)), m_file(target)
{
}

void PlayerPackageSink::open(const PageSource&, const PageFormat&)
{
    QFile player(m_player);
    if (!player.open(QIODevice::ReadOnly))
        fail(QStringLiteral("The player program '") + m_player + QStringLiteral("' could not be read: ") +
             player.errorString());
    const QByteArray bytes = player.readAll();
    QString error;
    if (!m_file.open(&error)) fail(error);
    if (!m_writer.writePlayer(bytes)) fail(m_writer.error());
}

void PlayerPackageSink::pageStarting(int, const PageSource::Page& page)
{
    m_name = m_pageName.isEmpty() ? page.name : m_pageName;
}

void PlayerPackageSink::addPage(PreparedPage page)
{
    const QByteArray jpeg = fncPageJpeg(page.image.pixels, m_quality);
    if (jpeg.isEmpty()) fail(QStringLiteral("The page '") + m_name + QStringLiteral("' could not be made a JPEG."));
    if (!m_writer.addPage(m_name, jpeg)) fail(m_writer.error());
}

void PlayerPackageSink::commit()
{
    if (m_finishing) m_finishing();
    if (!m_writer.finish(m_options)) fail(m_writer.error());
    // A show is a program: whoever may read it may run it.
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                           QFileDevice::ExeOther;
    const QFileInfo old(m_file.target());
    if (old.exists()) {
        permissions = old.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        if (permissions & QFileDevice::ReadOwner) permissions |= QFileDevice::ExeOwner;
        if (permissions & QFileDevice::ReadGroup) permissions |= QFileDevice::ExeGroup;
        if (permissions & QFileDevice::ReadOther) permissions |= QFileDevice::ExeOther;
    }
    m_file.setPermissions(permissions);
    QString error;
    if (!m_file.commit(&error)) fail(error);
}

void PlayerPackageSink::rollback() noexcept { m_file.discard(); }

} // namespace tf
