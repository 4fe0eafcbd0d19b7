#include "CHoverButton.h"

#include <QPainter>

#include "ControlPlacement.h"
#include "DialogBackground.h"
#include "FontHeight.h"
#include "SkinArt.h"
#include "SkinLook.h"

namespace cx {

CHoverButton::CHoverButton(QWidget* parent) : OwnerDrawButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(18));
    f.setWeight(QFont::Normal);
    setFont(f);
}

void CHoverButton::setBitmaps(const QImage& normal, const QImage& selected)
{
    normal_ = normal;
    selected_ = selected;
    if (!normal_.isNull()) resize(normal_.size());
}

void CHoverButton::placeByRule(int left, int right, int bottom, int row, int column)
{
    const PlacedRect r = placeHoverButton(left, right, bottom, row, column, width(), height());
    setGeometry(r.x, r.y, r.width, r.height);
}

QColor CHoverButton::textColour() const
{
    return art::fromSkinColour(SkinLook::instance().info().lineText);
}

void CHoverButton::paintOwnerDrawn(QPainter& p)
{
    const QRect r = rect();
    const InterfaceInfo& info = SkinLook::instance().info();
    paintGradient(p, r, info.gradientFirst, info.gradientSecond, direction());

    // Two-pixel edge: light above and left when raised, the other way round when sunken.
    const bool sunken = isDown() || isChecked() || (pushesOnHover() && pushedLook());
    const QColor light(255, 255, 255, 70), shade(0, 0, 0, 150), midLight(255, 255, 255, 30), midShade(0, 0, 0, 80);
    const QColor outerTL = sunken ? shade : light, outerBR = sunken ? light : shade;
    const QColor innerTL = sunken ? midShade : midLight, innerBR = sunken ? midLight : midShade;
    const auto frame = [&](const QRect& f, const QColor& tl, const QColor& br) {
        p.setPen(tl);
        p.drawLine(f.topLeft(), f.topRight());
        p.drawLine(f.topLeft(), f.bottomLeft());
        p.setPen(br);
        p.drawLine(f.bottomLeft(), f.bottomRight());
        p.drawLine(f.topRight(), f.bottomRight());
    };
    frame(r, outerTL, outerBR);
    frame(r.adjusted(1, 1, -1, -1), innerTL, innerBR);

    p.setPen(textColour());
    p.setFont(font());
    p.drawText(sunken ? r.translated(1, 1) : r, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QPen dotted(textColour(), 1, Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(3, 3, -4, -4));
    }
}

}  // namespace cx
