#include "CPosStatic.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include "ControlPlacement.h"
#include "DialogBackground.h"
#include "SkinArt.h"
#include "SkinLook.h"

namespace cx {

CPosStatic::CPosStatic(LabelRole role, QWidget* parent) : QLabel(parent), role_(role) {}

QColor CPosStatic::textColour() const
{
    const InterfaceInfo& info = SkinLook::instance().info();
    switch (role_) {
    case LabelRole::Clock:
        return art::fromSkinColour(info.clockText);
    case LabelRole::DateOrStatus:
        return art::fromSkinColour(info.lineText);
    default:
        return art::fromSkinColour(info.labelText);
    }
}

GradientDirection CPosStatic::backgroundDirection() const
{
    return role_ == LabelRole::StartupText ? GradientDirection::TopToBottom : GradientDirection::LeftToRight;
}

void CPosStatic::placeByRule(int left, int right, int bottom, int row, int column)
{
    const PlacedRect r = placeLabel(left, right, bottom, row, column, width(), height());
    setGeometry(r.x, r.y, r.width, r.height);
}

void CPosStatic::setPaintsBackground(bool on)
{
    paintsBackground_ = on;
    setAttribute(Qt::WA_TranslucentBackground, !on);
    update();
}

void CPosStatic::setFill(const QColor& colour)
{
    if (fill_ == colour) return;
    fill_ = colour;
    update();
}

void CPosStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (paintsBackground_)
        paintDialogBackground(p, rect(), backgroundDirection());
    else if (fill_.isValid())
        p.fillRect(rect(), fill_);
    const QPixmap picture = pixmap();
    if (!picture.isNull()) {
        p.drawPixmap(QStyle::alignedRect(layoutDirection(), alignment(), picture.size(), contentsRect()), picture);
        return;
    }
    // Drawn here rather than through the palette: the colour follows the
    // skin in use, which may change while the label lives.
    p.setPen(textColour());
    p.setFont(font());
    p.drawText(contentsRect(), static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0), text());
}

}  // namespace cx
