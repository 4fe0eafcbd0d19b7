#include "ReplayPlayer.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

#include "Clock.h"
#include "RecordingKinds.h"
#include "RecordingTimeline.h"
#include "ReplayReader.h"

namespace cx {

ReplayPlayer::ReplayPlayer(QObject* parent) : ReplayPlayer(SystemClock::instance(), parent) {}

ReplayPlayer::ReplayPlayer(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock)
{
    thread_ = std::thread([this] { run(); });
}

ReplayPlayer::~ReplayPlayer()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    command();
    thread_.join();
}

void ReplayPlayer::command()
{
    changed_ = true;
    wake_.notify_all();
}

void ReplayPlayer::open(const std::filesystem::path& file)
{
    {
        std::lock_guard lock(mutex_);
        openRequest_ = file;
        seekRequest_.reset();
        seekTimeRequest_.reset();
        stepRequest_.reset();
        playing_ = false;
    }
    command();
}

void ReplayPlayer::play(int direction, double speed)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = true;
        direction_ = direction < 0 ? -1 : 1;
        speed_ = speed > 0 ? speed : 1.0;
        restartFromEnd_ = true;
        paceFromNow_ = true;
    }
    command();
}

void ReplayPlayer::pause()
{
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
    }
    command();
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
        seekTimeRequest_.reset();
        stepRequest_.reset();
    }
    command();
}

void ReplayPlayer::seekTime(qint64 offsetMs)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        seekTimeRequest_ = offsetMs;
        seekRequest_.reset();
        stepRequest_.reset();
    }
    command();
}

void ReplayPlayer::step(int frames)
{
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        stepRequest_ = stepRequest_.value_or(0) + frames;
    }
    command();
}

void ReplayPlayer::setMaxPictureSize(QSize size)
{
    {
        std::lock_guard lock(mutex_);
        maxPictureSize_ = size;
    }
    command();
}

void ReplayPlayer::run()
{
    std::unique_ptr<ReplayReader> reader;
    RecordingTimeline timeline;
    int current = -1;
    // When the frame on screen was due, in the clock's steady ticks: the
    // next one is due after its hold, however long the decode took.
    int64_t shownAt = clock_.steadyTicks();
    const auto ticksOf = [this](double ms) {
        return static_cast<int64_t>(ms * static_cast<double>(clock_.steadyFrequency()) / 1000.0);
    };

    auto show = [this, &reader, &timeline, &current](int k) {
        const QImage picture = reader->frame(k);
        current = k;
        const ShownFrame frame{k, timeline.wallMs(k), timeline.offsetMs(k), timeline.estimated(k),
                               timeline.timeOfDayKnown()};
        QMetaObject::invokeMethod(
            this, [this, frame, picture] { emit frameShown(frame, picture); }, Qt::QueuedConnection);
    };

    std::unique_lock lock(mutex_);
    for (;;) {
        if (!playing_)
            wake_.wait(lock, [this] {
                return quit_ || openRequest_ || seekRequest_ || seekTimeRequest_ || stepRequest_ || playing_;
            });
        changed_ = false;
        if (quit_) return;
        if (reader) reader->setMaxPictureSize(maxPictureSize_);

        if (openRequest_) {
            const std::filesystem::path file = *openRequest_;
            openRequest_.reset();
            const QSize maxSize = maxPictureSize_;
            lock.unlock();
            reader = makeReplayReader(file);
            reader->setMaxPictureSize(maxSize);
            const bool ok = reader->open(file);
            timeline = ok ? reader->timeline() : RecordingTimeline();
            const int frames = ok ? reader->frameCount() : 0;
            const qint64 duration = timeline.durationMs();
            const bool recorded = timeline.hasFrameTimes();
            current = -1;
            QMetaObject::invokeMethod(
                this, [this, frames, duration, recorded] { emit opened(frames, duration, recorded); },
                Qt::QueuedConnection);
            if (ok) show(0);
            lock.lock();
            continue;
        }
        if (!reader || !reader->isOpen()) {
            seekRequest_.reset();
            seekTimeRequest_.reset();
            stepRequest_.reset();
            playing_ = false;
            continue;
        }
        const int last = reader->frameCount() - 1;
        if (seekRequest_ || seekTimeRequest_ || stepRequest_) {
            int target = 0;
            if (seekRequest_)
                target = *seekRequest_;
            else if (seekTimeRequest_)
                target = timeline.frameAt(*seekTimeRequest_);
            else
                target = std::max(current, 0) + *stepRequest_;
            target = std::clamp(target, 0, last);
            seekRequest_.reset();
            seekTimeRequest_.reset();
            stepRequest_.reset();
            lock.unlock();
            show(target);
            lock.lock();
            continue;
        }
        if (!playing_) continue;

        const int64_t now = clock_.steadyTicks();
        if (paceFromNow_) shownAt = now;  // Play pressed: the frame on screen holds from now
        paceFromNow_ = false;
        int next = current + direction_;
        bool wrapped = false;
        if (next < 0 || next > last) {
            if (!restartFromEnd_) {
                playing_ = false;  // the end of the recording in this direction
                continue;
            }
            next = direction_ > 0 ? 0 : last;
            wrapped = true;
        }
        int64_t due = now;
        if (!wrapped && current >= 0) {
            // The time the two frames were received apart, at the chosen speed.
            due = shownAt + ticksOf(static_cast<double>(timeline.holdMs(current, next)) / speed_);
            if (now < due) {
                // Sliced by the clock; a command ends the wait early.
                lock.unlock();
                clock_.waitUntil(due, [this] { return changed_.load(); });
                lock.lock();
                continue;
            }
        }
        restartFromEnd_ = false;
        // Far behind (a slow decode): the pace counts from now.
        shownAt = now - due > ticksOf(250) ? now : due;
        lock.unlock();
        show(next);
        lock.lock();
    }
}

}  // namespace cx
