#pragma once
// The camera list: remove a camera, even the grid's layout, or open a
// camera's properties.

#include "SkinDialog.h"

class QListWidget;

namespace cx {

class MainWindowHost;
class Engine;

class CCameraListDlg : public SkinDialog {
    Q_OBJECT
public:
    CCameraListDlg(Engine& engine, MainWindowHost* main, QWidget* parent = nullptr);

    // What the remove button does to the selected camera.
    void removeSelected();
    // What "Properties" does: the properties of the selected camera.
    void openProperties();
    QListWidget* list() const { return list_; }

private:
    void fill();

    Engine& engine_;
    MainWindowHost* main_;
    QListWidget* list_ = nullptr;
};

}  // namespace cx
