#pragma once
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;

// What the about box needs from the layers above the frame: the link control, the browser and the
// program's picture.
struct AboutHooks {
    // Makes the link control inside parent, showing caption; it calls onClick once per click.
    std::function<QWidget*(QWidget* parent, const QString& caption, std::function<void()> onClick)> makeLink;
    // Opens a web address in the user's browser.
    std::function<void(const QString& address)> openAddress;
    QPixmap picture;
};

// The about box: the program's identity from the version information compiled in, and the maker's
// web site behind the picture and the link.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(AboutHooks hooks, QWidget* parent = nullptr);

    // The maker's web site.
    static QString homePage();

public slots:
    void cmdOK_Click();
    void Image1_Click();
    void lblVarnel7_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();

    AboutHooks m_hooks;
    QLabel* Image1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblEdition = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblTrademark = nullptr;
    QLabel* lblCompany = nullptr;
    QLabel* lblCopyright = nullptr;
    QWidget* lblVarnel7 = nullptr;
    QPushButton* cmdOK = nullptr;
};
