#include "metadata/metadataDialogs.h"

#include "controls/datepicker/DateTimePicker.h"
#include "metadata/ExifIptc.h"
#include "metadata/modMetadata.h"
#include "metadata/MetadataRows.h"
#include "platform/ui/dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QPushButton>

namespace {

QPushButton* button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const char* caption)
{
    auto* l = new QLabel(QString::fromLatin1(caption), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QString timeText(const QTime& t) { return t.toString(QStringLiteral("h:mm:ss AP")); }

// Enter in the text box with text in it adds that text, as Add does: the dialog's OK would take
// Enter otherwise and close with what was typed lost.
class EnterAdds : public QObject {
public:
    EnterAdds(QLineEdit* box, QPushButton* add) : QObject(box), m_box(box), m_add(add) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || m_box->text().isEmpty()) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        m_add->click();
        return true;
    }

private:
    QLineEdit* m_box;
    QPushButton* m_add;
};

// An item list with a text box, Add and Delete: the two IPTC list dialogs. The items live in
// `items`, which the list shows. Returns Add.
QPushButton* buildListEditor(QDialog* dialog, QGridLayout* grid, int row, QStringListModel*& items, QListView*& list,
                             QLineEdit*& box, const char* listName, const char* boxName, const char* addName,
                             const char* delName)
{
    items = new QStringListModel(dialog);
    list = new QListView(dialog);
    list->setObjectName(QString::fromLatin1(listName));
    list->setModel(items);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    box = new QLineEdit(dialog);
    box->setObjectName(QString::fromLatin1(boxName));
    auto* add = button(dialog, addName, "Add");
    auto* del = button(dialog, delName, "Delete");
    grid->addWidget(list, row, 0, 3, 2);
    grid->addWidget(box, row + 3, 0);
    grid->addWidget(add, row + 3, 1);
    grid->addWidget(del, row + 4, 1);
    QObject::connect(add, &QPushButton::clicked, dialog, [items, box] {
        if (box->text().isEmpty()) return;
        const int at = items->rowCount();
        items->insertRows(at, 1);
        items->setData(items->index(at), box->text());
        box->clear();
    });
    QObject::connect(del, &QPushButton::clicked, dialog, [items, list] {
        const QModelIndex current = list->currentIndex();
        if (current.isValid() && list->selectionModel()->isSelected(current)) items->removeRows(current.row(), 1);
    });
    box->installEventFilter(new EnterAdds(box, add));
    return add;
}

// OK and Cancel of the list dialogs; an item typed but not yet added is added by OK first.
void addOkCancel(QDialog* dialog, QGridLayout* grid, int row, QLineEdit* box, QPushButton* add)
{
    auto* ok = button(dialog, "cmdOK", "OK");
    auto* cancel = button(dialog, "cmdCancel", "Cancel");
    grid->addWidget(ok, row, 0);
    grid->addWidget(cancel, row, 1);
    QObject::connect(ok, &QPushButton::clicked, dialog, [dialog, box, add] {
        if (!box->text().isEmpty()) add->click();
        dialog->accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    tf::setDialogKeys(dialog, ok, cancel);
}

// The value rows both attribute dialogs share: the text box, the date picker that takes its place
// for a date attribute, and the picker's format hint.
struct ValueRows {
    QLineEdit* txtValue;
    tf::DateTimePicker* ucDateTime;
    QLabel* Label1;
};

ValueRows addValueRows(QWidget* dialog, QGridLayout* grid)
{
    grid->addWidget(label(dialog, "lblValue", "Value"), 1, 0);
    ValueRows rows{new QLineEdit(dialog), new tf::DateTimePicker(dialog), label(dialog, "Label1", "mm/dd/yyyy")};
    rows.txtValue->setObjectName(QStringLiteral("txtValue"));
    grid->addWidget(rows.txtValue, 1, 1);
    rows.ucDateTime->setObjectName(QStringLiteral("ucDateTime"));
    grid->addWidget(rows.ucDateTime, 2, 1);
    grid->addWidget(rows.Label1, 3, 1);
    return rows;
}

} // namespace

// ---- edit one value

frmExifEditAttribute::frmExifEditAttribute(const QString& attribute, const QString& value, QWidget* parent)
    : QDialog(parent), m_value(value)
{
    setObjectName(QStringLiteral("frmExifEditAttribute"));
    setWindowTitle(QStringLiteral(" Edit Attribute"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label(this, "lblAttribute", "Attribute"), 0, 0);
    txtAttribute = new QLineEdit(this);
    txtAttribute->setObjectName(QStringLiteral("txtAttribute"));
    txtAttribute->setReadOnly(true);
    grid->addWidget(txtAttribute, 0, 1);
    const ValueRows rows = addValueRows(this, grid);
    txtValue = rows.txtValue;
    ucDateTime = rows.ucDateTime;
    Label1 = rows.Label1;
    auto* ok = button(this, "cmdOK", "OK");
    auto* cancel = button(this, "cmdCancel", "Cancel");
    grid->addWidget(ok, 4, 0);
    grid->addWidget(cancel, 4, 1);
    connect(ok, &QPushButton::clicked, this, &frmExifEditAttribute::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmExifEditAttribute::cmdCancel_Click);
    tf::setDialogKeys(this, ok, cancel);
    subSetup(attribute);
}

void frmExifEditAttribute::subSetup(const QString& attribute)
{
    txtAttribute->setText(attribute);
    txtValue->setText(m_value);
    m_isDate = fncIsEXIFDateAttribute(attribute) || fncIsIPTCDateAttribute(attribute);
    if (!m_isDate) {
        txtValue->setCursorPosition(static_cast<int>(txtValue->text().size()));
    } else {
        const QDateTime value = tf::parseListDateTime(m_value);
        if (!m_value.isEmpty() && value.isValid()) {
            ucDateTime->setDateSelected(value);
            m_time = timeText(value.time());
        } else {
            ucDateTime->setDateSelected(QDateTime::currentDateTime());
        }
    }
    txtValue->setVisible(!m_isDate);
    ucDateTime->setVisible(m_isDate);
    Label1->setVisible(m_isDate);
}

void frmExifEditAttribute::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    if (!visible) return;
    // Typing goes into the value, not into the name beside it, which cannot be changed. Given
    // once the rows are shown: a child never shown yet cannot take the focus for its window.
    if (m_isDate) {
        ucDateTime->setFocus();
    } else {
        txtValue->setFocus();
        // A dialog selects the whole text of the box it focuses first; the caret belongs at the
        // end of the value.
        txtValue->setCursorPosition(static_cast<int>(txtValue->text().size()));
    }
}

void frmExifEditAttribute::cmdOK_Click()
{
    if (!m_isDate) {
        const QString typed = txtValue->text().trimmed();
        m_changed = typed != m_value;
        if (m_changed) m_value = typed;
    } else {
        const QString day = tf::listDateText(ucDateTime->DateSelected().date());
        const QDateTime old = tf::parseListDateTime(m_value);
        m_changed = !old.isValid() || tf::listDateText(old.date()) != day;
        if (m_changed) m_value = m_time.isEmpty() ? day : day + QLatin1Char(' ') + m_time;
    }
    accept();
}

void frmExifEditAttribute::cmdCancel_Click()
{
    m_changed = false;
    reject();
}

// ---- add an attribute

frmExifNewAttribute::frmExifNewAttribute(const tf::MetadataRows& exifRows, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExifNewAttribute"));
    setWindowTitle(QStringLiteral("Add New Attribute"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label(this, "lblAttribute", "Select an Attribute"), 0, 0);
    cmbAttribute = new QComboBox(this);
    cmbAttribute->setObjectName(QStringLiteral("cmbAttribute"));
    grid->addWidget(cmbAttribute, 0, 1);
    const ValueRows rows = addValueRows(this, grid);
    txtValue = rows.txtValue;
    ucDateTime = rows.ucDateTime;
    cmdOK = button(this, "cmdOK", "OK");
    auto* cancel = button(this, "cmdCancel", "Cancel");
    grid->addWidget(cmdOK, 4, 0);
    grid->addWidget(cancel, 4, 1);
    connect(cmdOK, &QPushButton::clicked, this, &frmExifNewAttribute::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmExifNewAttribute::cmdCancel_Click);
    tf::setDialogKeys(this, cmdOK, cancel);
    connect(txtValue, &QLineEdit::textChanged, this,
            [this](const QString& t) { cmdOK->setEnabled(!t.trimmed().isEmpty()); });
    connect(ucDateTime, &tf::DateTimePicker::DateChanged, this,
            [this] { m_time = timeText(QTime::currentTime()); });
    subSetup(exifRows);
    connect(cmbAttribute, &QComboBox::activated, this, &frmExifNewAttribute::cmbAttribute_Click);
}

void frmExifNewAttribute::subSetup(const tf::MetadataRows& exifRows)
{
    for (const QString& name : gstrEditableEXIF)
        if (fncIsKeyFree(exifRows, name)) cmbAttribute->addItem(name);
    if (cmbAttribute->count() == 0) {
        cmbAttribute->addItem(QStringLiteral("No editable attribute to add!"));
        cmbAttribute->setEnabled(false);
    }
    cmbAttribute->setCurrentIndex(cmbAttribute->isEnabled() ? -1 : 0);
    txtValue->setEnabled(false);
    ucDateTime->setEnabled(false);
    ucDateTime->hide();
    cmdOK->setEnabled(false);
}

void frmExifNewAttribute::cmbAttribute_Click()
{
    if (fncIsEXIFDateAttribute(cmbAttribute->currentText())) {
        ucDateTime->setDateSelected(QDateTime::currentDateTime());
        ucDateTime->setEnabled(true);
        ucDateTime->show();
        txtValue->hide();
        cmdOK->setEnabled(true);
    } else {
        ucDateTime->hide();
        txtValue->setEnabled(true);
        txtValue->show();
        cmdOK->setEnabled(!txtValue->text().trimmed().isEmpty());
    }
}

void frmExifNewAttribute::cmdOK_Click()
{
    if (!ucDateTime->isVisibleTo(this)) {
        m_value = txtValue->text().trimmed();
    } else {
        if (m_time.isEmpty()) m_time = timeText(QTime::currentTime());
        m_value = tf::listDateText(ucDateTime->DateSelected().date()) + QLatin1Char(' ') + m_time;
    }
    m_attribute = cmbAttribute->currentText();
    accept();
}

void frmExifNewAttribute::cmdCancel_Click() { reject(); }

// ---- IPTC lists

frmIPTCCategory::frmIPTCCategory(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmIPTCCategory"));
    setWindowTitle(QStringLiteral("Add Supplementaty Categories"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(label(this, "lblSupCat", "Supplemental Categories:"), 0, 0);
    QPushButton* add = buildListEditor(this, grid, 1, m_categories, lstSupCats, txtSupCatAdd, "lstSupCats",
                                       "txtSupCatAdd", "cmdAddSupCat", "cmdDelSupCat");
    grid->addWidget(label(this, "lblUrgency", "Urgency:"), 6, 0);
    cboUrgency = new QComboBox(this);
    cboUrgency->setObjectName(QStringLiteral("cboUrgency"));
    grid->addWidget(cboUrgency, 6, 1);
    addOkCancel(this, grid, 7, txtSupCatAdd, add);
}

void frmIPTCCategory::subSetup(const tf::ExifIptc* image)
{
    cboUrgency->clear();
    m_categories->setStringList({});
    for (int i = 1; i <= 8; ++i) cboUrgency->addItem(QString::number(i));
    cboUrgency->addItem(QStringLiteral("None"));
    cboUrgency->setCurrentText(QStringLiteral("None"));
    if (!image) return;
    QStringList categories;
    for (int i = 0; i < image->IptcSupplementalCategoryCount(); ++i) categories << image->IptcSupplementalCategory(i);
    m_categories->setStringList(categories);
    const int urgency = image->IptcUrgency();
    cboUrgency->setCurrentText(urgency == 0 ? QStringLiteral("None") : QString::number(urgency));
}

QStringList frmIPTCCategory::categories() const { return m_categories->stringList(); }

QString frmIPTCCategory::urgency() const { return cboUrgency->currentText(); }

frmIPTCKeywords::frmIPTCKeywords(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmIPTCKeywords"));
    setWindowTitle(QStringLiteral("Keywords"));
    auto* grid = new QGridLayout(this);
    QPushButton* add = buildListEditor(this, grid, 0, m_keywords, lstKeywords, txtKeywordAdd, "lstKeywords",
                                       "txtKeywordAdd", "cmdAddKeyword", "cmdDelKeyword");
    addOkCancel(this, grid, 5, txtKeywordAdd, add);
}

void frmIPTCKeywords::subSetup(const tf::ExifIptc* image)
{
    if (!image) return;
    QStringList keywords;
    for (int i = 0; i < image->IptcKeywordCount(); ++i) keywords << image->IptcKeyword(i);
    m_keywords->setStringList(keywords);
}

QStringList frmIPTCKeywords::keywords() const { return m_keywords->stringList(); }
