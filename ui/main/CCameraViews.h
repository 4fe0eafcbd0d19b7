#pragma once
// One pane of the camera grid. It shows what the engine composed for its
// slot (picture, caption, frame rate, view buttons), or black, and owns
// the four hot spots along its bottom edge; clicks on them go to the grid.
// A camera that has sent nothing for a while is marked offline over its
// last picture.

#include <QString>
#include <QWidget>

#include "PaneHotSpots.h"

namespace cx {

class Engine;

class CCameraViews : public QWidget {
    Q_OBJECT
public:
    CCameraViews(Engine& engine, int pane, QWidget* parent = nullptr);

    int pane() const { return pane_; }
    // Empty text: no offline mark.
    void setOfflineText(const QString& text);
    const QString& offlineText() const { return offlineText_; }

signals:
    void hotSpotClicked(int pane, cx::HotSpot spot);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    Engine& engine_;
    int pane_;
    QString offlineText_;
};

}  // namespace cx
