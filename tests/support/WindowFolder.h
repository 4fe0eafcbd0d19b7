#pragma once
// A program folder for window tests: the skins the build drew (default,
// ember, and one of another format) and a camera database holding the
// given cameras. Also the skin the windows draw from, attached for the
// test's life.

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>

#include "ActiveSkin.h"
#include "CameraDatabase.h"
#include "Engine.h"
#include "ProgramBitmaps.h"
#include "Settings.h"
#include "SkinLook.h"

namespace cx::test {

struct FolderCamera {
    std::string name;
    int port;
    std::string type;  // model code, "101" a stream camera, "0" the binary protocol
};

inline bool makeWindowFolder(const std::filesystem::path& folder, const std::vector<FolderCamera>& cameras)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder / "Interface");
    fs::create_directories(folder / "Database");
    for (const char* skin : {"default.int", "ember.int", "foreign.int"})
        fs::copy_file(fs::path(CX_SKIN_DIR) / skin, folder / "Interface" / skin, fs::copy_options::overwrite_existing);
    CameraDatabase db(folder);
    if (!db.createSchema()) return false;
    for (const auto& c : cameras) db.insertCamera(c.name, "127.0.0.1", std::to_string(c.port), "", "", c.type);
    return db.countCameras() == static_cast<int>(cameras.size());
}

// The default skin in use, drawing with the options `engine` publishes, or
// without an engine with default options until setSettings.
class AttachedSkin {
public:
    AttachedSkin() : AttachedSkin(nullptr) {}
    explicit AttachedSkin(Engine& engine) : AttachedSkin(&engine) {}
    ~AttachedSkin() { SkinLook::instance().attach(nullptr, nullptr); }
    void setSettings(const SettingsValues& values) { SkinLook::instance().setSettings(values); }
    // Opens the folder's default skin.
    bool open(const std::filesystem::path& folder)
    {
        return skin.open(folder / "Interface" / "default.int") && skin.parseDescription(folder);
    }
    ActiveSkin skin;

private:
    explicit AttachedSkin(Engine* engine)
    {
        SkinLook::instance().attach(&skin, engine);
        SkinLook::instance().setTile(programBitmap(154));
    }
};

// Polls `done` for at most `ms`, delivering events meanwhile.
inline bool waitFor(const std::function<bool()>& done, int ms = 15000)
{
    for (int i = 0; i < ms / 10 && !done(); ++i) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QApplication::processEvents();
    return done();
}

}  // namespace cx::test
