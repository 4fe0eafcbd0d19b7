#include "ProgramBitmaps.h"

#include "SkinArt.h"

namespace cx {

QImage programBitmap(int id)
{
    constexpr QSize toolButton(132, 34);
    constexpr QSize modelButton(116, 38);
    switch (id) {
    case 154:
        return art::backgroundTile();
    case 143:
        return art::productLogo(QSize(180, 40), true);
    case 156:
        return art::productLogo(QSize(40, 40), false);
    // Tools dialog: normal and selected faces of its seven buttons.
    case 159: case 164: case 168: case 191: case 194: case 233:
        return art::buttonFace(toolButton, false);
    case 160: case 165: case 169: case 192: case 193: case 234:
        return art::buttonFace(toolButton, true);
    // "Record" of the tools dialog and the camera-model buttons share these.
    case 167:
        return art::buttonFace(modelButton, false);
    case 166:
        return art::buttonFace(modelButton, true);
    default:
        return {};
    }
}

}  // namespace cx
