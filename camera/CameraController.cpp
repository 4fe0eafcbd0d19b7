#include "CameraController.h"

#include <algorithm>
#include <vector>

#include "AppState.h"
#include "CameraAddress.h"
#include "CameraModels.h"
#include "Clock.h"
#include "FrameRate.h"
#include "FrameSink.h"
#include "MessagePump.h"
#include "Notifier.h"
#include "RequestPaths.h"
#include "ReusedBuffer.h"
#include "RtspUrl.h"

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

CameraController::CameraController(int slot, AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock,
                                   const WorkerTiming& timing)
    : slot_(slot), appState_(state), sink_(sink), notifier_(notifier), clock_(clock), timing_(timing)
{
}

CameraController::~CameraController()
{
    command(SlotInput::Exit);
    if (thread_.joinable()) thread_.join();
}

void CameraController::command(SlotInput input)
{
    std::lock_guard lock(lock_);
    const SlotState now = state_.load();
    if (now == SlotState::Stopping) {
        // Let go of the connection first; what comes after follows the
        // commands that came meanwhile. A snapshot camera's view going off
        // changes nothing: it keeps recording.
        if (input == SlotInput::ViewOff && keepsRunningWithoutView_) return;
        pending_ = mergePending(pending_, input);
        return;
    }
    const SlotStep step = slotStep(now, input, keepsRunningWithoutView_);
    if (step.action == SlotAction::Disconnect) {
        pending_ = input;
        interrupt_ = true;
    }
    if (step.action == SlotAction::Connect) {
        connectWanted_ = true;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    setState(step.next);
    wake_.notify_all();
}

bool CameraController::joinIfEnded()
{
    if (!thread_.joinable()) return true;
    if (!threadEnded_.load()) return false;
    thread_.join();
    return true;
}

void CameraController::setState(SlotState s)
{
    if (state_.exchange(s) == s) return;
    if (s == SlotState::BackingOff) appState_.offlineSince[static_cast<size_t>(slot_)] = clock_.now();
    if (stateChanged) stateChanged(slot_, s);
}

void CameraController::event(SlotInput input)
{
    std::lock_guard lock(lock_);
    setState(slotStep(state_.load(), input, keepsRunningWithoutView_).next);
}

void CameraController::run()
{
    for (;;) {
        {
            std::unique_lock lock(lock_);
            wake_.wait(lock, [this] { return connectWanted_ || state_.load() == SlotState::Ended; });
            if (state_.load() == SlotState::Ended) break;
            connectWanted_ = false;
        }
        runConnection();
        std::lock_guard lock(lock_);
        interrupt_ = false;
        keepsRunningWithoutView_ = false;
        if (state_.load() == SlotState::Stopping) {
            if (pending_ == SlotInput::ViewOff) sink_.paintBlack(slot_);  // switched off: black on purpose
            const SlotStep step = slotStep(SlotState::Stopping, SlotInput::Released, false, pending_);
            if (step.action == SlotAction::Connect) connectWanted_ = true;
            setState(step.next);
        } else {
            // Ended by itself (no decoder, a wrong answer, no row): decided
            // here under the lock, so a command that comes meanwhile finds
            // the connection still running and is not lost.
            setState(slotStep(state_.load(), SlotInput::Dead).next);
        }
        if (state_.load() == SlotState::Ended) break;
    }
    threadEnded_ = true;
}

void CameraController::runConnection()
{
    // Taken afresh at every connect: a restart picks up a changed row.
    const std::optional<CameraEntry> camera = appState_.cameraEntry(slot_);
    if (!camera || interrupted()) return;
    // A row no model serves ends the connection as Dead, asking nobody;
    // the engine has told why.
    if (!isKnownCameraType(camera->type)) return;
    // An RTSP camera whose settings row is missing likewise.
    if (camera->type == rtspType && !camera->rtsp) return;
    StartFrameRate(appState_, slot_, clock_);
    if (camera->type == binaryProtocolType)
        runProtocol();
    else if (camera->type == rtspType)
        runRtsp();
    else
        runHttp(*camera);
}

bool CameraController::backOff(int& delayMs)
{
    event(SlotInput::Broken);
    const auto wait = std::chrono::milliseconds(delayMs);
    delayMs = std::min(delayMs * 2, timing_.backoffMaxMs);
    if (!clock_.waitFor(wait, [this] { return interrupted(); }) || interrupted()) return false;
    event(SlotInput::RetryDue);
    return true;
}

void CameraController::runHttp(const CameraEntry& camera)
{
    const HostPort target = SplitHttpAddress(camera.address);
    const CameraType code = camera.type;
    const bool snapshot = acquisitionMethod(code) == AcquisitionMethod::Snapshot;
    {
        std::lock_guard lock(lock_);
        keepsRunningWithoutView_ = snapshot;
    }
    // Built once per connection setup: a snapshot camera's frames reuse it.
    const HttpRequest request = CameraRequest(camera, target.host, target.port, LookupVideoPath(code), timing_.http);
    HttpImageClient client(appState_, sink_, timing_.http, [this] { return interrupted(); });
    client.frameArrived = [this](int) {
        if (state_.load(std::memory_order_relaxed) != SlotState::Live) event(SlotInput::Picture);
    };

    int delayMs = timing_.backoffStartMs;
    while (!interrupted()) {
        const LoadResult r = client.LoadPictureData(request, slot_, code);
        // Only pictures show the camera works: text or junk that a broken
        // camera calls frames must not undo the back-off.
        if (r.pictures > 0) {
            if (state_.load(std::memory_order_relaxed) != SlotState::Live) event(SlotInput::Picture);
            delayMs = timing_.backoffStartMs;
        }
        if (r.end == LoadEnd::NoDecoder) {
            notifier_.notify(decoderMissingHttpText, "", NotifyIcon::Stop);
            return;
        }
        if (r.end == LoadEnd::Stopped || interrupted()) return;
        if (snapshot && r.pictures > 0) {
            PumpPendingMessages();
            continue;
        }
        // A failed request, a status without a frame, or a stream that broke or ended.
        if (!backOff(delayMs)) return;
    }
}

void CameraController::runProtocol()
{
    const auto i = static_cast<size_t>(slot_);
    CountingNotifier notifier(notifier_);
    ProtocolCamera camera(appState_, notifier, timing_.protocol, [this] { return interrupted(); });
    // Grows to the camera's largest picture and is reused for every frame.
    std::vector<uint8_t> frame;
    int delayMs = timing_.backoffStartMs;
    while (!interrupted()) {
        const int messagesBefore = notifier.count;
        // Taken afresh at every connect: a reconnect picks up changed settings.
        const std::optional<CameraEntry> entry = appState_.cameraEntry(slot_);
        if (!entry) break;
        if (!camera.ConnectToCamera(slot_) || !camera.LoginToCamera(slot_, entry->login, entry->password)) {
            camera.CloseConnection(slot_);
            // A camera that answered wrongly was told about: leave the slot dark.
            if (notifier.count != messagesBefore) return;
            if (!backOff(delayMs)) break;
            continue;
        }

        camera.SendImageRequestPacket(slot_);
        while (!interrupted() && appState_.protocolSocket[i].load() >= 0) {
            uint8_t header[IMAGE_HEADER_LENGTH];
            const int n = camera.ReceiveExactly(slot_, header, IMAGE_HEADER_LENGTH);
            if (n != IMAGE_HEADER_LENGTH) {
                if (n == -1 && camera.lastWaitCancelled()) continue;  // the loop's test ends it
                break;  // closed, failed or silent: reconnect
            }
            const ImageHeader h = parseImageHeader(header);
            if (h.code != imageHeaderCode) {
                camera.SendImageRequestPacket(slot_);
                continue;
            }
            if (h.size <= 0 || h.size > maxFrameBytes) break;  // no way to stay in step with the camera

            ++appState_.framesReceived[i];
            if (frame.size() < static_cast<size_t>(h.size)) {
                reserveFor(frame, static_cast<size_t>(h.size));
                frame.resize(static_cast<size_t>(h.size));
            }
            const int got = camera.ReceiveExactly(slot_, frame.data(), static_cast<int>(h.size));
            if (got != h.size) break;  // a torn picture is not shown or recorded
            appState_.imageSize[i] = static_cast<int>(h.size);
            if (sink_.handOff(slot_, std::span<const uint8_t>(frame.data(), static_cast<size_t>(h.size))) ==
                HandOffResult::NoDecoder) {
                notifier_.notify(decoderMissingProtocolText, "", NotifyIcon::Stop);
                camera.CloseConnection(slot_);
                return;
            }
            if (state_.load(std::memory_order_relaxed) != SlotState::Live) event(SlotInput::Picture);
            delayMs = timing_.backoffStartMs;
            camera.SendImageRequestPacket(slot_);
            PumpPendingMessages();
        }
        camera.CloseConnection(slot_);
        if (interrupted() || !backOff(delayMs)) break;
    }
    camera.CloseConnection(slot_);
}

void CameraController::runRtsp()
{
    RtspCamera client(
        slot_, appState_, sink_, clock_, timing_.rtsp, [this] { return interrupted(); },
        [this] {
            if (state_.load(std::memory_order_relaxed) != SlotState::Live) event(SlotInput::Picture);
        },
        [this](const std::string& message) { notifier_.notify(message, "Corvanex", NotifyIcon::Exclamation); });
    // A refused login or a wrong path is told once per connect, not at every retry.
    bool told = false;
    int delayMs = timing_.backoffStartMs;
    while (!interrupted()) {
        // Taken afresh at every try: a login corrected meanwhile is used.
        const std::optional<CameraEntry> entry = appState_.cameraEntry(slot_);
        if (!entry || !entry->rtsp) return;
        const CameraEntry& camera = *entry;
        const RtspSession session = client.run(camera);
        if (session.pictures > 0) {
            delayMs = timing_.backoffStartMs;
            told = false;
        }
        if (interrupted()) return;
        const std::string message = rtspOpenMessage(session.open, appState_.cameraNameOf(slot_),
                                                    rtspUrlForPeople(SplitHttpAddress(camera.address),
                                                                     camera.rtsp ? camera.rtsp->mainPath : ""));
        if (!message.empty() && !told) {
            notifier_.notify(message, "Corvanex", NotifyIcon::Exclamation);
            told = true;
        }
        if (!backOff(delayMs)) return;
    }
}

}  // namespace cx
