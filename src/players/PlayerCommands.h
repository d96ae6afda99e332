#pragma once
// The commands that build shows: the effect show of the previewed picture, and the slide show or
// screen saver of the basket. Each asks for its file, then builds on the page pipeline's worker
// while the window goes on; the end comes as buildFinished.
#include "basket/basketModel.h"
#include "browse/BrowseServices.h"
#include "players/kit/PlayerPackage.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace tf {

class PageSource;
class PageSink;
class PlayerPackageSink;
class TaskReplayer;
class WindowJob;
struct PipelineResult;

// The effect styles by list index: what the list shows and which player carries the style.
struct EffectStyle {
    const char* text;
    const char* resource;
};
inline constexpr EffectStyle kEffectStyles[] = {
    {"Simple", "SIMPLE"}, {"Watery", "WATERY"}, {"Raining Text", "FALLINGTEXT"}, {"Clock", "CLOCK"}};

class PlayerCommands : public QObject, public SlideShowOptions {
    Q_OBJECT
public:
    // The basket's pages and the previewed file are asked for when a command starts.
    PlayerCommands(std::function<std::vector<basket::PageRecord>()> basketPages, TaskReplayer& replayer,
                   std::function<QString()> previewFile, QWidget* owner, QObject* parent = nullptr);
    ~PlayerCommands() override;

    // The effect show dialog (frmExecutable), for the picture in the preview.
    void showExecutableOptions() override;
    // The slide show and screen saver dialog (frmScreenSaverOptions), for the basket.
    void mnuScreenSaver();

    // Asks for the file (kind 0: a screen saver ".scr", any other a slide show ".exe") and starts
    // the build. False when nothing was started.
    bool MkSaver(uint8_t kind);
    // Starts the effect show of `pageFile` in `path`; with `askBeforeReplacing` an existing file
    // is replaced only when the user says so. False when nothing was started.
    bool subMakeEffectExe(int16_t style, const QString& path, const QString& pageFile, bool askBeforeReplacing);

    // The options the next show is built with; the dialogs fill them, and they last for the run.
    players::EffectExeOptions& effectOptions() { return m_effect; }
    players::SaverOptions& saverOptions() { return m_saver; }
    QString previewFile() const { return m_previewFile ? m_previewFile() : QString(); }
    bool building() const { return m_job != nullptr; }

signals:
    void buildFinished(bool written);

private:
    bool startBuild(std::unique_ptr<PageSource> source, std::unique_ptr<PlayerPackageSink> sink, bool replay,
                    QString nothingWritten);
    void buildEnded(const PipelineResult& result, const QString& nothingWritten);

    std::function<std::vector<basket::PageRecord>()> m_basketPages;
    TaskReplayer& m_replayer;
    std::function<QString()> m_previewFile;
    QPointer<QWidget> m_owner;
    players::EffectExeOptions m_effect;
    players::SaverOptions m_saver;
    std::unique_ptr<WindowJob> m_job;
};

} // namespace tf
