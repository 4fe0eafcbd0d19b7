#pragma once
// A camera-model button of the first-run chooser: the program's bitmap 167
// (166 while pushed) with the model name on it when drawn by the program,
// or a default push button of the same size.

#include "OwnerDrawButton.h"

namespace cx {

class ModelButton : public OwnerDrawButton {
    Q_OBJECT
public:
    ModelButton(const QString& model, int id, QWidget* parent = nullptr);
    int id() const { return id_; }

protected:
    void paintOwnerDrawn(QPainter& p) override;

private:
    int id_;
};

}  // namespace cx
