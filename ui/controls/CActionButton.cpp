#include "CActionButton.h"

#include "SkinLook.h"

namespace cx {

CActionButton::CActionButton(QWidget* parent) : CHoverButton(parent)
{
    unsetCursor();
    setOwnerDrawn(SkinLook::instance().backgroundImageEnabled());
}

QColor CActionButton::textColour() const
{
    // A disabled button (a camera already recording) must read as one.
    return isEnabled() ? QColor(Qt::black) : QColor(120, 120, 120);
}

}  // namespace cx
