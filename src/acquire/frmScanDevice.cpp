#include "acquire/frmScanDevice.h"

#include "platform/ui/dialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QVBoxLayout>

#include <map>

namespace tf {

namespace {

// Kept while the program runs, as a scanner's own dialog keeps them; the settings file has no
// place for them.
struct Kept {
    QString device;
    std::map<QString, std::map<QString, QString>> values; // device -> option -> value
};
Kept& kept()
{
    static Kept k;
    return k;
}

// Runs `work` on a thread of its own and hands its result to `done` on the window's thread,
// unless `context` is gone by then.
template <class Result>
void runAside(QObject* context, std::function<Result()> work, std::function<void(const Result&)> done)
{
    QPointer<QObject> alive(context);
    QThread* thread = QThread::create([work = std::move(work), done = std::move(done), alive] {
        auto result = std::make_shared<Result>(work());
        QMetaObject::invokeMethod(QCoreApplication::instance(), [alive, done, result] {
            if (alive) done(*result);
        }, Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

const char* const kOptions[] = {"source", "mode", "resolution"};

} // namespace

void frmScanDevice::forgetChoices() { kept() = Kept{}; }

frmScanDevice::frmScanDevice(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmScanDevice"));
    setWindowTitle(QStringLiteral("Scanner"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const auto make = [&](const char* name, const char* label) {
        auto* box = new QComboBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setEnabled(false);
        box->setMinimumContentsLength(24);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        form->addRow(QString::fromLatin1(label), box);
        return box;
    };
    cboDevice = make("cboDevice", "Scanner:");
    cboSource = make("cboSource", "Source:");
    cboMode = make("cboMode", "Mode:");
    cboResolution = make("cboResolution", "Resolution (dpi):");
    layout->addLayout(form);
    lblState = new QLabel(QStringLiteral("Looking for scanners..."), this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setWordWrap(true);
    layout->addWidget(lblState);
    auto* buttons = new QDialogButtonBox(this);
    cmdScan = buttons->addButton(QStringLiteral("Scan"), QDialogButtonBox::AcceptRole);
    cmdScan->setObjectName(QStringLiteral("cmdScan"));
    cmdScan->setEnabled(false);
    auto* cmdCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Cancel is the one control that can take the focus while the device is asked for its
    // settings; as a dialog's button it would take Enter from Scan with it, and Enter would scan
    // nothing.
    cmdCancel->setAutoDefault(false);
    layout->addWidget(buttons);
    connect(cmdScan, &QPushButton::clicked, this, &frmScanDevice::cmdScan_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    tf::setDialogKeys(this, cmdScan, cmdCancel);
    connect(cboDevice, &QComboBox::currentIndexChanged, this, [this] { describe(); });

    struct Listing {
        QStringList names, labels;
        QString why;
    };
    runAside<Listing>(this, [] {
        Listing l;
        listScanners(l.names, l.labels, &l.why);
        return l;
    }, [this](const Listing& l) { listed(l.names, l.labels, l.why); });
}

void frmScanDevice::listed(const QStringList& names, const QStringList& labels, const QString& why)
{
    if (names.isEmpty()) {
        emit noScanner(why.isEmpty() ? QStringLiteral("No scanner found") : why);
        reject();
        return;
    }
    {
        const QSignalBlocker filling(cboDevice);
        for (int i = 0; i < names.size(); ++i) {
            const QString label = labels.value(i);
            cboDevice->addItem(label.isEmpty() || label == names[i] ? names[i]
                                                                    : label + QStringLiteral(" (") + names[i] + QLatin1Char(')'),
                               names[i]);
        }
        cboDevice->setCurrentIndex(std::max(0, cboDevice->findData(kept().device)));
    }
    cboDevice->setEnabled(names.size() > 1);
    describe();
}

void frmScanDevice::describe()
{
    const QString device = cboDevice->currentData().toString();
    cmdScan->setEnabled(false);
    for (QComboBox* box : {cboSource, cboMode, cboResolution}) box->setEnabled(false);
    lblState->setText(QStringLiteral("Asking %1 for its settings...").arg(cboDevice->currentText()));
    lblState->show();
    struct Described {
        std::vector<ScannerChoice> choices;
        QString why;
        bool ok = false;
    };
    runAside<Described>(this, [device] {
        Described d;
        d.ok = readScannerChoices(device, d.choices, &d.why);
        return d;
    }, [this, device](const Described& d) { described(device, d.ok ? d.choices : std::vector<ScannerChoice>{}, d.ok ? QString() : d.why); });
}

QComboBox* frmScanDevice::combo(const QString& option) const
{
    if (option == QLatin1String("source")) return cboSource;
    if (option == QLatin1String("mode")) return cboMode;
    if (option == QLatin1String("resolution")) return cboResolution;
    return nullptr;
}

void frmScanDevice::described(const QString& device, const std::vector<ScannerChoice>& choices, const QString& why)
{
    // An answer about a device no longer chosen is of no use.
    if (device != cboDevice->currentData().toString()) return;
    for (QComboBox* box : {cboSource, cboMode, cboResolution}) box->clear();
    if (!why.isEmpty()) {
        lblState->setText(why);
        return;
    }
    const std::map<QString, QString>& chosen = kept().values[device];
    for (const ScannerChoice& c : choices) {
        QComboBox* box = combo(c.name);
        if (!box) continue;
        box->addItems(c.values);
        const auto it = chosen.find(c.name);
        const QString wanted = it != chosen.end() && c.values.contains(it->second) ? it->second : c.current;
        box->setCurrentIndex(std::max(0, box->findText(wanted)));
        box->setEnabled(true);
    }
    lblState->hide();
    cmdScan->setEnabled(true);
}

void frmScanDevice::cmdScan_Click()
{
    if (!cmdScan->isEnabled()) return;
    m_device = cboDevice->currentData().toString();
    m_options.clear();
    Kept& k = kept();
    k.device = m_device;
    // The source first: a feeder may offer other resolutions than the flatbed.
    for (const char* name : kOptions) {
        QComboBox* box = combo(QString::fromLatin1(name));
        if (box->count() == 0) continue;
        m_options.emplace_back(QString::fromLatin1(name), box->currentText());
        k.values[m_device][QString::fromLatin1(name)] = box->currentText();
    }
    accept();
}

} // namespace tf
