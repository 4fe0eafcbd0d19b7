// Frame-path benchmark on photographs: decode plus compose into a pane,
// recording cost per frame, and FFmpeg decoding the same JPEGs on one
// thread as the reference, all measured in this run.
//
//   cx_picture_bench [photo folder]     (default: ../shared/photos beside the project)

#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "AppState.h"
#include "AviRecorder.h"
#include "Clock.h"
#include "DecodeScale.h"
#include "FrameDecoder.h"
#include "FrameDrawer.h"
#include "Notifier.h"
#include "OverlayBitmaps.h"
#include "PaneBuffer.h"

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Best of five batches of at least 0.2 s: milliseconds per call.
double measure(const std::function<void()>& work)
{
    double best = 1e30;
    for (int batch = 0; batch < 5; ++batch) {
        int calls = 0;
        const auto start = Steady::now();
        std::chrono::duration<double, std::milli> elapsed{};
        do {
            work();
            ++calls;
            elapsed = Steady::now() - start;
        } while (elapsed.count() < 200.0);
        best = std::min(best, elapsed.count() / calls);
    }
    return best;
}

double runSeconds(const std::string& command)
{
    const auto start = Steady::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// FFmpeg's decoder on the same JPEGs, one thread, to BGR: ms per frame, with
// the process start taken out by a one-frame run.
double ffmpegReference(const std::vector<uint8_t>& jpeg, int frames, const fs::path& work)
{
    const fs::path many = work / "frames.mjpeg";
    const fs::path one = work / "one.mjpeg";
    {
        std::ofstream out(many, std::ios::binary);
        for (int i = 0; i < frames; ++i) out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        std::ofstream single(one, std::ios::binary);
        single.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    }
    const std::string command = "ffmpeg -v error -nostdin -threads 1 -f mjpeg -i ";
    const std::string tail = " -pix_fmt bgr24 -f null - >/dev/null 2>&1";
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const double t1 = runSeconds(command + "'" + one.string() + "'" + tail);
        const double tn = runSeconds(command + "'" + many.string() + "'" + tail);
        if (t1 < 0 || tn < 0) return -1;
        best = std::min(best, (tn - t1) * 1000.0 / (frames - 1));
    }
    return best;
}

class SilentNotifier final : public cx::Notifier {
public:
    void notify(const std::string& text, const std::string&, cx::NotifyIcon) override
    {
        std::fprintf(stderr, "notice: %s\n", text.c_str());
    }
};

struct FixedClock final : cx::Clock {
    int64_t steadyTicks() const override { return 0; }
    int64_t steadyFrequency() const override { return 1; }
    int64_t now() const override { return 1'780'000'000; }
    bool waitFor(std::chrono::milliseconds, const cx::StopToken&) const override { return true; }
};

void benchPhoto(const fs::path& file, const fs::path& work)
{
    const std::vector<uint8_t> jpeg = readFile(file);
    if (jpeg.empty()) {
        std::printf("%s: missing, skipped\n", file.string().c_str());
        return;
    }
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    tjDecompressHeader3(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &w, &h, &sub, &cs);
    std::printf("\n%s: %dx%d, %zu bytes\n", file.filename().string().c_str(), w, h, jpeg.size());

    const double reference = ffmpegReference(jpeg, w > 1000 ? 80 : 300, work);
    std::printf("  reference  ffmpeg -threads 1 ... -pix_fmt bgr24 -f null -     %7.3f ms/frame\n", reference);

    std::vector<uint8_t> out(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int d : {1, 2, 4, 8}) {
        const QSize s = cx::scaledSize({w, h}, d);
        const double t = measure([&] {
            tjDecompress2(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.data(), s.width(), 0,
                          s.height(), TJPF_BGRX, 0);
        });
        std::printf("  TurboJPEG decode at 1/%d (%4dx%-4d)                           %7.3f ms/frame  %6.0f frames/s\n",
                    d, s.width(), s.height(), t, 1000.0 / t);
    }
    tjDestroy(handle);

    cx::AppState state;
    state.cameraTable.allocate(1);
    state.cameraTable.count = 1;
    state.manualRecording[0] = 1;
    state.setCameraName(0, "Door");
    const cx::OverlayBitmaps bitmaps = cx::OverlayBitmaps::builtIn();
    cx::FrameDrawer drawer(state, bitmaps);
    cx::FrameDecoder decoder;

    const double fullDecode = measure([&] { decoder.DecodeFrame(jpeg.data(), jpeg.size()); });
    std::printf("  FrameDecoder full size                                       %7.3f ms/frame\n", fullDecode);

    for (QSize paneSize : {QSize(400, 300), QSize(200, 150)}) {
        cx::PaneBuffer pane(paneSize);
        const QRect rect = drawer.drawRect(paneSize);
        const double t = measure([&] {
            decoder.DecodeFrame(jpeg.data(), jpeg.size(), rect.size());
            drawer.DrawFrame(decoder.currentPicture(), pane, rect, 0, 12.5f, cx::SlotFlips{});
        });
        const int d = cx::chooseDecodeScale({w, h}, rect.size());
        std::printf("  decode + compose into %dx%d (decoded at 1/%d)                  %7.3f ms/frame  %.2f x reference\n",
                    paneSize.width(), paneSize.height(), d, t, t / reference);
    }

    SilentNotifier notifier;
    FixedClock clock;
    state.programFolder = work;
    fs::create_directories(work / "video" / "Door");
    cx::AviRecorder recorder(state, notifier, clock);
    decoder.DecodeFrame(jpeg.data(), jpeg.size());
    for (const auto& [name, handler] : {std::pair<const char*, uint32_t>{"default (JPEG bytes)", 0},
                                        std::pair<const char*, uint32_t>{"\"DIB \" (24-bit pixels)", cx::fourCC('D', 'I', 'B', ' ')}}) {
        state.settings.compressOptions.handler = handler;
        recorder.OpenRecording(recorder.BuildRecordingName(0), 0);
        const auto path = state.aviFile[0]->path();
        const double t = measure([&] {
            std::lock_guard lock(state.recordLock[0]);
            recorder.WriteFrame(0, w, h, jpeg, decoder.currentPicture());
        });
        recorder.CloseRecording(0);
        fs::remove(path);
        std::printf("  recording, %-24s                          %7.3f ms/frame  %.1f%% of a full decode\n", name, t,
                    100.0 * t / fullDecode);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const fs::path photos = argc > 1 ? fs::path(argv[1]) : fs::path(CX_SOURCE_DIR) / ".." / "shared" / "photos";
    char pattern[] = "/tmp/cx-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    const fs::path work = pattern;
    std::printf("photos from %s\n", photos.string().c_str());
    for (const char* name : {"img640_q80.jpg", "img1080_q80.jpg", "000000005001.jpg"}) benchPhoto(photos / name, work);
    fs::remove_all(work);
    return 0;
}
