#pragma once
// The task basket file (".tbf"): the edit list saved as text so that one recipe of editing tasks
// can be applied to other images. One line per task: nineteen fields in double quotes (the task
// code, the task key, p1 to p17), separated by commas, CR LF after every line. A quote inside a
// field is doubled, and a field may run over line ends (a multi-line text). Files are written in
// Windows-1252 when every character fits it, else in UTF-8; reading takes valid UTF-8 as such and
// anything else as Windows-1252, and accepts LF alone.
//
// The edit-list commands work on the model only: they tell the caller whether the list changed,
// and the caller puts the image right (restore, replay, snapshot).
#include "editing/EditListModel.h"
#include "editing/EditTask.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class QWidget;

namespace tf {

inline constexpr int kTaskBasketFields = 2 + kTaskParamCount;
// No task basket comes near this; a larger file is not one.
inline constexpr qsizetype kMaxTaskBasketBytes = 16 * 1024 * 1024;

// The whole file as bytes.
QByteArray formatTaskBasket(const std::vector<EditTask>& tasks);

// The whole file parsed and checked: every record complete, every code a number (rounded to a
// whole one, as the replay reads it; its text is kept, see EditTask::CodeText). A record whose code is no task that can be recorded (0, 16,
// anything outside 1 to 15) does nothing and is left out. A key that does not belong to the code
// is replaced by the code's own key. nullopt, with the reason in *why, when anything is wrong; an
// empty file holds no task basket either.
std::optional<std::vector<EditTask>> parseTaskBasket(const QByteArray& bytes, QString* why = nullptr);

// ".tbf" added unless the name already ends in it, in any case.
QString taskBasketFileName(const QString& fileName);

// fncSaveTaskBasket: writes the tasks beside the file and puts the result in its place, so a failed
// save leaves an existing file as it was. fileName gets ".tbf" when it lacks it. False for an empty
// list (nothing is written) and for a failure (reason in *why); a failure while writing (a full
// or failing disk) also goes to the error reporter ("modSaveOpenImageList.fncSaveTaskBasket").
bool fncSaveTaskBasket(QString& fileName, const std::vector<EditTask>& tasks, QString* why = nullptr);

// fncOpenTaskBasket: the tasks of the file, or nullopt (reason in *why) when it cannot be read or is
// not a valid task basket.
std::optional<std::vector<EditTask>> fncOpenTaskBasket(const QString& fileName, QString* why = nullptr);

// ---- the edit-list bar (cmdEditBar 0 clear, 1 open, 2 save, 3 delete). Each returns true when
// the list was changed, so the caller replays it on the image.

// Clear: nothing when the list is empty.
bool subClearEditList(EditListModel& list);
// Delete the task in row `row` (the row selected in the visible list; -1 for none).
bool subDeleteEditTask(EditListModel& list, int row);
// Open: the open dialog, then the file read whole; the list is replaced only by a valid file,
// otherwise "Error opening task basket!" is shown and the list stays as it was.
bool subOpenTaskBasket(EditListModel& list, QWidget* owner = nullptr);
// Save: nothing for an empty list; the save dialog (default suffix "tbf", asking before it
// replaces a file), then the file; a failure shows "Error saving task basket!".
void subSaveTaskBasket(const EditListModel& list, QWidget* owner = nullptr);

} // namespace tf
