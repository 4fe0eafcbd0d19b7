#include "TrayMonitor.h"

#include <QWidget>

#include "Engine.h"
#include "TrayHost.h"
#include "TrayIcons.h"

namespace cx {

TrayMonitor::TrayMonitor(Engine& engine, QWidget& mainWindow, std::unique_ptr<TrayHost> host, QObject* parent)
    : QObject(parent), engine_(engine), mainWindow_(mainWindow), host_(std::move(host))
{
    host_->doubleClicked = [this] { restore(); };
    host_->commandChosen = [this](int id) { command(id); };
    // The tick animates in every run, tray or not; a hidden icon ignores it.
    connect(&engine_, &Engine::trayFrameChanged, this, &TrayMonitor::setFrame);
}

TrayMonitor::~TrayMonitor()
{
    host_->remove();
}

bool TrayMonitor::active() const
{
    return host_->shown();
}

bool TrayMonitor::enter()
{
    if (!host_->available()) {
        // Hiding the window would leave no way back: keep it, and say why once.
        if (!toldNoTray_)
            engine_.notifier().notify("This desktop has no notification area, so Corvanex stays open while it records. "
                                      "Stop the recordings in Record to exit.",
                                      "Corvanex", NotifyIcon::Information);
        toldNoTray_ = true;
        return false;
    }
    frame_ = 0;
    host_->show(trayIcon(0), QStringLiteral("Corvanex"));
    mainWindow_.hide();
    // Nobody sees the panes now: frames are recorded, not decoded.
    engine_.setPicturesWanted(false);
    return true;
}

void TrayMonitor::restore()
{
    engine_.resumeRecordings();
    mainWindow_.show();
    host_->remove();
}

void TrayMonitor::command(int id)
{
    switch (id) {
    case TrayCommand::maximizeWindow:
        restore();
        break;
    case TrayCommand::stopAll:
        engine_.suspendRecordings();
        setFrame(0);
        break;
    case TrayCommand::stopAllAndExit:
        engine_.suspendRecordings();
        host_->remove();
        if (endMainWindow) endMainWindow();
        break;
    default:
        break;
    }
}

void TrayMonitor::setFrame(int frame)
{
    frame_ = (frame >= 0 && frame < trayFrameCount) ? frame : 0;
    host_->setIcon(trayIcon(frame_));
}

}  // namespace cx
