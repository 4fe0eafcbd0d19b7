#pragma once
// The main window: frameless, shaped by the skin's "background.bmp" and
// dragged from any point; the button panel, clock, date line, scrolling
// status line and the camera grid. It runs modally from start-up until the
// engine asks it to end.

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "StatusLine.h"
#include "MainWindowHost.h"

namespace cx {

class ActiveSkin;
class CameraGrid;
class CPosStatic;
class CSkinButton;
class CStartupDlg;
class Engine;
class TrayHost;
class TrayMonitor;

struct MonitorOptions {
    // Show the start-up progress window, which connects the cameras.
    bool startupWindow = true;
};

class CMonitorDlg : public QDialog, public MainWindowHost {
    Q_OBJECT
public:
    CMonitorDlg(Engine& engine, ActiveSkin& skin, MonitorOptions options = {}, QWidget* parent = nullptr);
    ~CMonitorDlg() override;

    Engine& engine() { return engine_; }
    ActiveSkin& skin() { return skin_; }
    CameraGrid& grid() { return *grid_; }
    CStartupDlg* startupWindow() const { return startup_; }
    TrayMonitor& tray() { return *tray_; }
    // Tray mode shows its icon through `host` (the desktop's by default).
    void useTrayHost(std::unique_ptr<TrayHost> host);

    // Recomputes the status text from the cameras and recordings.
    void buildStatusText() override;
    const Marquee& marquee() const { return marquee_; }
    void setStatusSuffix(const std::string& suffix) { suffix_ = suffix; }

    // The window's picture and outline from the skin in use.
    void reshapeFromPackage();
    // Every button's picture from the skin in use.
    void reloadButtonBitmaps();

    // The grid for `cameras` cameras, rebuilt when its shape changes; false
    // when no shape fits the count (none, or more than 16).
    bool rebuildGridFor(int cameras) override;
    void equalLayout() override;
    void skinChanged() override;

    // What pressing button `id` does (function keys come here too).
    void runButtonAction(int id);
    CSkinButton* button(int id) const;

    // Timer 1: the clock, then one marquee step.
    void timerTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void exitClicked();
    void endRequested();
    void showMessage(const QString& text, const QString& caption, int icon);
    void updatePicturesWanted();
    bool anyRecording() const;
    void showExitText();
    void snapshotChanged();

    Engine& engine_;
    ActiveSkin& skin_;
    QImage background_;
    CameraGrid* grid_ = nullptr;
    CPosStatic* clock_ = nullptr;
    CPosStatic* date_ = nullptr;
    CPosStatic* status_ = nullptr;
    CPosStatic* hostName_ = nullptr;
    std::map<int, CSkinButton*> buttons_;
    CStartupDlg* startup_ = nullptr;
    Marquee marquee_;
    std::string suffix_;
    // The counts the status text was built from: a snapshot with others
    // (the timetable opened or closed a recording) builds it again.
    int shownCameras_ = -1;
    int shownRecording_ = -1;
    QTimer timer1_;
    QPoint dragOffset_;
    bool dragging_ = false;
    bool ending_ = false;
    std::unique_ptr<TrayMonitor> tray_;
};

}  // namespace cx
