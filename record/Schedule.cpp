#include "Schedule.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

#include "AppState.h"
#include "AtomicFile.h"
#include "Clock.h"
#include "TextToInt.h"

namespace cx {

namespace {

std::tm localTimeOf(int64_t seconds)
{
    ::tzset();
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

std::string recordingName(const std::string& cameraName, const std::tm& local)
{
    constexpr const char* format = "%s%s/%sDate_%02d_%02d_%02d_Time_%02d_%02d_%02d.avi";
    const auto print = [&](char* out, size_t size) {
        return std::snprintf(out, size, format, "video/", cameraName.c_str(), "", local.tm_mday, local.tm_mon + 1,
                             local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    };
    const int length = print(nullptr, 0);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<size_t>(length) + 1);
    print(text.data(), text.size());
    return std::string(text.data(), static_cast<size_t>(length));
}

void readWeekSchedule(WeekSchedule& week, const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::array<unsigned char, weekScheduleFileSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0));
    // Only whole values: a value cut off by the end of the file stays 0.
    for (size_t i = 0; i < week.index.size() && (i + 1) * 4 <= got; ++i) {
        const uint32_t v = static_cast<uint32_t>(bytes[i * 4]) | (static_cast<uint32_t>(bytes[i * 4 + 1]) << 8) |
                           (static_cast<uint32_t>(bytes[i * 4 + 2]) << 16) |
                           (static_cast<uint32_t>(bytes[i * 4 + 3]) << 24);
        week.index[i] = static_cast<int32_t>(v);
    }
}

void readHourLabels(HourLabels& labels, const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::string line;
    for (auto& label : labels) {
        if (!std::getline(in, line)) break;
        while (!line.empty() && line.back() == '\r') line.pop_back();
        label = line;
    }
}

}  // namespace

ScheduleTable loadSchedule(const std::filesystem::path& programFolder)
{
    ScheduleTable table;
    readWeekSchedule(table.week, programFolder / weekScheduleFileName);
    readHourLabels(table.labels, programFolder / hourLabelsFileName);
    return table;
}

bool saveSchedule(const std::filesystem::path& programFolder, const ScheduleTable& table)
{
    for (const auto& label : table.labels)
        if (label.find_first_of("\r\n") != std::string::npos) return false;

    std::string week;
    week.reserve(weekScheduleFileSize);
    for (const int32_t value : table.week.index) {
        const auto v = static_cast<uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) week.push_back(static_cast<char>((v >> shift) & 0xFF));
    }

    const auto last = std::find_if(table.labels.rbegin(), table.labels.rend(),
                                   [](const std::string& label) { return !label.empty(); });
    const auto used = static_cast<size_t>(table.labels.rend() - last);
    std::string labels;
    for (size_t i = 0; i < used; ++i) {
        labels += table.labels[i];
        labels += '\n';
    }

    auto bytesOf = [](const std::string& text) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    return writeFileAtomically(programFolder / weekScheduleFileName, bytesOf(week)) &&
           writeFileAtomically(programFolder / hourLabelsFileName, bytesOf(labels));
}

int labelMinutes(const std::string& label)
{
    const std::string hours = label.substr(0, 2);
    const std::string minutes = label.size() > 2 ? label.substr(label.size() - 2) : label;
    return textToInt(hours) * 60 + textToInt(minutes);
}

std::optional<DayWindow> dayWindow(const ScheduleTable& table, int row)
{
    if (row < 0 || row >= weekScheduleSize / 2) return std::nullopt;
    const int32_t start = table.week.index[static_cast<size_t>(2 * row)];
    const int32_t end = table.week.index[static_cast<size_t>(2 * row + 1)];
    if (start < 0 || start >= hourLabelCount || end < 0 || end >= hourLabelCount) return std::nullopt;
    // Labels are at most two digits each side (textToInt of two characters),
    // so this arithmetic stays far from overflow.
    DayWindow window;
    window.startMinute = labelMinutes(table.labels[static_cast<size_t>(start)]);
    window.endMinute = labelMinutes(table.labels[static_cast<size_t>(end)]);
    if (window.endMinute < window.startMinute) window.endMinute += 1440;
    return window;
}

std::string scheduledRecordingName(const std::string& cameraName, int64_t seconds)
{
    return recordingName(cameraName, localTimeOf(seconds));
}

void ScheduleTick(AppState& state, const ScheduleTable& table, const Clock& clock, ScheduleActions& actions,
                  ScheduleTickState& tickState)
{
    const int count = std::clamp<int>(state.cameraTable.count, 0, maxCameras);

    if (state.settings.scheduleMode.load() == 1) {
        const int64_t seconds = clock.now();
        const std::tm local = localTimeOf(seconds);
        const int row = (local.tm_wday + 6) % 7;
        const int now = local.tm_hour * 60 + local.tm_min;
        const auto window = dayWindow(table, row);

        if (window && window->contains(now)) {
            for (int i = 0; i < count; ++i) {
                const auto slot = static_cast<size_t>(i);
                // Read anew for each slot: the tray may suspend recording meanwhile.
                if (state.recordingSuspended.load() == 1) continue;
                if (state.settings.scheduleRecord[slot].load() != 1) continue;
                auto& attempt = tickState.lastOpenAttempt[slot];
                const int recording = state.scheduledRecording[slot].load();
                if (recording != 0) {
                    if (recording != 1 || actions.recordingOpen(i)) continue;
                    // A clock set back counts as due, or the retry could wait for hours.
                    const bool due = !attempt || seconds < *attempt || seconds - *attempt >= retryOpenSeconds;
                    if (!due) continue;
                }
                state.segmentStart[slot] = seconds;
                attempt = seconds;
                actions.openRecording(i, recordingName(state.cameraNameOf(i), local));
                state.scheduledRecording[slot] = 1;
            }
        } else {
            for (int i = 0; i < count; ++i) {
                const auto slot = static_cast<size_t>(i);
                if (state.scheduledRecording[slot].load() != 1) continue;
                // The flag goes first so the slot's worker stops writing into the file.
                state.scheduledRecording[slot] = 0;
                // Back to the plain icon: a picture frozen mid-animation
                // would still look like recording.
                actions.setTrayFrame(0);
                actions.closeRecording(i);
            }
        }
    }

    // Asked again at every tick until the front end ends: a window that had
    // a dialog open at one tick ends at a later one.
    if (tickState.exitRequested) actions.endMainWindow();

    // Unsigned sum: the counter wraps (after decades) instead of overflowing.
    const auto counter = static_cast<int>(static_cast<unsigned>(state.trayAnimationCounter.fetch_add(1)) + 1u);
    const int frame = ((counter % 5) + 5) % 5;
    for (int i = 0; i < count; ++i)
        if (state.scheduledRecording[static_cast<size_t>(i)].load() == 1) actions.setTrayFrame(frame);
}

}  // namespace cx
