#pragma once
// The notification-area icon of the desktop (QSystemTrayIcon) with its
// menu "Maximize Window", "Stop all recordings", "Stop all recordings and
// Exit".

#include <memory>

#include "TrayHost.h"

class QMenu;
class QSystemTrayIcon;

namespace cx {

class SystemTrayHost final : public TrayHost {
public:
    SystemTrayHost();
    ~SystemTrayHost() override;
    bool available() const override;
    void show(const QIcon& icon, const QString& tip) override;
    void setIcon(const QIcon& icon) override;
    void remove() override;
    bool shown() const override;

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace cx
