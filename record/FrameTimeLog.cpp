#include "FrameTimeLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace cx {

namespace {

// The bytes written of `size` at `offset`, all of them unless the disk refused.
size_t writeAt(int fd, const uint8_t* data, size_t size, int64_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace

std::unique_ptr<FrameTimeLog> FrameTimeLog::create(const std::filesystem::path& recording)
{
    const int fd = ::open(frameTimesPath(recording).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    uint8_t head[frameTimesHeadSize];
    encodeFrameTimesHead(head);
    if (writeAt(fd, head, sizeof head, 0) != sizeof head) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FrameTimeLog>(new FrameTimeLog(fd));
}

FrameTimeLog::~FrameTimeLog()
{
    flush();
    ::close(fd_);
}

void FrameTimeLog::add(int64_t position, int64_t wallMs)
{
    encodeFrameTimeRecord({position, wallMs}, buffer_.data() + used_ * frameTimeRecordSize);
    ++used_;
    // A clock set back counts as time passed too: the batch goes out.
    if (!wroteOnce_ || used_ == capacity || std::llabs(wallMs - lastWriteMs_) >= batchMs) {
        flush();
        wroteOnce_ = true;
        lastWriteMs_ = wallMs;
    }
}

void FrameTimeLog::flush()
{
    if (used_ == 0) return;
    // One write at the end of the whole records so far: a crash cuts at
    // most the last record, which the reader leaves out, and a batch the
    // disk took in part is followed on from its last whole record.
    const size_t done = writeAt(fd_, buffer_.data(), used_ * frameTimeRecordSize, end_);
    end_ += static_cast<int64_t>(done - done % frameTimeRecordSize);
    used_ = 0;
    ++writes_;
}

}  // namespace cx
