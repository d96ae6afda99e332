#pragma once
// A scanner through SANE: the devices there are, one device opened with its options set, and its
// images read frame by frame and put together as pictures. Reads block, so a device is used from
// one worker thread; cancel() alone may come from any thread.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

#include <sane/sane.h>

namespace tf {

// One frame as the device delivered it.
struct SaneFrame {
    SANE_Parameters params{};
    QByteArray data;
};

// The picture the frames of one image make: grey (1 bit as black and white, 8 or 16 bits), colour
// in one frame or three (one per colour), rows padded or not, and of a height learnt only at the
// end. Null when the frames make no picture (a frame format or depth SANE does not define).
QImage assembleSaneImage(const std::vector<SaneFrame>& frames);

class SaneDevice {
public:
    enum class Read { Image, NoDocuments, Cancelled, Failed };

    SaneDevice() = default;
    ~SaneDevice();
    SaneDevice(const SaneDevice&) = delete;
    SaneDevice& operator=(const SaneDevice&) = delete;

    // The devices SANE finds, by name. Slow with network backends: never on the window's thread.
    // `labels`, when given, gets each device's vendor and model.
    static QStringList devices(QStringList* labels = nullptr);

    // Opens the named device, or the first there is when the name is empty.
    bool open(const QString& name, QString* error);
    void close();
    bool isOpen() const { return m_handle != nullptr; }
    // Sets an option from its text ("Color", "300", "true"); false with the reason when the device
    // has no such option or refuses the value.
    bool setOption(const QString& name, const QString& value, QString* error);
    QString optionText(const QString& name) const;
    // The values an option may take, as texts: its list, or for a range the usual steps within it
    // (its ends when none fits). Empty when the device has no such option or it is inactive.
    QStringList optionValues(const QString& name) const;
    // Whether the source chosen is a document feeder, read until it is empty; any other source
    // gives one image per acquisition.
    bool isFeeder() const;
    // Dots per inch the device scans at, 0 when it does not say.
    double resolution() const;

    // Reads the next image, all its frames.
    Read readImage(QImage& image, QString* error);
    // Ends the scan; a read in progress stops.
    void cancel();
    bool cancelled() const { return m_cancel.load(); }
    // Called each time the backend comes back from a call while an image is read.
    void setProgress(std::function<void()> progress) { m_progress = std::move(progress); }

private:
    int optionIndex(const QString& name) const;
    SANE_Handle m_handle = nullptr;
    std::atomic<bool> m_cancel{false};
    std::function<void()> m_progress;
};

} // namespace tf
