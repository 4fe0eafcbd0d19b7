#pragma once
// The start-up sequence and the exit step, without windows: the window
// steps arrive as hooks from the UI layer, so the sequence runs headless.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace cx {

class AppState;
class CameraStore;
class Notifier;

inline constexpr const char* foldersMissingText = "Some Folders are missing, Please re-install Corvanex";
// Shown when the skin package in use cannot be opened; %s is its path
// below the program folder.
inline constexpr const char* skinMissingFormat = "The interface file %s is missing or damaged, Please re-install Corvanex";

struct StartupHooks {
    // Opens the skin package in use; false ends start-up with a message
    // naming the file.
    std::function<bool(const std::filesystem::path& package)> openSkinPackage;
    // Text of the package's "Status.txt" entry, if it has one.
    std::function<std::optional<std::string>(const std::filesystem::path& package)> readStatusText;
    std::function<void()> loadSchedule;
    std::function<void()> parseSkinDescription;
    std::function<void()> loadBitmaps;
    // Lets the user add the first cameras (the camera-type chooser).
    std::function<void()> runFirstCameraDialog;
    std::function<void()> startScheduleTick;
    std::function<void()> stopScheduleTick;
    // Runs the main window until it closes.
    std::function<void()> runMainWindow;
};

enum class StartupResult { AnotherInstance, FoldersMissing, SkinMissing, NoCameras, MainWindowClosed };

class Startup {
public:
    Startup(AppState& state, CameraStore& store, Notifier& notifier, StartupHooks hooks);

    // Runs the sequence in `programFolder`; `anotherInstance` ends it at once
    // and silently.
    StartupResult run(const std::filesystem::path& programFolder, bool anotherInstance);

    // Releases what the sequence acquired.
    void exitStep();

    // Creates "video/<camera name>" for every configured camera and
    // "snapshots"; failures are ignored, unsafe names get no folder.
    void createOutputFolders();

private:
    AppState& state_;
    CameraStore& store_;
    Notifier& notifier_;
    StartupHooks hooks_;
    bool tickStarted_ = false;
};

}  // namespace cx
