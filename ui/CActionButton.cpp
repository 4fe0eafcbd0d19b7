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
    return Qt::black;
}

}  // namespace cx
