#include "CCameraViews.h"

#include <QMouseEvent>
#include <QPainter>

#include "Engine.h"
#include "FontHeight.h"

namespace cx {

CCameraViews::CCameraViews(Engine& engine, int pane, QWidget* parent) : QWidget(parent), engine_(engine), pane_(pane)
{
    setObjectName(QStringLiteral("pane%1").arg(pane));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void CCameraViews::setOfflineText(const QString& text)
{
    if (text == offlineText_) return;
    offlineText_ = text;
    update();
}

void CCameraViews::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // Panes past the configured cameras stay black: no worker draws there.
    bool painted = false;
    if (pane_ < engine_.snapshot()->cameraCount())
        engine_.readPane(pane_, [&](const QImage& image) {
            // The back buffer has the pane's size but for a moment after a resize.
            if (image.width() < width() || image.height() < height()) p.fillRect(rect(), Qt::black);
            p.drawImage(QPoint(0, 0), image);
            painted = true;
        });
    if (!painted) p.fillRect(rect(), Qt::black);
    if (offlineText_.isEmpty()) return;

    p.fillRect(rect(), QColor(0, 0, 0, 150));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(18));
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(240, 200, 80));
    p.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, offlineText_);
}

void CCameraViews::mouseMoveEvent(QMouseEvent* event)
{
    const bool over = hotSpotAt(event->position().toPoint(), size()) != HotSpot::None;
    setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
    event->ignore();  // the main window resets its buttons' pressed look on movement
}

void CCameraViews::mousePressEvent(QMouseEvent* event)
{
    const HotSpot spot = event->button() == Qt::LeftButton ? hotSpotAt(event->position().toPoint(), size()) : HotSpot::None;
    if (spot == HotSpot::None) {
        event->ignore();  // a press elsewhere drags the main window
        return;
    }
    emit hotSpotClicked(pane_, spot);
}

}  // namespace cx
