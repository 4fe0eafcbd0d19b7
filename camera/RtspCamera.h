#pragma once
// One connection of an RTSP camera slot: the main stream read on the
// slot's own thread, the sub stream (when the camera has one) on a second
// thread of the connection. Every packet goes to the frame sink, which
// records the main stream and decodes what the pane shows; the sub stream
// is tried again on its own back-off while the main stream runs, and the
// pane shows the main stream meanwhile. The sub stream is received only
// while someone can see the pane.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "CameraTable.h"
#include "Clock.h"
#include "HostResolver.h"
#include "RtspInput.h"

namespace cx {

class AppState;
class FrameSink;

struct RtspTiming {
    // A camera that sends nothing this long is dropped (and asked again).
    std::chrono::milliseconds silence{10000};
    int subRetryStartMs = 1000;
    int subRetryMaxMs = 30000;
};

// How one connection went.
struct RtspSession {
    RtspOpen open = RtspOpen::Failed;  // how the main stream's open ended
    int pictures = 0;                  // video packets of the main stream handed on
};

class RtspCamera {
public:
    // `stop` ends every wait of the connection; `pictureArrived` is called
    // on the slot's thread at each main stream picture; `tell` gets the
    // message of a sub stream that cannot be opened for good reason, on
    // the sub stream's thread; `lookup` finds the address of a camera
    // given by host name.
    RtspCamera(int slot, AppState& state, FrameSink& sink, const Clock& clock, RtspTiming timing, StopToken stop,
               std::function<void()> pictureArrived, std::function<void(const std::string&)> tell = {},
               HostResolver::Lookup lookup = HostResolver::systemLookup);

    RtspSession run(const CameraEntry& camera);

private:
    // Someone may see the slot's pane: the window shows pictures, the slot
    // has a pane and its live view is on.
    bool paneSeen() const;
    void runSub(const CameraEntry& camera, const std::atomic<bool>& ending);

    const int slot_;
    AppState& state_;
    FrameSink& sink_;
    const Clock& clock_;
    const RtspTiming timing_;
    StopToken stop_;
    std::function<void()> pictureArrived_;
    std::function<void(const std::string&)> tell_;
    HostResolver::Lookup lookup_;
    // The main stream's: a lookup a stop left running is taken up by the next try.
    HostResolver resolver_;
    std::atomic<bool> subLive_{false};
    // The sub stream's reader sleeps on subWake_ while nobody sees the pane:
    // the main stream's thread wakes it when the pane is seen again or the
    // connection ends, so an unseen camera costs no wake-ups.
    std::mutex subLock_;
    std::condition_variable subWake_;
    std::atomic<bool> subIdle_{false};
    void wakeSub();
    // The sub stream URL (for people) last told about; cleared once a sub
    // stream picture came. Only the sub stream's thread uses it, and one
    // connection's thread is joined before the next one starts: a wrong
    // path is told once, not at every back-off of every reconnect.
    std::string subToldFor_;
};

// The message for a main stream that could not be opened for good reason
// (login, path, codec); empty for failures worth trying again quietly.
// Names the camera and its URL without the login.
std::string rtspOpenMessage(RtspOpen open, const std::string& cameraName, const std::string& urlForPeople);

// The same for a sub stream, saying that the pane shows the main stream
// instead; empty for failures worth trying again quietly.
std::string rtspSubOpenMessage(RtspOpen open, const std::string& cameraName, const std::string& urlForPeople);

}  // namespace cx
