#pragma once
// One running copy per program folder: an exclusive lock on the folder
// itself, held until the process ends. Two folders (the user's window and
// a recorder service) run side by side; a second start in the same folder,
// by any user, sees the first. Nothing is written into the folder.

#include <filesystem>

namespace cx {

class SingleInstance {
public:
    // Tries to take the lock on `programFolder`.
    explicit SingleInstance(const std::filesystem::path& programFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock.
    bool anotherRunning() const { return another_; }

private:
    int fd_ = -1;
    bool another_ = false;
};

}  // namespace cx
