#pragma once
// A text button drawn by the program: the skin's left-to-right gradient,
// a raised edge (sunken while pressed), its text centred in colour 8 of the
// description, a focus frame 3 pixels inside. The tools dialog gives it a
// normal and a selected picture, which set its size.

#include <QImage>

#include "GradientStrips.h"
#include "OwnerDrawButton.h"

namespace cx {

class CHoverButton : public OwnerDrawButton {
    Q_OBJECT
public:
    explicit CHoverButton(QWidget* parent = nullptr);

    // Pictures of the normal and the selected look; the button takes the
    // normal picture's size.
    void setBitmaps(const QImage& normal, const QImage& selected);

    // Row `row` up from the bottom and column `column` left of the centre of
    // the parent rectangle; cut at `right` when it would stick out.
    void placeByRule(int left, int right, int bottom, int row, int column);

protected:
    void paintOwnerDrawn(QPainter& p) override;
    bool pushesOnHover() const override { return false; }
    virtual GradientDirection direction() const { return GradientDirection::LeftToRight; }
    virtual QColor textColour() const;

private:
    QImage normal_;
    QImage selected_;
};

}  // namespace cx
