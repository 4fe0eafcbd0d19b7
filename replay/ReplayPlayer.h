#pragma once
// Plays one recording on a thread of its own: opening, seeking and
// decoding happen there, and each picture reaches the owner's thread as
// frameShown (queued). Commands return at once. Frames follow each other
// at their recorded spacing (15 positions a second) times the speed.

#include <QImage>
#include <QObject>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace cx {

class ReplayPlayer : public QObject {
    Q_OBJECT
public:
    explicit ReplayPlayer(QObject* parent = nullptr);
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
    // One frame forward or backward from the one shown, paused.
    void step(int frames);

signals:
    // The file opened (frames > 0) or could not be read (0).
    void opened(int frames);
    void frameShown(int index, qint64 position, const QImage& picture);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_.
    bool quit_ = false;
    std::optional<std::filesystem::path> openRequest_;
    std::optional<int> seekRequest_;
    std::optional<int> stepRequest_;
    bool playing_ = false;
    int direction_ = 1;
    double speed_ = 1.0;
    bool restartFromEnd_ = false;
    std::thread thread_;
};

}  // namespace cx
