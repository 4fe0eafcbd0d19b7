#include "PaneDecodeThread.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace cx {

PaneDecodeThread::PaneDecodeThread(Decode decode) : decode_(std::move(decode))
{
    for (AVPacket*& p : ring_) p = av_packet_alloc();
    parameters_ = avcodec_parameters_alloc();
    thread_ = std::thread([this] { run(); });
}

PaneDecodeThread::~PaneDecodeThread()
{
    {
        std::lock_guard lock(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    for (AVPacket*& p : ring_) av_packet_free(&p);
    avcodec_parameters_free(&parameters_);
}

void PaneDecodeThread::dropQueued()
{
    for (; count_ > 0; --count_) {
        av_packet_unref(ring_[head_]);
        head_ = (head_ + 1) % capacity;
    }
    restart_ = true;
    gap_ = true;
    if (!busy_) idle_.notify_all();
}

bool PaneDecodeThread::push(const AVFormatContext& input, uint64_t connection, const AVPacket& packet)
{
    const int stream = packet.stream_index;
    if (stream < 0 || stream >= static_cast<int>(input.nb_streams)) return false;
    {
        std::lock_guard lock(lock_);
        if (stop_ || parameters_ == nullptr) return false;
        if (connection != connection_ || stream != stream_) {
            dropQueued();
            // Copied only when the stream changes, not per packet.
            if (avcodec_parameters_copy(parameters_, input.streams[stream]->codecpar) < 0) {
                stream_ = -1;
                return false;
            }
            connection_ = connection;
            stream_ = stream;
        }
        const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0;
        if (count_ == capacity) dropQueued();
        // After a gap only a key frame can be decoded: what comes before it
        // would be skipped anyway, so it takes no room.
        if (gap_ && !key) return false;
        gap_ = false;
        // A reference, not a copy: the packet's data is shared, not duplicated.
        AVPacket* slot = ring_[(head_ + count_) % capacity];
        if (slot == nullptr || av_packet_ref(slot, &packet) < 0) {
            restart_ = true;
            gap_ = true;
            return false;
        }
        ++count_;
    }
    wake_.notify_one();
    return true;
}

void PaneDecodeThread::leftOut()
{
    std::lock_guard lock(lock_);
    restart_ = true;
    gap_ = true;
}

void PaneDecodeThread::waitIdle()
{
    std::unique_lock lock(lock_);
    idle_.wait(lock, [this] { return (count_ == 0 && !busy_) || stop_; });
}

void PaneDecodeThread::cancel()
{
    std::unique_lock lock(lock_);
    dropQueued();
    idle_.wait(lock, [this] { return !busy_ || stop_; });
}

void PaneDecodeThread::run()
{
    AVPacket* packet = av_packet_alloc();
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    uint64_t connection = 0;
    int stream = -1;
    std::unique_lock lock(lock_);
    while (packet != nullptr && parameters != nullptr) {
        wake_.wait(lock, [this] { return count_ > 0 || stop_; });
        if (stop_) break;
        av_packet_move_ref(packet, ring_[head_]);
        head_ = (head_ + 1) % capacity;
        --count_;
        const bool restart = restart_;
        restart_ = false;
        bool usable = connection_ == connection && stream_ == stream;
        if (!usable && stream_ >= 0 && avcodec_parameters_copy(parameters, parameters_) >= 0) {
            connection = connection_;
            stream = stream_;
            usable = true;
        }
        busy_ = true;
        lock.unlock();
        if (usable) decode_(*parameters, connection, *packet, restart);
        av_packet_unref(packet);
        lock.lock();
        busy_ = false;
        if (!usable) {
            restart_ = true;
            gap_ = true;
        }
        idle_.notify_all();
    }
    stop_ = true;
    idle_.notify_all();
    lock.unlock();
    av_packet_free(&packet);
    avcodec_parameters_free(&parameters);
}

}  // namespace cx
