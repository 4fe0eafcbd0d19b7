#include "Engine.h"

#include <algorithm>

#include <QImage>
#include <QMetaObject>

#include "AudioReader.h"
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

namespace cx {

// What the schedule tick does to the world, done with the engine's parts.
class Engine::TickActions final : public ScheduleActions {
public:
    explicit TickActions(Engine& engine) : engine_(engine) {}
    void openRecording(int slot, const std::string& relativePath) override
    {
        engine_.recorder_->OpenRecording(relativePath, slot, AviRecorder::FailureReport::OncePerEpisode);
    }
    void closeRecording(int slot) override { engine_.recorder_->CloseRecording(slot); }
    bool recordingOpen(int slot) const override
    {
        // Never the lock: a camera stuck on its disk must not hold the tick.
        return validSlot(slot) && engine_.state_->recordingOpen[static_cast<size_t>(slot)].load() == 1;
    }
    void setTrayFrame(int frame) override { emit engine_.trayFrameChanged(frame); }
    void endMainWindow() override { emit engine_.mainWindowEndRequested(); }

private:
    Engine& engine_;
};

void Engine::QueuedNotifier::notify(const std::string& text, const std::string& caption, NotifyIcon icon)
{
    const QString t = QString::fromStdString(text);
    const QString c = QString::fromStdString(caption);
    const int i = static_cast<int>(icon);
    engine_.post([e = &engine_, t, c, i] { emit e->message(t, c, i); });
}

template <class F>
void Engine::post(F&& f)
{
    // The function waits in a queue of our own, guarded by postLock_, and a
    // queued call by name runs it: Qt's event queue hands over with locks
    // ThreadSanitizer cannot see, so nothing that crosses threads travels in
    // it. One call per function keeps the order, also in a nested event loop.
    {
        std::lock_guard lock(postLock_);
        posted_.push_back(std::forward<F>(f));
    }
    QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
}

void Engine::runPosted()
{
    std::function<void()> f;
    {
        std::lock_guard lock(postLock_);
        if (postedHead_ >= posted_.size()) return;
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
}

Engine::Engine(EngineOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      clock_(options_.clock != nullptr ? *options_.clock : SystemClock::instance()),
      state_(std::make_unique<AppState>())
{
    state_->programFolder = options_.programFolder;
    // A missing ODBC driver is told like any other message (a box in the
    // window, standard error without one).
    database_ = std::make_unique<CameraDatabase>(options_.programFolder, DriverOptions{&notifier_});
    bitmaps_ = std::make_unique<OverlayBitmaps>(OverlayBitmaps::builtIn());
    drawer_ = std::make_unique<FrameDrawer>(*state_, *bitmaps_);
    recorder_ = std::make_unique<AviRecorder>(*state_, notifier_, clock_);
    recorder_->setRecordingEvent([this](int slot, const std::filesystem::path& file, bool opened) {
        {
            std::lock_guard lock(openPathsLock_);
            openPaths_[static_cast<size_t>(slot)] = opened ? file : std::filesystem::path();
        }
        const QString name = QString::fromStdString(file.string());
        post([this, slot, name, opened] {
            if (opened)
                emit recordingOpened(slot, name);
            else
                emit recordingClosed(slot, name);
        });
    });
    handoff_ = std::make_unique<FrameHandoff>(*state_, *drawer_, *recorder_, clock_);
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        panes_[i] = std::make_unique<PaneBuffer>(QSize(320, 240));
        panes_[i]->setRepaintRequest([this, slot] { paneDrawn(slot); });
    }
    workers_ = std::make_unique<CameraWorkers>(*state_, *handoff_, notifier_, clock_, options_.timing);
    workers_->connectionChanged = [this](int slot, ConnectionState s) {
        post([this, slot, s] { emit connectionChanged(slot, static_cast<int>(s)); });
    };
    tickActions_ = std::make_unique<TickActions>(*this);
    tickTimer_.setInterval(1000);
    connect(&tickTimer_, &QTimer::timeout, this, &Engine::scheduleTick);
    // Free space changes slowly; a check every few seconds is plenty.
    retentionTimer_.setInterval(5000);
    connect(&retentionTimer_, &QTimer::timeout, this, [this] { checkRetention(); });
}

Engine::~Engine()
{
    shutdown();
    workers_.reset();  // joins what is left before the parts the workers use go
}

void Engine::paneDrawn(int slot)
{
    // Coalesced: one queued repaint per slot until the front end has had it.
    if (repaintPosted_[static_cast<size_t>(slot)].exchange(1) == 1) return;
    post([this, slot] {
        repaintPosted_[static_cast<size_t>(slot)] = 0;
        emit paneUpdated(slot);
    });
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
    return applyCameraTable(std::move(cameras.table));
}

int Engine::applyCameraTable(CameraTable table)
{
    const int rows = std::clamp(table.count, 0, maxCameras);
    state_->replaceCameraTable(std::move(table), rows);
    // Slots the table no longer holds have no camera to serve.
    for (int slot = rows; slot < maxCameras; ++slot)
        if (workers_->running(slot)) workers_->stopCamera(slot);
    return rows;
}

void Engine::connectAllCameras()
{
    state_->stopAllCameras = 0;
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

int Engine::addCamera(const NewCamera& camera)
{
    database_->insertCamera(camera.name, camera.host, camera.port, camera.login, camera.password, camera.type);
    const int count = loadCameraTable();
    createCameraFolder(camera.name);
    return count;
}

void Engine::startConfiguredCameras()
{
    if (!camerasConnected_) return;
    const int count = state_->cameraCount();
    for (int slot = 0; slot < count && slot < maxCameras; ++slot) workers_->StartCamera(slot);
}

int Engine::removeCamera(const std::string& name)
{
    const int before = state_->cameraCount();
    database_->deleteCamera(name);
    // Slots move up by one behind the removed row: every worker lets go of
    // its connection and the panes show nothing until the new rows draw.
    for (int slot = 0; slot < before && slot < maxCameras; ++slot) workers_->stopCamera(slot);
    for (auto& pane : panes_) pane->resize(pane->size());
    const int count = loadCameraTable();
    if (count == 0) return 0;
    for (int slot = 0; slot < count && slot < maxCameras; ++slot) {
        state_->settings.monitorEnabled[static_cast<size_t>(slot)] = 1;
        if (camerasConnected_) workers_->restartCamera(slot);
    }
    saveSettings(state_->settings, state_->programFolder);
    return count;
}

void Engine::updateCamera(int slot, const std::string& oldName, const NewCamera& camera, bool addressChanged)
{
    const SlotFlips now = state_->slotFlips(slot).value_or(SlotFlips{});
    database_->updateCamera(oldName, camera.name, camera.host, camera.port, camera.login, camera.password,
                            now.horizontal, now.vertical);
    createCameraFolder(camera.name);
    if (!addressChanged) return;
    loadCameraTable();
    if (camerasConnected_) workers_->restartCamera(slot);
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
    state_->settings.monitorEnabled[static_cast<size_t>(slot)] = on ? 1 : 0;
    saveSettings(state_->settings, state_->programFolder);
    if (on && slot < state_->cameraCount()) workers_->StartCamera(slot);
}

void Engine::setFlips(int slot, int horizontal, int vertical)
{
    state_->setFlips(slot, horizontal, vertical);
}

std::optional<SlotFlips> Engine::flips(int slot) const
{
    return state_->slotFlips(slot);
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
    if (audioReading_ || shutDown_) return;
    audioStop_ = false;
    audioReading_ = true;
    AudioReader reader(*state_);
    reader.stopWhen = [this] { return audioStop_ || shutDown_ || state_->stopAllCameras.load() == 1; };
    reader.StartAudio(slot);
    audioReading_ = false;
}

bool Engine::startManualRecording(int slot)
{
    if (!validSlot(slot) || slot >= state_->cameraCount()) return false;
    const auto i = static_cast<size_t>(slot);
    state_->segmentStart[i] = clock_.now();
    const bool opened = recorder_->OpenRecording(recorder_->BuildRecordingName(slot), slot);
    // Set even when the file could not be opened: the camera records
    // nothing until stop and start again, and the window shows it as running.
    state_->manualRecording[i] = 1;
    return opened;
}

void Engine::stopManualRecording(int slot)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    if (state_->manualRecording[i].exchange(0) == 1) recorder_->CloseRecording(slot);
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
        recorder_->CloseRecording(slot);
    }
}

void Engine::resumeRecordings()
{
    state_->recordingSuspended = 0;
}

void Engine::closeAllRecordings()
{
    for (int slot = 0; slot < maxCameras; ++slot) recorder_->CloseRecording(slot);
}

void Engine::setScheduleRecord(int slot, bool on)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    state_->settings.scheduleRecord[i] = on ? 1 : 0;
    saveSettings(state_->settings, state_->programFolder);
    if (on) return;  // the next tick opens it inside the window
    state_->scheduledRecording[i] = 0;
    recorder_->CloseRecording(slot);
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

void Engine::setFreeSpaceProbe(FreeSpaceProbe probe)
{
    freeSpace_ = std::move(probe);
}

void Engine::rebuildPanes(int count, QSize size)
{
    state_->layoutRebuilding = 1;
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        if (slot < count) {
            panes_[i]->resize(size);
            state_->viewWindow[i] = panes_[i].get();
        } else {
            state_->viewWindow[i] = nullptr;
        }
    }
    state_->layoutRebuilding = 0;
    // Stream and protocol workers end when they meet a rebuild; the cameras
    // that still have a pane are started again (a running one is left alone).
    if (!camerasConnected_) return;
    const int cameras = std::min(count, state_->cameraCount());
    for (int slot = 0; slot < cameras; ++slot)
        if (state_->settings.monitorEnabled[static_cast<size_t>(slot)].load() == 1) workers_->StartCamera(slot);
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

void Engine::setRecordingWriteFunction(std::function<ssize_t(int, const iovec*, int, off_t)> write)
{
    recorder_->setWriteFunction(std::move(write));
}

void Engine::scheduleTick()
{
    ScheduleTick(*state_, schedule_, clock_, *tickActions_, retries_);
    workers_->serviceRestarts();
}

void Engine::requestStopAll()
{
    state_->stopAllCameras = 1;
}

bool Engine::shutdown(std::chrono::milliseconds timeout)
{
    if (shutDown_) return shutdownComplete_;
    shutDown_ = true;
    tickTimer_.stop();
    retentionTimer_.stop();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // The exit forgets the request paths before the workers are told to
    // stop; a worker still looking one up sees a whole table, old or empty.
    ResetRequestPaths();
    const bool ended = workers_->stopAll(timeout);
    // A worker stuck on a hung disk holds its recording's lock: that file is
    // left as a crash would leave it rather than the exit waiting for ever.
    const auto closeBy = std::max(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
    bool closed = true;
    for (int slot = 0; slot < maxCameras; ++slot) closed = recorder_->CloseRecordingBefore(slot, closeBy) && closed;
    shutdownComplete_ = ended && closed;
    return shutdownComplete_;
}

}  // namespace cx
