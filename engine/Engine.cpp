#include "Engine.h"

#include <algorithm>
#include <thread>

#include <QImage>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include "AudioSession.h"
#include "AviRecorder.h"
#include "AviRecording.h"
#include "CameraDatabase.h"
#include "Clock.h"
#include "FrameDrawer.h"
#include "FrameHandoff.h"
#include "OverlayBitmaps.h"
#include "ProgramFolder.h"
#include "PaneBuffer.h"
#include "RequestPaths.h"
#include "SettingsFile.h"
#include "SettingsSaver.h"
#include "TextToInt.h"

namespace cx {

namespace {
ConnectionState connectionOf(SlotState s)
{
    switch (s) {
    case SlotState::Connecting: return ConnectionState::Connecting;
    case SlotState::Live: return ConnectionState::Live;
    case SlotState::BackingOff: return ConnectionState::Offline;
    default: return ConnectionState::Idle;
    }
}
}  // namespace

// What the schedule tick does to the world, done with the engine's parts.
class Engine::TickActions final : public ScheduleActions {
public:
    explicit TickActions(Engine& engine) : engine_(engine) {}
    void openRecording(int slot, const std::string& relativePath) override
    {
        engine_.openRecordingLater(slot, relativePath, true);
    }
    void closeRecording(int slot) override { engine_.closeRecordingLater(slot); }
    bool recordingOpen(int slot) const override
    {
        // Never the lock: a camera stuck on its disk must not hold the tick.
        return validSlot(slot) && engine_.state_->recordingOpen[static_cast<size_t>(slot)].load() == 1;
    }
    void setTrayFrame(int frame) override { emit engine_.trayFrameChanged(frame); }
    void endMainWindow() override { emit engine_.mainWindowEndRequested(); }
    bool scheduledChanged = false;  // the tick opened or closed a scheduled recording

private:
    Engine& engine_;
};

void Engine::QueuedNotifier::notify(const std::string& text, const std::string& caption, NotifyIcon icon)
{
    // Qt strings are made on the engine's thread: this runs on any thread,
    // and Qt's own data sharing is invisible to ThreadSanitizer.
    const int i = static_cast<int>(icon);
    engine_.post([e = &engine_, text, caption, i] {
        emit e->message(QString::fromStdString(text), QString::fromStdString(caption), i);
    });
}

template <class F>
void Engine::post(F&& f)
{
    // The function waits in a queue of our own, guarded by postLock_, and an
    // eventfd wakes the engine's thread: nothing that crosses threads travels
    // in Qt's event queue, whose hand-over ThreadSanitizer cannot see, and a
    // post allocates nothing in Qt.
    {
        std::lock_guard lock(postLock_);
        posted_.push_back(std::forward<F>(f));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

bool Engine::runOnePosted()
{
    std::function<void()> f;
    {
        std::lock_guard lock(postLock_);
        if (postedHead_ >= posted_.size()) return false;
        f = std::move(posted_[postedHead_++]);
        if (postedHead_ == posted_.size()) {
            posted_.clear();
            postedHead_ = 0;
        } else if (postedHead_ > 64 && postedHead_ * 2 > posted_.size()) {
            // Never drained empty (a steady stream of posts): move the
            // waiting ones to the front instead of growing.
            posted_.erase(posted_.begin(), posted_.begin() + static_cast<std::ptrdiff_t>(postedHead_));
            postedHead_ = 0;
        }
    }
    f();
    return true;
}

void Engine::runPosted()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    // Oldest first, one at a time: a function that runs a nested event loop
    // (a message box) lets the later ones run in it, in order.
    while (runOnePosted()) {
    }
}

Engine::Engine(EngineOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      clock_(options_.clock != nullptr ? *options_.clock : SystemClock::instance()),
      state_(std::make_unique<AppState>()),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    wake_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
    connect(wake_, &QSocketNotifier::activated, this, &Engine::runPosted);
    state_->programFolder = options_.programFolder;
    audio_ = std::make_unique<AudioSession>(state_->audioLock);
    // A missing ODBC driver is told like any other message (a box in the
    // window, standard error without one).
    database_ = std::make_unique<CameraDatabase>(options_.programFolder, DriverOptions{&notifier_});
    bitmaps_ = std::make_unique<OverlayBitmaps>(OverlayBitmaps::builtIn());
    drawer_ = std::make_unique<FrameDrawer>(*state_, *bitmaps_);
    recorder_ = std::make_unique<AviRecorder>(*state_, notifier_, clock_);
    recorder_->setRecordingEvent([this](int slot, const std::filesystem::path& file, bool opened) {
        {
            std::lock_guard lock(openPathsLock_);
            // A stream file cut at a segment's end is told closed after the
            // next one opened (it waits for late sound): until then both are
            // open, and retention keeps its hands off both.
            std::filesystem::path& open = openPaths_[static_cast<size_t>(slot)];
            std::filesystem::path& ending = endingPaths_[static_cast<size_t>(slot)];
            if (opened) {
                if (!open.empty()) ending = open;
                open = file;
            } else if (open == file) {
                open.clear();
            } else if (ending == file) {
                ending.clear();
            }
        }
        post([this, slot, name = file.string(), opened] {
            publish();
            if (opened)
                emit recordingOpened(slot, QString::fromStdString(name));
            else
                emit recordingClosed(slot, QString::fromStdString(name));
        });
    });
    handoff_ = std::make_unique<FrameHandoff>(*state_, *drawer_, *recorder_, clock_);
    recordingJobs_ = std::make_unique<RecordingJobs>();
    SettingsSaverOptions saving;
    // Told once per run of failures, on the saver's thread (the notifier queues it).
    saving.onResult = [this, failing = std::make_shared<std::atomic<bool>>(false)](bool ok) {
        if (failing->exchange(!ok) == !ok || ok) return;
        notifier_.notify(settingsNotSavedText, "Corvanex", NotifyIcon::Stop);
    };
    settingsSaver_ = std::make_unique<SettingsSaver>(options_.programFolder, std::move(saving));
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        panes_[i] = std::make_unique<PaneBuffer>(QSize(320, 240));
        panes_[i]->setRepaintRequest([this, slot] { paneDrawn(slot); });
    }
    workers_ = std::make_unique<CameraWorkers>(
        *state_, *handoff_, notifier_, clock_, options_.timing, [this](int slot, SlotState s) {
            post([this, slot, s] {
                const ConnectionState before = connectionOf(slotStates_[static_cast<size_t>(slot)]);
                slotStates_[static_cast<size_t>(slot)] = s;
                const ConnectionState now = connectionOf(s);
                if (now == before) return;
                publish();
                emit connectionChanged(slot, static_cast<int>(now));
            });
        });
    tickActions_ = std::make_unique<TickActions>(*this);
    // 50 deliveries a second at most: above any camera's frame rate here,
    // so no frame is skipped, and a pane lags its camera by 20 ms at most.
    paneDelivery_.setSingleShot(true);
    paneDelivery_.setInterval(20);
    connect(&paneDelivery_, &QTimer::timeout, this, &Engine::deliverDrawnPanes);
    tickTimer_.setInterval(1000);
    connect(&tickTimer_, &QTimer::timeout, this, &Engine::scheduleTick);
    // Free space changes slowly; a check every few seconds is plenty.
    retentionTimer_.setInterval(5000);
    connect(&retentionTimer_, &QTimer::timeout, this, &Engine::checkRetentionLater);
    publish();
}

Engine::~Engine()
{
    shutdown();
    if (retentionThread_.joinable()) retentionThread_.join();
    workers_.reset();        // joins what is left before the parts the workers use go
    handoff_.reset();        // and its decoding threads, which draw into the panes
    recordingJobs_.reset();  // the same for opens and closes still queued
    audio_.reset();
    settingsSaver_.reset();
    delete wake_;
    wake_ = nullptr;
    // Closed last, and forgotten: a recording the recorder still closes as
    // it goes posts its event into nothing rather than into a reused fd.
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

void Engine::publish()
{
    auto snap = std::make_shared<EngineSnapshot>();
    snap->programFolder = options_.programFolder;
    snap->settings = state_->settings.values();
    snap->statusText = state_->statusTextCopy();
    snap->recordingSuspended = state_->recordingSuspended.load() == 1;
    snap->exitRequested = retries_.exitRequested;
    const int count = std::clamp(state_->cameraCount(), 0, maxCameras);
    snap->cameras.resize(static_cast<size_t>(count));
    for (int slot = 0; slot < count; ++slot) {
        const auto i = static_cast<size_t>(slot);
        CameraStatus& c = snap->cameras[i];
        c.name = state_->cameraNameOf(slot);
        c.entry = state_->cameraEntry(slot).value_or(CameraEntry{});
        c.problem = cameraProblems_[i];
        c.flips = state_->slotFlips(slot).value_or(SlotFlips{});
        c.defaults = state_->cameraDefaults[i];
        c.connection = connectionOf(slotStates_[i]);
        c.offlineSince = state_->offlineSince[i].load();
        c.framesReceived = state_->framesReceived[i].load();
        c.frameRate = state_->frameRate[i].lastFrameRate.load(std::memory_order_relaxed);
        c.manualRecording = state_->manualRecording[i].load() == 1;
        c.scheduledRecording = state_->scheduledRecording[i].load() == 1;
        c.fileOpen = state_->recordingOpen[i].load() == 1;
        c.fileOpening = openingCount_[i] > 0;
    }
    snapshot_ = std::move(snap);
    emit snapshotChanged();
}

void Engine::saveSettingsSoon()
{
    settingsSaver_->save(state_->settings);
}

void Engine::changeSettings(const SettingsValues& values)
{
    const SettingsValues before = state_->settings.values();
    if (values == before) return;
    state_->settings.assign(values);
    saveSettingsSoon();
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        if (values.monitorEnabled[i] == before.monitorEnabled[i]) continue;
        if (values.monitorEnabled[i] == 1 && slot < state_->cameraCount())
            workers_->StartCamera(slot);
        else if (values.monitorEnabled[i] != 1)
            workers_->viewOff(slot);
    }
    publish();
}

void Engine::openRecordingLater(int slot, std::filesystem::path path, bool retried)
{
    if (shutDown_ || !validSlot(slot)) return;  // nothing opens after the exit step
    const auto report = retried ? AviRecorder::FailureReport::OncePerEpisode : AviRecorder::FailureReport::Always;
    ++openingCount_[static_cast<size_t>(slot)];
    recordingJobs_->post(slot, [this, slot, path = std::move(path), report] {
        recorder_->OpenRecording(path, slot, report);
        // Opened or not (a failure is told by the recorder): no longer pending.
        post([this, slot] {
            --openingCount_[static_cast<size_t>(slot)];
            publish();
        });
    });
}

void Engine::closeRecordingLater(int slot)
{
    recordingJobs_->post(slot, [this, slot] { recorder_->CloseRecording(slot); });
}

void Engine::paneDrawn(int slot)
{
    // Coalesced over all panes: the first drawing after a delivery wakes
    // this thread, which delivers a short while later whatever was drawn
    // meanwhile. Sixteen cameras then cost this thread at most two wake-ups
    // per period instead of one per frame.
    if (drawnPanes_.fetch_or(1u << static_cast<unsigned>(slot)) != 0) return;
    post([this] {
        if (!paneDelivery_.isActive()) paneDelivery_.start();
    });
}

void Engine::deliverDrawnPanes()
{
    const uint32_t drawn = drawnPanes_.exchange(0);
    for (int slot = 0; slot < maxCameras; ++slot)
        if ((drawn & (1u << static_cast<unsigned>(slot))) != 0) emit paneUpdated(slot);
}

void Engine::loadSchedule()
{
    schedule_ = cx::loadSchedule(state_->programFolder);
}

bool Engine::saveSchedule(const ScheduleTable& table)
{
    if (!cx::saveSchedule(state_->programFolder, table)) {
        // hours.dat may already be the new one: put back what the tick runs
        // by, so the next start reads the same timetable.
        cx::saveSchedule(state_->programFolder, schedule_);
        return false;
    }
    schedule_ = table;
    return true;
}

void Engine::startScheduleTick()
{
    tickTimer_.start();
    retentionTimer_.start();
}

void Engine::stopScheduleTick()
{
    tickTimer_.stop();
    retentionTimer_.stop();
}

int Engine::loadCameraTable()
{
    LoadedCameras cameras = database_->loadCameras();
    state_->setCameraNames(cameras.names);
    return applyCameraTable(std::move(cameras.table));  // publishes
}

int Engine::applyCameraTable(CameraTable table)
{
    const int rows = std::clamp(table.count, 0, maxCameras);
    // Only an RTSP camera has RTSP settings, whatever is stored under its name.
    table.rtsp.resize(table.type.size());
    for (size_t i = 0; i < table.type.size(); ++i)
        if (table.type[i] != rtspType) table.rtsp[i].reset();
    state_->replaceCameraTable(std::move(table), rows);
    // Slots the table no longer holds have no camera to serve.
    for (int slot = rows; slot < maxCameras; ++slot) workers_->stopCamera(slot);
    findCameraProblems();
    publish();
    return rows;
}

void Engine::findCameraProblems()
{
    // Told once while it lasts: the table is loaded again after every
    // change in the camera list, and each load would tell it again.
    std::vector<std::string> told;
    const int count = std::clamp(state_->cameraCount(), 0, maxCameras);
    for (int slot = 0; slot < maxCameras; ++slot) {
        std::string& problem = cameraProblems_[static_cast<size_t>(slot)];
        problem.clear();
        const std::optional<CameraEntry> entry = slot < count ? state_->cameraEntry(slot) : std::nullopt;
        if (!entry) continue;
        if (!isKnownCameraType(entry->type))
            problem = "unknown camera model " + std::to_string(entry->type);
        else if (entry->type == rtspType && !entry->rtsp)
            problem = "RTSP settings are missing";
        if (problem.empty()) continue;
        std::string text = "Camera " + state_->cameraNameOf(slot) + ": " + problem;
        if (std::find(toldProblems_.begin(), toldProblems_.end(), text) == toldProblems_.end())
            notifier_.notify(text, "Corvanex", NotifyIcon::Exclamation);
        told.push_back(std::move(text));
    }
    toldProblems_ = std::move(told);
}

void Engine::connectAllCameras()
{
    camerasConnected_ = true;
    workers_->ConnectAllCameras();
}

void Engine::startCamera(int slot)
{
    workers_->StartCamera(slot);
}

void Engine::stopCamera(int slot)
{
    workers_->stopCamera(slot);
}

void Engine::restartCamera(int slot)
{
    workers_->restartCamera(slot);
}

bool Engine::cameraNameInUse(const std::string& name)
{
    return database_->countName(name) > 0;
}

CameraChange Engine::addCamera(const NewCamera& camera)
{
    if (cameraNameInUse(camera.name)) return CameraChange::NameInUse;
    const bool rtspCamera = textToInt(camera.type) == rtspType;
    if (!database_->insertCamera(camera.name, camera.host, camera.port, camera.login, camera.password, camera.type,
                                 rtspCamera ? camera.rtsp : std::nullopt))
        return CameraChange::NotStored;
    loadCameraTable();
    createCameraFolder(camera.name);
    return CameraChange::Done;
}

void Engine::startConfiguredCameras()
{
    if (!camerasConnected_) return;
    const int count = state_->cameraCount();
    for (int slot = 0; slot < count && slot < maxCameras; ++slot) workers_->StartCamera(slot);
}

int Engine::removeCamera(const std::string& name)
{
    database_->deleteCamera(name);
    // Slots move up by one behind the removed row: every connection lets go
    // and the panes show nothing until the new rows draw.
    for (auto& pane : panes_) pane->resize(pane->size());
    const int count = loadCameraTable();
    for (int slot = 0; slot < count && slot < maxCameras; ++slot) {
        state_->settings.monitorEnabled[static_cast<size_t>(slot)] = 1;
        if (camerasConnected_) workers_->restartCamera(slot);
    }
    saveSettingsSoon();
    publish();
    return count;
}

CameraChange Engine::updateCamera(int slot, const std::string& oldName, const NewCamera& camera, bool addressChanged)
{
    if (camera.name != oldName && cameraNameInUse(camera.name)) return CameraChange::NameInUse;
    const SlotFlips now = state_->slotFlips(slot).value_or(SlotFlips{});
    const std::optional<CameraEntry> before = state_->cameraEntry(slot);
    const std::optional<RtspSettings> rtsp = before && before->type == rtspType ? camera.rtsp : std::nullopt;
    if (!database_->updateCamera(oldName, camera.name, camera.host, camera.port, camera.login, camera.password,
                                 now.horizontal, now.vertical, rtsp))
        return CameraChange::NotStored;
    createCameraFolder(camera.name);
    // Loaded again in any case: a renamed camera files its next recordings
    // and snapshots under its new name.
    loadCameraTable();
    const bool rtspChanged = rtsp && before->rtsp != rtsp;
    if ((addressChanged || rtspChanged) && camerasConnected_) workers_->restartCamera(slot);
    return CameraChange::Done;
}

void Engine::createCameraFolder(const std::string& name)
{
    if (!isSafeFileName(name)) return;
    std::error_code ec;
    const auto video = state_->programFolder / "video";
    std::filesystem::create_directory(video, ec);
    std::filesystem::create_directory(video / name, ec);
}

void Engine::setMonitoring(int slot, bool on)
{
    if (!validSlot(slot)) return;
    SettingsValues values = state_->settings.values();
    values.monitorEnabled[static_cast<size_t>(slot)] = on ? 1 : 0;
    changeSettings(values);
}

void Engine::setFlips(int slot, int horizontal, int vertical)
{
    if (state_->setFlips(slot, horizontal, vertical)) publish();
}

void Engine::setViewEnlarged(int slot, bool on)
{
    if (validSlot(slot)) state_->viewEnlarged[static_cast<size_t>(slot)] = on ? 1 : 0;
}

void Engine::requestSnapshot(int slot)
{
    if (slot == -1) {
        const int count = state_->cameraCount();
        for (int s = 0; s < count && s < maxCameras; ++s) state_->snapshotRequest[static_cast<size_t>(s)] = 1;
        return;
    }
    if (validSlot(slot)) state_->snapshotRequest[static_cast<size_t>(slot)] = 1;
}

void Engine::startAudio(int slot)
{
    if (shutDown_ || audio_->running() || slot >= state_->loadedRows.load()) return;
    const std::optional<CameraEntry> camera = state_->cameraEntry(slot);
    // Sound is read over HTTP: an RTSP camera would be asked in the wrong
    // protocol, a row of no model not at all.
    if (!camera || camera->type == rtspType || !cameraProblems_[static_cast<size_t>(slot)].empty()) return;
    audio_->start(*camera);
}

void Engine::stopAudio()
{
    audio_->stop();
}

bool Engine::audioReading() const
{
    return audio_->running();
}

bool Engine::startManualRecording(int slot)
{
    if (!validSlot(slot) || slot >= state_->cameraCount()) return false;
    const auto i = static_cast<size_t>(slot);
    if (state_->manualRecording[i].load() == 1) return false;
    state_->segmentStart[i] = clock_.now();
    // Set even when the file cannot be opened: the camera records nothing
    // until stop and start again, and the window shows it as running.
    state_->manualRecording[i] = 1;
    openRecordingLater(slot, recorder_->BuildRecordingName(slot), false);
    publish();
    return true;
}

void Engine::stopManualRecording(int slot)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    if (state_->manualRecording[i].exchange(0) != 1) return;
    closeRecordingLater(slot);
    publish();
}

void Engine::suspendRecordings()
{
    state_->recordingSuspended = 1;
    const int count = state_->cameraCount();
    for (int slot = 0; slot < count && slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        if (state_->manualRecording[i].load() != 1 && state_->scheduledRecording[i].load() != 1) continue;
        state_->manualRecording[i] = 0;
        state_->scheduledRecording[i] = 0;
        closeRecordingLater(slot);
    }
    publish();
}

void Engine::resumeRecordings()
{
    state_->recordingSuspended = 0;
    publish();
}

void Engine::setScheduleRecord(int slot, bool on)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    SettingsValues values = state_->settings.values();
    values.scheduleRecord[i] = on ? 1 : 0;
    changeSettings(values);
    if (on) return;  // the next tick opens it inside the window
    if (state_->scheduledRecording[i].exchange(0) == 1) closeRecordingLater(slot);
    publish();
}

bool Engine::recordingOpen(int slot) const
{
    return tickActions_->recordingOpen(slot);
}

std::vector<std::filesystem::path> Engine::openRecordingPaths() const
{
    // From the recorder's own open and close events: never a recording's
    // lock, which a camera on a slow disk may hold.
    std::vector<std::filesystem::path> paths;
    std::lock_guard lock(openPathsLock_);
    for (const auto& p : openPaths_)
        if (!p.empty()) paths.push_back(p);
    for (const auto& p : endingPaths_)
        if (!p.empty()) paths.push_back(p);
    return paths;
}

std::vector<std::filesystem::path> Engine::checkRetention()
{
    // On this thread, holding no lock of the frame path: the open files are
    // a copy taken after the folders were listed.
    const auto folder = state_->programFolder;
    const RetentionRun run = enforceRetention(folder / "video", loadRetentionPolicy(folder), freeSpace_,
                                              [this] { return openRecordingPaths(); });
    for (const auto& file : run.deleted) emit recordingDeleted(QString::fromStdString(file.string()));
    return run.deleted;
}

void Engine::checkRetentionLater()
{
    // Listing, free space and deletes wait on the disk: a thread of their
    // own, one check at a time; what was deleted comes back as an event.
    if (retentionRunning_ || shutDown_) return;
    if (retentionThread_.joinable()) retentionThread_.join();  // the last check, which has ended
    retentionRunning_ = true;
    retentionDone_ = false;
    const auto folder = state_->programFolder;
    retentionThread_ = std::thread([this, folder, probe = freeSpace_] {
        const RetentionRun run = enforceRetention(folder / "video", loadRetentionPolicy(folder), probe,
                                                  [this] { return openRecordingPaths(); });
        post([this, deleted = run.deleted] {
            retentionRunning_ = false;
            for (const auto& file : deleted) emit recordingDeleted(QString::fromStdString(file.string()));
        });
        retentionDone_ = true;
    });
}

void Engine::setFreeSpaceProbe(FreeSpaceProbe probe)
{
    freeSpace_ = std::move(probe);
}

void Engine::rebuildPanes(int count, QSize size)
{
    // Panes live as long as the engine: a camera drawing meanwhile draws
    // into a pane under the pane's own lock, or into none.
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        if (slot < count) {
            panes_[i]->resize(size);
            state_->viewWindow[i] = panes_[i].get();
        } else {
            state_->viewWindow[i] = nullptr;
        }
    }
}

void Engine::resizePane(int slot, QSize size)
{
    if (validSlot(slot)) panes_[static_cast<size_t>(slot)]->resize(size);
}

void Engine::setPicturesWanted(bool wanted)
{
    state_->picturesWanted = wanted ? 1 : 0;
}

QImage Engine::paneImage(int slot) const
{
    if (!validSlot(slot)) return {};
    return panes_[static_cast<size_t>(slot)]->image();
}

void Engine::readPane(int slot, const std::function<void(const QImage&)>& read) const
{
    if (validSlot(slot)) panes_[static_cast<size_t>(slot)]->read(read);
}

int64_t Engine::decodeCount() const
{
    return handoff_->decodeCount();
}

int Engine::framesReceived(int slot) const
{
    return validSlot(slot) ? state_->framesReceived[static_cast<size_t>(slot)].load() : 0;
}

SlotState Engine::slotState(int slot) const
{
    return workers_->slotState(slot);
}

void Engine::setRecordingWriteFunction(std::function<ssize_t(int, const iovec*, int, off_t)> write)
{
    recorder_->setWriteFunction(std::move(write));
}

void Engine::scheduleTick()
{
    ScheduleTick(*state_, schedule_, clock_, *tickActions_, retries_);
    flushIdleStreams();
    publish();  // frame rates, counters and the tick's own changes
}

void Engine::flushIdleStreams()
{
    // An RTSP camera that stalls or drops sends nothing that would push its
    // last half second to the file: its recording job does, within a second.
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        // A file cut at a segment's end is completed here too when the next
        // one could not be opened and the camera went quiet.
        if ((state_->recordingOpen[i].load() != 1 && !recorder_->finishingCut(slot)) ||
            !recorder_->recordsPackets(slot))
            continue;
        if (flushQueued_[i].exchange(true)) continue;
        recordingJobs_->post(slot, [this, slot] {
            flushQueued_[static_cast<size_t>(slot)] = false;
            recorder_->flushIdleStream(slot, streamFlushIdleMs);
        });
    }
}

void Engine::requestStopAll()
{
    retries_.exitRequested = true;
    audio_->stop();
    for (int slot = 0; slot < maxCameras; ++slot) workers_->stopCamera(slot);
    publish();
}

StartupResult Engine::runStartup(StartupHooks hooks, std::function<void()> runLoop)
{
    hooks.loadSchedule = [this] { loadSchedule(); };
    // Right after the settings are read: the first windows draw with them.
    hooks.loadBitmaps = [this, loadBitmaps = std::move(hooks.loadBitmaps)] {
        publish();
        if (loadBitmaps) loadBitmaps();
    };
    hooks.startScheduleTick = [this] { startScheduleTick(); };
    hooks.stopScheduleTick = [this] { stopScheduleTick(); };
    if (!hooks.runMainWindow) {
        hooks.runMainWindow = [this, runLoop = std::move(runLoop)] {
            const int cameras = loadCameraTable();
            // Every camera has a pane that nobody looks at: frames are
            // recorded and snapshotted, never decoded for drawing.
            rebuildPanes(cameras, QSize(320, 240));
            setPicturesWanted(false);
            connectAllCameras();
            if (runLoop) runLoop();
        };
    }
    startup_ = std::make_unique<Startup>(*state_, *database_, notifier_, std::move(hooks));
    const StartupResult result = startup_->run(options_.programFolder, false);
    publish();
    return result;
}

void Engine::exitStep()
{
    if (startup_) startup_->exitStep();
}

bool Engine::shutdown(std::chrono::milliseconds timeout)
{
    if (shutDown_) return shutdownComplete_;
    shutDown_ = true;
    tickTimer_.stop();
    retentionTimer_.stop();
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + timeout;
    // The exit forgets the request paths before the cameras are told to
    // stop; a connection still looking one up sees a whole table, old or empty.
    ResetRequestPaths();
    audio_->stop();  // ends while the cameras do
    // The cameras get three quarters of the time; the files the rest.
    const bool ended = workers_->stopAll(timeout * 3 / 4);
    // Opens and closes asked for before the exit run first; then every
    // recording is closed. A camera stuck on a hung disk holds its
    // recording's lock: that file is left as a crash would leave it rather
    // than the exit waiting for ever.
    bool closed = recordingJobs_->drain(deadline);
    for (int slot = 0; slot < maxCameras; ++slot) closed = recorder_->CloseRecordingBefore(slot, deadline) && closed;
    const auto left = [&] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          deadline - std::chrono::steady_clock::now()));
    };
    closed = settingsSaver_->flush(left()) && closed;
    const bool audioEnded = audio_->waitUntil(deadline);
    // A retention check stuck on the disk is not waited for either.
    while (retentionThread_.joinable() && !retentionDone_.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool retentionEnded = !retentionThread_.joinable() || retentionDone_.load();
    if (retentionEnded && retentionThread_.joinable()) retentionThread_.join();
    shutdownComplete_ = ended && closed && audioEnded && retentionEnded;
    return shutdownComplete_;
}

}  // namespace cx
