#pragma once
#include <QObject>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QVector>

namespace tf {

// A keyed list of pictures, numbered from 1 as the program's image lists always were. Pictures
// are scaled to the list's image size; an invalid size keeps each picture as it comes
// (thumbnail lists, whose pictures are made at the size they are shown).
// Controls that show one of its pictures hold the list by QPointer, so a list that goes away
// first leaves them without icons rather than with a dangling reference.
class ImageList : public QObject {
    Q_OBJECT
public:
    explicit ImageList(QSize imageSize = QSize(16, 16), QObject* parent = nullptr);

    // Appends the picture, scaled to the list's image size; gives its number, or 0 when the key
    // is already taken (keys are unique, an empty key is allowed any number of times).
    int Add(const QString& key, const QPixmap& picture);
    int Add(const QImage& picture) { return Add(QString(), QPixmap::fromImage(picture)); }
    void Clear();

    int count() const { return static_cast<int>(m_entries.size()); }
    QSize imageSize() const { return m_imageSize; }
    // Number 1..count(); anything else gives an empty key or a null picture.
    QString key(int index) const;
    QPixmap image(int index) const;
    // The number of the first picture with exactly this key (case-sensitive), or 0.
    int indexOfKey(const QString& key) const;

private:
    struct Entry {
        QString key;
        QPixmap picture;
    };
    QSize m_imageSize;
    QVector<Entry> m_entries;
};

} // namespace tf
