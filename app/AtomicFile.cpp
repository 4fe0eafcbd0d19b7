#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace cx {

bool writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes)
{
    std::filesystem::path temp = target;
    temp += ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    const bool ok = written == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace cx
