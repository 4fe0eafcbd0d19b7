#include "RecordingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace cx {

std::unique_ptr<RecordingFile> RecordingFile::create(const std::filesystem::path& wanted, WriteFunction write)
{
    if (!write) write = [](int fd, const void* data, size_t size, off_t offset) { return ::pwrite(fd, data, size, offset); };
    for (int n = 1; n <= 1000; ++n) {
        std::filesystem::path name = wanted;
        if (n > 1) name.replace_filename(wanted.stem().string() + "_" + std::to_string(n) + wanted.extension().string());
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return std::unique_ptr<RecordingFile>(new RecordingFile(fd, name, std::move(write)));
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

RecordingFile::RecordingFile(int fd, std::filesystem::path path, WriteFunction write)
    : fd_(fd), path_(std::move(path)), write_(std::move(write))
{
}

RecordingFile::~RecordingFile()
{
    retryPending();
    ::close(fd_);
}

size_t RecordingFile::writeAt(const uint8_t* data, size_t size, int64_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write_(fd_, data + done, size - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}

bool RecordingFile::retryPending()
{
    while (!pending_.empty()) {
        Pending& p = pending_.front();
        const size_t done = writeAt(p.bytes.data(), p.bytes.size(), p.offset);
        pendingBytes_ -= done;
        if (done < p.bytes.size()) {
            p.bytes.erase(p.bytes.begin(), p.bytes.begin() + static_cast<std::ptrdiff_t>(done));
            p.offset += static_cast<int64_t>(done);
            return false;
        }
        pending_.erase(pending_.begin());
    }
    return true;
}

void RecordingFile::write(const uint8_t* data, size_t size)
{
    // Earlier refused bytes go first, so a later write to the same offset
    // (a header patched at the end) is not overwritten by stale data.
    const bool clear = retryPending();
    const size_t done = clear ? writeAt(data, size, position_) : 0;
    if (done < size && pendingBytes_ + (size - done) <= maxPendingBytes) {
        pending_.push_back({position_ + static_cast<int64_t>(done), std::vector<uint8_t>(data + done, data + size)});
        pendingBytes_ += size - done;
    }
    position_ += static_cast<int64_t>(size);
    if (position_ > end_) end_ = position_;
}

int64_t RecordingFile::seek(int64_t offset, int whence)
{
    int64_t target = -1;
    if (whence == SEEK_SET)
        target = offset;
    else if (whence == SEEK_CUR)
        target = position_ + offset;
    else if (whence == SEEK_END)
        target = end_ + offset;
    if (target < 0) return -EINVAL;
    position_ = target;
    return position_;
}

}  // namespace cx
