// hours.dat and hours.txt come from disk and may be anything.
// Input: one byte n, then n % 64 bytes of hours.dat (so short, whole and
// long files all occur), the rest is hours.txt.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "AppState.h"
#include "Schedule.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

namespace {

class CheckingActions final : public cx::ScheduleActions {
public:
    std::array<bool, cx::maxCameras> open{};
    void openRecording(int slot, const std::string& relativePath) override
    {
        if (slot < 0 || slot >= cx::maxCameras || relativePath.rfind("video/", 0) != 0) __builtin_trap();
        open[static_cast<size_t>(slot)] = true;
    }
    void closeRecording(int slot) override
    {
        if (slot < 0 || slot >= cx::maxCameras) __builtin_trap();
        open[static_cast<size_t>(slot)] = false;
    }
    bool recordingOpen(int slot) const override { return open[static_cast<size_t>(slot)]; }
    void setTrayFrame(int frame) override
    {
        if (frame < 0 || frame > 4) __builtin_trap();
    }
    void endMainWindow() override {}
};

void writeFile(const std::filesystem::path& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const size_t datSize = std::min<size_t>(data[0] % 64, size - 1);
    const cx::test::TempFolder folder;
    writeFile(folder.path() / cx::weekScheduleFileName, data + 1, datSize);
    writeFile(folder.path() / cx::hourLabelsFileName, data + 1 + datSize, size - 1 - datSize);

    const cx::ScheduleTable table = cx::loadSchedule(folder.path());

    static cx::AppState state;
    state.settings.scheduleMode = 1;
    state.cameraTable.count = 2;
    state.settings.scheduleRecord[0] = 1;
    state.settings.scheduleRecord[1] = 1;
    state.scheduledRecording[0] = 0;
    state.scheduledRecording[1] = 0;
    cx::test::FakeClock clock;
    CheckingActions actions;
    cx::ScheduleTickState tickState;
    // Every day of one week at the same time, then at each row's start
    // minute: the tick must agree with the window the table gives.
    for (int day = 0; day < 7; ++day) {
        const int64_t midnight = 1704700800 + day * 86400;  // around 8 Jan 2024 (a Monday)
        const auto window = cx::dayWindow(table, day);
        for (const int64_t when : {midnight + 8 * 3600, midnight + (window ? window->startMinute : 0) * 60}) {
            clock.wall = when;
            cx::ScheduleTick(state, table, clock, actions, tickState);
            const auto t = static_cast<std::time_t>(when);
            std::tm local{};
            ::localtime_r(&t, &local);
            const auto today = cx::dayWindow(table, (local.tm_wday + 6) % 7);
            const bool open = today && today->contains(local.tm_hour * 60 + local.tm_min);
            if (state.scheduledRecording[0].load() != (open ? 1 : 0)) __builtin_trap();
            if (open != actions.open[0]) __builtin_trap();
        }
    }
    return 0;
}
