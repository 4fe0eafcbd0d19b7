#pragma once
// The timetable editor: for each day of the week whether the schedule
// records and from when to when, to the minute. Saving writes hours.txt
// and hours.dat and the running schedule follows them at once.
//
// A window whose end is before its start (22:00 to 06:00) records from the
// start until midnight only; after midnight the next day's row decides. The
// row says so, since the files cannot express a night that runs on.

#include <QTime>

#include <array>

#include "Engine.h"  // the timetable as the engine keeps it
#include "SkinDialog.h"

class QCheckBox;
class QTimeEdit;

namespace cx {

class CPosStatic;

// A day of the editor: closed, or open from `start` to `end`.
struct EditorDay {
    bool open = false;
    QTime start{0, 0};
    QTime end{0, 0};
};
using EditorWeek = std::array<EditorDay, 7>;  // Monday first

// What the timetable means, row by row, as the tick reads it: a day whose
// start the tick can never reach is closed; an end beyond the day reads as
// the day's last minute.
EditorWeek editorWeekOf(const ScheduleTable& table);
// The timetable files for `week`: one "HH:MM" label per distinct time, a
// closed day's indexes outside the labels.
ScheduleTable scheduleTableOf(const EditorWeek& week);
// The note next to a row: the overnight rule, or nothing.
QString rowNote(const EditorWeek& week, int row);

class ScheduleEditor : public SkinDialog {
    Q_OBJECT
public:
    ScheduleEditor(Engine& engine, QWidget* parent = nullptr);

    EditorWeek week() const;
    // Writes the files and hands them to the tick; closes on success.
    bool save();

private:
    void updateNotes();

    Engine& engine_;
    std::array<QCheckBox*, 7> open_{};
    std::array<QTimeEdit*, 7> start_{};
    std::array<QTimeEdit*, 7> end_{};
    std::array<CPosStatic*, 7> note_{};
    CPosStatic* result_ = nullptr;
};

}  // namespace cx
