#pragma once
// The start-up progress window: "Initializing" with growing blanks for
// 1.6 s, then "Connecting to Network", then "Connecting Cameras " with
// growing blanks for 1.5 s; then the cameras are connected and the window
// goes away.

#include <QTimer>
#include <functional>

#include "SkinDialog.h"

namespace cx {

class CPosStatic;

class CStartupDlg : public SkinDialog {
    Q_OBJECT
public:
    // `cameras`: the number of configured cameras (the text says "Camera"
    // for exactly one).
    CStartupDlg(int cameras, QWidget* owner = nullptr);

    // Called once the countdown ran out; the window closes after it returns.
    std::function<void()> connectCameras;
    // Called with the local host name when the network part begins.
    std::function<void(const QString&)> hostNameReady;

    QString text() const;
    // One tick of timer 3 (every 100 ms).
    void advance();
    bool running() const { return timer_.isActive(); }

private:
    int cameras_;
    int tick_ = 0;
    int phase_ = 0;
    CPosStatic* label_;
    QTimer timer_;
};

}  // namespace cx
