#pragma once
// A camera's properties: its name, address, port, login and password, an
// RTSP camera's stream paths and transport, and the mirror flags, which
// act on the live picture at once. "Update" stores the row and reconnects
// the camera only when its host or port (or RTSP settings) changed; Close
// puts the slot's flips back to their defaults.

#include <QString>

#include <memory>
#include <string>

#include "SkinDialog.h"

class QCheckBox;

namespace cx {

class CameraFields;
class Engine;
class RtspFields;

class CCameraPropertiesDlg : public SkinDialog {
    Q_OBJECT
public:
    // `storedName`: the camera's name as the database holds it; `slot` its
    // row in the camera table.
    CCameraPropertiesDlg(Engine& engine, std::string storedName, int slot, QWidget* parent = nullptr);
    ~CCameraPropertiesDlg() override;

    void update();
    void closeResettingFlips();

protected:
    void reject() override { closeResettingFlips(); }

private:
    void flipsClicked();

    Engine& engine_;
    std::string storedName_;
    int slot_;
    std::unique_ptr<CameraFields> fields_;
    std::unique_ptr<RtspFields> rtsp_;  // shown for an RTSP camera only
    QCheckBox* flipHorizontal_ = nullptr;
    QCheckBox* flipVertical_ = nullptr;
    // Host ("%d.%d.%d.%d" of an IP address, else the domain) and port at
    // opening: the worker reconnects only when one of them changes.
    QString hostAtOpening_;
    QString portAtOpening_;
};

}  // namespace cx
