#pragma once
// The four metadata dialogs. Each is made for one use; the command that opens it reads the
// result from gstrMetaValue / gblnMetaChanged (the EXIF dialogs) or from the lists it holds.
#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tf {
class DateTimePicker;
class ExifIptc;
class ListView;
} // namespace tf

class frmExifEditAttribute : public QDialog {
    Q_OBJECT
public:
    explicit frmExifEditAttribute(QWidget* parent = nullptr);
    void cmdOK_Click();
    void cmdCancel_Click();

    QLineEdit* txtAttribute = nullptr;
    QLineEdit* txtValue = nullptr;
    tf::DateTimePicker* ucDateTime = nullptr;
    QLabel* Label1 = nullptr;

private:
    void subSetup();
    QString m_time;
    bool m_isDate = false;
};

class frmExifNewAttribute : public QDialog {
    Q_OBJECT
public:
    frmExifNewAttribute(const tf::ListView& lvExif, QWidget* parent = nullptr);
    void cmdOK_Click();
    void cmdCancel_Click();

    QComboBox* cmbAttribute = nullptr;
    QLineEdit* txtValue = nullptr;
    tf::DateTimePicker* ucDateTime = nullptr;
    QPushButton* cmdOK = nullptr;

private:
    void subSetup(const tf::ListView& lvExif);
    void cmbAttribute_Click();
    QString m_time;
};

// Supplemental categories and urgency; keywords. OK leaves the result for the caller.
class frmIPTCCategory : public QDialog {
    Q_OBJECT
public:
    explicit frmIPTCCategory(QWidget* parent = nullptr);
    void subSetup(const tf::ExifIptc* image);
    QStringList categories() const;
    QString urgency() const;

    QListWidget* lstSupCats = nullptr;
    QLineEdit* txtSupCatAdd = nullptr;
    QComboBox* cboUrgency = nullptr;
};

class frmIPTCKeywords : public QDialog {
    Q_OBJECT
public:
    explicit frmIPTCKeywords(QWidget* parent = nullptr);
    void subSetup(const tf::ExifIptc* image);
    QStringList keywords() const;

    QListWidget* lstKeywords = nullptr;
    QLineEdit* txtKeywordAdd = nullptr;
};
