#include "ReplayDialog.h"

#include "ReplayControls.h"

namespace cx {

ReplayDialog::ReplayDialog(QWidget* parent) : SkinDialog(parent), controls_(new ReplayControls(this))
{
    setObjectName(QStringLiteral("replayDialog"));
    setWindowTitle(QStringLiteral("Replay"));
    setFixedSize(controls_->size());
    controls_->closeRequested = [this] { done(1); };
}

}  // namespace cx
