#pragma once
// "Record": what each configured camera records. In schedule mode one
// toggle per camera takes it into the weekly timetable or out of it; in
// manual mode a start and a stop button per camera open and close a
// recording at once. Everything goes through the engine; the window keeps
// no state of its own, so closing it leaves every recording running. Like
// the main window it has no caption: the skin draws it, and it is dragged
// by any free point.

#include <functional>
#include <vector>

#include "SkinDialog.h"

namespace cx {

class CPosStatic;
class CSkinButton;
class Engine;
class ScrollPanel;

namespace RecordingControl {
inline constexpr int firstToggle = 0;    // schedule mode: slot
inline constexpr int firstStart = 16;    // manual mode: 16 + slot
inline constexpr int firstStop = 32;     // manual mode: 32 + slot
inline constexpr int timetable = 1021;   // opens the timetable editor
inline constexpr int close = 1111;
}  // namespace RecordingControl

class CRecording : public SkinDialog {
    Q_OBJECT
public:
    explicit CRecording(Engine& engine, QWidget* parent = nullptr);

    // Called after a recording or the schedule of a camera was switched on,
    // so the opener rebuilds its status text.
    std::function<void()> recordingSwitched;

    // What pressing the button with control identifier `id` does.
    void press(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void toggleSchedule(int slot);
    void startManual(int slot);
    void stopManual(int slot);
    void openTimetable();
    void showSlotState(int slot);

    Engine& engine_;
    bool scheduleMode_;
    int cameras_;
    std::vector<CSkinButton*> first_;   // toggle or start, by slot
    std::vector<CSkinButton*> second_;  // stop, by slot (manual mode)
    QPoint dragFrom_;                   // where a drag took the window, in it
    std::vector<CPosStatic*> state_;
};

}  // namespace cx
