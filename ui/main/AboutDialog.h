#pragma once
// The about box: the product, its version, and "Close".

#include "SkinDialog.h"

namespace cx {

class AboutDialog : public SkinDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace cx
