#pragma once
// The metadata pane's lists and bars, their commands and dialogs. The browse area hands it the
// shown file through MetadataReader; every change is made to the file's metadata here and then
// written into the file at once.
#include "frame/LatestWork.h"
#include "frame/MetadataReader.h"
#include "metadata/ExifIptc.h"
#include "metadata/MetadataRows.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class QDialog;
class QPushButton;
class QWidget;

namespace tf {
class ColumnSortProxy;
class ImageList;
class LongCommand;
class ReportView;
} // namespace tf

class MetadataController : public QObject, public tf::MetadataReader {
    Q_OBJECT
public:
    static constexpr int kEXIFBarCount = 6;
    static constexpr int kIPTCBarCount = 5;

    // Builds the lists and bars into `pane` (the window places them); `icons` gives the rows' icon.
    MetadataController(QWidget* pane, tf::ImageList* icons, QObject* parent = nullptr);
    ~MetadataController() override;

    tf::ReportView* lvExif() const { return m_lvExif; }
    tf::ReportView* lvIPTC() const { return m_lvIPTC; }
    QWidget* picEXIFBar() const { return m_picEXIFBar; }
    QWidget* picIPTCBar() const { return m_picIPTCBar; }
    QPushButton* cmdEXIFBar(int index) const;
    QPushButton* cmdIPTCBar(int index) const;

    // MetadataReader. Until the read lands nothing is held, so no command acts on any file.
    void ClearLists() override;
    void readShownFile(const QString& path, bool exif, bool iptc, std::function<void(bool hasIptc)> done) override;
    void cancelRead() override;
    int ExifRowCount() const override { return m_exifRows.count(); }
    int IptcRowCount() const override { return m_iptcRows.count(); }
    // A read asked for and not yet landed.
    bool readPending() const;

    // The file the lists describe (empty when none) and its metadata as held.
    QString shownFile() const { return m_path; }
    const tf::ExifIptc& metadata() const { return m_meta; }
    // The rows the two lists show, in the order they were read (the lists may show them sorted).
    const tf::MetadataRows& exifRows() const { return m_exifRows; }
    const tf::MetadataRows& iptcRows() const { return m_iptcRows; }

    // The list the bars' commands act on (the old gbytMetadataKind): 0 while the EXIF tab of the
    // metadata pane is chosen, 1 while the IPTC tab is. The window's tab strip sets it.
    uint8_t bytMetadataKind() const { return m_metadataKind; }
    void setMetadataKind(uint8_t kind) { m_metadataKind = kind; }

    // Modal dialogs run through this; tests replace it to work the dialog and close it.
    std::function<int(QDialog&)> execDialog;
    // Reads a file's metadata, on a worker thread (ExifIptc::readFrom); tests put a slower one in.
    std::function<bool(tf::ExifIptc&, const QString&)> readFile;
    // Writes the changed metadata into the file, on a worker thread (ExifIptc::WriteMetadataTo);
    // tests put one in that waits for them.
    std::function<bool(const tf::ExifIptc&, const QString&, QString*, const tf::ExifIptc::WriteStep&)> writeFile;
    // A file at least this large shows the progress window (with Cancel) while it is written.
    qint64 progressWindowBytes = qint64(16) << 20;

    // A change is made to a copy of the held metadata and written into the file beside the window,
    // as a long command: no second command starts until it ends. The held metadata and the rows
    // take the change when the file holds it; a failure is shown then.
    bool writePending() const { return m_writeCommand != nullptr; }

    // Commands of the two bars.
    void cmdEXIFBar_Click(int index);
    void cmdIPTCBar_Click(int index);
    void subEditAttribute();
    // A click on a column caption of either list (1 = the attribute, 2 = the value): the list shows
    // the rows sorted by it, and later listings keep that order.
    void lvExif_ColumnClick(int column);
    void lvIPTC_ColumnClick(int column);
    void subAddExifAttribute();
    void subDeleteAttribute();
    void subClearAllAttributes();
    // These give true when the change was made to the metadata and its write started (the end
    // comes as metadataWritten); false when it was refused and nothing was started.
    bool fncUpdateAttribute(const QString& file, uint8_t kind, const QString& name, const QString& value,
                            std::function<void()> landed = {});
    bool fncDeleteAttribute(const QString& name);
    bool fncDeleteIPTC_Keywords_suppCat(const QString& file, const QString& name);
    void subUpdateIPTC_Category(const QStringList& categories, const QString& urgency);
    void subUpdateIPTC_Keywords(const QStringList& keywords);
    bool fncSaveEXIF();
    bool fncOpenEXIF();
    bool fncSaveIPTC();
    bool fncOpenIPTC();

signals:
    // The end of a write into `file`, on the window's thread: `written` when the file holds the
    // change. A failure has been shown by then; a Cancel leaves the file as it was.
    void metadataWritten(const QString& file, bool written);

private:
    // What a read on the worker hands back.
    struct Read {
        QString path;
        tf::ExifIptc meta;
    };
    void forgetShownFile();
    // Writes `changed` into `file` when its type takes metadata; false (with the reason shown, or
    // a beep while another long command runs) when nothing was started. Once the file holds it,
    // and is still the shown file, the held metadata becomes `changed` and `landed` updates the
    // rows, so the lists never show a change the file does not have.
    bool startWrite(const QString& file, const tf::ExifIptc& changed, std::function<void()> landed);
    void showWriteFailure(const QString& file, const QString& why);
    // A command that would write while a long command runs is refused before it asks anything.
    bool refuseWhileBusy() const;
    void setExifRowValue(const QString& attribute, const QString& value);
    void setIptcRowValue(const QString& field, const QString& value);
    int runDialog(QDialog& dialog);
    void relistIptc();
    // The row of the list of the kind the commands act on that the user chose; -1 for none.
    int selectedExifRow() const;
    int selectedIptcRow() const;

    QWidget* m_pane;
    tf::ReportView* m_lvExif = nullptr;
    tf::ReportView* m_lvIPTC = nullptr;
    tf::ColumnSortProxy* m_exifSort = nullptr;
    tf::ColumnSortProxy* m_iptcSort = nullptr;
    QWidget* m_picEXIFBar = nullptr;
    QWidget* m_picIPTCBar = nullptr;
    std::array<QPushButton*, kEXIFBarCount> m_cmdEXIFBar{};
    std::array<QPushButton*, kIPTCBarCount> m_cmdIPTCBar{};

    tf::MetadataRows m_exifRows;
    tf::MetadataRows m_iptcRows;
    tf::ExifIptc m_meta;
    QString m_path;        // the shown file whose metadata m_meta holds
    bool m_hasImage = false; // m_meta was read from m_path, the shown file
    uint8_t m_metadataKind = 0;
    tf::LatestWork m_reads;
    tf::LatestWork m_writes;
    std::unique_ptr<tf::LongCommand> m_writeCommand;
};
