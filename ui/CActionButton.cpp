#include "CActionButton.h"

namespace cx {

CActionButton::CActionButton(QWidget* parent) : CHoverButton(parent)
{
    unsetCursor();
}

}  // namespace cx
