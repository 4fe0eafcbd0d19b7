#include "CameraGrid.h"

#include <QDateTime>

#include "CCameraViews.h"
#include "Engine.h"

namespace cx {

namespace {
// Dark line between neighbouring panes.
constexpr int paneGap = 2;
// Ideal size of a magnified pane; it also takes whatever space is left.
constexpr int magnifiedWidth = 800;
constexpr int magnifiedHeight = 600;

// Start and length of each cell along one axis: ideal sizes in order, the
// last cell with a size takes the rest of `total`.
std::vector<std::pair<int, int>> cells(const std::vector<int>& ideal, int total)
{
    int last = -1;
    for (int i = 0; i < static_cast<int>(ideal.size()); ++i)
        if (ideal[static_cast<size_t>(i)] > 0) last = i;
    std::vector<std::pair<int, int>> out;
    int at = 0;
    for (int i = 0; i < static_cast<int>(ideal.size()); ++i) {
        int length = std::min(ideal[static_cast<size_t>(i)], std::max(0, total - at));
        if (i == last) length = std::max(0, total - at);
        out.emplace_back(at, length);
        at += length;
    }
    return out;
}
}  // namespace

CameraGrid::CameraGrid(Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine)
{
    setObjectName(QStringLiteral("cameraGrid"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(20, 28, 38));
    setPalette(pal);
    connect(&engine_, &Engine::paneUpdated, this, &CameraGrid::frameArrived);
    offlineTimer_.setInterval(1000);
    connect(&offlineTimer_, &QTimer::timeout, this, &CameraGrid::checkOffline);
    offlineTimer_.start();
}

CameraGrid::~CameraGrid() = default;

void CameraGrid::rebuild(QRect viewArea)
{
    viewArea_ = viewArea;
    const int cameras = engine_.state().cameraCount();
    for (int k = 0; k < built_.panes() && k < maxCameras; ++k) {
        delete panes_[static_cast<size_t>(k)];
        panes_[static_cast<size_t>(k)] = nullptr;
    }
    built_ = shape_;
    const QSize paneSize(viewArea.width() / built_.columns, viewArea.height() / built_.rows);
    for (int k = 0; k < built_.panes() && k < maxCameras; ++k) {
        auto* view = new CCameraViews(engine_, k, this);
        connect(view, &CCameraViews::hotSpotClicked, this, &CameraGrid::onHotSpot);
        panes_[static_cast<size_t>(k)] = view;
        sinceFrame_[static_cast<size_t>(k)].start();
        lastFrames_[static_cast<size_t>(k)] = engine_.state().framesReceived[static_cast<size_t>(k)].load();
        view->show();
    }
    engineSizes_.fill(paneSize);
    // One call: the workers draw nothing while the engine swaps the panes.
    engine_.rebuildPanes(std::min(cameras, built_.panes()), paneSize);
    setGeometry(viewArea);
    equalLayout();
    show();
}

void CameraGrid::equalLayout()
{
    columnWidths_.assign(static_cast<size_t>(built_.columns), built_.columns > 0 ? viewArea_.width() / built_.columns : 0);
    rowHeights_.assign(static_cast<size_t>(built_.rows), built_.rows > 0 ? viewArea_.height() / built_.rows : 0);
    relayout();
}

bool CameraGrid::magnified(int pane) const
{
    return pane >= 0 && pane < maxCameras && marks_[static_cast<size_t>(pane)];
}

CCameraViews* CameraGrid::pane(int index) const
{
    return index >= 0 && index < maxCameras ? panes_[static_cast<size_t>(index)] : nullptr;
}

void CameraGrid::magnifyOrRestore(int pane)
{
    if (pane < 0 || pane >= built_.panes()) return;
    const auto k = static_cast<size_t>(pane);
    if (!marks_[k]) {
        const GridCell cell = cellOfPane(pane, built_.columns);
        std::fill(columnWidths_.begin(), columnWidths_.end(), 0);
        std::fill(rowHeights_.begin(), rowHeights_.end(), 0);
        columnWidths_[static_cast<size_t>(cell.column)] = magnifiedWidth;
        rowHeights_[static_cast<size_t>(cell.row)] = magnifiedHeight;
        marks_[k] = true;
        engine_.setViewEnlarged(pane, true);
        relayout();
        return;
    }
    marks_[k] = false;
    engine_.setViewEnlarged(pane, false);
    if (!mainWindowActive || mainWindowActive()) {
        equalLayout();
        for (int i = 0; i < built_.panes(); ++i) {
            marks_[static_cast<size_t>(i)] = false;
            engine_.setViewEnlarged(i, false);
        }
    }
}

void CameraGrid::onHotSpot(int pane, HotSpot spot)
{
    switch (spot) {
    case HotSpot::Magnify:
        magnifyOrRestore(pane);
        break;
    case HotSpot::Snapshot:
        engine_.requestSnapshot(pane);
        break;
    case HotSpot::FlipHorizontal:
    case HotSpot::FlipVertical:
        // In memory only: the camera's properties write them to the database.
        if (const auto flips = engine_.flips(pane)) {
            int h = flips->horizontal ? 1 : 0;
            int v = flips->vertical ? 1 : 0;
            (spot == HotSpot::FlipHorizontal ? h : v) ^= 1;
            engine_.setFlips(pane, h, v);
        }
        break;
    case HotSpot::None:
        break;
    }
}

void CameraGrid::relayout()
{
    const auto columns = cells(columnWidths_, viewArea_.width());
    const auto rows = cells(rowHeights_, viewArea_.height());
    const int cameras = engine_.state().cameraCount();
    for (int r = 0; r < built_.rows; ++r)
        for (int c = 0; c < built_.columns; ++c) {
            const int k = paneIndex(r, c, built_.columns);
            CCameraViews* view = pane(k);
            if (view == nullptr) continue;
            auto [x, w] = columns[static_cast<size_t>(c)];
            auto [y, h] = rows[static_cast<size_t>(r)];
            // A gap on the far side of every cell that has a neighbour there.
            if (x + w < viewArea_.width()) w -= paneGap;
            if (y + h < viewArea_.height()) h -= paneGap;
            if (w <= 0 || h <= 0) {
                view->hide();
                continue;
            }
            view->setGeometry(x, y, w, h);
            view->show();
            const QSize size(w, h);
            if (k < cameras && engineSizes_[static_cast<size_t>(k)] != size) {
                engineSizes_[static_cast<size_t>(k)] = size;
                engine_.resizePane(k, size);
            }
        }
}

void CameraGrid::frameArrived(int slot)
{
    CCameraViews* view = pane(slot);
    if (view == nullptr) return;
    const auto i = static_cast<size_t>(slot);
    sinceFrame_[i].start();
    lastFrames_[i] = engine_.state().framesReceived[i].load();
    view->setOfflineText({});
    view->update();
}

void CameraGrid::checkOffline()
{
    const AppState& state = engine_.state();
    const int cameras = state.cameraCount();
    for (int k = 0; k < built_.panes() && k < maxCameras; ++k) {
        CCameraViews* view = pane(k);
        if (view == nullptr) continue;
        const auto i = static_cast<size_t>(k);
        const int frames = state.framesReceived[i].load();
        if (k >= cameras || state.settings.monitorEnabled[i].load() != 1 || frames != lastFrames_[i]) {
            // A switched-off camera is black on purpose; frames that came
            // while nobody looked (minimized) still count as alive.
            lastFrames_[i] = frames;
            sinceFrame_[i].start();
            view->setOfflineText({});
            continue;
        }
        if (!sinceFrame_[i].isValid() || sinceFrame_[i].elapsed() < offlineAfterMs_) continue;
        int64_t since = 0;
        if (state.connectionState[i].load() == static_cast<int>(ConnectionState::Offline))
            since = state.offlineSince[i].load();
        if (since <= 0) since = QDateTime::currentSecsSinceEpoch() - sinceFrame_[i].elapsed() / 1000;
        const QString time = QDateTime::fromSecsSinceEpoch(since).toString(QStringLiteral("HH:mm:ss"));
        view->setOfflineText(QString::fromStdString(state.cameraNameOf(k)) + QStringLiteral("\noffline since ") + time +
                             QStringLiteral(", retrying"));
    }
}

}  // namespace cx
