#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Notifier.h"

namespace cx::test {

// Keeps every message instead of showing it.
class RecordingNotifier final : public Notifier {
public:
    void notify(const std::string& text, const std::string&, NotifyIcon icon) override
    {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
        icons_.push_back(icon);
    }
    std::vector<std::string> texts() const
    {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    std::vector<NotifyIcon> icons() const
    {
        std::lock_guard lock(mutex_);
        return icons_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    std::vector<NotifyIcon> icons_;
};

}  // namespace cx::test
