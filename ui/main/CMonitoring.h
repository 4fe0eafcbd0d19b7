#pragma once
// "Monitoring": one row per configured camera with its name and a check
// box; "Select" stores which cameras are shown, "Close" changes nothing.

#include <vector>

#include "SkinDialog.h"

class QCheckBox;

namespace cx {

class Engine;

class CMonitoring : public SkinDialog {
    Q_OBJECT
public:
    explicit CMonitoring(Engine& engine, QWidget* parent = nullptr);

private:
    void select();

    Engine& engine_;
    std::vector<QCheckBox*> boxes_;
};

}  // namespace cx
