#pragma once
// The first-run chooser of the camera model: one button per model, in
// rows of five on a scrolling panel; a model button opens the add-camera
// dialog with that model.

#include "SkinDialog.h"

namespace cx {

class MainWindowHost;
class Engine;

class CSelectCameraType : public SkinDialog {
    Q_OBJECT
public:
    // `main`: the main window when one runs (null at start-up).
    CSelectCameraType(Engine& engine, MainWindowHost* main, QWidget* parent = nullptr);

    // What model button j does: the add-camera dialog with model j.
    void chooseModel(int j);

private:
    Engine& engine_;
    MainWindowHost* main_;
};

}  // namespace cx
