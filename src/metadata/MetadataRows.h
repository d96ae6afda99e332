#pragma once
// The rows of one metadata list: the one place they are held. The commands read and change these;
// the list view shows them (sorted by a proxy when the user clicked a caption) and only tells
// which row the user chose.
#include "platform/ui/imagelist.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <vector>

namespace tf {

struct MetadataRow {
    QString text;  // the display name (EXIF) or the field name (IPTC)
    QString tag;   // the raw EXIF attribute name; empty for IPTC
    QString key;   // the raw name on editable EXIF rows only: it marks a row editable
    QString value; // as shown
    int icon = 0;
};

class MetadataRows : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit MetadataRows(QObject* parent = nullptr);

    // The file the rows describe.
    QString path;

    int count() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    const MetadataRow& row(int index) const { return m_rows.at(static_cast<size_t>(index)); }
    void add(MetadataRow row);
    void setValue(int index, const QString& value);
    void remove(int index);
    void clear();
    // The first row whose key equals `key` in the given case sensitivity; -1 when none.
    int findKey(const QString& key, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    // The first row whose text (display or field name) is `text`, or with `byTag` whose tag is; -1 when none.
    int findText(const QString& text, bool byTag = false) const;

    // The pictures the rows' icon numbers name (the list stays the caller's).
    void setIcons(ImageList* icons) { m_icons = icons; }

    // QAbstractItemModel: column 0 the attribute, 1 the value.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<MetadataRow> m_rows;
    QPointer<ImageList> m_icons;
};

} // namespace tf
