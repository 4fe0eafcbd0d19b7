#include "AppState.h"

namespace cx {

AppState::AppState()
{
    resetCameraNames();
    for (auto& s : protocolSocket) s = -1;
}

std::string AppState::cameraNameOf(int slot) const
{
    if (!validSlot(slot)) return {};
    std::lock_guard lock(namesLock);
    return cameraName[static_cast<size_t>(slot)];
}

void AppState::setCameraName(int slot, const std::string& name)
{
    if (!validSlot(slot)) return;
    std::lock_guard lock(namesLock);
    cameraName[static_cast<size_t>(slot)] = name;
}

void AppState::resetCameraNames()
{
    std::lock_guard lock(namesLock);
    for (int i = 0; i < maxCameras; ++i) cameraName[static_cast<size_t>(i)] = "Camera " + std::to_string(i + 1);
}

std::string AppState::statusTextCopy() const
{
    std::lock_guard lock(statusLock);
    return statusText;
}

void AppState::setStatusText(const std::string& text)
{
    std::lock_guard lock(statusLock);
    statusText = text;
}

std::optional<CameraEntry> AppState::cameraEntry(int slot)
{
    std::lock_guard lock(frameLock);
    return cameraTable.entry(slot);
}

bool AppState::slotRecords(int slot) const
{
    if (!validSlot(slot)) return false;
    const auto i = static_cast<size_t>(slot);
    if (settings.scheduleMode.load() == 1)
        return settings.scheduleRecord[i].load() == 1 && scheduledRecording[i].load() == 1;
    return manualRecording[i].load() == 1;  // any mode but schedule mode
}

}  // namespace cx
