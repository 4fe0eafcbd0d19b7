#pragma once
// Plays one recording, of any kind replay reads (RecordingKinds.h), on a
// thread of its own: opening, seeking and decoding happen there, and each picture reaches the owner's thread as
// frameShown (queued). Commands return at once. Frames follow each other
// at the pace they were received (RecordingTimeline) times the speed.

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace cx {

class Clock;

// What the window shows about a frame besides its picture.
struct ShownFrame {
    int index = -1;
    qint64 wallMs = 0;     // received at, ms since 1970 (or estimated)
    qint64 offsetMs = 0;   // from the recording's first frame
    bool estimated = true;  // not read from the frame times: the time is a guess
    bool timeOfDayKnown = false;
};

class ReplayPlayer : public QObject {
    Q_OBJECT
public:
    // `clock` paces the playback (tests pass a simulated one); its waits
    // must end soon after their stop token turns true.
    explicit ReplayPlayer(QObject* parent = nullptr);
    ReplayPlayer(const Clock& clock, QObject* parent = nullptr);
    ~ReplayPlayer() override;  // ends the thread (a decode in progress finishes first)

    void open(const std::filesystem::path& file);
    // Plays forward (direction 1) or backward (-1) at `speed` times the
    // recorded pace; from the last frame forward (first backward) it starts over.
    void play(int direction, double speed);
    void pause();
    // Pause and back to the first frame.
    void stop();
    // Frame k (clamped), playing paused.
    void seek(int k);
    // The frame on screen `offsetMs` after the first one, playing paused.
    void seekTime(qint64 offsetMs);
    // One frame forward or backward from the one shown, paused.
    void step(int frames);
    // Pictures come at most this size (the window's picture area): what
    // the reader converts and keeps is no larger. Empty: as recorded.
    void setMaxPictureSize(QSize size);

signals:
    // The file opened (frames > 0) or could not be read (0); how long it
    // lasts, and whether its times were recorded (false: estimated).
    void opened(int frames, qint64 durationMs, bool recordedTimes);
    void frameShown(const cx::ShownFrame& frame, const QImage& picture);

private:
    void run();
    void command();  // after a change of the requests: wake the thread

    const Clock& clock_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> changed_{false};  // a request came: a pacing wait ends
    // Guarded by mutex_.
    bool quit_ = false;
    std::optional<std::filesystem::path> openRequest_;
    std::optional<int> seekRequest_;
    std::optional<qint64> seekTimeRequest_;
    std::optional<int> stepRequest_;
    bool playing_ = false;
    int direction_ = 1;
    double speed_ = 1.0;
    bool restartFromEnd_ = false;
    bool paceFromNow_ = false;
    QSize maxPictureSize_;
    std::thread thread_;
};

}  // namespace cx

Q_DECLARE_METATYPE(cx::ShownFrame)
