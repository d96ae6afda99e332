#pragma once
#include "browse/BrowseServices.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;
class QWidget;

namespace tf {

class LongCommand;

// The preview's "Image document": the image control's own Save As. The control asks for the file
// and the type; the picture, as shown when asked, is encoded and written on a worker thread (a
// 24-megapixel PNG takes seconds), as a long command, and the end comes back as an event. A big
// picture shows the progress window, whose Cancel (or a close of the main window) stops the save
// before anything is written; the user's file then stays as it was.
class ControlSaveAs final : public QObject, public PreviewSaver {
    Q_OBJECT
public:
    explicit ControlSaveAs(QObject* parent = nullptr);
    // A save still under way is cancelled and its worker waited for.
    ~ControlSaveAs() override;

    void SaveAs(ImageBox& control) override;
    bool saving() const { return m_worker != nullptr; }

    // Pictures of this many pixels and more take long enough to encode to show the progress window.
    static constexpr qint64 kLongSavePixels = 4'000'000;

signals:
    // The save ended: the file written (true), or not (a Cancel, or a failure the user was told of).
    void saveFinished(bool written);

private:
    struct Outcome;
    void encoded();
    void saveEnded();

    std::unique_ptr<LongCommand> m_command;
    std::unique_ptr<QThread> m_worker;
    std::shared_ptr<Outcome> m_outcome;
};

} // namespace tf
