#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace cx {

SingleInstance::SingleInstance(const std::filesystem::path& lockFolder, const std::string& name)
{
    const std::filesystem::path file = lockFolder / (name + ".lock");
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;  // no lock file possible: run rather than refuse
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

std::filesystem::path SingleInstance::defaultLockFolder()
{
    for (const char* var : {"CORVANEX_LOCK_DIR", "XDG_RUNTIME_DIR"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return "/tmp";
}

}  // namespace cx
