#pragma once
// One running copy per user: an exclusive lock on a file named after the
// instance name. The lock is held until the process ends.

#include <filesystem>
#include <string>

namespace cx {

inline constexpr const char* instanceLockName = "{714398R1-DCC6-49b5-9C61-PE922135C6485}";

class SingleInstance {
public:
    // Tries to take the lock in `lockFolder` (see defaultLockFolder).
    SingleInstance(const std::filesystem::path& lockFolder, const std::string& name = instanceLockName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock.
    bool anotherRunning() const { return another_; }

    // $CORVANEX_LOCK_DIR, else $XDG_RUNTIME_DIR, else /tmp.
    static std::filesystem::path defaultLockFolder();

private:
    int fd_ = -1;
    bool another_ = false;
};

}  // namespace cx
