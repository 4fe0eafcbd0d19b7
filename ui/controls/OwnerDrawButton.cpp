#include "OwnerDrawButton.h"

#include <QPainter>


namespace cx {

OwnerDrawButton::OwnerDrawButton(QWidget* parent)
    : QPushButton(parent), ownerDrawn_(true)
{
}

void OwnerDrawButton::setOwnerDrawn(bool on)
{
    ownerDrawn_ = on;
    update();
}

void OwnerDrawButton::setHovered(bool on)
{
    if (hovered_ == on) return;
    hovered_ = on;
    update();
}

void OwnerDrawButton::paintEvent(QPaintEvent* event)
{
    if (!ownerDrawn_) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    paintOwnerDrawn(p);
}

void OwnerDrawButton::enterEvent(QEnterEvent* event)
{
    if (pushesOnHover()) setHovered(true);
    QPushButton::enterEvent(event);
}

void OwnerDrawButton::leaveEvent(QEvent* event)
{
    setHovered(false);
    QPushButton::leaveEvent(event);
}

void applyBackgroundImageStyle(QWidget* window, bool on)
{
    if (!window) return;
    for (auto* button : window->findChildren<OwnerDrawButton*>()) button->setOwnerDrawn(on);
    window->update();
}

}  // namespace cx
