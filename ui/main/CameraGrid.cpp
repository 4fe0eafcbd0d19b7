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
    // The tick publishes the frame counters every second: a minimized
    // window's cameras are judged by them, since nothing is drawn then.
    connect(&engine_, &Engine::snapshotChanged, this, &CameraGrid::checkOffline);
    connect(&engine_, &Engine::connectionChanged, this, &CameraGrid::connectionChanged);
}

CameraGrid::~CameraGrid() = default;

void CameraGrid::rebuild(QRect viewArea)
{
    viewArea_ = viewArea;
    const auto snapshot = engine_.snapshot();
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
        const CameraStatus* camera = snapshot->camera(k);
        lastFrames_[static_cast<size_t>(k)] = camera != nullptr ? camera->framesReceived : 0;
        view->show();
    }
    engineSizes_.fill(paneSize);
    // One call: the connections go on; a slot left without a pane is
    // recorded but not drawn.
    // Every cell gets a pane, also those without a camera yet: a camera
    // added into a grid of the same shape draws at once.
    engine_.rebuildPanes(built_.panes(), paneSize);
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
        if (const CameraStatus* camera = engine_.snapshot()->camera(pane)) {
            int h = camera->flips.horizontal ? 1 : 0;
            int v = camera->flips.vertical ? 1 : 0;
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
            if (engineSizes_[static_cast<size_t>(k)] != size) {
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
    const CameraStatus* camera = engine_.snapshot()->camera(slot);
    lastFrames_[i] = camera != nullptr ? camera->framesReceived : 0;
    view->setOfflineText({});
    view->update();
}

void CameraGrid::connectionChanged(int slot, int state)
{
    if (static_cast<ConnectionState>(state) != ConnectionState::Offline || pane(slot) == nullptr) return;
    const auto snapshot = engine_.snapshot();
    // A camera switched off lets go on purpose and is black.
    if (snapshot->camera(slot) == nullptr || snapshot->settings.monitorEnabled[static_cast<size_t>(slot)] != 1) return;
    showOffline(slot, *snapshot);
}

void CameraGrid::showOffline(int slot, const EngineSnapshot& snapshot)
{
    const auto i = static_cast<size_t>(slot);
    const CameraStatus& camera = snapshot.cameras[i];
    int64_t since = 0;
    if (camera.connection == ConnectionState::Offline) since = camera.offlineSince;
    if (since <= 0) since = QDateTime::currentSecsSinceEpoch() - sinceFrame_[i].elapsed() / 1000;
    const QString time = QDateTime::fromSecsSinceEpoch(since).toString(QStringLiteral("HH:mm:ss"));
    panes_[i]->setOfflineText(QString::fromStdString(camera.name) + QStringLiteral("\noffline since ") + time +
                              QStringLiteral(", retrying"));
}

void CameraGrid::checkOffline()
{
    const auto snapshot = engine_.snapshot();
    const int cameras = snapshot->cameraCount();
    for (int k = 0; k < built_.panes() && k < maxCameras; ++k) {
        CCameraViews* view = pane(k);
        if (view == nullptr) continue;
        const auto i = static_cast<size_t>(k);
        const int frames = k < cameras ? snapshot->cameras[i].framesReceived : 0;
        if (k >= cameras || snapshot->settings.monitorEnabled[i] != 1 || frames != lastFrames_[i]) {
            // A switched-off camera is black on purpose; frames that came
            // while nobody looked (minimized) still count as alive.
            lastFrames_[i] = frames;
            sinceFrame_[i].start();
            view->setOfflineText({});
            continue;
        }
        const CameraStatus& camera = snapshot->cameras[i];
        if (!camera.problem.empty()) {
            // It never connects: said at once, and why, instead of "retrying".
            view->setOfflineText(QString::fromStdString(camera.name) + QStringLiteral("\noffline: ") +
                                 QString::fromStdString(camera.problem));
            continue;
        }
        if (!sinceFrame_[i].isValid() || sinceFrame_[i].elapsed() < offlineAfterMs_) continue;
        showOffline(k, *snapshot);
    }
}

}  // namespace cx
