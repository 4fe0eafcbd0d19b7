#include "OverlayBitmaps.h"

#include <QFont>
#include <QPainter>
#include <QPolygon>

namespace cx {

namespace {

// Antialiasing stays off for the shapes: a blended edge against the
// transparent colour would leave a dark or light fringe around each bitmap.
QImage mark(QColor disc, QColor letterColour, const char* letter)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(0, 0, 15, 15);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(letterColour);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::fromLatin1(letter));
    return image;
}

QImage button()
{
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

const QColor ink(0x20, 0x30, 0x50);
const QColor pane(0x60, 0x90, 0xD0);

void window(QPainter& p, QRect r)
{
    p.setPen(ink);
    p.setBrush(pane);
    p.drawRect(r);
    p.fillRect(QRect(r.left() + 1, r.top() + 1, r.width() - 1, 3), ink);
}

QImage singleView()
{
    QImage image = button();
    QPainter p(&image);
    window(p, QRect(3, 4, 15, 13));
    return image;
}

QImage enlargedView()
{
    QImage image = button();
    QPainter p(&image);
    window(p, QRect(2, 2, 11, 9));
    window(p, QRect(8, 10, 11, 9));
    return image;
}

QImage camera()
{
    QImage image = button();
    QPainter p(&image);
    p.setPen(ink);
    p.setBrush(QColor(0x50, 0x50, 0x58));
    p.drawRect(QRect(2, 7, 17, 11));
    p.drawRect(QRect(6, 4, 6, 3));
    p.setBrush(pane);
    p.drawEllipse(QRect(7, 9, 7, 7));
    return image;
}

QImage arrowsLeft()
{
    QImage image = button();
    QPainter p(&image);
    p.setPen(ink);
    p.setBrush(ink);
    for (int y : {5, 13}) {
        p.drawPolygon(QPolygon({QPoint(3, y + 2), QPoint(8, y - 2), QPoint(8, y + 6)}));
        p.drawRect(QRect(8, y + 1, 10, 2));
    }
    return image;
}

QImage trianglesDown()
{
    QImage image = button();
    QPainter p(&image);
    p.setPen(ink);
    p.setBrush(ink);
    for (int x : {2, 12}) p.drawPolygon(QPolygon({QPoint(x, 7), QPoint(x + 8, 7), QPoint(x + 4, 15)}));
    return image;
}

}  // namespace

OverlayBitmaps OverlayBitmaps::builtIn()
{
    OverlayBitmaps bitmaps;
    bitmaps.set(overlay::recordManual, mark(QColor(0xD0, 0x10, 0x10), QColor(0xFF, 0xFF, 0xFF), "R"));
    bitmaps.set(overlay::recordSchedule, mark(QColor(0x10, 0xA0, 0x30), QColor(0xE0, 0x10, 0x10), "A"));
    bitmaps.set(overlay::viewSingle, singleView());
    bitmaps.set(overlay::viewEnlarged, enlargedView());
    bitmaps.set(overlay::snapshot, camera());
    bitmaps.set(overlay::flipHorizontal, arrowsLeft());
    bitmaps.set(overlay::flipVertical, trianglesDown());
    return bitmaps;
}

const QImage* OverlayBitmaps::find(int resource) const
{
    auto it = images_.find(resource);
    return it == images_.end() ? nullptr : &it->second;
}

void OverlayBitmaps::set(int resource, const QImage& image)
{
    if (image.isNull()) {
        images_.erase(resource);
        return;
    }
    images_[resource] = image.convertToFormat(QImage::Format_RGB32);
}

void OverlayBitmaps::remove(int resource) { images_.erase(resource); }

}  // namespace cx
