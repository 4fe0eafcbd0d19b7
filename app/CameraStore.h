#pragma once
// What start-up needs from the camera store; the camera database implements it.

namespace cx {

class AppState;

class CameraStore {
public:
    virtual ~CameraStore() = default;
    // Number of configured cameras; 0 on any failure.
    virtual int countCameras() = 0;
    // Fills the camera names and sets the camera table's count.
    virtual void loadNames(AppState& state) = 0;
};

}  // namespace cx
