#include "CSkinButton.h"

#include <QPainter>

#include "ButtonOutline.h"
#include "SkinLook.h"

namespace cx {

CSkinButton::CSkinButton(QWidget* parent) : OwnerDrawButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

bool CSkinButton::setBitmap(const std::string& entry)
{
    setBitmapImage(SkinLook::instance().bitmap(entry));
    return !bitmap_.isNull();
}

void CSkinButton::setBitmapImage(const QImage& image)
{
    bitmap_ = image.convertToFormat(QImage::Format_RGB32);
    keyed_ = QImage();
    outline_ = QRegion();
    if (!bitmap_.isNull()) {
        const QRgb key = keyColourOf(bitmap_);
        SkinLook::instance().setSharedTransparentColour(key);
        outline_ = keyedOutline(bitmap_, key);
        resize(bitmap_.width() - 1, bitmap_.height() - 1);
    }
    applyShape();
    update();
}

void CSkinButton::setOwnerDrawn(bool on)
{
    OwnerDrawButton::setOwnerDrawn(on);
    applyShape();
}

void CSkinButton::applyShape()
{
    // Only the picture has an outline; a default push button is a rectangle.
    if (ownerDrawn() && !bitmap_.isNull())
        setMask(outline_);
    else
        clearMask();
}

void CSkinButton::paintOwnerDrawn(QPainter& p)
{
    if (bitmap_.isNull()) {
        // A package without this picture: a plain face with the text, so
        // the button stays usable.
        p.fillRect(rect(), pushedLook() ? QColor(200, 200, 200) : QColor(230, 230, 230));
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    const QRgb key = SkinLook::instance().sharedTransparentColour();
    if (keyed_.isNull() || keyedWith_ != key) {
        keyed_ = bitmap_.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < keyed_.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(keyed_.scanLine(y));
            for (int x = 0; x < keyed_.width(); ++x)
                if ((line[x] | 0xFF000000u) == key) line[x] = 0;
        }
        keyedWith_ = key;
    }
    if (pushedLook()) {
        // Pushed: the face sinks by a pixel and darkens a little.
        p.drawImage(QPoint(1, 1), keyed_);
        p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        p.fillRect(rect(), QColor(0, 0, 0, 50));
    } else {
        p.drawImage(QPoint(0, 0), keyed_);
    }
}

CSkinButton* makeSkinButton(QWidget* parent, const QString& objectName, const QString& text, const std::string& bitmap,
                            QPoint at)
{
    auto* button = new CSkinButton(parent);
    button->setObjectName(objectName);
    button->setText(text);
    button->resize(120, 30);  // kept when the package lacks the bitmap
    button->setBitmap(bitmap);
    button->placeAt(at.x(), at.y());
    return button;
}

}  // namespace cx
