#include "SkinArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace cx::art {

namespace {

QFont uiFont(int pixelSize, int weight = QFont::Normal, double letterSpacing = 0)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setHintingPreference(QFont::PreferFullHinting);
    if (letterSpacing != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    return f;
}

QPainterPath roundedRect(const QRectF& r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// Everything outside `shape` becomes the key colour. The shape is filled
// without antialiasing on a separate mask, so the key stays one exact
// colour and edge pixels keep the blend with the surround.
void keyOutside(QImage& image, const QPainterPath& shape)
{
    QImage mask(image.size(), QImage::Format_RGB32);
    mask.fill(Qt::black);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing, false);
        m.fillPath(shape, Qt::white);
    }
    const QRgb key = palette::key.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* keep = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(keep[x]) == 0) line[x] = key;
            // A drawn pixel must never equal the key by chance.
            else if ((line[x] | 0xFF000000u) == key) line[x] = qRgb(254, 0, 254);
        }
    }
}

QPen iconPen(const QColor& c, double width)
{
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void cameraBody(QPainter& p, const QColor& c)
{
    p.setPen(iconPen(c, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2.5, 7, 14, 10), 2, 2);
    QPainterPath lens;
    lens.moveTo(16.5, 10.5);
    lens.lineTo(21.5, 8);
    lens.lineTo(21.5, 16);
    lens.lineTo(16.5, 13.5);
    p.drawPath(lens);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(6, 10), 1.2, 1.2);
}

void badge(QPainter& p, const QColor& c, bool plus)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(18.5, 18.5), 5, 5);
    p.setPen(iconPen(QColor(12, 18, 26), 1.8));
    p.drawLine(QPointF(16, 18.5), QPointF(21, 18.5));
    if (plus) p.drawLine(QPointF(18.5, 16), QPointF(18.5, 21));
}

}  // namespace

QColor fromSkinColour(uint32_t c)
{
    return QColor(colourRed(c), colourGreen(c), colourBlue(c));
}

void drawIcon(QPainter& p, const QRectF& box, Icon icon, const QColor& c)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(box.topLeft());
    p.scale(box.width() / 24.0, box.height() / 24.0);
    p.setPen(iconPen(c, 1.8));
    p.setBrush(Qt::NoBrush);
    switch (icon) {
    case Icon::None:
        break;
    case Icon::About:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawLine(QPointF(12, 11), QPointF(12, 17));
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(12, 7.5), 1.3, 1.3);
        break;
    case Icon::Exit:
        p.drawArc(QRectF(4, 4.5, 16, 16), 120 * 16, 300 * 16);
        p.drawLine(QPointF(12, 2.5), QPointF(12, 11));
        break;
    case Icon::Cameras:
        // A dome camera on its mount.
        p.drawLine(QPointF(4, 4), QPointF(20, 4));
        p.drawLine(QPointF(12, 4), QPointF(12, 7));
        p.drawArc(QRectF(4, 3, 16, 16), 180 * 16, 180 * 16);
        p.drawLine(QPointF(4, 11), QPointF(20, 11));
        p.setBrush(c);
        p.drawEllipse(QPointF(12, 14), 2.2, 2.2);
        break;
    case Icon::Monitor:
        p.drawRoundedRect(QRectF(2.5, 4, 19, 13), 2, 2);
        p.drawLine(QPointF(12, 17), QPointF(12, 20.5));
        p.drawLine(QPointF(7.5, 20.5), QPointF(16.5, 20.5));
        p.drawLine(QPointF(12, 4), QPointF(12, 17));
        p.drawLine(QPointF(2.5, 10.5), QPointF(21.5, 10.5));
        break;
    case Icon::Options: {
        QPainterPath gear;
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(12 + 6.5 * std::cos(a), 12 + 6.5 * std::sin(a)),
                       QPointF(12 + 9.5 * std::cos(a), 12 + 9.5 * std::sin(a)));
        }
        p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
        break;
    }
    case Icon::AddCamera:
        cameraBody(p, c);
        badge(p, c, true);
        break;
    case Icon::RemoveCamera:
        cameraBody(p, c);
        badge(p, palette::danger, false);
        break;
    case Icon::Snapshot:
        p.drawRoundedRect(QRectF(2.5, 6.5, 19, 14), 2.5, 2.5);
        p.drawLine(QPointF(8, 6.5), QPointF(9.5, 3.5));
        p.drawLine(QPointF(9.5, 3.5), QPointF(14.5, 3.5));
        p.drawLine(QPointF(14.5, 3.5), QPointF(16, 6.5));
        p.drawEllipse(QPointF(12, 13.5), 4, 4);
        break;
    case Icon::Adjust:
        p.drawRoundedRect(QRectF(3, 3, 7.5, 7.5), 1.5, 1.5);
        p.drawRoundedRect(QRectF(13.5, 3, 7.5, 7.5), 1.5, 1.5);
        p.drawRoundedRect(QRectF(3, 13.5, 7.5, 7.5), 1.5, 1.5);
        p.drawRoundedRect(QRectF(13.5, 13.5, 7.5, 7.5), 1.5, 1.5);
        break;
    case Icon::Record:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::danger);
        p.drawEllipse(QPointF(12, 12), 5, 5);
        break;
    case Icon::Replay: {
        p.drawArc(QRectF(3, 3, 18, 18), 100 * 16, 290 * 16);
        QPainterPath head;
        head.moveTo(10.5, 1.5);
        head.lineTo(10.5, 6.5);
        head.lineTo(6.5, 4);
        head.closeSubpath();
        p.setBrush(c);
        p.drawPath(head);
        QPainterPath play;
        play.moveTo(10, 8.5);
        play.lineTo(16, 12);
        play.lineTo(10, 15.5);
        play.closeSubpath();
        p.drawPath(play);
        break;
    }
    case Icon::Sound: {
        QPainterPath speaker;
        speaker.moveTo(3, 9);
        speaker.lineTo(7, 9);
        speaker.lineTo(12, 4.5);
        speaker.lineTo(12, 19.5);
        speaker.lineTo(7, 15);
        speaker.lineTo(3, 15);
        speaker.closeSubpath();
        p.drawPath(speaker);
        p.drawArc(QRectF(10, 8, 8, 8), -60 * 16, 120 * 16);
        p.drawArc(QRectF(8, 4.5, 14, 15), -60 * 16, 120 * 16);
        break;
    }
    case Icon::Website:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawEllipse(QRectF(8, 3, 8, 18));
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        p.drawLine(QPointF(4.5, 7.5), QPointF(19.5, 7.5));
        p.drawLine(QPointF(4.5, 16.5), QPointF(19.5, 16.5));
        break;
    case Icon::Interface:
        // Layers: a skin over a skin.
        p.drawRoundedRect(QRectF(3, 8, 12, 12), 2, 2);
        p.setBrush(QColor(c.red(), c.green(), c.blue(), 70));
        p.drawRoundedRect(QRectF(9, 3, 12, 12), 2, 2);
        break;
    case Icon::Update: {
        p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
        p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
        p.setBrush(c);
        QPainterPath a;
        a.moveTo(21.5, 7);
        a.lineTo(19.5, 12.5);
        a.lineTo(15.5, 8.5);
        a.closeSubpath();
        p.drawPath(a);
        QPainterPath b;
        b.moveTo(2.5, 17);
        b.lineTo(4.5, 11.5);
        b.lineTo(8.5, 15.5);
        b.closeSubpath();
        p.drawPath(b);
        break;
    }
    case Icon::Close:
        p.setPen(iconPen(c, 2.2));
        p.drawLine(QPointF(6, 6), QPointF(18, 18));
        p.drawLine(QPointF(18, 6), QPointF(6, 18));
        break;
    case Icon::Select:
        p.setPen(iconPen(c, 2.4));
        p.drawLine(QPointF(4, 12.5), QPointF(9.5, 18));
        p.drawLine(QPointF(9.5, 18), QPointF(20, 6));
        break;
    case Icon::Save:
        p.drawRoundedRect(QRectF(3, 3, 18, 18), 2.5, 2.5);
        p.drawRect(QRectF(7.5, 3, 9, 6));
        p.drawRoundedRect(QRectF(7, 13, 10, 8), 1, 1);
        break;
    case Icon::Properties:
        p.drawLine(QPointF(4, 6), QPointF(20, 6));
        p.drawLine(QPointF(4, 12), QPointF(20, 12));
        p.drawLine(QPointF(4, 18), QPointF(20, 18));
        p.setBrush(palette::panel);
        p.drawEllipse(QPointF(15, 6), 2.3, 2.3);
        p.drawEllipse(QPointF(8, 12), 2.3, 2.3);
        p.drawEllipse(QPointF(13, 18), 2.3, 2.3);
        break;
    case Icon::Shield: {
        QPainterPath s;
        s.moveTo(12, 1.5);
        s.lineTo(21, 5);
        s.cubicTo(21, 13, 17.5, 19, 12, 22.5);
        s.cubicTo(6.5, 19, 3, 13, 3, 5);
        s.closeSubpath();
        p.setBrush(QColor(c.red(), c.green(), c.blue(), 45));
        p.drawPath(s);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(12, 11), 4.2, 4.2);
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(12, 11), 1.8, 1.8);
        break;
    }
    }
    p.restore();
}

QImage skinButton(QSize size, const QString& label, Icon icon, Tone tone, const QColor& surround)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(surround);
    const QRectF face(0.5, 0.5, size.width() - 2.0, size.height() - 2.0);  // the last column and row lie outside the button
    const QColor tint = tone == Tone::Danger ? palette::danger : palette::accent;
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        QLinearGradient fill(face.topLeft(), face.bottomLeft());
        fill.setColorAt(0, palette::buttonTop);
        fill.setColorAt(1, palette::buttonBottom);
        p.setPen(QPen(tone == Tone::Danger ? palette::danger.darker(140) : palette::buttonBorder, 1));
        p.setBrush(fill);
        p.drawRoundedRect(face, 6, 6);
        // A soft highlight along the top edge.
        p.setPen(QPen(QColor(255, 255, 255, 28), 1));
        p.drawLine(QPointF(face.left() + 6, face.top() + 1.5), QPointF(face.right() - 6, face.top() + 1.5));

        const double iconSide = std::min(20.0, face.height() - 14);
        const QRectF well(face.left() + 6, face.center().y() - (iconSide + 8) / 2, iconSide + 8, iconSide + 8);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(tint.red(), tint.green(), tint.blue(), 38));
        p.drawRoundedRect(well, 5, 5);
        drawIcon(p, well.adjusted(4, 4, -4, -4), icon, tone == Tone::Danger ? palette::danger.lighter(115) : tint);

        p.setPen(palette::text);
        p.setFont(uiFont(13, QFont::DemiBold));
        const QRectF textBox(well.right() + 9, face.top(), face.right() - well.right() - 12, face.height());
        p.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   p.fontMetrics().elidedText(label, Qt::ElideRight, static_cast<int>(textBox.width())));
    }
    keyOutside(image, roundedRect(face.adjusted(-0.5, -0.5, 0.5, 0.5), 6));
    return image;
}

QImage buttonFace(QSize size, bool pressed)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(palette::panel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF face(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, pressed ? palette::buttonBottom.darker(115) : palette::buttonTop);
    fill.setColorAt(1, pressed ? palette::buttonTop.darker(110) : palette::buttonBottom);
    p.setPen(QPen(pressed ? palette::accent.darker(150) : palette::buttonBorder, 1));
    p.setBrush(fill);
    p.drawRoundedRect(face, 5, 5);
    return image;
}

QImage backgroundTile()
{
    // 64 × 64 with a diagonal hairline every 16 pixels: seamless both ways.
    QImage tile(64, 64, QImage::Format_RGB32);
    // Light, like the dialog gradient, so dark label text and the black
    // text of model buttons read on both.
    tile.fill(QColor(192, 206, 222));
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(204, 216, 230));
    for (int k = -64; k < 128; k += 16) p.drawLine(k, 64, k + 64, 0);
    p.setPen(QColor(180, 194, 212));
    for (int k = -64; k < 128; k += 16) p.drawLine(k + 1, 64, k + 65, 0);
    return tile;
}

QImage productLogo(QSize size, bool withName)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(palette::header);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const double side = size.height() - 4;
    drawIcon(p, QRectF(2, 2, side, side), Icon::Shield, palette::accent);
    if (withName) {
        p.setPen(palette::text);
        p.setFont(uiFont(static_cast<int>(side * 0.5), QFont::Bold, 2));
        p.drawText(QRectF(side + 10, 0, size.width() - side - 10, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("CORVANEX"));
    }
    return image;
}

QImage mainBackground(QSize size, const InterfaceInfo& info)
{
    QImage image(size, QImage::Format_RGB32);
    // Dark rather than the key under the body, so its antialiased rim does
    // not turn pink; keyOutside() sets the key afterwards.
    image.fill(QColor(4, 6, 9));
    const QRectF bodyRect(6.5, 6.5, size.width() - 14.0, size.height() - 14.0);
    const QPainterPath body = roundedRect(bodyRect, 16);
    const auto rect = [](const SkinRect& r) { return QRectF(r.left, r.top, r.right - r.left, r.bottom - r.top); };
    const QRectF view = rect(info.viewArea);
    const ButtonPoints& points = info.buttonPoints;

    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.fillPath(body, palette::body);
        p.setClipPath(body);

        // Header band with a faint glow behind the logo.
        const double headerBottom = view.top() - 14;
        QLinearGradient head(0, bodyRect.top(), 0, headerBottom);
        head.setColorAt(0, palette::header.lighter(112));
        head.setColorAt(1, palette::header);
        p.fillRect(QRectF(bodyRect.left(), bodyRect.top(), bodyRect.width(), headerBottom - bodyRect.top()), head);
        QRadialGradient glow(QPointF(70, 40), 220);
        glow.setColorAt(0, QColor(34, 190, 220, 40));
        glow.setColorAt(1, QColor(34, 190, 220, 0));
        p.fillRect(QRectF(0, 0, 500, headerBottom), glow);
        p.setPen(QPen(QColor(palette::accent.red(), palette::accent.green(), palette::accent.blue(), 150), 1));
        p.drawLine(QPointF(bodyRect.left(), headerBottom + 0.5), QPointF(bodyRect.right(), headerBottom + 0.5));

        const double logoSide = 34;
        const double logoY = (bodyRect.top() + headerBottom - logoSide) / 2;
        drawIcon(p, QRectF(26, logoY, logoSide, logoSide), Icon::Shield, palette::accent);
        p.setPen(palette::text);
        p.setFont(uiFont(22, QFont::Bold, 3));
        p.drawText(QPointF(70, logoY + 20), QStringLiteral("CORVANEX"));
        p.setPen(palette::mutedText);
        p.setFont(uiFont(10, QFont::Normal, 2.2));
        p.drawText(QPointF(71, logoY + 34), QStringLiteral("VIDEO SURVEILLANCE"));

        // Text fields of the date, clock and status line.
        const auto fieldAt = [&](const SkinRect& r, const QColor& fill, const QColor& border) {
            p.setPen(QPen(border, 1));
            p.setBrush(fill);
            p.drawRoundedRect(rect(r).adjusted(-8.5, -3.5, 8.5, 3.5), 6, 6);
        };
        fieldAt(info.clockRect, fromSkinColour(info.clockBackground), palette::panelBorder);
        fieldAt(info.statusRect, fromSkinColour(info.statusBackground), palette::panelBorder);
        // The date line shares the status line's light field and dark text.
        fieldAt(info.dateRect, fromSkinColour(info.statusBackground), palette::panelBorder);
        // The live indicator left of the status line.
        p.setPen(Qt::NoPen);
        p.setBrush(palette::ok);
        p.drawEllipse(QPointF(info.statusRect.left - 18, (info.statusRect.top + info.statusRect.bottom) / 2.0), 4, 4);

        // Camera well with corner brackets.
        p.setPen(QPen(palette::panelBorder, 1));
        p.setBrush(palette::well);
        p.drawRoundedRect(view.adjusted(-4.5, -4.5, 4.5, 4.5), 8, 8);
        p.setPen(QPen(palette::accent, 2));
        const double b = 18;
        const QRectF v = view.adjusted(-4, -4, 4, 4);
        for (const auto& [corner, dx, dy] : {std::tuple{v.topLeft(), 1, 1}, std::tuple{v.topRight(), -1, 1},
                                             std::tuple{v.bottomLeft(), 1, -1}, std::tuple{v.bottomRight(), -1, -1}}) {
            p.drawLine(corner, corner + QPointF(dx * b, 0));
            p.drawLine(corner, corner + QPointF(0, dy * b));
        }
        p.setPen(QColor(28, 40, 56));
        p.setFont(uiFont(15, QFont::DemiBold, 4));
        p.drawText(view, Qt::AlignCenter, QStringLiteral("NO CAMERA SIGNAL"));

        // Button panel to the right of the camera well.
        const SkinPoint first = points.at(ButtonPoint::cameras);
        const SkinPoint exit = points.at(ButtonPoint::exit);
        const QRectF panelRect(first.x - 12.5, view.top() - 4.5, bodyRect.right() - 14 - (first.x - 12.5),
                               info.statusRect.bottom + 3.5 - (view.top() - 4.5));
        QLinearGradient panelFill(panelRect.topLeft(), panelRect.bottomLeft());
        panelFill.setColorAt(0, palette::panel.lighter(108));
        panelFill.setColorAt(1, palette::panel);
        p.setPen(QPen(palette::panelBorder, 1));
        p.setBrush(panelFill);
        p.drawRoundedRect(panelRect, 8, 8);
        p.setFont(uiFont(10, QFont::DemiBold, 1.8));
        const auto section = [&](int pointIndex, const QString& title) {
            const SkinPoint at = points.at(pointIndex);
            p.setPen(palette::mutedText);
            p.drawText(QPointF(at.x + 2, at.y - 9), title);
            p.setPen(QPen(palette::panelBorder, 1));
            const double textEnd = at.x + 10 + QFontMetricsF(p.font()).horizontalAdvance(title);
            p.drawLine(QPointF(textEnd, at.y - 13.5), QPointF(panelRect.right() - 8, at.y - 13.5));
        };
        section(ButtonPoint::cameras, QStringLiteral("LIVE VIEW"));
        section(ButtonPoint::record, QStringLiteral("RECORDING"));
        section(ButtonPoint::options, QStringLiteral("SYSTEM"));
        p.setPen(QPen(palette::panelBorder, 1));
        p.drawLine(QPointF(panelRect.left() + 8, exit.y - 12.5), QPointF(panelRect.right() - 8, exit.y - 12.5));

        p.setClipping(false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(46, 64, 88), 1));
        p.drawPath(body);
    }
    keyOutside(image, roundedRect(bodyRect.adjusted(-0.5, -0.5, 0.5, 0.5), 16));
    return image;
}

}  // namespace cx::art
