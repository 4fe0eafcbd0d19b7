#pragma once
// Fonts are given by their cell height, as the skins and dialogs state
// them (for example the bold caption font of height 18). A face's cell is
// taller than its em square, so the pixel size Qt wants is smaller; this is
// the one place that turns heights into pixel sizes.

namespace cx {

// Pixel size (em) of a font whose cell is `height` pixels high.
constexpr int fontPixelSize(int height)
{
    // Sans faces put about 1.16 em into a cell (ascent plus descent).
    return height > 0 ? (height * 86 + 50) / 100 : 1;
}

}  // namespace cx
