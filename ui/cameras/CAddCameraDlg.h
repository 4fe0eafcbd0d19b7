#pragma once
// Adds a camera: name, domain name or IP address, port, login, password
// and model, and for an RTSP camera its stream paths and transport. The
// name must be new and usable as a folder name; the camera is stored, the
// table reloaded, the grid rebuilt when its shape changes, and the new
// camera started.

#include <QPoint>
#include <QString>

#include <memory>

#include "SkinDialog.h"

class QComboBox;

namespace cx {

class MainWindowHost;
class CameraFields;
class CSkinButton;
class Engine;
class RtspFields;

// Put into the name field when the name is taken; adding with it does nothing.
inline constexpr const char* nameNotUniqueText = "Camera name must be unique";

class CAddCameraDlg : public SkinDialog {
    Q_OBJECT
public:
    // `main`: the main window whose grid follows the new count (null at
    // start-up). `model`: the model selected at first; `typeText` the
    // camera type stored unless another model is chosen.
    CAddCameraDlg(Engine& engine, MainWindowHost* main, int model = 0, QString typeText = QStringLiteral("0"),
                  QWidget* parent = nullptr);
    ~CAddCameraDlg() override;

    // What "Add Camera..." does.
    void addCamera();
    const QString& typeText() const { return typeText_; }

private:
    // Shows or hides the RTSP fields, growing the dialog to hold them.
    void showRtspFields(bool shown);

    Engine& engine_;
    MainWindowHost* main_;
    std::unique_ptr<CameraFields> fields_;
    std::unique_ptr<RtspFields> rtsp_;
    QComboBox* model_ = nullptr;
    CSkinButton* add_ = nullptr;
    CSkinButton* close_ = nullptr;
    QPoint addAt_;    // where the skin puts the buttons without the RTSP fields
    QPoint closeAt_;
    QString typeText_;
};

}  // namespace cx
