#include "ReplayPlayer.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

#include "RecordingReader.h"

namespace cx {

ReplayPlayer::ReplayPlayer(QObject* parent) : QObject(parent)
{
    thread_ = std::thread([this] { run(); });
}

ReplayPlayer::~ReplayPlayer()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ReplayPlayer::open(const std::filesystem::path& file)
{
    {
        std::lock_guard lock(mutex_);
        openRequest_ = file;
        seekRequest_.reset();
        stepRequest_.reset();
        playing_ = false;
    }
    wake_.notify_all();
}

void ReplayPlayer::play(int direction, double speed)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = true;
        direction_ = direction < 0 ? -1 : 1;
        speed_ = speed > 0 ? speed : 1.0;
        restartFromEnd_ = true;
    }
    wake_.notify_all();
}

void ReplayPlayer::pause()
{
    std::lock_guard lock(mutex_);
    playing_ = false;
}

void ReplayPlayer::stop()
{
    seek(0);
}

void ReplayPlayer::seek(int k)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        seekRequest_ = k;
        stepRequest_.reset();
    }
    wake_.notify_all();
}

void ReplayPlayer::step(int frames)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        stepRequest_ = stepRequest_.value_or(0) + frames;
    }
    wake_.notify_all();
}

void ReplayPlayer::run()
{
    using Clock = std::chrono::steady_clock;
    RecordingReader reader;
    int current = -1;
    Clock::time_point due = Clock::now();

    auto show = [this, &reader, &current](int k) {
        const QImage picture = reader.frame(k);
        current = k;
        const qint64 position = reader.position(k);
        QMetaObject::invokeMethod(
            this, [this, k, position, picture] { emit frameShown(k, position, picture); }, Qt::QueuedConnection);
    };

    std::unique_lock lock(mutex_);
    for (;;) {
        if (playing_)
            wake_.wait_until(lock, due);
        else
            wake_.wait(lock, [this] { return quit_ || openRequest_ || seekRequest_ || stepRequest_ || playing_; });
        if (quit_) return;

        if (openRequest_) {
            const std::filesystem::path file = *openRequest_;
            openRequest_.reset();
            lock.unlock();
            const bool ok = reader.open(file);
            const int frames = ok ? reader.frameCount() : 0;
            current = -1;
            QMetaObject::invokeMethod(this, [this, frames] { emit opened(frames); }, Qt::QueuedConnection);
            if (ok) show(0);
            lock.lock();
            continue;
        }
        if (!reader.isOpen()) {
            seekRequest_.reset();
            stepRequest_.reset();
            playing_ = false;
            continue;
        }
        const int last = reader.frameCount() - 1;
        if (seekRequest_ || stepRequest_) {
            const int target =
                std::clamp(seekRequest_ ? *seekRequest_ : std::max(current, 0) + *stepRequest_, 0, last);
            seekRequest_.reset();
            stepRequest_.reset();
            lock.unlock();
            show(target);
            lock.lock();
            continue;
        }
        if (!playing_ || Clock::now() < due) continue;

        int next = current + direction_;
        if (next < 0 || next > last) {
            if (!restartFromEnd_) {
                playing_ = false;  // the end of the recording in this direction
                continue;
            }
            next = direction_ > 0 ? 0 : last;
        }
        restartFromEnd_ = false;
        const double speed = speed_;
        lock.unlock();
        const int64_t gap = current >= 0 ? std::llabs(reader.position(next) - reader.position(current)) : 0;
        show(next);
        lock.lock();
        // The recorded spacing between the two frames, at the chosen speed.
        const auto wait = std::chrono::duration<double>(static_cast<double>(std::max<int64_t>(gap, 1)) /
                                                        recordingRate / speed);
        due = Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
    }
}

}  // namespace cx
