#pragma once
// Base of the skinned dialogs: paints the dialog background (tile or
// gradient) behind its controls.

#include <QDialog>

#include "GradientStrips.h"

namespace cx {

class SkinDialog : public QDialog {
    Q_OBJECT
public:
    explicit SkinDialog(QWidget* parent = nullptr, GradientDirection direction = GradientDirection::TopToBottom);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GradientDirection direction_;
};

}  // namespace cx
