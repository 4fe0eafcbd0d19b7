#include "TrayIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace cx {

QImage trayIconImage(int frame)
{
    if (frame < 0 || frame >= trayFrameCount) frame = 0;
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A camera body with its lens.
    p.setPen(QPen(QColor(20, 30, 50), 1.5));
    p.setBrush(QColor(70, 110, 170));
    p.drawRoundedRect(QRectF(2.5, 9.5, 22, 16), 3, 3);
    QPainterPath finder;
    finder.moveTo(24.5, 13.5);
    finder.lineTo(30.5, 10.5);
    finder.lineTo(30.5, 24.5);
    finder.lineTo(24.5, 21.5);
    finder.closeSubpath();
    p.drawPath(finder);
    p.setBrush(QColor(200, 220, 240));
    p.drawEllipse(QPointF(13.5, 17.5), 5, 5);
    if (frame > 0) {
        // Recording: a red dot that swells and a ring sweeping round the lens,
        // so each frame differs from the others.
        const qreal r = 2.0 + frame;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 30, 30));
        p.drawEllipse(QPointF(7, 5.5), r * 0.6 + 1, r * 0.6 + 1);
        p.setPen(QPen(QColor(220, 30, 30), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8.5, 12.5, 10, 10), 90 * 16, -frame * 90 * 16);
    }
    p.end();
    return image;
}

QIcon trayIcon(int frame)
{
    return QIcon(QPixmap::fromImage(trayIconImage(frame)));
}

}  // namespace cx
