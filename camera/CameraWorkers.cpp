#include "CameraWorkers.h"

#include <algorithm>

#include "CameraAddress.h"
#include "Clock.h"
#include "FrameRate.h"
#include "FrameSink.h"
#include "MessagePump.h"
#include "MjpegStreamReader.h"
#include "Notifier.h"
#include "RequestPaths.h"
#include "ReusedBuffer.h"

namespace cx {

namespace {

// Tells whether the notifier was used during a call: a camera that gave a
// wrong answer (and so a message) is not asked again and again.
class CountingNotifier final : public Notifier {
public:
    explicit CountingNotifier(Notifier& inner) : inner_(inner) {}
    void notify(const std::string& text, const std::string& caption, NotifyIcon icon) override
    {
        ++count;
        inner_.notify(text, caption, icon);
    }
    int count = 0;

private:
    Notifier& inner_;
};
}  // namespace

CameraWorkers::CameraWorkers(AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock,
                             WorkerTiming timing)
    : state_(state), sink_(sink), notifier_(notifier), clock_(clock), timing_(timing)
{
}

CameraWorkers::~CameraWorkers()
{
    stopAll();
    // Every wait of a worker is bounded, so these joins end too. They happen
    // outside threadsLock_: a worker takes it as it ends.
    std::array<std::thread, maxCameras> threads;
    {
        std::lock_guard lock(threadsLock_);
        threads.swap(threads_);
    }
    for (auto& t : threads)
        if (t.joinable()) t.join();
}

void CameraWorkers::ConnectAllCameras()
{
    state_.highResolutionCounter = 1;  // the steady clock is always there
    BuildRequestPaths();
    for (int slot = 0; slot < state_.cameraTable.count && slot < maxCameras; ++slot) StartCamera(slot);
}

void CameraWorkers::StartCamera(int slot)
{
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return;
    const auto i = static_cast<size_t>(slot);
    {
        std::lock_guard lock(threadsLock_);
        if (state_.workerRunning[i].load() == 1) return;
        if (threads_[i].joinable()) threads_[i].join();  // ended, not yet joined
        state_.stopRequest[i] = 0;
        state_.restartRequest[i] = 0;
        state_.workerRunning[i] = 1;
        StartFrameRate(state_, slot, clock_);
        setConnection(slot, ConnectionState::Connecting);
        if (camera->type != binaryProtocolType) {
            threads_[i] = std::thread([this, slot] { HttpWorker(slot); });
        } else {
            ++state_.runningProtocolWorkers;
            threads_[i] = std::thread([this, slot] { ProtocolWorker(slot); });
        }
    }
    if (slot == state_.loadedRows - 1 && lastCameraStarted) lastCameraStarted();
}

void CameraWorkers::stopCamera(int slot)
{
    if (!validSlot(slot)) return;
    state_.stopRequest[static_cast<size_t>(slot)] = 1;
}

void CameraWorkers::restartCamera(int slot)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    if (state_.workerRunning[i].load() == 1) {
        state_.restartRequest[i] = 1;
        state_.stopRequest[i] = 1;
        return;
    }
    StartCamera(slot);
}

void CameraWorkers::serviceRestarts()
{
    for (int slot = 0; slot < maxCameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        if (state_.restartRequest[i].load() == 1 && state_.workerRunning[i].load() == 0 &&
            state_.stopAllCameras.load() != 1)
            StartCamera(slot);
    }
}

bool CameraWorkers::running(int slot) const
{
    return validSlot(slot) && state_.workerRunning[static_cast<size_t>(slot)].load() == 1;
}

bool CameraWorkers::stopAll(std::chrono::milliseconds timeout)
{
    state_.stopAllCameras = 1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto anyRunning = [this] {
        return std::any_of(state_.workerRunning.begin(), state_.workerRunning.end(),
                           [](const std::atomic<int>& r) { return r.load() == 1; });
    };
    // No worker waits for this thread (messages are queued), so plain
    // waiting is safe; the deadline holds whatever state the event loop is in.
    while (anyRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    joinEnded();
    return !anyRunning();
}

void CameraWorkers::joinEnded()
{
    std::lock_guard lock(threadsLock_);
    for (size_t i = 0; i < threads_.size(); ++i)
        if (threads_[i].joinable() && state_.workerRunning[i].load() == 0) threads_[i].join();
}

void CameraWorkers::setConnection(int slot, ConnectionState s)
{
    const auto i = static_cast<size_t>(slot);
    const int previous = state_.connectionState[i].exchange(static_cast<int>(s));
    if (previous == static_cast<int>(s)) return;
    if (s == ConnectionState::Offline) state_.offlineSince[i] = clock_.now();
    if (connectionChanged) connectionChanged(slot, s);
}

bool CameraWorkers::backOff(int slot, int& delayMs, const std::function<bool()>& endWait)
{
    setConnection(slot, ConnectionState::Offline);
    const auto i = static_cast<size_t>(slot);
    state_.nextRetry[i] = clock_.now() + (delayMs + 999) / 1000;
    const auto wait = std::chrono::milliseconds(delayMs);
    delayMs = std::min(delayMs * 2, timing_.backoffMaxMs);
    if (!clock_.waitFor(wait, [this, &endWait] { return state_.stopAllCameras.load() == 1 || endWait(); }))
        return false;
    return state_.stopAllCameras.load() != 1 && !endWait();
}

bool CameraWorkers::finish(int slot, bool endedByRebuild)
{
    const auto i = static_cast<size_t>(slot);
    std::lock_guard lock(threadsLock_);
    if (endedByRebuild && state_.layoutRebuilding.load() == 0 && sink_.paneReady(slot) &&
        state_.settings.monitorEnabled[i].load() == 1 && state_.stopRequest[i].load() == 0 &&
        state_.stopAllCameras.load() != 1) {
        StartFrameRate(state_, slot, clock_);
        setConnection(slot, ConnectionState::Connecting);
        return false;
    }
    state_.nextRetry[i] = 0;
    setConnection(slot, ConnectionState::Idle);
    state_.workerRunning[i] = 0;  // last action: the slot may be started again
    return true;
}

void CameraWorkers::HttpWorker(int slot)
{
    while (!finish(slot, runHttpWorker(slot))) {
    }
}

void CameraWorkers::ProtocolWorker(int slot)
{
    for (;;) {
        const bool rebuilt = runProtocolWorker(slot);
        --state_.runningProtocolWorkers;  // before the slot is marked ended
        if (finish(slot, rebuilt)) return;
        ++state_.runningProtocolWorkers;
    }
}

bool CameraWorkers::runHttpWorker(int slot)
{
    const auto i = static_cast<size_t>(slot);
    bool snapshot = false;
    bool rebuilt = false;
    bool stopped = false;
    for (;;) {  // once per connection setup; a restart request comes back here
        rebuilt = false;
        const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
        if (state_.loadedRows == 0 || !camera) break;
        const HostPort target = SplitHttpAddress(camera->address);
        const CameraType code = camera->type;
        const std::string path = LookupVideoPath(code);
        snapshot = acquisitionMethod(code) == AcquisitionMethod::Snapshot;
        // Built once per connection setup: a snapshot camera's frames reuse it.
        const HttpRequest request = CameraRequest(*camera, target.host, target.port, path, timing_.http);
        HttpImageClient client(state_, sink_, timing_.http);
        client.frameArrived = [this](int s) { setConnection(s, ConnectionState::Live); };

        // A stream camera also ends when its view is switched off or rebuilt.
        auto waitEnds = [this, i, snapshot] {
            if (state_.stopRequest[i].load() != 0) return true;
            return !snapshot &&
                   (state_.settings.monitorEnabled[i].load() == 0 || state_.layoutRebuilding.load() == 1);
        };

        int delayMs = timing_.backoffStartMs;
        bool noDecoder = false;
        while (state_.stopAllCameras.load() != 1 && state_.stopRequest[i].load() == 0) {
            const LoadResult r = client.LoadPictureData(request, slot, code);
            // Only pictures show the camera works: text or junk that a broken
            // camera calls frames must not undo the back-off.
            if (r.pictures > 0) {
                setConnection(slot, ConnectionState::Live);
                delayMs = timing_.backoffStartMs;
            }
            if (r.end == LoadEnd::NoDecoder) {
                notifier_.notify(decoderMissingHttpText, "", NotifyIcon::Stop);
                noDecoder = true;
                break;
            }
            if (r.end == LoadEnd::Stopped) break;
            if (!snapshot && (r.end == LoadEnd::MonitorOff || r.end == LoadEnd::NoPane)) {
                rebuilt = r.end == LoadEnd::NoPane;
                break;
            }
            if (snapshot && r.pictures > 0) {
                PumpPendingMessages();
                continue;
            }
            // A failed request, a status without a frame, or a stream that broke or ended.
            if (!backOff(slot, delayMs, waitEnds)) break;
            setConnection(slot, ConnectionState::Connecting);
        }
        stopped = state_.stopRequest[i].exchange(0) != 0;
        const bool restart = state_.restartRequest[i].exchange(0) == 1;
        if (noDecoder || state_.stopAllCameras.load() == 1 || !stopped || !restart) break;
        setConnection(slot, ConnectionState::Connecting);
    }
    if (!snapshot && state_.settings.monitorEnabled[i].load() == 0) sink_.paintBlack(slot);
    return rebuilt && !stopped;  // a stop that came meanwhile wins
}

bool CameraWorkers::runProtocolWorker(int slot)
{
    const auto i = static_cast<size_t>(slot);
    CountingNotifier notifier(notifier_);
    auto cancelled = [this, i] { return state_.stopAllCameras.load() == 1 || state_.stopRequest[i].load() != 0; };
    ProtocolCamera camera(state_, notifier, timing_.protocol, cancelled);
    auto noRetry = [this, i] {
        return state_.stopRequest[i].load() != 0 || state_.settings.monitorEnabled[i].load() == 0;
    };

    // Grows to the camera's largest picture and is reused for every frame.
    std::vector<uint8_t> frame;
    enum class Why { StopRequest, StopAll, MonitorOff, NoPane, NoDecoder, Broken };
    Why why = Why::Broken;
    int delayMs = timing_.backoffStartMs;
    for (;;) {
        why = Why::Broken;
        if (state_.stopAllCameras.load() == 1) break;
        setConnection(slot, ConnectionState::Connecting);
        const int messagesBefore = notifier.count;
        // Taken afresh at every connect: a restart picks up changed settings.
        const std::optional<CameraEntry> entry = state_.cameraEntry(slot);
        if (!entry) break;
        if (!camera.ConnectToCamera(slot) || !camera.LoginToCamera(slot, entry->login, entry->password)) {
            // A camera that answered wrongly was told about: leave the slot dark.
            if (notifier.count != messagesBefore) break;
            if (!backOff(slot, delayMs, noRetry)) break;
            continue;
        }

        camera.SendImageRequestPacket(slot);
        for (;;) {
            if (state_.stopRequest[i].load() != 0) { why = Why::StopRequest; break; }
            if (state_.stopAllCameras.load() == 1) { why = Why::StopAll; break; }
            if (state_.settings.monitorEnabled[i].load() == 0) {
                sink_.paintBlack(slot);
                why = Why::MonitorOff;
                break;
            }
            if (state_.protocolSocket[i].load() < 0) break;

            uint8_t header[IMAGE_HEADER_LENGTH];
            const int n = camera.ReceiveExactly(slot, header, IMAGE_HEADER_LENGTH);
            if (n != IMAGE_HEADER_LENGTH) {
                if (n == -1 && camera.lastWaitCancelled()) continue;  // the checks above end it
                break;  // closed, failed or silent: reconnect
            }
            const ImageHeader h = parseImageHeader(header);
            if (h.code != imageHeaderCode) {
                camera.SendImageRequestPacket(slot);
                continue;
            }
            if (h.size <= 0 || h.size > maxFrameBytes) break;  // no way to stay in step with the camera
            if (state_.layoutRebuilding.load() == 1 || !sink_.paneReady(slot)) { why = Why::NoPane; break; }

            ++state_.framesReceived[i];
            if (frame.size() < static_cast<size_t>(h.size)) {
                reserveFor(frame, static_cast<size_t>(h.size));
                frame.resize(static_cast<size_t>(h.size));
            }
            const int got = camera.ReceiveExactly(slot, frame.data(), static_cast<int>(h.size));
            if (got != h.size) break;  // a torn picture is not shown or recorded
            state_.imageSize[i] = static_cast<int>(h.size);
            if (sink_.handOff(slot, std::span<const uint8_t>(frame.data(), static_cast<size_t>(h.size))) ==
                HandOffResult::NoDecoder) {
                notifier_.notify(decoderMissingProtocolText, "", NotifyIcon::Stop);
                why = Why::NoDecoder;
                break;
            }
            setConnection(slot, ConnectionState::Live);
            delayMs = timing_.backoffStartMs;
            camera.SendImageRequestPacket(slot);
            PumpPendingMessages();
        }

        // A receive cut short by a request is no broken connection.
        if (why == Why::Broken && state_.stopRequest[i].load() != 0) why = Why::StopRequest;
        if (why == Why::Broken && state_.stopAllCameras.load() == 1) why = Why::StopAll;
        if (state_.stopRequest[i].exchange(0) != 0 && why == Why::NoPane) why = Why::StopRequest;
        camera.CloseConnection(slot);
        if (why == Why::StopAll) break;
        if (state_.restartRequest[i].exchange(0) == 1) continue;
        if (why != Why::Broken) break;
        if (!backOff(slot, delayMs, noRetry)) break;
    }
    camera.CloseConnection(slot);
    if (state_.settings.monitorEnabled[i].load() == 0) sink_.paintBlack(slot);
    return why == Why::NoPane;
}

}  // namespace cx
