#include "CActionButton.h"

#include "SkinLook.h"

namespace cx {

CActionButton::CActionButton(QWidget* parent) : CHoverButton(parent)
{
    unsetCursor();
}


QColor CActionButton::textColour() const
{
    const InterfaceInfo& info = SkinLook::instance().info();
    const auto luminance = [](uint32_t c) { return 299 * colourRed(c) + 587 * colourGreen(c) + 114 * colourBlue(c); };
    const int mean = (luminance(info.gradientFirst) + luminance(info.gradientSecond)) / 2;
    return mean < 128 * 1000 ? QColor(Qt::white) : QColor(Qt::black);
}

}  // namespace cx
