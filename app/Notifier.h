#pragma once
// Modal message boxes go through this interface, from any thread; the GUI
// shows them on the UI thread, tests record them, headless runs print them.

#include <string>

namespace cx {

enum class NotifyIcon { None, Information, Exclamation, Stop, Question };

class Notifier {
public:
    virtual ~Notifier() = default;
    // Shows `text` and returns once the user dismissed it.
    virtual void notify(const std::string& text, const std::string& caption, NotifyIcon icon) = 0;
};

// Writes the message to standard error (headless tools and runs).
class StderrNotifier final : public Notifier {
public:
    void notify(const std::string& text, const std::string& caption, NotifyIcon icon) override;
};

}  // namespace cx
