#include "Snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cerrno>

#include "Clock.h"
#include "FileStamp.h"
#include "ProgramFolder.h"

namespace cx {

std::string snapshotFileName(const std::string& cameraName, int64_t seconds)
{
    return cameraName + "_" + dateTimeStamp(seconds) + ".jpg";
}

bool SaveSnapshot(const std::filesystem::path& programFolder, const std::string& cameraName, const uint8_t* data,
                  size_t size, const Clock& clock)
{
    if (data == nullptr && size != 0) return false;
    // The camera name is part of the file name: the whole name must be one
    // safe file name, so nothing lands outside the snapshots folder.
    const std::string name = snapshotFileName(cameraName, clock.now());
    if (!isSafeFileName(name)) return false;
    const std::filesystem::path folder = programFolder / "snapshots";
    const std::filesystem::path target = folder / name;

    // Written under a temporary name and renamed, so a reader never sees
    // half a snapshot and a failed write leaves the earlier one intact.
    std::string temporary = (folder / ".snapshot-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            ok = false;
    }
    ok = ::fchmod(fd, 0644) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace cx
