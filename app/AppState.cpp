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

void AppState::copyCameraName(int slot, std::string& out) const
{
    if (!validSlot(slot)) {
        out.clear();
        return;
    }
    std::lock_guard lock(namesLock);
    out.assign(cameraName[static_cast<size_t>(slot)]);
}

void AppState::setCameraName(int slot, const std::string& name)
{
    if (!validSlot(slot)) return;
    std::lock_guard lock(namesLock);
    cameraName[static_cast<size_t>(slot)] = name;
}

void AppState::setCameraNames(const std::vector<std::string>& names)
{
    std::lock_guard lock(namesLock);
    for (size_t i = 0; i < names.size() && i < cameraName.size(); ++i) cameraName[i] = names[i];
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

std::optional<CameraEntry> AppState::cameraEntry(int slot) const
{
    std::lock_guard lock(frameLock);
    return cameraTable.entry(slot);
}

void AppState::replaceCameraTable(CameraTable table, int rows)
{
    std::lock_guard lock(frameLock);
    cameraTable = std::move(table);
    loadedRows = rows;
}

void AppState::clearCameraTable()
{
    std::lock_guard lock(frameLock);
    cameraTable.clear();
}

std::optional<SlotFlips> AppState::slotFlips(int slot) const
{
    std::lock_guard lock(frameLock);
    const auto i = static_cast<size_t>(slot);
    if (!validSlot(slot) || i >= cameraTable.flipHorizontal.size() || i >= cameraTable.flipVertical.size())
        return std::nullopt;
    return SlotFlips{cameraTable.flipHorizontal[i] == 1, cameraTable.flipVertical[i] == 1};
}

bool AppState::setFlips(int slot, int horizontal, int vertical)
{
    std::lock_guard lock(frameLock);
    const auto i = static_cast<size_t>(slot);
    if (!validSlot(slot) || slot >= cameraTable.count || i >= cameraTable.flipHorizontal.size() ||
        i >= cameraTable.flipVertical.size())
        return false;
    cameraTable.flipHorizontal[i] = horizontal;
    cameraTable.flipVertical[i] = vertical;
    return true;
}

int AppState::cameraCount() const
{
    std::lock_guard lock(frameLock);
    return cameraTable.count;
}

bool AppState::slotRecords(int slot) const
{
    if (!validSlot(slot)) return false;
    const auto i = static_cast<size_t>(slot);
    if (settings.scheduleMode.load() == 1)
        return settings.scheduleRecord[i].load() == 1 && scheduledRecording[i].load() == 1;
    return manualRecording[i].load() == 1;  // any mode but schedule mode
}

bool AppState::slotRecording(int slot) const
{
    if (!validSlot(slot)) return false;
    const auto i = static_cast<size_t>(slot);
    return manualRecording[i].load() == 1 || scheduledRecording[i].load() == 1;
}

}  // namespace cx
