#include "SystemTrayHost.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace cx {

SystemTrayHost::SystemTrayHost() : menu_(std::make_unique<QMenu>())
{
    menu_->setObjectName(QStringLiteral("trayMenu"));
    const auto add = [this](const QString& text, int command) {
        QAction* a = menu_->addAction(text);
        QObject::connect(a, &QAction::triggered, [this, command] {
            if (commandChosen) commandChosen(command);
        });
    };
    add(QStringLiteral("Maximize Window"), TrayCommand::maximizeWindow);
    add(QStringLiteral("Stop all recordings"), TrayCommand::stopAll);
    add(QStringLiteral("Stop all recordings and Exit"), TrayCommand::stopAllAndExit);
}

SystemTrayHost::~SystemTrayHost() = default;

bool SystemTrayHost::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayHost::show(const QIcon& icon, const QString& tip)
{
    // A new icon each time the tray is entered.
    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    icon_->setToolTip(tip);
    icon_->setContextMenu(menu_.get());
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick && doubleClicked) doubleClicked();
    });
    icon_->show();
}

void SystemTrayHost::setIcon(const QIcon& icon)
{
    if (icon_) icon_->setIcon(icon);
}

void SystemTrayHost::remove()
{
    if (!icon_) return;
    icon_->hide();
    // Deleted later: removal may be asked from inside the icon's own signal.
    icon_.release()->deleteLater();
}

bool SystemTrayHost::shown() const
{
    return icon_ != nullptr;
}

}  // namespace cx
