#include "CRecording.h"

#include <QEvent>
#include <QMouseEvent>

#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"
#include "ScheduleEditor.h"
#include "ScrollPanel.h"

namespace cx {

namespace {
constexpr int rowHeight = 40;
}  // namespace

CRecording::CRecording(Engine& engine, QWidget* parent)
    : SkinDialog(parent),
      engine_(engine),
      scheduleMode_(engine.snapshot()->settings.scheduleMode == 1),
      cameras_(std::min(engine.snapshot()->cameraCount(), maxCameras))
{
    setObjectName(QStringLiteral("recording"));
    setWindowTitle(QStringLiteral("Record"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(680, 440);

    addDialogTitle(this, QStringLiteral("Record"), QRect(20, 14, 640, 34), QStringLiteral("title"));

    QFont rowFont(QStringLiteral("DejaVu Sans"));
    rowFont.setPixelSize(fontPixelSize(15));
    auto* mode = new CPosStatic(LabelRole::Other, this);
    mode->setObjectName(QStringLiteral("mode"));
    mode->setPaintsBackground(false);
    mode->setFont(rowFont);
    mode->setWordWrap(true);
    mode->setText(scheduleMode_
                      ? QStringLiteral("Schedule mode: cameras switched on record while the timetable's window is open.")
                      : QStringLiteral("Manual mode: each camera records from Start until Stop."));
    mode->setGeometry(24, 54, 632, 40);

    auto* panel = new ScrollPanel(this);
    panel->setObjectName(QStringLiteral("cameraPanel"));
    panel->setGeometry(24, 100, 632, 270);
    panel->setContentHeight(rowHeight * cameras_);
    panel->content()->setMouseTracking(true);
    panel->content()->installEventFilter(this);

    const auto snapshot = engine_.snapshot();
    for (int slot = 0; slot < cameras_; ++slot) {
        const int y = rowHeight * slot;
        auto* name = new CPosStatic(LabelRole::Other, panel->content());
        name->setObjectName(QStringLiteral("name%1").arg(slot));
        name->setPaintsBackground(false);
        name->setFont(rowFont);
        name->setText(QString::fromStdString(snapshot->cameras[static_cast<size_t>(slot)].name));
        name->setGeometry(4, y, 150, rowHeight);

        if (scheduleMode_) {
            // The picture follows the state: "join.bmp" or "leave.bmp".
            auto* toggle = makeSkinButton(panel->content(), QStringLiteral("schedule%1").arg(slot), QString(),
                                          "join.bmp", QPoint(160, y + 3));
            toggle->setProperty("controlId", RecordingControl::firstToggle + slot);
            connect(toggle, &QPushButton::clicked, this, [this, slot] { press(RecordingControl::firstToggle + slot); });
            first_.push_back(toggle);
        } else {
            // The stop button directly after its start button.
            auto* start = makeSkinButton(panel->content(), QStringLiteral("start%1").arg(slot), QStringLiteral("Start"),
                                         "start.bmp", QPoint(160, y + 3));
            start->setProperty("controlId", RecordingControl::firstStart + slot);
            connect(start, &QPushButton::clicked, this, [this, slot] { press(RecordingControl::firstStart + slot); });
            auto* stop = makeSkinButton(panel->content(), QStringLiteral("stop%1").arg(slot), QStringLiteral("Stop"),
                                        "stop.bmp", QPoint(start->geometry().right() + 6, y + 3));
            stop->setProperty("controlId", RecordingControl::firstStop + slot);
            connect(stop, &QPushButton::clicked, this, [this, slot] { press(RecordingControl::firstStop + slot); });
            first_.push_back(start);
            second_.push_back(stop);
        }
        auto* state = new CPosStatic(LabelRole::Other, panel->content());
        state->setObjectName(QStringLiteral("state%1").arg(slot));
        state->setPaintsBackground(false);
        state->setFont(rowFont);
        state->setGeometry(420, y, 190, rowHeight);
        state_.push_back(state);
        showSlotState(slot);
    }

    // Every change the engine publishes (a file opened or closed by the
    // tick, a roll-over, a full disk, the tray's stop-all): the rows follow.
    connect(&engine_, &Engine::snapshotChanged, this, [this] {
        for (int slot = 0; slot < cameras_; ++slot) showSlotState(slot);
    });

    auto* timetable = makeSkinButton(this, QStringLiteral("timetable"), QStringLiteral("Timetable..."),
                                     "timetable.bmp", QPoint(24, 388));
    timetable->setProperty("controlId", RecordingControl::timetable);
    connect(timetable, &QPushButton::clicked, this, [this] { press(RecordingControl::timetable); });

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setProperty("controlId", RecordingControl::close);
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    close->placeAt(width() - 24 - close->width(), 390);
    connect(close, &QPushButton::clicked, this, [this] { press(RecordingControl::close); });
}

void CRecording::showSlotState(int slot)
{
    if (slot < 0 || slot >= cameras_) return;
    const auto i = static_cast<size_t>(slot);
    const auto snapshot = engine_.snapshot();
    const CameraStatus* camera = snapshot->camera(slot);
    if (camera == nullptr) return;  // removed while the window is open
    const bool recording = camera->recording();
    if (scheduleMode_) {
        const bool on = snapshot->settings.scheduleRecord[i] == 1;
        first_[i]->setText(on ? QStringLiteral("Leave timetable") : QStringLiteral("Join timetable"));
        first_[i]->setBitmap(on ? "leave.bmp" : "join.bmp");
        if (!recording)
            state_[i]->setText(on ? QStringLiteral("By the timetable") : QStringLiteral("Not recorded"));
        else if (!camera->fileOpen && camera->fileOpening)
            state_[i]->setText(QStringLiteral("Opening the file..."));  // a slow disk shows here
        else if (!camera->fileOpen)
            state_[i]->setText(QStringLiteral("No file: tried each minute"));  // the tick retries
        else
            state_[i]->setText(QStringLiteral("Recording now"));
    } else {
        // Start stays disabled while the camera records, so it cannot open
        // a second file; stop of a camera not recording does nothing.
        first_[i]->setEnabled(!camera->manualRecording);
        if (!recording)
            state_[i]->setText(QStringLiteral("Stopped"));
        else if (!camera->fileOpen && camera->fileOpening)
            state_[i]->setText(QStringLiteral("Opening the file..."));
        else if (!camera->fileOpen)
            state_[i]->setText(QStringLiteral("No file: press Stop"));
        else
            state_[i]->setText(QStringLiteral("Recording"));
    }
}

void CRecording::press(int id)
{
    if (id == RecordingControl::timetable) {
        openTimetable();
        return;
    }
    if (id == RecordingControl::close) {
        accept();
        return;
    }
    if (scheduleMode_) {
        if (id >= RecordingControl::firstToggle && id < RecordingControl::firstToggle + cameras_)
            toggleSchedule(id - RecordingControl::firstToggle);
        return;
    }
    if (id >= RecordingControl::firstStart && id < RecordingControl::firstStart + cameras_)
        startManual(id - RecordingControl::firstStart);
    else if (id >= RecordingControl::firstStop && id < RecordingControl::firstStop + cameras_)
        stopManual(id - RecordingControl::firstStop);
}

void CRecording::toggleSchedule(int slot)
{
    const bool on = engine_.snapshot()->settings.scheduleRecord[static_cast<size_t>(slot)] != 1;
    // Saved at once; switched off, its running scheduled recording ends now.
    // Switched on, the next tick opens it if the window is open.
    engine_.setScheduleRecord(slot, on);
    showSlotState(slot);
    if (on && recordingSwitched) recordingSwitched();
}

void CRecording::startManual(int slot)
{
    const auto i = static_cast<size_t>(slot);
    first_[i]->setEnabled(false);
    // A file that cannot be opened is told by the recorder; the slot still
    // counts as recording until stop, as the engine keeps it.
    engine_.startManualRecording(slot);
    showSlotState(slot);
    if (recordingSwitched) recordingSwitched();
}

void CRecording::stopManual(int slot)
{
    const auto snapshot = engine_.snapshot();
    const CameraStatus* camera = snapshot->camera(slot);
    if (camera == nullptr || !camera->manualRecording) return;
    engine_.stopManualRecording(slot);
    showSlotState(slot);
    // The status line counts recording cameras; keep it true after a stop too.
    if (recordingSwitched) recordingSwitched();
}

void CRecording::openTimetable()
{
    ScheduleEditor editor(engine_, this);
    editor.exec();
}

bool CRecording::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        for (CSkinButton* b : first_) b->setHovered(false);
        for (CSkinButton* b : second_) b->setHovered(false);
    }
    return SkinDialog::eventFilter(watched, event);
}

void CRecording::mousePressEvent(QMouseEvent* event)
{
    // No caption to hold: any free point drags the window.
    if (event->button() == Qt::LeftButton) dragFrom_ = event->position().toPoint();
    SkinDialog::mousePressEvent(event);
}

void CRecording::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragFrom_);
    SkinDialog::mouseMoveEvent(event);
}

}  // namespace cx
