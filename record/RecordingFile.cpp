#include "RecordingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace cx {

namespace {

constexpr int maxNumber = 1000;

// `wanted`, then "<stem>_2<ext>", "<stem>_3<ext>" ...
std::filesystem::path numbered(const std::filesystem::path& wanted, int n)
{
    std::filesystem::path name = wanted;
    if (n > 1) name.replace_filename(wanted.stem().string() + "_" + std::to_string(n) + wanted.extension().string());
    return name;
}

}  // namespace

std::optional<std::filesystem::path> RecordingFile::freeName(const std::filesystem::path& wanted)
{
    const std::filesystem::path folder = wanted.has_parent_path() ? wanted.parent_path() : ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::nullopt;
    for (int n = 1; n <= maxNumber; ++n) {
        const std::filesystem::path name = numbered(wanted, n);
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 && errno == ENOENT) return name;
    }
    return std::nullopt;
}

std::unique_ptr<RecordingFile> RecordingFile::create(const std::filesystem::path& wanted, WriteFunction write)
{
    if (!write) write = [](int fd, const iovec* pieces, int count, off_t offset) { return ::pwritev(fd, pieces, count, offset); };
    for (int n = 1; n <= maxNumber; ++n) {
        const std::filesystem::path name = numbered(wanted, n);
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

bool RecordingFile::retryPending()
{
    while (!pending_.empty()) {
        Pending& p = pending_.front();
        const std::span<const uint8_t> bytes[1] = {{p.bytes.data(), p.bytes.size()}};
        const size_t done = writeAt(bytes, p.offset);
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
    const std::span<const uint8_t> one[1] = {{data, size}};
    write(one);
}

size_t RecordingFile::writeAt(std::span<const std::span<const uint8_t>> pieces, int64_t offset)
{
    size_t total = 0;
    for (const auto& p : pieces) total += p.size();
    constexpr size_t maxPieces = 8;
    if (pieces.size() > maxPieces) {
        size_t done = 0;
        for (size_t k = 0; k < pieces.size(); ++k) {
            const size_t n = writeAt(pieces.subspan(k, 1), offset + static_cast<int64_t>(done));
            done += n;
            if (n < pieces[k].size()) break;
        }
        return done;
    }
    size_t done = 0;
    while (done < total) {
        // The pieces from `done` on; a short write goes on where it stopped.
        iovec vectors[maxPieces];
        int count = 0;
        size_t skip = done;
        for (const auto& p : pieces) {
            if (skip >= p.size()) {
                skip -= p.size();
                continue;
            }
            vectors[count++] = iovec{const_cast<uint8_t*>(p.data()) + skip, p.size() - skip};
            skip = 0;
        }
        const ssize_t n = write_(fd_, vectors, count, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}

void RecordingFile::keepRefused(std::span<const std::span<const uint8_t>> pieces, size_t done)
{
    size_t total = 0;
    for (const auto& p : pieces) total += p.size();
    if (done >= total || pendingBytes_ + (total - done) > maxPendingBytes) return;
    std::vector<uint8_t> rest;
    rest.reserve(total - done);
    size_t skip = done;
    for (const auto& p : pieces) {
        if (skip >= p.size()) {
            skip -= p.size();
            continue;
        }
        rest.insert(rest.end(), p.begin() + static_cast<std::ptrdiff_t>(skip), p.end());
        skip = 0;
    }
    pending_.push_back({position_ + static_cast<int64_t>(done), std::move(rest)});
    pendingBytes_ += total - done;
}

void RecordingFile::write(std::span<const std::span<const uint8_t>> pieces)
{
    size_t total = 0;
    for (const auto& p : pieces) total += p.size();
    // Earlier refused bytes go first, so a later write to the same offset
    // (a header patched at the end) is not overwritten by stale data.
    const bool clear = retryPending();
    const size_t done = clear ? writeAt(pieces, position_) : 0;
    keepRefused(pieces, done);
    position_ += static_cast<int64_t>(total);
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
