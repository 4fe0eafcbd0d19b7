#pragma once
// The bitmaps that belong to the program rather than to a skin package,
// by their resource number: 154 the dialog background tile, 143 and 156
// the product logo, the tools-dialog button faces (159 to 234) and the
// model-button faces 166 (pressed) and 167 (normal). Drawn in the default
// skin's style; needs a QGuiApplication.

#include <QImage>

namespace cx {

// The picture of resource `id`, or a null image for a number the program
// does not use.
QImage programBitmap(int id);

}  // namespace cx
