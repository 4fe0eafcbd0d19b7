#include "CameraModels.h"

#include <algorithm>

namespace cx {

AcquisitionMethod acquisitionMethod(CameraType code)
{
    if (code == binaryProtocolType) return AcquisitionMethod::BinaryProtocol;
    if (code == rtspType) return AcquisitionMethod::Rtsp;
    if (std::find(snapshotTypes.begin(), snapshotTypes.end(), code) != snapshotTypes.end())
        return AcquisitionMethod::Snapshot;
    return AcquisitionMethod::Stream;
}

bool isKnownCameraType(CameraType code)
{
    const auto listed = [code](const CameraModel& m) { return m.code == code; };
    return std::any_of(listedCameraModels.begin(), listedCameraModels.end(), listed) ||
           std::find(unlistedServedTypes.begin(), unlistedServedTypes.end(), code) != unlistedServedTypes.end();
}

CameraType FindModelCode(const std::string& name)
{
    for (const auto& model : listedCameraModels)
        if (name == model.name) return model.code;
    return -1;
}

StreamFraming streamFraming(CameraType code)
{
    if (code == 500) return {4, 0};
    if (code <= 100) return {2, 2};
    return {2, 1};
}

bool readsFixedSnapshotSize(CameraType code)
{
    return code == 400 || code == 800;
}

}  // namespace cx
