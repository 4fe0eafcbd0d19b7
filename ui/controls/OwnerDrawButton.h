#pragma once
// Base of the skinned buttons: drawn by the program (owner-drawn) or as a
// default push button. Every skinned button starts owner-drawn; those that
// follow the background image option at creation (model buttons, the skin
// chooser's buttons) set it themselves. Switching the option in the options
// dialog switches every button of the windows concerned.

#include <QPushButton>

namespace cx {

class OwnerDrawButton : public QPushButton {
    Q_OBJECT
public:
    explicit OwnerDrawButton(QWidget* parent = nullptr);

    bool ownerDrawn() const { return ownerDrawn_; }
    virtual void setOwnerDrawn(bool on);
    // Pressed, or the mouse is over it.
    bool pushedLook() const { return isDown() || hovered_; }
    void setHovered(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    virtual void paintOwnerDrawn(QPainter& p) = 0;
    // Whether hovering shows the pushed look.
    virtual bool pushesOnHover() const { return true; }

private:
    bool ownerDrawn_;
    bool hovered_ = false;
};

// Switches every skinned button below `window` to owner-drawn (on) or
// default push-button style (off) and repaints the window.
void applyBackgroundImageStyle(QWidget* window, bool on);

}  // namespace cx
