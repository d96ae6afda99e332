#include "platform/ui/imagelist.h"

namespace tf {

ImageList::ImageList(QSize imageSize, QObject* parent)
    : QObject(parent), m_imageSize(imageSize)
{
}

int ImageList::Add(const QString& key, const QPixmap& picture)
{
    if (!key.isEmpty() && indexOfKey(key) != 0) return 0;
    QPixmap scaled = picture;
    if (m_imageSize.isValid() && !picture.isNull() && picture.deviceIndependentSize().toSize() != m_imageSize)
        scaled = picture.scaled(m_imageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_entries.push_back({key, scaled});
    return count();
}

void ImageList::Clear() { m_entries.clear(); }

QString ImageList::key(int index) const
{
    return index >= 1 && index <= count() ? m_entries[index - 1].key : QString();
}

QPixmap ImageList::image(int index) const
{
    return index >= 1 && index <= count() ? m_entries[index - 1].picture : QPixmap();
}

int ImageList::indexOfKey(const QString& key) const
{
    for (int i = 0; i < count(); ++i)
        if (m_entries[i].key == key) return i + 1;
    return 0;
}

} // namespace tf
