#include "DialogBackground.h"

#include <QPixmap>

#include "SkinArt.h"
#include "SkinLook.h"

namespace cx {

void paintGradient(QPainter& p, const QRect& rect, uint32_t first, uint32_t second, GradientDirection direction)
{
    const bool vertical = direction == GradientDirection::TopToBottom;
    const int size = vertical ? rect.height() : rect.width();
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    for (const auto& s : gradientStrips(size, first, second, direction)) {
        const QRect strip = vertical ? QRect(rect.left(), rect.top() + s.offset, rect.width(), s.length)
                                     : QRect(rect.left() + s.offset, rect.top(), s.length, rect.height());
        p.fillRect(strip, art::fromSkinColour(s.colour));
    }
    p.restore();
}

void paintDialogBackground(QPainter& p, const QRect& rect, GradientDirection direction)
{
    const SkinLook& look = SkinLook::instance();
    if (look.backgroundImageEnabled() && !look.tile().isNull()) {
        p.drawTiledPixmap(rect, QPixmap::fromImage(look.tile()));
        return;
    }
    const InterfaceInfo& info = look.info();
    paintGradient(p, rect, info.gradientFirst, info.gradientSecond, direction);
}

}  // namespace cx
