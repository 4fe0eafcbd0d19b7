#pragma once
// Message boxes on the UI thread, also when asked from a worker thread
// (queued: the worker goes on at once and never waits for the user).

#include <QMessageBox>

#include "Notifier.h"

namespace cx {

// The box icon of a message's icon.
QMessageBox::Icon messageBoxIcon(NotifyIcon icon);

class MessageBoxNotifier final : public Notifier {
public:
    void notify(const std::string& text, const std::string& caption, NotifyIcon icon) override;
};

}  // namespace cx
