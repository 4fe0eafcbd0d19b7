#pragma once
// The background of every skinned dialog and label: bitmap 154 tiled from
// the top-left corner when the background image option is on, else the
// skin's two-colour gradient (colour 11 at the top or left edge).

#include <QPainter>
#include <QRect>

#include "GradientStrips.h"

namespace cx {

void paintGradient(QPainter& p, const QRect& rect, uint32_t first, uint32_t second, GradientDirection direction);
void paintDialogBackground(QPainter& p, const QRect& rect, GradientDirection direction);

}  // namespace cx
