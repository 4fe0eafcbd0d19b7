#pragma once
// The camera-model buttons: drawn like CHoverButton but with the
// top-to-bottom gradient and black text, and pushed while the mouse is over
// them. They keep the arrow cursor. Unlike the other skinned buttons they
// follow the background image option when they are made.

#include "CHoverButton.h"

namespace cx {

class CActionButton : public CHoverButton {
    Q_OBJECT
public:
    explicit CActionButton(QWidget* parent = nullptr);

protected:
    bool pushesOnHover() const override { return true; }
    GradientDirection direction() const override { return GradientDirection::TopToBottom; }
    QColor textColour() const override;
};

}  // namespace cx
