#include "MainButtons.h"

#include <Qt>

namespace cx {

int buttonForFunctionKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_F1: return MainButton::cameras;
    case Qt::Key_F2: return MainButton::monitor;
    case Qt::Key_F3: return MainButton::addCamera;
    case Qt::Key_F4: return MainButton::options;
    case Qt::Key_F5: return MainButton::adjustLayout;
    case Qt::Key_F6: return MainButton::snapshot;
    case Qt::Key_F7: return MainButton::interface;
    case Qt::Key_F8: return MainButton::record;
    case Qt::Key_F9: return MainButton::replay;
    case Qt::Key_F11: return MainButton::website;
    case Qt::Key_F12: return MainButton::about;
    default: return 0;
    }
}

}  // namespace cx
