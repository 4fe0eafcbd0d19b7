#pragma once
// The file under a recording: created without replacing anything, written
// at explicit offsets, and tolerant of failed writes.

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace cx {

class RecordingFile {
public:
    // pwritev(2) by default; tests put failures in here.
    using WriteFunction = std::function<ssize_t(int fd, const iovec* pieces, int count, off_t offset)>;

    // Creates `wanted`, or when a file of that name exists the first free
    // name among "<stem>_2<ext>", "<stem>_3<ext>" ... An existing file is
    // never opened. Null when no file could be created.
    static std::unique_ptr<RecordingFile> create(const std::filesystem::path& wanted, WriteFunction write = {});
    // The name create would give a file now, without making it: the first
    // of those names no file has, in a folder this process may write in.
    // Nothing when there is none.
    static std::optional<std::filesystem::path> freeName(const std::filesystem::path& wanted);
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes at the current offset and moves it on. Bytes the system refuses
    // (a full disk, an I/O error) are kept and written again before later
    // writes, so one failed write does not cost the rest of the file; past
    // `maxPendingBytes` the refused bytes are dropped.
    void write(const uint8_t* data, size_t size);
    // The same for pieces that follow each other in the file (a chunk's
    // head, the picture the camera sent, a pad byte): one system call
    // without copying them together first.
    void write(std::span<const std::span<const uint8_t>> pieces);
    // lseek semantics on the logical file (which includes bytes kept back).
    int64_t seek(int64_t offset, int whence);
    int64_t size() const { return end_; }

    // Writes the kept-back bytes; true when none remain.
    bool retryPending();
    size_t pendingBytes() const { return pendingBytes_; }

    // Per recording; sixteen cameras on a full disk keep at most 128 MiB.
    static constexpr size_t maxPendingBytes = size_t{8} << 20;

private:
    RecordingFile(int fd, std::filesystem::path path, WriteFunction write);
    // Writes what it can at `offset`; returns the bytes written.
    size_t writeAt(std::span<const std::span<const uint8_t>> pieces, int64_t offset);
    // Keeps what the system refused of `pieces` past their first `done` bytes.
    void keepRefused(std::span<const std::span<const uint8_t>> pieces, size_t done);

    struct Pending {
        int64_t offset;
        std::vector<uint8_t> bytes;
    };
    int fd_;
    std::filesystem::path path_;
    WriteFunction write_;
    int64_t position_ = 0;
    int64_t end_ = 0;
    std::vector<Pending> pending_;
    size_t pendingBytes_ = 0;
};

}  // namespace cx
