#include "RtspSimulator.h"
#include "RtspFaultProxy.h"
#include "StreamEncoder.h"
#include "StreamPictures.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace cx::sim {

namespace {

// One key frame interval, encoded once and looped.
struct EncodedCycle {
    std::vector<std::vector<uint8_t>> units;
    std::vector<bool> key;
};

// What every media (one client's pipeline) of one mount shares.
struct StreamSetup {
    RtspCameraConfig config;
    int width = 0, height = 0;
    bool audio = false;
    int fpsNumerator = 15, fpsDenominator = 1;
    std::shared_ptr<const EncodedCycle> cycle;  // prerecorded only
    std::shared_ptr<const FrameSource> source;  // live: the scene or photos (none: generated pictures)
    GMainContext* context = nullptr;            // the servers', where a client is closed

    ~StreamSetup()
    {
        if (context != nullptr) g_main_context_unref(context);
    }
    GstClockTime frameTime(uint64_t frame) const
    {
        return gst_util_uint64_scale(frame, GST_SECOND * static_cast<uint64_t>(fpsDenominator),
                                     static_cast<uint64_t>(fpsNumerator));
    }
};

// Feeds the sources of one media; made when the media is, gone with its elements.
struct Feed {
    std::shared_ptr<const StreamSetup> setup;
    std::atomic<bool> ended{false};
    GstAppSrc* video = nullptr;  // not owned: only used while the media's pipeline runs
    GstAppSrc* audio = nullptr;
    uint64_t nextFrame = 0;   // the video source's thread only
    uint64_t nextChunk = 0;   // the audio source's thread only
    std::unique_ptr<StreamPictures> pictures;  // live encoding
    std::unique_ptr<StreamEncoder> encoder;
    std::vector<uint8_t> unit;
    GWeakRef client;  // the client that asked for this media

    Feed() { g_weak_ref_init(&client, nullptr); }
    ~Feed() { g_weak_ref_clear(&client); }
};

constexpr int audioRate = 8000;
constexpr int audioChunk = 160;  // 20 ms

// G.711 mu-law of a 16-bit sample.
uint8_t muLaw(int sample)
{
    constexpr int bias = 0x84, clip = 32635;
    const int sign = sample < 0 ? 0x80 : 0;
    if (sample < 0) sample = -sample;
    sample = std::min(sample, clip) + bias;
    int exponent = 7;
    for (int mask = 0x4000; (sample & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
    const int mantissa = (sample >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

// 20 ms of a 400 Hz tone: exactly eight periods, so chunks join seamlessly.
const std::vector<uint8_t>& toneChunk()
{
    static const std::vector<uint8_t> chunk = [] {
        std::vector<uint8_t> out(audioChunk);
        for (int i = 0; i < audioChunk; ++i)
            out[i] = muLaw(static_cast<int>(8000 * std::sin(2 * M_PI * 400 * i / audioRate)));
        return out;
    }();
    return chunk;
}

gboolean closeClient(gpointer data)
{
    auto* client = static_cast<GstRTSPClient*>(g_weak_ref_get(static_cast<GWeakRef*>(data)));
    if (client != nullptr) {
        gst_rtsp_client_close(client);
        g_object_unref(client);
    }
    return G_SOURCE_REMOVE;
}

void freeWeakRef(gpointer data)
{
    auto* ref = static_cast<GWeakRef*>(data);
    g_weak_ref_clear(ref);
    delete ref;
}

// The Drop fault: the stream ends, and a second later the connection. The
// pause lets the last frame reach the client first, even over UDP, where
// a client may hold packets half a second (ffmpeg does) and drops them
// when the connection closes.
void endFeed(Feed& feed)
{
    if (feed.ended.exchange(true)) return;
    gst_app_src_end_of_stream(feed.video);
    if (feed.audio != nullptr) gst_app_src_end_of_stream(feed.audio);
    auto* ref = new GWeakRef;
    GObject* client = static_cast<GObject*>(g_weak_ref_get(&feed.client));
    g_weak_ref_init(ref, client);
    if (client != nullptr) g_object_unref(client);
    GSource* source = g_timeout_source_new(1000);
    g_source_set_callback(source, closeClient, ref, freeWeakRef);
    g_source_attach(source, feed.setup->context);
    g_source_unref(source);
}

void releaseCycle(gpointer data)
{
    delete static_cast<std::shared_ptr<const EncodedCycle>*>(data);
}

void onNeedVideo(GstAppSrc* src, guint, gpointer data)
{
    Feed& feed = **static_cast<std::shared_ptr<Feed>*>(data);
    const StreamSetup& setup = *feed.setup;
    if (feed.ended.load()) return;
    const uint64_t frame = feed.nextFrame++;
    if (setup.config.fault == RtspFault::Drop && frame >= static_cast<uint64_t>(setup.config.faultAfter)) {
        endFeed(feed);
        return;
    }
    GstBuffer* buffer = nullptr;
    bool key = false;
    if (setup.cycle != nullptr) {
        // The loop's bytes are shared by every connection; each buffer keeps them alive.
        const size_t index = frame % setup.cycle->units.size();
        const std::vector<uint8_t>& unit = setup.cycle->units[index];
        key = setup.cycle->key[index];
        buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(unit.data()), unit.size(), 0,
                                             unit.size(), new std::shared_ptr<const EncodedCycle>(setup.cycle),
                                             releaseCycle);
    } else {
        if (feed.encoder == nullptr) {
            const RtspCameraConfig& c = setup.config;
            feed.pictures = std::make_unique<StreamPictures>(setup.width, setup.height, setup.source, c.keyInterval());
            feed.encoder = std::make_unique<StreamEncoder>(c.codec, setup.width, setup.height, c.fps, c.keyInterval(),
                                                           c.bitrateKbps);
        }
        if (!feed.encoder->ok()) return;
        feed.pictures->draw(frame, std::chrono::system_clock::now(), feed.encoder->picture());
        if (!feed.encoder->encode(feed.unit, key)) return;
        buffer = gst_buffer_new_allocate(nullptr, feed.unit.size(), nullptr);
        gst_buffer_fill(buffer, 0, feed.unit.data(), feed.unit.size());
    }
    GST_BUFFER_PTS(buffer) = setup.frameTime(frame);
    GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DURATION(buffer) = setup.frameTime(frame + 1) - setup.frameTime(frame);
    if (!key) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    gst_app_src_push_buffer(src, buffer);
}

void onNeedAudio(GstAppSrc* src, guint, gpointer data)
{
    Feed& feed = **static_cast<std::shared_ptr<Feed>*>(data);
    if (feed.ended.load()) return;
    const std::vector<uint8_t>& tone = toneChunk();
    GstBuffer* buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(tone.data()),
                                                    tone.size(), 0, tone.size(), nullptr, nullptr);
    const uint64_t chunk = feed.nextChunk++;
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(chunk * audioChunk, GST_SECOND, audioRate);
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(audioChunk, GST_SECOND, audioRate);
    gst_app_src_push_buffer(src, buffer);
}

void releaseFeed(gpointer data, GClosure*)
{
    delete static_cast<std::shared_ptr<Feed>*>(data);
}

void releaseSetup(gpointer data, GClosure*)
{
    delete static_cast<std::shared_ptr<const StreamSetup>*>(data);
}

// A new media (a client described or set up a stream): hook its sources to a feed of their own.
void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer data)
{
    auto feed = std::make_shared<Feed>();
    feed->setup = *static_cast<std::shared_ptr<const StreamSetup>*>(data);
    GstRTSPContext* context = gst_rtsp_context_get_current();
    if (context != nullptr && context->client != nullptr) g_weak_ref_set(&feed->client, context->client);
    GstElement* bin = gst_rtsp_media_get_element(media);
    GstElement* video = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "video");
    GstElement* audio = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "audio");
    feed->video = GST_APP_SRC(video);
    feed->audio = audio != nullptr ? GST_APP_SRC(audio) : nullptr;
    g_signal_connect_data(video, "need-data", G_CALLBACK(onNeedVideo), new std::shared_ptr<Feed>(feed), releaseFeed,
                          GConnectFlags{});
    if (audio != nullptr)
        g_signal_connect_data(audio, "need-data", G_CALLBACK(onNeedAudio), new std::shared_ptr<Feed>(feed), releaseFeed,
                              GConnectFlags{});
    if (audio != nullptr) gst_object_unref(audio);
    gst_object_unref(video);
    gst_object_unref(bin);
}

std::string caps(const StreamSetup& s)
{
    const bool h264 = s.config.codec == VideoCodec::H264;
    return std::string(h264 ? "video/x-h264" : "video/x-h265") + ",stream-format=byte-stream,alignment=au,width=" +
           std::to_string(s.width) + ",height=" + std::to_string(s.height) + ",framerate=" + std::to_string(s.fpsNumerator) +
           "/" + std::to_string(s.fpsDenominator);
}

std::string launchLine(const StreamSetup& s)
{
    const char* payloader = s.config.codec == VideoCodec::H264 ? "rtph264pay" : "rtph265pay";
    std::string line = "( appsrc name=video is-live=false format=time caps=\"" + caps(s) + "\" ! " + payloader +
                       " name=pay0 pt=96 config-interval=-1";
    if (s.audio)
        line += " appsrc name=audio is-live=false format=time caps=\"audio/x-mulaw,rate=8000,channels=1\" ! rtppcmupay "
                "name=pay1 pt=0";
    return line + " )";
}

std::string cycleKey(const RtspCameraConfig& c, int width, int height)
{
    return std::to_string(static_cast<int>(c.codec)) + " " + std::to_string(width) + "x" + std::to_string(height) + " " +
           std::to_string(c.fps) + " " + std::to_string(c.keyInterval()) + " " + std::to_string(c.bitrateKbps) + " " +
           std::to_string(c.scene) + " " + c.photos.string();
}

std::shared_ptr<const EncodedCycle> encodeCycle(const RtspCameraConfig& c, int width, int height, std::string& error)
{
    StreamPictures pictures(width, height, StreamPictures::source(width, height, c.scene, c.photos), c.keyInterval());
    StreamEncoder encoder(c.codec, width, height, c.fps, c.keyInterval(), c.bitrateKbps);
    if (!encoder.ok()) {
        error = encoder.error();
        return nullptr;
    }
    auto cycle = std::make_shared<EncodedCycle>();
    // The scene moves as it would in real time, though drawn at once.
    const auto start = std::chrono::system_clock::now();
    for (int frame = 0; frame < c.keyInterval(); ++frame) {
        const auto when = start + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                      std::chrono::duration<double>(frame / c.fps));
        pictures.draw(static_cast<uint64_t>(frame), when, encoder.picture());
        std::vector<uint8_t> unit;
        bool key = false;
        if (!encoder.encode(unit, key)) {
            error = "the encoder gave no picture";
            return nullptr;
        }
        cycle->units.push_back(std::move(unit));
        cycle->key.push_back(key);
    }
    return cycle;
}

const char* missingElement(const RtspCameraConfig& c)
{
    for (const char* name : {"appsrc", c.codec == VideoCodec::H264 ? "rtph264pay" : "rtph265pay", "rtppcmupay"}) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (factory == nullptr) return name;
        gst_object_unref(factory);
    }
    return nullptr;
}

GstRTSPFilterResult removeClient(GstRTSPServer*, GstRTSPClient*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult removeSession(GstRTSPSessionPool*, GstRTSPSession*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

}  // namespace

struct RtspSimulator::State {
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    std::thread thread;  // runs the servers' main loop
    struct Camera {
        GstRTSPServer* server = nullptr;
        guint source = 0;
        std::unique_ptr<RtspFaultProxy> proxy;
    };
    std::vector<Camera> cameras;
    std::map<std::string, std::shared_ptr<const EncodedCycle>> cycles;  // prerecorded loops by what they show
    bool stopped = false;

    // Runs `work` on the main loop's thread and waits for it.
    void run(std::function<void()> work)
    {
        std::promise<void> done;
        auto call = [&] {
            work();
            done.set_value();
        };
        g_main_context_invoke(
            context,
            [](gpointer data) -> gboolean {
                (*static_cast<decltype(call)*>(data))();
                return G_SOURCE_REMOVE;
            },
            &call);
        done.get_future().wait();
    }
};

RtspSimulator::RtspSimulator() : state_(std::make_unique<State>())
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
    state_->context = g_main_context_new();
    state_->loop = g_main_loop_new(state_->context, FALSE);
    state_->thread = std::thread([s = state_.get()] {
        g_main_context_push_thread_default(s->context);
        g_main_loop_run(s->loop);
        g_main_context_pop_thread_default(s->context);
    });
}

RtspSimulator::~RtspSimulator()
{
    stop();
    g_main_loop_unref(state_->loop);
    g_main_context_unref(state_->context);
}

int RtspSimulator::add(const RtspCameraConfig& config, std::string& error)
{
    State& s = *state_;
    error.clear();
    if (s.stopped) return error = "stopped", 0;
    if (const char* missing = missingElement(config)) {
        error = std::string("GStreamer element ") + missing + " is missing (gstreamer1.0-plugins-base and -good)";
        return 0;
    }
    if (config.subWidth > 0 && config.subPath == config.path) return error = "sub-path equals path", 0;
    if (config.fault == RtspFault::Drop && config.faultAfter <= 0) return error = "fault=drop needs fault-after=N", 0;

    GstRTSPServer* server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    // Faults the server cannot make sit in front of it on the camera's port.
    const bool proxied = config.fault == RtspFault::NeverAnswer || config.fault == RtspFault::StallAfterSetup ||
                         config.fault == RtspFault::Garbage;
    gst_rtsp_server_set_service(server, std::to_string(proxied ? 0 : config.port).c_str());

    if (config.auth != Auth::None) {
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        gst_rtsp_auth_set_realm(auth, "cxsim");
        GstRTSPToken* token = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "viewer", nullptr);
        if (config.auth == Auth::Basic) {
            gchar* basic = gst_rtsp_auth_make_basic(config.user.c_str(), config.password.c_str());
            gst_rtsp_auth_add_basic(auth, basic, token);
            g_free(basic);
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_BASIC);
        } else {
            gst_rtsp_auth_add_digest(auth, config.user.c_str(), config.password.c_str(), token);
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        }
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server, auth);
        g_object_unref(auth);
    }

    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    struct Mount {
        std::string path;
        int width, height;
        bool audio;
    };
    std::vector<Mount> streams = {{config.path, config.width, config.height, config.audio}};
    if (config.subWidth > 0) streams.push_back({config.subPath, config.subWidth, config.subHeight, false});
    for (const Mount& m : streams) {
        auto setup = std::make_shared<StreamSetup>();
        setup->config = config;
        setup->width = m.width;
        setup->height = m.height;
        setup->audio = m.audio;
        gst_util_double_to_fraction(config.fps, &setup->fpsNumerator, &setup->fpsDenominator);
        setup->context = g_main_context_ref(s.context);
        if (config.prerecorded) {
            const std::string key = cycleKey(config, m.width, m.height);
            auto& cycle = s.cycles[key];
            if (cycle == nullptr) cycle = encodeCycle(config, m.width, m.height, error);
            if (cycle == nullptr) {
                s.cycles.erase(key);
                g_object_unref(mounts);
                g_object_unref(server);
                return 0;
            }
            setup->cycle = cycle;
        } else {
            // Fail now rather than on the first connection.
            setup->source = StreamPictures::source(m.width, m.height, config.scene, config.photos);
            const StreamEncoder encoder(config.codec, m.width, m.height, config.fps, config.keyInterval(), config.bitrateKbps);
            if (!StreamPictures(m.width, m.height, setup->source, 1).ok()) error = "no JPEG files in " + config.photos.string();
            else if (!encoder.ok()) error = encoder.error();
            if (!error.empty()) {
                g_object_unref(mounts);
                g_object_unref(server);
                return 0;
            }
        }
        GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
        gst_rtsp_media_factory_set_launch(factory, launchLine(*setup).c_str());
        gst_rtsp_media_factory_set_shared(factory, FALSE);
        if (config.auth != Auth::None)
            gst_rtsp_media_factory_add_role(factory, "viewer", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                            GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
        g_signal_connect_data(factory, "media-configure", G_CALLBACK(onMediaConfigure),
                              new std::shared_ptr<const StreamSetup>(setup), releaseSetup, GConnectFlags{});
        gst_rtsp_mount_points_add_factory(mounts, m.path.c_str(), factory);
    }
    g_object_unref(mounts);

    State::Camera camera;
    camera.server = server;
    camera.source = gst_rtsp_server_attach(server, s.context);
    if (camera.source == 0) {
        error = "cannot listen on port " + std::to_string(config.port);
        g_object_unref(server);
        return 0;
    }
    int port = gst_rtsp_server_get_bound_port(server);
    if (proxied) {
        camera.proxy = std::make_unique<RtspFaultProxy>(config.fault, port);
        port = camera.proxy->listen(config.port);
        if (port == 0) error = "cannot listen on port " + std::to_string(config.port);
    }
    s.cameras.push_back(std::move(camera));
    return port;
}

void RtspSimulator::stop()
{
    State& s = *state_;
    if (s.stopped) return;
    s.stopped = true;
    for (auto& camera : s.cameras)
        if (camera.proxy) camera.proxy->stop();
    s.run([&s] {
        for (auto& camera : s.cameras) {
            if (GSource* source = g_main_context_find_source_by_id(s.context, camera.source)) g_source_destroy(source);
            gst_rtsp_server_client_filter(camera.server, removeClient, nullptr);
            GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(camera.server);
            gst_rtsp_session_pool_filter(pool, removeSession, nullptr);
            g_object_unref(pool);
        }
    });
    g_main_loop_quit(s.loop);
    s.thread.join();
    for (auto& camera : s.cameras) g_object_unref(camera.server);
    s.cameras.clear();
}

}  // namespace cx::sim
