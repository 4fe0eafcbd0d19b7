#pragma once
// What start-up needs from the camera store; the camera database implements it.

#include "CameraTable.h"

namespace cx {

class CameraStore {
public:
    virtual ~CameraStore() = default;
    // Number of rows in the camera list, rows that do not load included;
    // 0 on any failure.
    virtual int countCameras() = 0;
    // The configured cameras in key order, at most maxCameras; a row
    // without a name or without an address is skipped and takes no slot.
    // The caller puts them in place, so the store takes no lock of the
    // application.
    virtual LoadedCameras loadCameras() = 0;
};

}  // namespace cx
