#include "RequestPaths.h"

#include <mutex>
#include <utility>

namespace cx {

namespace {

// The pointer is swapped under a mutex rather than held in a
// std::atomic<std::shared_ptr>: GCC 12's version of that reads the pointer
// under a lock ThreadSanitizer cannot see, and the lock is held only for a
// pointer copy either way.
std::mutex tableLock;
std::shared_ptr<const RequestPathTable>& processTable()  // guarded by tableLock
{
    static std::shared_ptr<const RequestPathTable> table = std::make_shared<const RequestPathTable>();
    return table;
}

// Writers take turns, so a reset that copies the current table cannot
// undo a build that was swapped in meanwhile. Taken before tableLock.
std::mutex writerLock;

void replaceTable(void (*change)(RequestPathTable&))
{
    std::lock_guard writing(writerLock);
    auto table = std::make_shared<RequestPathTable>(*currentRequestPaths());
    change(*table);
    std::shared_ptr<const RequestPathTable> old;
    {
        std::lock_guard lock(tableLock);
        old = std::exchange(processTable(), std::move(table));
    }
    // The old table is let go outside tableLock; a reader still holding it
    // keeps it alive until done.
}

}  // namespace

std::shared_ptr<const RequestPathTable> currentRequestPaths()
{
    std::lock_guard lock(tableLock);
    return processTable();
}

void BuildRequestPaths()
{
    replaceTable([](RequestPathTable& table) { BuildRequestPaths(table); });
}

void ResetRequestPaths()
{
    replaceTable([](RequestPathTable& table) { ResetRequestPaths(table); });
}

std::string LookupVideoPath(CameraType code)
{
    return LookupVideoPath(code, *currentRequestPaths());
}

std::string LookupAudioPath(CameraType code)
{
    return LookupAudioPath(code, *currentRequestPaths());
}

void BuildRequestPaths(RequestPathTable& table)
{
    for (auto& e : table) {
        e.code = -1;
        e.path.clear();
        e.audioPath.clear();
    }
    static const struct {
        CameraType code;
        const char* path;
    } entries[] = {
        {200, "netcam.jpg"},
        {101, "/axis-cgi/mjpg/video.cgi?showlength=1"},
        {1, "/axis-cgi/mjpg/video.cgi?showlength=1"},
        {108, "/axis-cgi/mjpg/video.cgi?showlength=1"},
        {500, "/cgi-bin/video.jpg?cam=1"},
        {707, "/oneshotimage.jpg"},
        {703, "/oneshotimage.jpg"},
        {800, "/__live.jpg?&&&"},
        {900, "/still.jpg"},
        {1000, "/-wvhttp-01-/GetStillImage"},
        {400, "/SnapshotJPEG?Resolution=640x480"},
        {600, "/"},
        {305, "/cgi-bin/video.vam"},
        {1100, "/"},
        {1200, "/videoinsight/Pages/Image.aspx?ServerID=1&CameraNumber=1"},
        {308, "/image.jpg"},
    };
    size_t i = 0;
    for (const auto& e : entries) {
        table[i].code = e.code;
        table[i].path = e.path;
        ++i;
    }
    table[3].audioPath = "/axis-cgi/audio/receive.cgi?httptype=singlepart";
    table[3].ptzCommands = {
        "/axis-cgi/com/ptz.cgi?home=yes&move=home", "/axis-cgi/com/ptz.cgi?move=left",
        "/axis-cgi/com/ptz.cgi?move=right",         "/axis-cgi/com/ptz.cgi?move=up",
        "/axis-cgi/com/ptz.cgi?move=down",          "/axis-cgi/com/ptz.cgi?rzoom=1",
        "/axis-cgi/com/ptz.cgi?rzoom=-1",           "/axis-cgi/com/ptz.cgi?rzoom=10",
        "/axis-cgi/com/ptz.cgi?rtilt=-1.0",         "/axis-cgi/com/ptz.cgi?rtilt=1.0",
    };
}

void ResetRequestPaths(RequestPathTable& table)
{
    for (auto& e : table) {
        e.code = -1;
        e.path.clear();
    }
}

std::string LookupVideoPath(CameraType code, const RequestPathTable& table)
{
    for (const auto& e : table)
        if (e.code == code) return e.path;
    return {};
}

std::string LookupAudioPath(CameraType code, const RequestPathTable& table)
{
    for (const auto& e : table)
        if (e.code == code) return e.audioPath;
    return {};
}

}  // namespace cx
