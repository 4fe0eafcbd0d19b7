// Makes a ready program folder: Interface/ (with the given skin packages),
// Database/Corvanex.mdb holding an empty camera table, and optionally
// cameras for a demonstration run.
//
//   cx-program-folder DIR [--skin FILE.int]... [--camera NAME HOST PORT TYPE [LOGIN PASSWORD]]...
//                     [--rtsp-camera NAME HOST PORT MAINPATH [--sub-path PATH] [--login LOGIN]
//                      [--password PASSWORD] [--udp]]...
//                     [--demo-if-empty] [--record-all-day]
//
// Without --skin the folder gets the shipped default skin. Every value of
// an RTSP camera is an argument of its own, so commas, spaces and empty
// values ("") pass as they are; --sub-path, --login, --password and --udp
// belong to the --rtsp-camera before them.
// --demo-if-empty adds five cameras served by the camera simulator on
// 127.0.0.1 (ports 8101 to 8105, the last an RTSP camera with a sub
// stream; see scripts/run.sh) when the folder has
// no camera yet, and turns the background image option on, so a first
// look shows the skin's dialog pictures. --record-all-day sets the
// timetable to the whole day, every day, with schedule mode on and every
// camera in it: what a recorder without a window (the service) records by.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "CameraDatabase.h"
#include "CameraFieldLimits.h"
#include "CameraModels.h"
#include "ProgramFolder.h"
#include "RtspSettingsCheck.h"
#include "Schedule.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TextToInt.h"

namespace fs = std::filesystem;

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: cx-program-folder DIR [--skin FILE.int]... "
                 "[--camera NAME HOST PORT TYPE [LOGIN PASSWORD]]... "
                 "[--rtsp-camera NAME HOST PORT MAINPATH [--sub-path PATH] [--login LOGIN] [--password PASSWORD] "
                 "[--udp]]... [--demo-if-empty] [--record-all-day]\n");
    return 2;
}

struct Camera {
    std::string name, host, port, type, login, password;
    std::optional<cx::RtspSettings> rtsp{};
};

// Why an RTSP camera from the command line cannot be stored; empty when it can.
std::string rtspCameraProblem(const Camera& c)
{
    if (!cx::isSafeFileName(c.name)) return "the name cannot be a folder name";
    if (c.host.empty()) return "the host is empty";
    std::string why = cx::portProblem(c.port);
    if (why.empty()) why = cx::rtspLoginProblem(c.login);
    if (why.empty()) why = cx::rtspSettingsProblem(*c.rtsp);
    return why;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const fs::path folder = fs::absolute(argv[1]);
    std::vector<fs::path> skins;
    std::vector<Camera> cameras;
    bool demoIfEmpty = false;
    bool recordAllDay = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--demo-if-empty") == 0) {
            demoIfEmpty = true;
        } else if (std::strcmp(argv[i], "--record-all-day") == 0) {
            recordAllDay = true;
        } else if (std::strcmp(argv[i], "--skin") == 0 && i + 1 < argc) {
            skins.emplace_back(argv[++i]);
        } else if (std::strcmp(argv[i], "--camera") == 0 && i + 4 < argc) {
            Camera c{argv[i + 1], argv[i + 2], argv[i + 3], argv[i + 4], "", ""};
            i += 4;
            if (i + 2 < argc && argv[i + 1][0] != '-') {
                c.login = argv[++i];
                c.password = argv[++i];
            }
            cameras.push_back(c);
        } else if (std::strcmp(argv[i], "--rtsp-camera") == 0 && i + 4 < argc) {
            cameras.push_back({argv[i + 1], argv[i + 2], argv[i + 3], std::to_string(cx::rtspType), "", "",
                               cx::RtspSettings{argv[i + 4], "", false}});
            i += 4;
        } else if (const bool udp = std::strcmp(argv[i], "--udp") == 0;
                   udp || ((std::strcmp(argv[i], "--sub-path") == 0 || std::strcmp(argv[i], "--login") == 0 ||
                            std::strcmp(argv[i], "--password") == 0) &&
                           i + 1 < argc)) {
            if (cameras.empty() || !cameras.back().rtsp) {
                std::fprintf(stderr, "cx-program-folder: %s belongs to an --rtsp-camera before it\n", argv[i]);
                return 2;
            }
            Camera& c = cameras.back();
            if (udp)
                c.rtsp->udp = true;
            else if (std::strcmp(argv[i], "--sub-path") == 0)
                c.rtsp->subPath = argv[++i];
            else if (std::strcmp(argv[i], "--login") == 0)
                c.login = argv[++i];
            else
                c.password = argv[++i];
        } else {
            return usage();
        }
    }
    // Refused before anything is made: a half-made folder helps nobody.
    for (const auto& c : cameras) {
        if (!c.rtsp && cx::textToInt(c.type) == cx::rtspType) {
            std::fprintf(stderr, "cx-program-folder: camera \"%s\": an RTSP camera is added with --rtsp-camera\n",
                         c.name.c_str());
            return 2;
        }
        // Refused here with the field's name: the database would only fail.
        if (const std::string tooLong = cx::cameraLengthProblem(c.name, c.host, c.port, c.login, c.password);
            !tooLong.empty()) {
            std::fprintf(stderr, "cx-program-folder: %scamera \"%s\": %s\n", c.rtsp ? "RTSP " : "", c.name.c_str(),
                         tooLong.c_str());
            return 2;
        }
        if (!c.rtsp) continue;
        const std::string why = rtspCameraProblem(c);
        if (why.empty()) continue;
        std::fprintf(stderr, "cx-program-folder: RTSP camera \"%s\": %s\n", c.name.c_str(), why.c_str());
        return 2;
    }

    if (skins.empty()) skins.push_back(cx::shippedSkinFolder() / "default.int");

    std::error_code ec;
    fs::create_directories(folder / "Interface", ec);
    fs::create_directories(folder / "Database", ec);
    if (ec) {
        std::fprintf(stderr, "cx-program-folder: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    for (const auto& skin : skins) {
        fs::copy_file(skin, folder / "Interface" / skin.filename(), fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "cx-program-folder: cannot copy %s: %s\n", skin.c_str(), ec.message().c_str());
            return 1;
        }
    }

    const fs::path database = folder / "Database" / "Corvanex.mdb";
    const bool fresh = !fs::exists(database);
    cx::CameraDatabase db(folder);
    if (fresh && !db.createSchema()) {
        std::fprintf(stderr, "cx-program-folder: cannot create the camera database (is the ODBC driver registered?)\n");
        return 1;
    }
    if (demoIfEmpty && db.countCameras() == 0) {
        cameras.push_back({"Lobby", "127.0.0.1", "8101", "101", "", ""});
        cameras.push_back({"Parking", "127.0.0.1", "8102", "200", "", ""});
        cameras.push_back({"Gate", "127.0.0.1", "8103", "0", "", ""});
        cameras.push_back({"Yard", "127.0.0.1", "8104", "500", "", ""});
        cameras.push_back({"Street", "127.0.0.1", "8105", std::to_string(cx::rtspType), "", "",
                           cx::RtspSettings{"/main", "/sub", false}});
        cx::Settings settings;
        cx::loadSettings(settings, folder);
        settings.backgroundImageEnabled = 1;
        if (!cx::saveSettings(settings, folder)) {
            std::fprintf(stderr, "cx-program-folder: cannot write the settings into %s\n", folder.c_str());
            return 1;
        }
    }
    for (const auto& c : cameras) {
        if (db.countName(c.name) > 0) {
            // Left as it is, so the same line can run at every start; said,
            // so a changed line is not taken for applied.
            std::fprintf(stderr, "cx-program-folder: a camera named \"%s\" is already there and is left as it is\n",
                         c.name.c_str());
            continue;
        }
        if (!db.insertCamera(c.name, c.host, c.port, c.login, c.password, c.type, c.rtsp)) {
            std::fprintf(stderr, "cx-program-folder: cannot store the camera \"%s\"\n", c.name.c_str());
            return 1;
        }
    }
    if (recordAllDay) {
        cx::Settings settings;
        cx::loadSettings(settings, folder);
        settings.scheduleMode = 1;
        for (auto& taking : settings.scheduleRecord) taking = 1;
        cx::ScheduleTable schedule;
        schedule.labels[0] = "00:00";
        schedule.labels[1] = "23:59";
        for (size_t day = 0; day < 7; ++day) {
            schedule.week.index[2 * day] = 0;
            schedule.week.index[2 * day + 1] = 1;
        }
        if (!cx::saveSettings(settings, folder) || !cx::saveSchedule(folder, schedule)) {
            std::fprintf(stderr, "cx-program-folder: cannot write the timetable into %s\n", folder.c_str());
            return 1;
        }
    }
    std::printf("%s\n", folder.c_str());
    return 0;
}
