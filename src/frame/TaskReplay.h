#pragma once
// The seam between the editing tasks and the places that replay them (the preview and the page
// writers). The editing area owns the task list and hands a replayer to the others when they are
// made, so neither side reaches into the other's lists and a missing replay is visible in the type.
#include <QString>

#include <memory>

namespace tf {

class ImageDocument;

struct ReplayResult {
    // False when a task could not be applied; the image then holds what the rows before it made.
    bool ok = true;
    // Which task failed and why, in words for the user; empty when ok.
    QString message;
};

class TaskReplayer {
public:
    virtual ~TaskReplayer() = default;
    // True while the task list holds at least one confirmed task.
    virtual bool hasTasks() const = 0;
    // The rows up to the one chosen in the visible edit list (every row when none is chosen),
    // applied to `target`. A replay may decode (a watermark's picture), so it runs on a worker; the
    // preview takes frozenAsPreviewed() there.
    virtual ReplayResult replayOnPreview(ImageDocument& target) = 0;
    // A page writer's replay: every row, in list order. Works on a copy of the rows, so the list
    // may change while a long command yields.
    virtual ReplayResult replayAll(ImageDocument& target) = 0;
    // The rows as they are now, for a page writer on a worker thread: a replayer that owns its
    // copy of them and keeps nothing else, so its replayAll may run on any thread while the list
    // changes or goes away. The default hands out this replayer itself, which suits one that keeps
    // no list (replays nothing, or only pure functions of the page).
    virtual std::shared_ptr<TaskReplayer> frozen();
    // As frozen, but only the rows the preview's replay applies now (up to the chosen row): for a
    // writer whose pages are to look as the preview does. A replayer that keeps no list of rows
    // hands out the same as frozen.
    virtual std::shared_ptr<TaskReplayer> frozenAsPreviewed() { return frozen(); }
};

// What the preview and the writers get while no editing tasks exist: there is nothing to replay,
// and replaying leaves the image as it was.
class NoTasks final : public TaskReplayer {
public:
    bool hasTasks() const override { return false; }
    ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
    ReplayResult replayAll(ImageDocument&) override { return {}; }
    std::shared_ptr<TaskReplayer> frozen() override { return std::make_shared<NoTasks>(); }
};

inline std::shared_ptr<TaskReplayer> TaskReplayer::frozen()
{
    return std::shared_ptr<TaskReplayer>(this, [](TaskReplayer*) {});
}

} // namespace tf
