#pragma once
// The buttons of the main window: control id, object name, template text,
// skin bitmap and button point. Function keys name buttons by id.

#include <array>

namespace cx {

namespace MainButton {
inline constexpr int exit = 1016, about = 1119, cameras = 1170, monitor = 1171, options = 1103, addCamera = 1049,
                     snapshot = 1174, adjustLayout = 1110, record = 1015, replay = 1026, sound = 1179,
                     website = 1180, interface = 1184, updateSoftware = 1181, toolBox = 1143;
}

struct MainButtonEntry {
    int id;
    const char* objectName;
    const char* text;    // empty: set at opening
    const char* bitmap;  // null: none
    int point;           // button point index, -1: none
};

inline constexpr std::array<MainButtonEntry, 15> mainButtons = {{
    {MainButton::exit, "exit", "", "exit.bmp", 1},
    {MainButton::about, "about", "About Us", "about.bmp", 0},
    {MainButton::cameras, "cameras", "Cameras", "cameras.bmp", 2},
    {MainButton::monitor, "monitor", "Monitor", "monitor.bmp", 3},
    {MainButton::options, "options", "Options", "options.bmp", 4},
    {MainButton::addCamera, "addCamera", "Add Camera", "addcamera.bmp", 5},
    {MainButton::snapshot, "snapshot", "Snapshot", "snapshot.bmp", 6},
    {MainButton::adjustLayout, "adjustLayout", "Adjust Layout", "adjust.bmp", 7},
    {MainButton::record, "record", "Record", "record.bmp", 9},
    {MainButton::replay, "replay", "Replay", "replay.bmp", 10},
    {MainButton::sound, "sound", "Sound", "sound.bmp", 11},
    {MainButton::website, "website", "Website", "website.bmp", 12},
    {MainButton::interface, "interface", "Interface", "interface.bmp", 13},
    {MainButton::updateSoftware, "updateSoftware", "Updae Software", "update corvanex.bmp", 14},
    {MainButton::toolBox, "toolBox", "ToolBox", nullptr, -1},
}};

// The button a function key runs while the main window is active; 0 for
// other keys (F10 is no button's: the main window opens the tools panel with it).
int buttonForFunctionKey(int qtKey);

}  // namespace cx
