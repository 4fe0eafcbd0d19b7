#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace cx {

SingleInstance::SingleInstance(const std::filesystem::path& programFolder)
{
    // A folder cannot be opened for writing, but flock takes it read-only.
    fd_ = ::open(programFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;  // nothing to lock: the folder check will tell
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) another_ = true;
}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace cx
