#include "RtspCamera.h"

#include <algorithm>
#include <thread>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "AppState.h"
#include "CameraAddress.h"
#include "FrameSink.h"
#include "RtspUrl.h"

namespace cx {

namespace {

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPointer = std::unique_ptr<AVPacket, PacketDeleter>;

}  // namespace

RtspCamera::RtspCamera(int slot, AppState& state, FrameSink& sink, const Clock& clock, RtspTiming timing,
                       StopToken stop, std::function<void()> pictureArrived,
                       std::function<void(const std::string&)> tell, HostResolver::Lookup lookup)
    : slot_(slot),
      state_(state),
      sink_(sink),
      clock_(clock),
      timing_(timing),
      stop_(std::move(stop)),
      pictureArrived_(std::move(pictureArrived)),
      tell_(std::move(tell)),
      lookup_(std::move(lookup)),
      resolver_(lookup_)
{
}

RtspSession RtspCamera::run(const CameraEntry& camera)
{
    RtspSession session;
    if (!camera.rtsp) return session;
    const HostPort target = SplitHttpAddress(camera.address);
    const RtspSettings& settings = *camera.rtsp;

    RtspInput main(stop_, timing_.silence, resolver_);
    session.open = main.open(target, camera.login, camera.password, settings.mainPath, settings.udp);
    if (session.open != RtspOpen::Ok) return session;

    // The sub stream's reader lives as long as this connection.
    std::atomic<bool> ending{false};
    std::thread sub;
    if (!settings.subPath.empty()) sub = std::thread([this, &camera, &ending] { runSub(camera, ending); });

    const auto i = static_cast<size_t>(slot_);
    const PacketPointer packet(av_packet_alloc());
    while (packet && !(stop_ && stop_()) && main.read(packet.get())) {
        const bool video = packet->stream_index == main.videoStream();
        if (video) {
            ++state_.framesReceived[i];
            state_.imageSize[i] = packet->size;
        }
        const StreamPacket handed{main.context(), *packet, RtspRole::Main, video, subLive_.load(),
                                  main.connection()};
        sink_.handOffPacket(slot_, handed);
        if (video) {
            ++session.pictures;
            if (pictureArrived_) pictureArrived_();
            if (subIdle_.load(std::memory_order_relaxed) && paneSeen()) wakeSub();
        }
    }
    ending = true;
    wakeSub();
    if (sub.joinable()) sub.join();
    subLive_ = false;
    sink_.streamEnded(slot_);
    return session;
}

void RtspCamera::wakeSub()
{
    { std::lock_guard lock(subLock_); }  // a sleeper is either not yet checking or already waiting
    subWake_.notify_all();
}

bool RtspCamera::paneSeen() const
{
    const auto i = static_cast<size_t>(slot_);
    return state_.viewWindow[i].load() != nullptr && state_.picturesWanted.load() == 1 &&
           state_.settings.monitorEnabled[i].load() == 1;
}

void RtspCamera::runSub(const CameraEntry& camera, const std::atomic<bool>& ending)
{
    const StopToken stop = [this, &ending] { return ending.load() || (stop_ && stop_()); };
    const HostPort target = SplitHttpAddress(camera.address);
    const RtspSettings& settings = *camera.rtsp;
    const std::string urlForPeople = rtspUrlForPeople(target, settings.subPath);
    HostResolver resolver(lookup_);
    RtspInput input(stop, timing_.silence, resolver);
    const PacketPointer packet(av_packet_alloc());
    int delayMs = timing_.subRetryStartMs;
    while (packet && !stop()) {
        // The sub stream only feeds the pane: while nobody can see it (no
        // window, a hidden one, live view off) it is not even received.
        if (!paneSeen()) {
            std::unique_lock lock(subLock_);
            subIdle_ = true;
            // A second at most: a main stream that stalls cannot wake it.
            subWake_.wait_for(lock, std::chrono::seconds(1), [&] { return ending.load() || paneSeen(); });
            subIdle_ = false;
            continue;
        }
        const RtspOpen open = input.open(target, camera.login, camera.password, settings.subPath, settings.udp);
        if (open == RtspOpen::Ok) {
            while (!stop() && paneSeen() && input.read(packet.get())) {
                if (packet->stream_index != input.videoStream()) continue;  // the sub stream's sound is not wanted
                subLive_ = true;
                subToldFor_.clear();
                delayMs = timing_.subRetryStartMs;
                const StreamPacket handed{input.context(), *packet, RtspRole::Sub, true, true, input.connection()};
                sink_.handOffPacket(slot_, handed);
            }
            input.close();
            subLive_ = false;
            if (!paneSeen()) continue;  // let go on purpose: no back-off
        } else if (tell_ && subToldFor_ != urlForPeople) {
            // Without this the pane would quietly show the main stream.
            const std::string message = rtspSubOpenMessage(open, state_.cameraNameOf(slot_), urlForPeople);
            if (!message.empty()) {
                subToldFor_ = urlForPeople;
                tell_(message);
            }
        }
        if (!clock_.waitFor(std::chrono::milliseconds(delayMs), stop)) break;
        delayMs = std::min(delayMs * 2, timing_.subRetryMaxMs);
    }
}

std::string rtspOpenMessage(RtspOpen open, const std::string& cameraName, const std::string& urlForPeople)
{
    const std::string camera = "Camera \"" + cameraName + "\": ";
    switch (open) {
    case RtspOpen::Unauthorized:
        return camera + "the camera refused the login or password at " + urlForPeople;
    case RtspOpen::NotFound:
        return camera + "no stream at " + urlForPeople;
    case RtspOpen::NoVideo:
        return camera + "no H.264 or H.265 video at " + urlForPeople;
    case RtspOpen::Ok:
    case RtspOpen::Failed:
    case RtspOpen::Stopped:
        break;
    }
    return {};
}

std::string rtspSubOpenMessage(RtspOpen open, const std::string& cameraName, const std::string& urlForPeople)
{
    const std::string camera = "Camera \"" + cameraName + "\": ";
    const std::string instead = "; the pane shows the main stream instead";
    switch (open) {
    case RtspOpen::Unauthorized:
        return camera + "the camera refused the login or password for the sub stream at " + urlForPeople + instead;
    case RtspOpen::NotFound:
        return camera + "no sub stream at " + urlForPeople + instead;
    case RtspOpen::NoVideo:
        return camera + "no H.264 or H.265 video in the sub stream at " + urlForPeople + instead;
    case RtspOpen::Ok:
    case RtspOpen::Failed:
    case RtspOpen::Stopped:
        break;
    }
    return {};
}

}  // namespace cx
