#pragma once
// A label coloured by its role and placed relative to its parent. Its
// background is the dialog tile when the background image option is on,
// else the skin's gradient.

#include <QLabel>

#include "GradientStrips.h"

namespace cx {

enum class LabelRole {
    Clock,         // main window clock: colour 6
    DateOrStatus,  // main window date and status lines: colour 8
    Other,         // every other label: colour 9
    StartupText,   // the start-up window's text: colour 9 on the top-to-bottom gradient
};

class CPosStatic : public QLabel {
    Q_OBJECT
public:
    explicit CPosStatic(LabelRole role = LabelRole::Other, QWidget* parent = nullptr);

    LabelRole role() const { return role_; }
    QColor textColour() const;
    GradientDirection backgroundDirection() const;

    // Row `row` up from the bottom and column `column` left of the centre of
    // the parent rectangle; moved left when it would stick out past `right`.
    void placeByRule(int left, int right, int bottom, int row, int column);

    // Off: only the text is drawn, so a window picture shows through (the
    // main window's labels).
    void setPaintsBackground(bool on);
    // With the background off: a solid fill under the text (the clock and
    // the status line); an invalid colour for none.
    void setFill(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LabelRole role_;
    bool paintsBackground_ = true;
    QColor fill_;
};

}  // namespace cx
