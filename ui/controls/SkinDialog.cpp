#include "SkinDialog.h"

#include <QPainter>

#include "DialogBackground.h"

namespace cx {

SkinDialog::SkinDialog(QWidget* parent, GradientDirection direction) : QDialog(parent), direction_(direction) {}

void SkinDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintDialogBackground(p, rect(), direction_);
}

}  // namespace cx
