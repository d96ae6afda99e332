#pragma once
// The four metadata dialogs. Each is made for one use with what it shows handed to it, and the
// command that opened it reads the result from it after OK.
#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;
class QPushButton;

namespace tf {
class DateTimePicker;
class ExifIptc;
class MetadataRows;
} // namespace tf

// One value of an attribute or field; a date attribute is edited in the date picker, keeping the
// time of day it had.
class frmExifEditAttribute : public QDialog {
    Q_OBJECT
public:
    frmExifEditAttribute(const QString& attribute, const QString& value, QWidget* parent = nullptr);
    void setVisible(bool visible) override;
    void cmdOK_Click();
    void cmdCancel_Click();

    // After OK: whether the value changed, and the new value.
    bool changed() const { return m_changed; }
    QString value() const { return m_value; }

    QLineEdit* txtAttribute = nullptr;
    QLineEdit* txtValue = nullptr;
    tf::DateTimePicker* ucDateTime = nullptr;
    QLabel* Label1 = nullptr;

private:
    void subSetup(const QString& attribute);
    QString m_value;
    QString m_time;
    bool m_isDate = false;
    bool m_changed = false;
};

// A new editable EXIF attribute: only the names not yet among `exifRows` are offered.
class frmExifNewAttribute : public QDialog {
    Q_OBJECT
public:
    frmExifNewAttribute(const tf::MetadataRows& exifRows, QWidget* parent = nullptr);
    void cmdOK_Click();
    void cmdCancel_Click();

    // After OK: the chosen attribute and its value.
    QString attribute() const { return m_attribute; }
    QString value() const { return m_value; }

    QComboBox* cmbAttribute = nullptr;
    QLineEdit* txtValue = nullptr;
    tf::DateTimePicker* ucDateTime = nullptr;
    QPushButton* cmdOK = nullptr;

private:
    void subSetup(const tf::MetadataRows& exifRows);
    void cmbAttribute_Click();
    QString m_time;
    QString m_attribute;
    QString m_value;
};

// Supplemental categories and urgency; keywords. OK leaves the result for the caller.
class frmIPTCCategory : public QDialog {
    Q_OBJECT
public:
    explicit frmIPTCCategory(QWidget* parent = nullptr);
    void subSetup(const tf::ExifIptc* image);
    QStringList categories() const;
    QString urgency() const;

    // The categories as edited; lstSupCats shows them.
    QStringListModel* m_categories = nullptr;
    QListView* lstSupCats = nullptr;
    QLineEdit* txtSupCatAdd = nullptr;
    QComboBox* cboUrgency = nullptr;
};

class frmIPTCKeywords : public QDialog {
    Q_OBJECT
public:
    explicit frmIPTCKeywords(QWidget* parent = nullptr);
    void subSetup(const tf::ExifIptc* image);
    QStringList keywords() const;

    // The keywords as edited; lstKeywords shows them.
    QStringListModel* m_keywords = nullptr;
    QListView* lstKeywords = nullptr;
    QLineEdit* txtKeywordAdd = nullptr;
};
