#pragma once
// The "Replay" dialog: the player's controls alone, for a recording chosen
// with "Select File...".

#include "SkinDialog.h"

namespace cx {

class ReplayControls;

class ReplayDialog : public SkinDialog {
    Q_OBJECT
public:
    explicit ReplayDialog(QWidget* parent = nullptr);
    ReplayControls& controls() { return *controls_; }

private:
    ReplayControls* controls_;
};

}  // namespace cx
