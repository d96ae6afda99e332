#include "metadata/MetadataController.h"

#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"
#include "metadata/metadataDialogs.h"
#include "metadata/metadataTemplates.h"
#include "metadata/modMetadata.h"
#include "platform/imagebox/imagebox.h"
#include "platform/sys/safefile.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"
#include "platform/ui/msgbox.h"
#include "services/modCommonDialog.h"
#include "version_info.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <memory>

namespace {

constexpr int kBarButton = 20; // the bars stand in a 20-pixel strip

QString title() { return QString::fromUtf8(tf::version::kTitle); }

// The types whose metadata the program writes back; any other file is left alone.
bool takesMetadata(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    return ext == QLatin1String("jpeg") || ext == QLatin1String("jpg") || ext == QLatin1String("jpe")
           || ext == QLatin1String("tif") || ext == QLatin1String("tiff") || ext == QLatin1String("psd");
}

QPushButton* barButton(QWidget* bar, const QString& name, int index, const char* tip)
{
    auto* b = new QPushButton(bar);
    b->setObjectName(name + QLatin1Char('_') + QString::number(index));
    b->setGeometry(0, index * (kBarButton + 2), kBarButton, kBarButton);
    b->setFocusPolicy(Qt::TabFocus);
    b->setToolTip(QString::fromLatin1(tip));
    return b;
}

// The list shows the rows through a proxy that its caption clicks sort.
tf::ReportView* makeList(QWidget* pane, const char* name, const char* tip, tf::ColumnSortProxy* sorter)
{
    auto* list = new tf::ReportView(pane);
    list->setObjectName(QString::fromLatin1(name));
    list->setModel(sorter);
    list->setToolTip(QString::fromLatin1(tip));
    QObject::connect(list->header(), &QHeaderView::sectionClicked, sorter, &tf::ColumnSortProxy::columnClicked);
    return list;
}

} // namespace

MetadataController::MetadataController(QWidget* pane, tf::ImageList* icons, QObject* parent)
    : QObject(parent), m_pane(pane)
{
    if (gstrEditableEXIF.isEmpty()) subInitMetadata();
    execDialog = [](QDialog& d) { return d.exec(); };
    readFile = [](tf::ExifIptc& meta, const QString& path) { return meta.readFrom(path); };
    writeFile = [](const tf::ExifIptc& meta, const QString& path, QString* why, const tf::ExifIptc::WriteStep& step) {
        return meta.WriteMetadataTo(path, why, step);
    };
    m_exifRows.setIcons(icons);
    m_iptcRows.setIcons(icons);
    m_exifSort = new tf::ColumnSortProxy(this);
    m_exifSort->setSourceModel(&m_exifRows);
    m_iptcSort = new tf::ColumnSortProxy(this);
    m_iptcSort->setSourceModel(&m_iptcRows);
    m_lvExif = makeList(pane, "lvExif", "List all the available EXIF tags from the current image.", m_exifSort);
    m_lvIPTC = makeList(pane, "lvIPTC", "List all available IPTC attributes from JPEG/TIFF/PSD files.", m_iptcSort);
    m_lvIPTC->hide();

    static const char* const exifTips[kEXIFBarCount] = {
        "Edit the selected EXIF tag", "Create a new editable EXIF tag", "Remove the selected EXIF tag from the image",
        "Empty all EXIF tags from the image ( all EXIF tags will be discarded)",
        "Open an existing EXIF file (.XIFF)", "Save the current EXIF tags from the image to file (.XIFF)"};
    static const char* const iptcTips[kIPTCBarCount] = {
        "Edit the selected IPTC tag", "Open an existing IPTC file (.FFO)",
        "Save the current IPTC tags from the image to file (.FFO)", "Delete the selected IPTC tag from the image",
        "Empty all IPTC tags from the image (all tags will be discarded)"};
    m_picEXIFBar = new QWidget(pane);
    m_picEXIFBar->setObjectName(QStringLiteral("picEXIFBar"));
    m_picEXIFBar->resize(kBarButton, kEXIFBarCount * (kBarButton + 2));
    for (int i = 0; i < kEXIFBarCount; ++i) {
        m_cmdEXIFBar[i] = barButton(m_picEXIFBar, QStringLiteral("cmdEXIFBar"), i, exifTips[i]);
        connect(m_cmdEXIFBar[i], &QPushButton::clicked, this, [this, i] { cmdEXIFBar_Click(i); });
    }
    m_picIPTCBar = new QWidget(pane);
    m_picIPTCBar->setObjectName(QStringLiteral("picIPTCBar"));
    m_picIPTCBar->resize(kBarButton, kIPTCBarCount * (kBarButton + 2));
    for (int i = 0; i < kIPTCBarCount; ++i) {
        m_cmdIPTCBar[i] = barButton(m_picIPTCBar, QStringLiteral("cmdIPTCBar"), i, iptcTips[i]);
        connect(m_cmdIPTCBar[i], &QPushButton::clicked, this, [this, i] { cmdIPTCBar_Click(i); });
    }
    m_picIPTCBar->hide();

    connect(m_lvExif, &QAbstractItemView::doubleClicked, this, [this] { subEditAttribute(); });
    connect(m_lvIPTC, &QAbstractItemView::doubleClicked, this, [this] { subEditAttribute(); });
}

MetadataController::~MetadataController() = default;

QPushButton* MetadataController::cmdEXIFBar(int index) const
{
    return index >= 0 && index < kEXIFBarCount ? m_cmdEXIFBar[index] : nullptr;
}
QPushButton* MetadataController::cmdIPTCBar(int index) const
{
    return index >= 0 && index < kIPTCBarCount ? m_cmdIPTCBar[index] : nullptr;
}

// ---- reading

void MetadataController::readShownFile(const QString& path, bool exif, bool iptc,
                                       std::function<void(bool hasIptc)> done)
{
    // Nothing of the file shown before stays while this one is read: a command now must not write
    // the old file's metadata, or any, into the new file.
    forgetShownFile();
    const std::function<bool(tf::ExifIptc&, const QString&)> read = readFile;
    m_reads.start(
        [path, read](const tf::LatestWork::Flag&) {
            Read out;
            out.path = path;
            try {
                read(out.meta, path);
            } catch (const std::exception&) {
                out.meta.clearAll(); // an unreadable file is listed as one without metadata
            }
            return out;
        },
        [this, exif, iptc, done = std::move(done)](Read read) {
            m_meta = std::move(read.meta);
            m_path = read.path;
            m_hasImage = true;
            if (exif) {
                m_exifRows.clear();
                ::ReadFileEXIFInfo(m_meta, true, m_exifRows, m_path);
            }
            if (iptc) {
                m_iptcRows.clear();
                ::ReadFileIPTCInfo(m_meta, true, m_iptcRows, m_path);
            }
            if (done) done(m_meta.HasIptc());
        });
}

void MetadataController::ClearLists()
{
    m_exifRows.clear();
    m_iptcRows.clear();
}

void MetadataController::cancelRead() { m_reads.cancel(); }

bool MetadataController::readPending() const { return m_reads.pending(); }

void MetadataController::forgetShownFile()
{
    m_reads.cancel();
    m_meta.clearAll();
    m_path.clear();
    m_hasImage = false;
}

void MetadataController::lvExif_ColumnClick(int column) { m_exifSort->columnClicked(column - 1); }
void MetadataController::lvIPTC_ColumnClick(int column) { m_iptcSort->columnClicked(column - 1); }

int MetadataController::selectedExifRow() const { return m_lvExif->selectedRow(); }
int MetadataController::selectedIptcRow() const { return m_lvIPTC->selectedRow(); }

void MetadataController::relistIptc()
{
    // The fields are the same after the relisting: the chosen one stays chosen.
    const int selected = selectedIptcRow();
    m_iptcRows.clear();
    ::ReadFileIPTCInfo(m_meta, m_hasImage, m_iptcRows, m_path);
    if (selected >= 0) m_lvIPTC->selectOnly(selected);
}

// ---- writing

bool MetadataController::refuseWhileBusy() const
{
    if (!tf::isLongCommandRunning()) return false;
    QApplication::beep();
    return true;
}

bool MetadataController::startWrite(const QString& file, const tf::ExifIptc& changed, std::function<void()> landed)
{
    if (!takesMetadata(file)) {
        // A change that cannot be kept is not a success.
        MsgBox(QStringLiteral("Metadata can be written only into JPEG, TIFF and PSD files."), vbCritical, title());
        return false;
    }
    auto command = std::make_unique<tf::LongCommand>(gstrCurrentOperation);
    if (!*command) return false;
    m_writeCommand = std::move(command);
    struct Written {
        bool ok = false;
        bool stopped = false;
        QString why;
    };
    auto stop = std::make_shared<std::atomic_bool>(false);
    auto meta = std::make_shared<const tf::ExifIptc>(changed);
    if (QFileInfo(file).size() >= progressWindowBytes) {
        if (frmStatus* status = m_writeCommand->showStatus(m_pane ? m_pane->window() : nullptr)) {
            status->setCaption(QStringLiteral("Writing the metadata into %1").arg(QFileInfo(file).fileName()));
            status->setActivity(gstrCurrentOperation);
        }
    }
    m_writeCommand->setCancelHandler([stop] { *stop = true; });
    const auto write = writeFile;
    const QString operation = gstrCurrentOperation;
    m_writeCommand->whenShown([this, file, write, stop, meta, operation, landed = std::move(landed)]() mutable {
        m_writes.start(
            [file, write, stop, meta](const tf::LatestWork::Flag&, const tf::LatestWork::Progress& progress) {
                Written out;
                const tf::ExifIptc::WriteStep step = [&](int done, int total) {
                    progress(done, total);
                    return !*stop;
                };
                try {
                    out.ok = write(*meta, file, &out.why, step);
                } catch (const std::exception& e) {
                    out.why = QString::fromUtf8(e.what());
                }
                // Stopped before the file was replaced: it is as it was.
                out.stopped = !out.ok && *stop && out.why.isEmpty();
                return out;
            },
            [this, file, meta, landed = std::move(landed)](Written written) {
                // The progress window goes first; what is said of the write comes before the
                // command ends, so a close of the window that waits for it comes after.
                if (frmStatus* status = m_writeCommand ? m_writeCommand->status() : nullptr) status->hide();
                if (!written.ok && !written.stopped) showWriteFailure(file, written.why);
                if (written.ok && m_hasImage && m_path == file) {
                    m_meta = *meta;
                    if (landed) landed();
                }
                m_writeCommand.reset();
                emit metadataWritten(file, written.ok);
            },
            [this, operation](int done, int total) {
                if (m_writeCommand) m_writeCommand->showProgress(done, total, operation);
            });
    });
    return true;
}

void MetadataController::showWriteFailure(const QString& file, const QString& why)
{
    const QString failed = QStringLiteral("The metadata could not be written to %1.").arg(QFileInfo(file).fileName());
    // A cause outside the picture (a full disk) comes first, and stands for the details.
    if (const QString cause = tf::writeFailureCause(why); !cause.isEmpty())
        MsgBox(cause + QLatin1Char('\n') + failed, vbCritical, title());
    else
        MsgBox(failed + QStringLiteral("\n") + why, vbCritical, title());
}

void MetadataController::setExifRowValue(const QString& attribute, const QString& value)
{
    m_exifRows.setValue(m_exifRows.findKey(attribute), value);
}

void MetadataController::setIptcRowValue(const QString& field, const QString& value)
{
    m_iptcRows.setValue(m_iptcRows.findText(field), value);
}

int MetadataController::runDialog(QDialog& dialog) { return execDialog(dialog); }

bool MetadataController::fncUpdateAttribute(const QString& file, uint8_t kind, const QString& name,
                                            const QString& value, std::function<void()> landed)
{
    gstrCurrentOperation = QStringLiteral("Updating metadata attribute");
    if (!m_hasImage || file.isEmpty()) return false;
    tf::ExifIptc changed = m_meta;
    if (kind == 1) {
        const tf::IptcField* field = tf::findIptcField(name);
        if (!field || field->kind == tf::IptcField::List) return false;
        switch (field->kind) {
        case tf::IptcField::Date: {
            // An empty value clears the field; any other text must read as a date.
            const QDateTime d = tf::parseListDateTime(value);
            if (!value.trimmed().isEmpty() && !d.isValid()) return false;
            changed.setIptcDate(field->dataset, d.date());
            break;
        }
        case tf::IptcField::Time: {
            const QDateTime d = tf::parseListDateTime(value);
            QTime t = d.isValid() ? d.time() : QTime::fromString(value.trimmed(), QStringLiteral("h:mm:ss AP"));
            if (!value.trimmed().isEmpty() && !t.isValid()) return false;
            changed.setIptcTime(field->dataset, t);
            break;
        }
        case tf::IptcField::Number: changed.setIptcUrgency(value.trimmed().toInt()); break;
        default: changed.setIptcText(field->dataset, value); break;
        }
    } else {
        QString text;
        if (!tf::exifValueRefusal(name, value, &text).isEmpty() || !changed.SetExifAttribute(name, text)) return false;
        changed.SetExifAttribute(QStringLiteral("Software"), gstrSoftware);
    }
    return startWrite(file, changed, std::move(landed));
}

bool MetadataController::fncDeleteAttribute(const QString& name)
{
    gstrCurrentOperation = QStringLiteral("Deleting exif attribute from the selected file");
    const QString file = m_exifRows.path;
    if (!m_hasImage || file.isEmpty()) return false;
    tf::ExifIptc changed = m_meta;
    if (!changed.DeleteExifAttribute(name)) return false;
    changed.SetExifAttribute(QStringLiteral("Software"), gstrSoftware);
    return startWrite(file, changed, [this, name] { m_exifRows.remove(m_exifRows.findText(name, true)); });
}

bool MetadataController::fncDeleteIPTC_Keywords_suppCat(const QString& file, const QString& name)
{
    tf::ExifIptc changed = m_meta;
    if (name == QLatin1String("Keywords"))
        changed.ClearIptcKeywords();
    else if (name == QLatin1String("Supplemental Categories"))
        changed.ClearIptcSupplementalCategories();
    else
        return false;
    return startWrite(file, changed, [this, name] { setIptcRowValue(name, QString()); });
}

// ---- commands

void MetadataController::cmdEXIFBar_Click(int index)
{
    switch (index) {
    case 0: subEditAttribute(); break;
    case 1: subAddExifAttribute(); break;
    case 2: subDeleteAttribute(); break;
    case 3: subClearAllAttributes(); break;
    case 4: fncOpenEXIF(); break;
    case 5: fncSaveEXIF(); break;
    default: break;
    }
}

void MetadataController::cmdIPTCBar_Click(int index)
{
    switch (index) {
    case 0: subEditAttribute(); break;
    case 1: fncOpenIPTC(); break;
    case 2: fncSaveIPTC(); break;
    case 3: subDeleteAttribute(); break;
    case 4: subClearAllAttributes(); break;
    default: break;
    }
}

void MetadataController::subEditAttribute()
{
    gstrCurrentOperation = QStringLiteral("Editing EXIF/IPTC Metadata");
    if (refuseWhileBusy()) return;
    const bool iptc = m_metadataKind == 1;
    tf::MetadataRows& rows = iptc ? m_iptcRows : m_exifRows;
    const int selected = iptc ? selectedIptcRow() : selectedExifRow();
    if (rows.isEmpty() || selected < 0 || selected >= rows.count()) return;
    if (!iptc && rows.row(selected).key.isEmpty()) return;
    const QString attribute = iptc ? rows.row(selected).text : rows.row(selected).tag;

    if (iptc && attribute == QLatin1String("Supplemental Categories")) {
        frmIPTCCategory dialog(m_pane);
        dialog.subSetup(m_hasImage ? &m_meta : nullptr);
        if (runDialog(dialog) == QDialog::Accepted) subUpdateIPTC_Category(dialog.categories(), dialog.urgency());
        return;
    }
    if (iptc && attribute == QLatin1String("Keywords")) {
        frmIPTCKeywords dialog(m_pane);
        dialog.subSetup(m_hasImage ? &m_meta : nullptr);
        if (runDialog(dialog) == QDialog::Accepted) subUpdateIPTC_Keywords(dialog.keywords());
        return;
    }

    frmExifEditAttribute dialog(attribute, rows.row(selected).value, m_pane);
    if (runDialog(dialog) != QDialog::Accepted || !dialog.changed()) return;
    const QString value = dialog.value();
    const QString shown =
        iptc && fncIsIPTCDateAttribute(attribute) ? tf::listDateText(tf::parseListDateTime(value).date()) : value;
    fncUpdateAttribute(m_path, m_metadataKind, attribute, value, [this, iptc, attribute, shown] {
        if (iptc)
            setIptcRowValue(attribute, shown);
        else
            setExifRowValue(attribute, shown);
    });
}

void MetadataController::subAddExifAttribute()
{
    gstrCurrentOperation = QStringLiteral("Adding new metadata attribute!");
    if (m_path.isEmpty() || m_metadataKind == 1 || !m_hasImage || refuseWhileBusy()) return;
    const QString ext = QFileInfo(m_path).suffix().toLower();
    if (ext != QLatin1String("jpeg") && ext != QLatin1String("jpg") && ext != QLatin1String("tif")
        && ext != QLatin1String("tiff"))
        return;
    frmExifNewAttribute dialog(m_exifRows, m_pane);
    if (runDialog(dialog) != QDialog::Accepted) return;
    const QString attribute = dialog.attribute();
    const QString value = dialog.value();
    fncUpdateAttribute(m_path, 0, attribute, value,
                       [this, attribute, value] { m_exifRows.add({attribute, attribute, attribute, value, 1}); });
}

void MetadataController::subDeleteAttribute()
{
    gstrCurrentOperation = QStringLiteral("Deleting metadata EXIF/IPTC attribute");
    if (refuseWhileBusy()) return;
    if (m_metadataKind == 0) {
        const int selected = selectedExifRow();
        if (m_exifRows.count() <= 1 || selected < 0 || selected >= m_exifRows.count()) return;
        if (!fncDeleteAttribute(m_exifRows.row(selected).tag))
            MsgBox(QStringLiteral("Error deleting attribute"), vbCritical, title());
        return;
    }
    const int selected = selectedIptcRow();
    if (selected < 0 || selected >= m_iptcRows.count() || m_iptcRows.row(selected).value.trimmed().isEmpty()) return;
    const QString field = m_iptcRows.row(selected).text;
    const bool ok = field == QLatin1String("Keywords") || field == QLatin1String("Supplemental Categories")
                        ? fncDeleteIPTC_Keywords_suppCat(m_path, field)
                        : fncUpdateAttribute(m_path, 1, field, QString(),
                                             [this, field] { setIptcRowValue(field, QString()); });
    if (!ok) MsgBox(QStringLiteral("Error deleting the attribute!"), vbCritical, title());
}

void MetadataController::subClearAllAttributes()
{
    gstrCurrentOperation = QStringLiteral("Clear all EXIF/IPTC Metadata");
    const bool exif = m_metadataKind == 0;
    if ((exif ? m_exifRows : m_iptcRows).isEmpty() || refuseWhileBusy()) return;
    const QString question = exif ? QStringLiteral("All EXIF metadata available in the current image will be deleted!\nDo you want to continue?")
                                  : QStringLiteral("All IPTC metadata available in the current image will be deleted!\nDo you want to continue?");
    if (MsgBox(question, vbYesNo + vbInformation, title()) != vbYes) return;
    const auto clearRows = [this, exif] {
        if (exif) {
            m_exifRows.clear();
        } else {
            for (int i = 0; i < m_iptcRows.count(); ++i) m_iptcRows.setValue(i, QString());
        }
    };
    if (!m_hasImage) {
        clearRows();
        return;
    }
    tf::ExifIptc changed = m_meta;
    if (exif)
        changed.ClearExif();
    else
        changed.ClearIptc();
    startWrite(m_path, changed, clearRows);
}

void MetadataController::subUpdateIPTC_Category(const QStringList& categories, const QString& urgency)
{
    tf::ExifIptc changed = m_meta;
    changed.setIptcList(20, categories);
    // The leading number of the text ("3", "3 - normal"); none gives 0.
    QString digits;
    for (QChar c : urgency.trimmed()) {
        if (!c.isDigit() || digits.size() >= 9) break;
        digits += c;
    }
    changed.setIptcUrgency(urgency == QLatin1String("None") ? 0 : digits.toInt());
    const QString joined = categories.join(QLatin1Char(','));
    startWrite(m_path, changed, [this, joined] { setIptcRowValue(QStringLiteral("Supplemental Categories"), joined); });
}

void MetadataController::subUpdateIPTC_Keywords(const QStringList& keywords)
{
    tf::ExifIptc changed = m_meta;
    changed.setIptcList(25, keywords);
    const QString joined = keywords.join(QLatin1Char(','));
    startWrite(m_path, changed, [this, joined] { setIptcRowValue(QStringLiteral("Keywords"), joined); });
}

// ---- template files

bool MetadataController::fncSaveEXIF()
{
    gstrCurrentOperation = QStringLiteral("Saving EXIF template");
    if (m_exifRows.isEmpty() || !m_hasImage) return false;
    std::vector<tf::ExifTemplateRecord> records;
    for (int i = 0; i < m_exifRows.count(); ++i)
        if (!m_exifRows.row(i).key.isEmpty()) records.push_back({m_exifRows.row(i).key, m_exifRows.row(i).value});
    // Counted before any file is chosen, so an existing template is never touched for nothing.
    if (records.empty()) {
        MsgBox(QStringLiteral("There is no user editable EXIF attributes in this current image!\nEither create new attribute or select another image having editable attribute."),
               vbInformation, title());
        return false;
    }
    typCommonDialog dialog;
    dialog.strDialogTitle = QStringLiteral("Save EXIF Information to file");
    dialog.strFilter = QStringLiteral("EXIF File (*.xiff)|*.xiff");
    dialog.strDefaultExt = QStringLiteral("xiff");
    QString name = fncShowSave(dialog).strFileName;
    if (name.isEmpty()) return false;
    if (!name.right(5).toLower().endsWith(QLatin1String(".xiff"))) name += QStringLiteral(".xiff");
    QString why;
    if (!tf::writeExifTemplate(name, records, &why)) {
        MsgBox(why, vbCritical, title());
        return false;
    }
    return true;
}

bool MetadataController::fncOpenEXIF()
{
    gstrCurrentOperation = QStringLiteral("Opening EXIF template");
    // The template is applied to the shown file; with none there is nothing to apply it to.
    if (!m_hasImage || m_path.isEmpty() || refuseWhileBusy()) return false;
    if (!m_exifRows.isEmpty()
        && MsgBox(QStringLiteral("Loading a .xiff will only overwrite user editable EXIF attributes!\nDo you want to continue?"),
                  vbYesNo + vbInformation, title())
               == vbNo)
        return false;
    typCommonDialog dialog;
    dialog.strDialogTitle = QStringLiteral("Open EXIF .xiff file");
    dialog.strFilter = QStringLiteral("EXIF file (*.xiff)|*.xiff");
    const QString name = fncShowOpen(dialog).strFileName;
    if (name.isEmpty()) return false;
    std::vector<tf::ExifTemplateRecord> records;
    if (!tf::readExifTemplate(name, records)) {
        MsgBox(QStringLiteral("The EXIF template %1 cannot be read.").arg(QFileInfo(name).fileName()), vbCritical, title());
        return false;
    }
    // A record the attribute cannot take (a date that does not read, a value of the wrong type) is
    // skipped and the others are applied; the file is written once, and the skipped ones are
    // named after that in one message.
    const tf::CheckedTemplate checked = tf::checkExifTemplate(records);
    const QString fileName = QFileInfo(name).fileName();
    const QStringList skipped = checked.refused;
    const auto tellSkipped = [this, fileName, skipped] {
        if (skipped.isEmpty()) return;
        MsgBox(QStringLiteral("These records of the EXIF template %1 were skipped:\n").arg(fileName)
                   + skipped.join(QLatin1Char('\n')),
               vbExclamation, title());
    };
    tf::ExifIptc changed = m_meta;
    std::vector<std::pair<QString, QString>> applied;
    for (const auto& [attribute, stored] : checked.apply) {
        if (!changed.SetExifAttribute(attribute, stored)) continue;
        applied.emplace_back(attribute, fncIsEXIFDateAttribute(attribute)
                                            ? tf::listDateTimeText(tf::ExifIptc::ExifTextToDate(stored))
                                            : stored);
    }
    if (applied.empty()) {
        tellSkipped();
        return true;
    }
    changed.SetExifAttribute(QStringLiteral("Software"), gstrSoftware);
    return startWrite(m_path, changed, [this, applied, tellSkipped] {
        for (const auto& [attribute, value] : applied) {
            const int found = m_exifRows.findKey(attribute, Qt::CaseInsensitive);
            if (found >= 0) {
                m_exifRows.setValue(found, value);
            } else {
                const QString display = fncFormattedAttributed(attribute.trimmed());
                m_exifRows.add({display.isEmpty() ? attribute : display, attribute, attribute, value, 1});
            }
        }
        tellSkipped();
    });
}

bool MetadataController::fncSaveIPTC()
{
    gstrCurrentOperation = QStringLiteral("Saving IPTC template");
    if (m_iptcRows.isEmpty() || !m_hasImage) return false;
    if (!m_meta.HasIptc()) {
        MsgBox(QStringLiteral("There is no IPTC data in this current image to save."), vbInformation, title());
        return false;
    }
    typCommonDialog dialog;
    dialog.strDialogTitle = QStringLiteral("Save IPTC Information");
    dialog.strFilter = QStringLiteral("IPTC File Info (*.ffo)|*.ffo");
    dialog.strDefaultExt = QStringLiteral("ffo");
    QString name = fncShowSave(dialog).strFileName;
    if (name.isEmpty()) return false;
    if (!name.right(4).toLower().endsWith(QLatin1String(".ffo"))) name += QStringLiteral(".ffo");
    QString why;
    if (!m_meta.SaveIptcToFile(name, &why)) {
        MsgBox(why, vbCritical, title());
        return false;
    }
    return true;
}

bool MetadataController::fncOpenIPTC()
{
    gstrCurrentOperation = QStringLiteral("Opening IPTC template");
    if (m_iptcRows.isEmpty() || !m_hasImage || refuseWhileBusy()) return false;
    if (m_meta.HasIptc()
        && MsgBox(QStringLiteral("Loading a .ffo file will replace all IPTC metadata of the current image.\nDo you want to continue?"),
                  vbYesNo + vbInformation, title())
               == vbNo)
        return false;
    typCommonDialog dialog;
    dialog.strDialogTitle = QStringLiteral("Open IPTC .ffo file");
    dialog.strFilter = QStringLiteral("IPTC File Info (*.ffo)|*.ffo");
    const QString name = fncShowOpen(dialog).strFileName;
    if (name.isEmpty()) return false;
    tf::ExifIptc changed = m_meta;
    if (!changed.LoadIptcFromFile(name)) {
        MsgBox(QStringLiteral("The IPTC template %1 cannot be read.").arg(QFileInfo(name).fileName()), vbCritical, title());
        return false;
    }
    return startWrite(m_path, changed, [this] { relistIptc(); });
}
