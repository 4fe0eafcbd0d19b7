#pragma once
// The grid of camera panes inside the main window's view area: rows and
// columns with per-row and per-column ideal sizes, like a splitter. Pane k
// shows camera slot k. One pane can be magnified over the whole grid.

#include <QElapsedTimer>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "CameraTable.h"
#include "GridShape.h"
#include "PaneHotSpots.h"

namespace cx {

class CCameraViews;
class Engine;
struct EngineSnapshot;

class CameraGrid : public QWidget {
    Q_OBJECT
public:
    CameraGrid(Engine& engine, QWidget* parent = nullptr);
    ~CameraGrid() override;

    // The shape for the next rebuild (see computeGridShape).
    GridShape& shape() { return shape_; }
    const GridShape& builtShape() const { return built_; }

    // Tears the panes down and builds them again in `viewArea` (parent
    // pixels), one pane per cell; the engine gets its panes in one go.
    void rebuild(QRect viewArea);

    // Every column and row at its equal share ("Adjust Layout"); the
    // magnified marks stay as they are.
    void equalLayout();

    // What a click on the magnify square of pane k does.
    void magnifyOrRestore(int pane);
    bool magnified(int pane) const;

    CCameraViews* pane(int index) const;

    // Whether the main window is the active window, asked when a restore
    // click wants to go back to the equal layout.
    std::function<bool()> mainWindowActive;

    // How long a camera may send nothing before its pane says it is offline
    // (a lost connection says so at once).
    void setOfflineAfter(int milliseconds) { offlineAfterMs_ = milliseconds; }
    // Looks for cameras that went quiet (the grid does it at every snapshot
    // the engine publishes, at least once a second while the tick runs); a
    // camera whose row cannot be served is offline at once, with the reason.
    void checkOffline();

private:
    void onHotSpot(int pane, HotSpot spot);
    void relayout();
    void frameArrived(int slot);
    void connectionChanged(int slot, int state);
    // Puts "offline since" over the slot's pane.
    void showOffline(int slot, const EngineSnapshot& snapshot);

    Engine& engine_;
    GridShape shape_;
    GridShape built_{0, 0};
    QRect viewArea_;
    std::array<CCameraViews*, maxCameras> panes_{};
    std::array<bool, maxCameras> marks_{};
    std::vector<int> columnWidths_;
    std::vector<int> rowHeights_;
    std::array<QSize, maxCameras> engineSizes_{};
    std::array<QElapsedTimer, maxCameras> sinceFrame_{};
    std::array<int, maxCameras> lastFrames_{};
    int offlineAfterMs_ = 5000;
};

}  // namespace cx
