#pragma once
// The notification-area icon as the tray logic needs it: shown with a tip,
// its picture replaced, removed; a double click and the three commands of
// its menu come back as calls. The desktop's tray is one implementation,
// tests use a fake.

#include <QIcon>
#include <QString>

#include <functional>

namespace cx {

namespace TrayCommand {
inline constexpr int maximizeWindow = 32773;
inline constexpr int stopAll = 32772;
inline constexpr int stopAllAndExit = 32774;
}  // namespace TrayCommand

class TrayHost {
public:
    virtual ~TrayHost() = default;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;
    virtual void show(const QIcon& icon, const QString& tip) = 0;
    // Replaces the picture; no effect while not shown.
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void remove() = 0;
    virtual bool shown() const = 0;

    std::function<void()> doubleClicked;
    std::function<void(int command)> commandChosen;  // a TrayCommand value
};

}  // namespace cx
