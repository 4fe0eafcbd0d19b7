#pragma once
// Tray mode: the main window hidden while recordings go on, an icon in the
// notification area that animates while the schedule records, a double
// click or "Maximize Window" to come back, and the menu's stop commands.

#include <QObject>

#include <functional>
#include <memory>

class QWidget;

namespace cx {

class Engine;
class TrayHost;

class TrayMonitor : public QObject {
    Q_OBJECT
public:
    TrayMonitor(Engine& engine, QWidget& mainWindow, std::unique_ptr<TrayHost> host, QObject* parent = nullptr);
    ~TrayMonitor() override;

    // Hides the main window behind the icon. Without a notification area
    // the window stays (told once per run): false.
    bool enter();
    bool active() const;
    // The frame the icon shows (or would show), 0..4.
    int frame() const { return frame_; }
    TrayHost& host() { return *host_; }

    // "Stop all recordings and Exit": the owner ends its main window.
    std::function<void()> endMainWindow;

private:
    void restore();
    void command(int id);
    void setFrame(int frame);

    Engine& engine_;
    QWidget& mainWindow_;
    std::unique_ptr<TrayHost> host_;
    int frame_ = 0;
    bool toldNoTray_ = false;
};

}  // namespace cx
