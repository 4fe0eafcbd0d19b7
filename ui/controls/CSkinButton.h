#pragma once
// A button that is its bitmap: sized to the picture less its last column
// and row, shaped by the picture's key colour (pixel (0, 0)), drawn with
// the key colour of the button bitmap loaded last left out.

#include <string>

#include <QImage>

#include "OwnerDrawButton.h"

namespace cx {

class CSkinButton : public OwnerDrawButton {
    Q_OBJECT
public:
    explicit CSkinButton(QWidget* parent = nullptr);

    // Loads the package bitmap `entry` and shapes the button; false (and a
    // button drawn as a plain face with its text) when the package has no
    // such bitmap.
    bool setBitmap(const std::string& entry);
    void setBitmapImage(const QImage& image);
    const QImage& bitmap() const { return bitmap_; }

    // Top-left corner at (x, y) of the parent, size unchanged.
    void placeAt(int x, int y) { move(x, y); }

    void setOwnerDrawn(bool on) override;

protected:
    void paintOwnerDrawn(QPainter& p) override;

private:
    void applyShape();
    QImage bitmap_;
    QRegion outline_;
    // The bitmap with the shared key made transparent, for the key it was made with.
    QImage keyed_;
    QRgb keyedWith_ = 0;
};

// A skinned button of `parent` showing the package bitmap `bitmap` with its
// top-left corner at `at`; the text names it (the picture carries the look).
CSkinButton* makeSkinButton(QWidget* parent, const QString& objectName, const QString& text, const std::string& bitmap,
                            QPoint at);

}  // namespace cx
