#pragma once
// The engine: the one core under every front end (the window, the
// no-window mode, end-to-end tests, benchmarks). It owns the application
// state, the camera database, the workers, the per-slot decoders, the
// drawer, the recorder, the engine-owned camera panes and the schedule
// tick. Front ends give it commands (methods, called on the thread the
// engine lives on) and hear from it only through its signals, which are
// always emitted on that thread, whatever thread caused them.
//
// Threads: see docs/architecture.md. No command waits for a worker
// longer than its stated time-out, and no worker ever waits for the front
// end.

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <thread>

#include <sys/types.h>
#include <sys/uio.h>

#include "AppState.h"
#include "CameraModels.h"
#include "CameraWorkers.h"
#include "EngineSnapshot.h"
#include "Notifier.h"
#include "RecordingJobs.h"
#include "Retention.h"
#include "Schedule.h"
#include "Startup.h"

class QImage;
class QSocketNotifier;

namespace cx {

class AudioSession;
class AviRecorder;
class CameraDatabase;
class Clock;
class FrameDrawer;
class FrameHandoff;
class OverlayBitmaps;
class PaneBuffer;
class SettingsSaver;

// Told when Configuration.cvx could not be written (once per run of failures).
inline constexpr const char* settingsNotSavedText =
    "The settings could not be saved to Configuration.cvx; they stay in effect until Corvanex ends";

struct EngineOptions {
    std::filesystem::path programFolder;
    const Clock* clock = nullptr;  // the system clock when null
    WorkerTiming timing{};
};

// A camera row as the dialogs enter it (texts as typed).
struct NewCamera {
    std::string name;
    std::string host;
    std::string port;
    std::string login;
    std::string password;
    std::string type;  // decimal model code
    // An RTSP camera's stream settings (type rtspType); other models have none.
    std::optional<RtspSettings> rtsp{};
};

// Told by the camera dialogs when the camera database did not take a change.
inline constexpr const char* cameraNotStoredText =
    "The camera could not be stored in the camera database (Database/Corvanex.mdb); nothing was changed";

// Why addCamera or updateCamera did nothing.
enum class CameraChange { Done, NameInUse, NotStored };

// An RTSP recording that got nothing for this long hands its last packets
// to the file (the muxer holds them until the next one).
inline constexpr int64_t streamFlushIdleMs = 500;

class Engine final : public QObject {
    Q_OBJECT
public:
    explicit Engine(EngineOptions options, QObject* parent = nullptr);
    ~Engine() override;  // shutdown() if it has not run

    // --- What the engine publishes ---
    // The latest snapshot; a new one follows every change (snapshotChanged).
    std::shared_ptr<const EngineSnapshot> snapshot() const { return snapshot_; }
    const std::filesystem::path& programFolder() const { return options_.programFolder; }
    // Messages raised by the engine and its workers: queued to the front
    // end as the message() signal, never waited for.
    Notifier& notifier() { return notifier_; }

    // --- Start-up and the exit step ---
    // Runs the start-up sequence in the program folder. The engine's own
    // steps (settings, timetable, cameras, the tick) need no hooks; the
    // front end's are the skin, the first-camera dialog and its main loop
    // (runMainWindow). Without runMainWindow the cameras are connected and
    // recorded with nobody looking (the no-window run) and `runLoop` runs.
    StartupResult runStartup(StartupHooks hooks, std::function<void()> runLoop = {});
    // Releases what the sequence acquired (after shutdown()).
    void exitStep();

    // Reads hours.dat and hours.txt (again: the tick uses them at once).
    void loadSchedule();
    // The timetable the tick runs by.
    const ScheduleTable& schedule() const { return schedule_; }
    // Writes hours.txt and hours.dat and lets the tick run by them at once;
    // false (and the old timetable kept) when they could not be written.
    bool saveSchedule(const ScheduleTable& table);
    // The one-second schedule tick on a timer of this thread.
    void startScheduleTick();
    void stopScheduleTick();

    // --- Options ---
    // Takes the user's options and saves them off this thread (on disk
    // within a second, and before the process ends).
    void changeSettings(const SettingsValues& values);

    // --- Cameras ---
    // Loads the camera table and names from the database and puts them in
    // place; the connections of slots it no longer holds are ended.
    int loadCameraTable();
    // The same with a table from elsewhere (tests, tools).
    int applyCameraTable(CameraTable table);
    void connectAllCameras();
    void startCamera(int slot);
    void stopCamera(int slot);
    void restartCamera(int slot);
    // Live view of a slot on or off (saved); a camera switched back on is
    // started again.
    void setMonitoring(int slot, bool on);
    void setFlips(int slot, int horizontal, int vertical);
    // --- Camera list (the camera dialogs) ---
    // The camera models the dialogs offer, in the order they list them.
    static std::span<const CameraModel> cameraModels() { return listedCameraModels; }
    // A camera of that name is in the database.
    bool cameraNameInUse(const std::string& name);
    // Inserts a camera unless its name is in use (NameInUse) or the
    // database does not take it (NotStored, nothing else done), reloads the table and
    // names and gives it its recording folder at once. Started only after
    // the cameras were connected (before that, connecting starts it with
    // the others); the caller rebuilds the panes first
    // (startConfiguredCameras).
    CameraChange addCamera(const NewCamera& camera);
    // Starts every configured slot that is not connected (never a second connection).
    void startConfiguredCameras();
    // Deletes the camera `name`; every pane turns black, the table and names
    // are loaded again and each remaining slot reconnects with its new row
    // (live view on). Returns the new camera count.
    int removeCamera(const std::string& name);
    // Stores the slot's row under its new values (flips as the slot holds
    // them now), unless the new name is another camera's or the database
    // does not take them (NotStored, nothing else done), and loads the
    // table and names again. A changed host or port restarts the slot, and
    // so do changed RTSP settings of an RTSP camera (its settings are read
    // when it connects); anything else leaves the connection running. A
    // new name gets its folder at once.
    CameraChange updateCamera(int slot, const std::string& oldName, const NewCamera& camera, bool addressChanged);
    // Creates video/<name> unless the name cannot be a folder name.
    void createCameraFolder(const std::string& name);

    // The mark of a magnified view; the picture code draws the restore icon
    // for a marked slot.
    void setViewEnlarged(int slot, bool on);
    // The next frame of the slot (every configured slot for -1) is saved as
    // a snapshot.
    void requestSnapshot(int slot);

    // --- Sound ---
    // Starts reading the audio stream of `slot` on a thread of its own, with
    // a copy of the slot's camera entry, and returns at once; it reads until
    // the stream breaks, stopAudio(), stop-all or shutdown. Nothing for a
    // slot without a camera, an RTSP camera, a row of no model, or while a
    // reading runs.
    void startAudio(int slot);
    // Asks the reading to end and returns at once (a closing main window calls it).
    void stopAudio();
    bool audioReading() const;

    // --- Recording ---
    // Opening and closing run on the slot's recording thread; the result
    // comes back as recordingOpened / recordingClosed and in the snapshot.
    // The slot counts as recording at once (a file that cannot be opened
    // is told and leaves it recording nothing until stopped).
    bool startManualRecording(int slot);
    void stopManualRecording(int slot);
    // Stop-all of the tray: every running recording closed, and the
    // schedule starts none until resumeRecordings().
    void suspendRecordings();
    void resumeRecordings();
    // Takes the slot into the schedule or out of it and saves the settings;
    // taken out, its running scheduled recording ends now.
    void setScheduleRecord(int slot, bool on);
    // Whether a file is open for the slot now.
    bool recordingOpen(int slot) const;
    // The files of the recordings open now, from the recorder's open and
    // close events.
    std::vector<std::filesystem::path> openRecordingPaths() const;
    // One retention check of video/ (the tick's timer runs it every few
    // seconds): below the free-space floor of retention.txt the oldest
    // finished recordings of ours are deleted. The files deleted.
    std::vector<std::filesystem::path> checkRetention();
    // Where checkRetention asks for free space (tests put a fake here).
    void setFreeSpaceProbe(FreeSpaceProbe probe);

    // --- Panes ---
    // Gives slots 0..count-1 a pane of `size` and takes the panes of the
    // others away (a camera without a pane still records, it is not drawn).
    void rebuildPanes(int count, QSize size);
    void resizePane(int slot, QSize size);
    // Someone sees the panes (false: window minimized or hidden, or no
    // window at all); while false nothing is decoded for drawing.
    void setPicturesWanted(bool wanted);
    // A copy of what the engine composed for the slot's pane.
    QImage paneImage(int slot) const;
    // Lets `read` see the slot's pane without a copy (paint events); it
    // runs under the pane's own lock and must not call back into the engine.
    void readPane(int slot, const std::function<void(const QImage&)>& read) const;
    // Frames decoded so far, all slots (tests and benchmarks).
    int64_t decodeCount() const;
    // Frames received so far by the slot (tests and benchmarks).
    int framesReceived(int slot) const;
    // The slot's controller state now (tests).
    SlotState slotState(int slot) const;
    // Routes every recording write through `write` (tests put slow or full
    // disks here); set before recordings open.
    void setRecordingWriteFunction(std::function<ssize_t(int fd, const iovec* pieces, int count, off_t offset)> write);

    // --- Schedule and ending ---
    // One run of the schedule tick (the timer calls it every second).
    void scheduleTick();
    // Posts a flush for each open RTSP recording that may hold packets.
    void flushIdleStreams();
    // Leaving without recordings: every camera lets go, and every tick
    // from the next on asks the front end to end its main window
    // (mainWindowEndRequested) until it does.
    void requestStopAll();
    // Ends every connection within `timeout`, stops the tick and closes
    // every recording, in about `timeout` whatever the cameras and disks
    // do. Safe to call more than once. False when a connection or a
    // recording could not be ended in time: the front end then ends the
    // process without waiting (the engine's destructor would wait for it).
    bool shutdown(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

signals:
    void snapshotChanged();
    // New pictures in a pane; told at most 50 times a second, all panes together.
    void paneUpdated(int slot);
    void message(const QString& text, const QString& caption, int icon);  // icon: a NotifyIcon value
    void connectionChanged(int slot, int state);                          // state: a ConnectionState value
    void recordingOpened(int slot, const QString& file);
    void recordingClosed(int slot, const QString& file);
    void trayFrameChanged(int frame);
    // Retention deleted a recording to keep free space above the floor.
    void recordingDeleted(const QString& file);
    // The user left without recordings: the front end ends its main window.
    void mainWindowEndRequested();

private:
    class QueuedNotifier final : public Notifier {
    public:
        explicit QueuedNotifier(Engine& engine) : engine_(engine) {}
        void notify(const std::string& text, const std::string& caption, NotifyIcon icon) override;

    private:
        Engine& engine_;
    };
    class TickActions;

    // Runs `f` on the engine's thread later; dropped if the engine is gone.
    template <class F>
    void post(F&& f);
    // Runs the functions post() queued, oldest first (engine thread, woken
    // through wakeFd_).
    void runPosted();
    bool runOnePosted();
    void paneDrawn(int slot);
    void deliverDrawnPanes();
    // Makes the snapshot anew from the state and tells the front ends.
    void publish();
    // Finds the rows of the table in place that cannot be served and tells
    // each newly found one once.
    void findCameraProblems();
    void saveSettingsSoon();
    void openRecordingLater(int slot, std::filesystem::path path, bool retried);
    void closeRecordingLater(int slot);
    // The timer's retention check, on a thread of its own.
    void checkRetentionLater();

    friend struct EngineInternals;  // tests reach the state through it

    EngineOptions options_;
    const Clock& clock_;
    QueuedNotifier notifier_{*this};
    std::unique_ptr<AppState> state_;
    std::unique_ptr<CameraDatabase> database_;
    std::unique_ptr<OverlayBitmaps> bitmaps_;
    std::unique_ptr<FrameDrawer> drawer_;
    std::unique_ptr<AviRecorder> recorder_;
    std::unique_ptr<FrameHandoff> handoff_;
    std::array<std::unique_ptr<PaneBuffer>, maxCameras> panes_;  // live as long as the engine
    static_assert(maxCameras <= 32);
    std::atomic<uint32_t> drawnPanes_{0};  // slots drawn since the last delivery, a bit each
    QTimer paneDelivery_;                  // engine thread: delivers drawnPanes_
    int wakeFd_ = -1;                    // eventfd: a post wakes the engine's thread
    QSocketNotifier* wake_ = nullptr;    // engine thread
    std::mutex postLock_;  // guards posted_; a leaf
    // A queue in a vector that keeps its capacity (a deque allocates a block
    // every few posts, and a repaint is posted for every drawn frame):
    // posted_[postedHead_..] wait, oldest first. Guarded by postLock_.
    std::vector<std::function<void()>> posted_;
    size_t postedHead_ = 0;
    mutable std::mutex openPathsLock_;  // a leaf, taken under a recordLock by the recorder's events
    std::array<std::filesystem::path, maxCameras> openPaths_;  // guarded by openPathsLock_
    // A cut stream file still taking late sound; guarded by openPathsLock_.
    std::array<std::filesystem::path, maxCameras> endingPaths_;
    std::unique_ptr<CameraWorkers> workers_;
    std::unique_ptr<RecordingJobs> recordingJobs_;
    // A flush of the slot's stream recording is queued: a hung disk gets one, not one a second.
    std::array<std::atomic<bool>, maxCameras> flushQueued_{};
    std::unique_ptr<SettingsSaver> settingsSaver_;
    std::unique_ptr<Startup> startup_;
    std::shared_ptr<const EngineSnapshot> snapshot_;          // engine thread
    std::array<SlotState, maxCameras> slotStates_{};          // engine thread, from the controllers' events
    std::array<std::string, maxCameras> cameraProblems_;      // engine thread: why a slot's row cannot be served
    std::vector<std::string> toldProblems_;                   // engine thread: the problems told, as told
    std::array<int, maxCameras> openingCount_{};              // engine thread: opens queued, not yet done
    std::thread retentionThread_;                             // engine thread starts and joins it
    bool retentionRunning_ = false;                           // engine thread
    std::atomic<bool> retentionDone_{false};                  // the retention thread's last act
    ScheduleTable schedule_;        // engine thread
    ScheduleTickState retries_;      // engine thread
    std::unique_ptr<TickActions> tickActions_;
    QTimer tickTimer_;
    QTimer retentionTimer_;
    FreeSpaceProbe freeSpace_ = systemFreeSpace;
    bool shutDown_ = false;
    bool shutdownComplete_ = false;
    bool camerasConnected_ = false;  // connectAllCameras ran: new cameras start at once, rebuilds start them again
    std::unique_ptr<AudioSession> audio_;  // last: its reading uses state_'s audioLock
};

}  // namespace cx
