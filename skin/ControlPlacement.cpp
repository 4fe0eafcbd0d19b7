#include "ControlPlacement.h"

namespace cx {

namespace {
int columnX(int left, int right, int column, int width)
{
    const int x = (right - width - left) / 2 - 48 * column;
    return x < 0 ? 0 : x;
}
}  // namespace

PlacedRect placeLabel(int left, int right, int bottom, int row, int column, int width, int height)
{
    int x = columnX(left, right, column, width);
    if (x + width > right) x = right - width;
    const int y = bottom - 4 * row - ((row + 1) * height) / 2;
    return {x, y, width, height};
}

PlacedRect placeHoverButton(int left, int right, int bottom, int row, int column, int width, int height)
{
    const int x = columnX(left, right, column, width);
    const int w = x + width > right ? right - x : width;
    const int y = bottom - 4 * (row + 1) - (row + 1) * height;
    return {x, y, w, height};
}

}  // namespace cx
