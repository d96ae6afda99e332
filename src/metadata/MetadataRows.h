#pragma once
// The rows of one metadata list, held apart from the list widget: the commands read and change
// these, and the widget only shows them.
#include <QString>
#include <vector>

namespace tf {
class ListView;

struct MetadataRow {
    QString text;  // the display name (EXIF) or the field name (IPTC)
    QString tag;   // the raw EXIF attribute name; empty for IPTC
    QString key;   // the raw name on editable EXIF rows only: it marks a row editable
    QString value; // as shown
    int icon = 0;
};

class MetadataRows {
public:
    // The file the rows describe (the list's tag).
    QString path;

    int count() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    const MetadataRow& row(int index) const { return m_rows.at(static_cast<size_t>(index)); }
    MetadataRow& row(int index) { return m_rows.at(static_cast<size_t>(index)); }
    void add(MetadataRow row) { m_rows.push_back(std::move(row)); }
    void remove(int index);
    void clear() { m_rows.clear(); }
    // The first row whose key equals `key` in the given case sensitivity; -1 when none.
    int findKey(const QString& key, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;

    // Fills `list` with the rows (and its tag with the path), keeping the selected position.
    void showIn(ListView& list) const;
    // The 0-based row selected in `list`; -1 when none.
    static int selectedIn(const ListView& list);

private:
    std::vector<MetadataRow> m_rows;
};

} // namespace tf
