// The recording window, tray mode and the timetable editor on a real
// engine with simulated cameras: recordings opened and closed through the
// window and the tray are read back with ffprobe; the schedule runs on a
// simulated clock, so a week passes at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QTimeEdit>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <thread>

#include "CMonitorDlg.h"
#include "CPosStatic.h"
#include "CRecording.h"
#include "CSkinButton.h"
#include "SkinLook.h"
#include "CameraSimulator.h"
#include "Engine.h"
#include "ScheduleEditor.h"
#include "SettingsFile.h"
#include "TrayHost.h"
#include "TrayIcons.h"
#include "TrayMonitor.h"
#include "support/EngineInternals.h"
#include "support/FakeClock.h"
#include "support/HungDisk.h"
#include "support/Ffprobe.h"
#include "support/SlotRunning.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

// The notification area as the tray logic sees it, with every picture kept.
class FakeTray final : public TrayHost {
public:
    bool hasTray = true;
    bool isShown = false;
    QString tip;
    std::vector<QImage> pictures;  // every picture set while shown, in order
    int removals = 0;

    bool available() const override { return hasTray; }
    void show(const QIcon& icon, const QString& t) override
    {
        isShown = true;
        tip = t;
        pictures.push_back(icon.pixmap(32, 32).toImage());
    }
    void setIcon(const QIcon& icon) override
    {
        if (isShown) pictures.push_back(icon.pixmap(32, 32).toImage());
    }
    void remove() override
    {
        if (isShown) ++removals;
        isShown = false;
    }
    bool shown() const override { return isShown; }
};

// Which of the five frames `image` is; -1 for none.
int frameOf(const QImage& image)
{
    for (int k = 0; k < trayFrameCount; ++k)
        if (image.convertToFormat(QImage::Format_ARGB32) == trayIconImage(k).convertToFormat(QImage::Format_ARGB32))
            return k;
    return -1;
}

int64_t at(int mday, int hh, int mm)  // January 2024: the 8th is a Monday (UTC, see main)
{
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = mday;
    t.tm_hour = hh;
    t.tm_min = mm;
    return static_cast<int64_t>(timegm(&t));
}

// The recordings of a camera folder (not their frame times files).
std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".avi") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

class RecordingWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::CameraConfig camera = model101Stream(30);
        camera.width = 320;
        camera.height = 240;
        const int street = simulator.add(camera);
        const int gate = simulator.add(camera);
        ASSERT_NE(street, 0);
        ASSERT_NE(gate, 0);
        ASSERT_TRUE(makeWindowFolder(folder.path(), {{"Street", street, "101"}, {"Gate", gate, "101"}}));
        for (const char* name : {"Street", "Gate"}) fs::create_directories(folder.path() / "video" / name);
        clock.wall = at(8, 10, 0);
        engine = std::make_unique<Engine>(EngineOptions{folder.path(), &clock});
        QObject::connect(engine.get(), &Engine::message,
                         [this](const QString& text) { messages.push_back(text.toStdString()); });
        engine->loadCameraTable();
        skin = std::make_unique<AttachedSkin>(*engine);
        ASSERT_TRUE(skin->open(folder.path()));
    }
    void TearDown() override
    {
        if (engine) engine->shutdown();
        main.reset();
        simulator.stop();
    }
    // The main window with the fake tray, cameras connected and sending.
    void openMain()
    {
        main = std::make_unique<CMonitorDlg>(*engine, skin->skin, MonitorOptions{false});
        auto fake = std::make_unique<FakeTray>();
        tray = fake.get();
        main->useTrayHost(std::move(fake));
        main->show();
        engine->connectAllCameras();
        ASSERT_TRUE(waitFor([&] { return frames(0) > 5 && frames(1) > 5; }));
    }
    void timetable(const char* from, const char* to)
    {
        ScheduleTable t;
        t.labels[0] = from;
        t.labels[1] = to;
        for (size_t d = 0; d < 7; ++d) t.week.index[d * 2] = 0, t.week.index[d * 2 + 1] = 1;
        ASSERT_TRUE(engine->saveSchedule(t));
    }
    // The options as the user would set them (saved, like any change).
    void setOptions(const std::function<void(SettingsValues&)>& edit)
    {
        SettingsValues values = engine->snapshot()->settings;
        edit(values);
        engine->changeSettings(values);
    }
    // What the engine publishes about the slot now.
    CameraStatus camera(int slot)
    {
        const auto snapshot = engine->snapshot();
        const CameraStatus* c = snapshot->camera(slot);
        return c != nullptr ? *c : CameraStatus{};
    }
    int manual(int slot) { return camera(slot).manualRecording ? 1 : 0; }
    int scheduled(int slot) { return camera(slot).scheduledRecording ? 1 : 0; }
    // Not published: only the frame path reads it.
    int picturesWanted() { return EngineInternals::state(*engine).picturesWanted.load(); }
    int frames(int slot) { return engine->framesReceived(slot); }
    // Opening and closing run on the slots' recording threads.
    bool openFilesBecome(size_t n)
    {
        return waitFor([&] { return engine->openRecordingPaths().size() == n; }, 5000);
    }
    // Waits for `n` more frames of the slot, so a recording holds something.
    void letFramesIn(int slot, int n = 15)
    {
        const int from = frames(slot);
        ASSERT_TRUE(waitFor([&] { return frames(slot) >= from + n; }));
    }
    std::string statusText() { return main->marquee().text(); }
    template <class T>
    static T* child(QWidget* w, const char* name)
    {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    sim::CameraSimulator simulator;
    TempFolder folder;
    FakeClock clock;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<AttachedSkin> skin;
    std::unique_ptr<CMonitorDlg> main;
    FakeTray* tray = nullptr;
    std::vector<std::string> messages;
};

TEST_F(RecordingWindowTest, ManualModeFromTheRecordButton)
{
    openMain();
    const std::string before = statusText();
    EXPECT_NE(before.find("No camera is Currently recording."), std::string::npos) << before;

    bool ran = false;
    // The Record button runs the window modally: act from inside its loop.
    QTimer::singleShot(0, [&] {
        auto* rec = qobject_cast<CRecording*>(QApplication::activeModalWidget());
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->objectName(), "recording");
        EXPECT_EQ(rec->findChild<CSkinButton*>("schedule0"), nullptr);  // manual mode: no toggles
        auto* start0 = child<CSkinButton>(rec, "start0");
        auto* stop0 = child<CSkinButton>(rec, "stop0");
        auto* stop1 = child<CSkinButton>(rec, "stop1");
        // The stop button follows its start button among the siblings.
        const QObjectList& siblings = start0->parent()->children();
        EXPECT_EQ(siblings.indexOf(stop0), siblings.indexOf(start0) + 1);
        // Skinned like the main window: no caption, the skin's pictures.
        EXPECT_TRUE(rec->windowFlags().testFlag(Qt::FramelessWindowHint));
        for (const char* name : {"start0", "stop0", "start1", "stop1", "timetable", "close"})
            EXPECT_FALSE(child<CSkinButton>(rec, name)->bitmap().isNull()) << name;
        EXPECT_EQ(start0->bitmap(), SkinLook::instance().bitmap("start.bmp").convertToFormat(QImage::Format_RGB32));

        start0->click();
        EXPECT_FALSE(start0->isEnabled());
        EXPECT_EQ(manual(0), 1);
        // The row follows the recorder's event once the file is open.
        EXPECT_TRUE(waitFor([&] { return child<CPosStatic>(rec, "state0")->text() == "Recording"; }));
        EXPECT_EQ(statusText().find("         Monitoring 2 cameras...Recording 1 camera..."), 0u) << statusText();
        EXPECT_EQ(main->button(1016)->text(), "Exit Corvanex and Continue recording");
        start0->click();  // disabled: a second file cannot be opened
        stop1->click();   // camera 2 does not record: nothing happens
        EXPECT_EQ(manual(1), 0);
        EXPECT_TRUE(openFilesBecome(1));

        letFramesIn(0);
        stop0->click();
        EXPECT_TRUE(start0->isEnabled());
        EXPECT_EQ(manual(0), 0);
        EXPECT_TRUE(openFilesBecome(0));
        EXPECT_EQ(child<CPosStatic>(rec, "state0")->text(), "Stopped");
        ran = true;
        child<CSkinButton>(rec, "close")->click();
    });
    main->runButtonAction(1015);
    ASSERT_TRUE(ran);
    EXPECT_EQ(main->button(1016)->text(), "Exit Corvanex");
    engine->shutdown();

    const auto files = filesIn(folder.path() / "video" / "Street");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("Date_08_01_2024_Time_10_00_00", 0), 0u) << files[0];
    const ProbedStream probe = ffprobe(files[0]);
    EXPECT_TRUE(probe.ok);
    EXPECT_EQ(probe.codecName, "mjpeg");
    EXPECT_GE(probe.packets, 10);
    EXPECT_TRUE(filesIn(folder.path() / "video" / "Gate").empty());
}

TEST_F(RecordingWindowTest, AHungDiskHoldsNoButtonAndExitKeepsItsTimeOut)
{
    test::HungDisk disk(*engine);
    openMain();
    CRecording rec(*engine, main.get());
    rec.show();
    child<CSkinButton>(&rec, "start0")->click();
    ASSERT_TRUE(waitFor([&] { return child<CPosStatic>(&rec, "state0")->text() == "Recording"; }));
    disk.arm();
    ASSERT_TRUE(waitFor([&] { return disk.hungWrites() > 0; }));

    // The window keeps answering: its timer fires while the buttons of the
    // hung camera and of the other one are pressed.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    child<CSkinButton>(&rec, "stop0")->click();
    EXPECT_EQ(child<CPosStatic>(&rec, "state0")->text(), "Stopped");
    child<CSkinButton>(&rec, "start1")->click();
    EXPECT_TRUE(waitFor([&] { return child<CPosStatic>(&rec, "state1")->text() == "Recording"; }, 3000));
    child<CSkinButton>(&rec, "stop1")->click();
    EXPECT_TRUE(waitFor([&] { return ticks >= 30; }, 3000));
    EXPECT_FALSE(disk.released());

    // Exit without recordings ends the main window at the next tick, and
    // the exit step keeps its time-out though a file cannot be closed.
    rec.close();
    main->button(1016)->click();
    engine->scheduleTick();
    EXPECT_EQ(main->result(), 1);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine->shutdown());  // the program's own time-out, 2 s
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    disk.release();  // lets the engine's destructor join
}

TEST_F(RecordingWindowTest, AStartThatCannotOpenAFileStaysStartedUntilStop)
{
    openMain();
    fs::remove_all(folder.path() / "video" / "Gate");  // nowhere to write
    CRecording rec(*engine, main.get());
    auto* start1 = child<CSkinButton>(&rec, "start1");
    start1->click();
    ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
    EXPECT_EQ(messages[0], "FAILURE: Opening AVI file...");
    EXPECT_FALSE(start1->isEnabled());
    EXPECT_EQ(manual(1), 1);
    EXPECT_TRUE(engine->openRecordingPaths().empty());
    EXPECT_FALSE(camera(1).fileOpen);
    EXPECT_EQ(child<CPosStatic>(&rec, "state1")->text(), "No file: press Stop");
    EXPECT_NE(statusText().find("Recording 1 camera..."), std::string::npos) << statusText();  // started counts

    // Stop, a folder again, start: now it records.
    child<CSkinButton>(&rec, "stop1")->click();
    EXPECT_TRUE(start1->isEnabled());
    fs::create_directories(folder.path() / "video" / "Gate");
    start1->click();
    EXPECT_TRUE(openFilesBecome(1));
    EXPECT_TRUE(waitFor([&] { return child<CPosStatic>(&rec, "state1")->text() == "Recording"; }));
    letFramesIn(1);
    child<CSkinButton>(&rec, "stop1")->click();
    engine->shutdown();
    const auto files = filesIn(folder.path() / "video" / "Gate");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(ffprobe(files[0]).packets, 10);
}

TEST_F(RecordingWindowTest, ScheduleTogglesSaveAtOnceAndCloseARunningRecording)
{
    setOptions([](SettingsValues& v) { v.scheduleMode = 1; });
    timetable("08:00", "18:00");
    openMain();
    CRecording rec(*engine, main.get());
    rec.recordingSwitched = [this] { main->buildStatusText(); };
    EXPECT_EQ(rec.findChild<CSkinButton*>("start0"), nullptr);  // schedule mode: no start buttons
    auto* toggle = child<CSkinButton>(&rec, "schedule1");
    auto* gateState = child<CPosStatic>(&rec, "state1");
    EXPECT_EQ(gateState->text(), "Not recorded");
    const QImage join = SkinLook::instance().bitmap("join.bmp").convertToFormat(QImage::Format_RGB32);
    const QImage leave = SkinLook::instance().bitmap("leave.bmp").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(join.isNull());
    ASSERT_NE(join, leave);
    EXPECT_EQ(toggle->bitmap(), join);

    // Outside the window: switched on and saved, nothing recorded yet.
    clock.wall = at(8, 7, 0);
    toggle->click();
    EXPECT_EQ(engine->snapshot()->settings.scheduleRecord[1], 1);
    EXPECT_EQ(toggle->bitmap(), leave);  // the picture tells the state
    // Saved off the window's thread, within a second.
    EXPECT_TRUE(waitFor([&] {
        Settings saved;
        loadSettings(saved, folder.path());
        return saved.scheduleRecord[1].load() == 1;
    }, 1000));
    // Taking part records nothing until the timetable's window opens.
    EXPECT_EQ(statusText().find("         Monitoring 2 cameras...No camera is Currently recording."), 0u) << statusText();
    engine->scheduleTick();
    EXPECT_EQ(scheduled(1), 0);
    EXPECT_EQ(gateState->text(), "By the timetable");

    // The window opens: the tick records; the row and the status line
    // follow the engine.
    clock.wall = at(8, 8, 0);
    engine->scheduleTick();
    EXPECT_EQ(scheduled(1), 1);
    EXPECT_EQ(statusText().find("         Monitoring 2 cameras...Recording 1 camera..."), 0u) << statusText();
    EXPECT_EQ(main->button(1016)->text(), "Exit Corvanex and Continue recording");
    ASSERT_TRUE(waitFor([&] { return gateState->text() == "Recording now"; }));
    letFramesIn(1);

    // Switched off while recording: the file closes now, the flag is saved.
    toggle->click();
    EXPECT_EQ(scheduled(1), 0);
    EXPECT_TRUE(openFilesBecome(0));
    EXPECT_EQ(statusText().find("         Monitoring 2 cameras...No camera is Currently recording."), 0u) << statusText();
    // Saved off the window's thread, within a second.
    EXPECT_TRUE(waitFor([&] {
        Settings saved;
        loadSettings(saved, folder.path());
        return saved.scheduleRecord[1].load() == 0;
    }, 1000));
    ASSERT_TRUE(waitFor([&] { return gateState->text() == "Not recorded"; }));

    // On again inside the same window: the next tick opens a new file.
    clock.wall = at(8, 8, 1);
    toggle->click();
    engine->scheduleTick();
    EXPECT_EQ(scheduled(1), 1);
    letFramesIn(1);
    engine->shutdown();

    const auto files = filesIn(folder.path() / "video" / "Gate");
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files) EXPECT_GE(ffprobe(f).packets, 10) << f;
    EXPECT_TRUE(filesIn(folder.path() / "video" / "Street").empty());
}

TEST_F(RecordingWindowTest, StatusTextCountsWhatRecords)
{
    openMain();
    // The status line counts what the engine calls recording: started by
    // hand or by the timetable, whatever the mode and the file.
    struct Case {
        int scheduleMode;
        std::array<int, 2> manual;
        std::array<int, 2> scheduleRecord;
        std::array<int, 2> scheduled;
        const char* text;
    };
    const Case cases[] = {
        {0, {0, 0}, {0, 0}, {0, 0}, "         Monitoring 2 cameras...No camera is Currently recording. "},
        {0, {1, 0}, {0, 0}, {0, 0}, "         Monitoring 2 cameras...Recording 1 camera..."},
        {0, {1, 1}, {0, 0}, {0, 0}, "         Monitoring 2 cameras...Recording 2 cameras..."},
        // Taking part in the timetable is not recording until it opens.
        {1, {0, 0}, {1, 1}, {0, 0}, "         Monitoring 2 cameras...No camera is Currently recording. "},
        {1, {0, 0}, {1, 1}, {1, 0}, "         Monitoring 2 cameras...Recording 1 camera..."},
        {1, {0, 0}, {1, 1}, {1, 1}, "         Monitoring 2 cameras...Recording 2 cameras..."},
        // A camera counts once, by hand and by the schedule.
        {1, {1, 0}, {1, 0}, {1, 0}, "         Monitoring 2 cameras...Recording 1 camera..."},
        {1, {1, 0}, {0, 1}, {0, 1}, "         Monitoring 2 cameras...Recording 2 cameras..."},
    };
    const std::string suffix = skin->skin.statusSuffix().value_or("");
    AppState& state = EngineInternals::state(*engine);  // recording flags without files or a timetable
    for (const Case& c : cases) {
        state.settings.scheduleMode = c.scheduleMode;
        for (size_t i = 0; i < 2; ++i) {
            state.manualRecording[i] = c.manual[i];
            state.settings.scheduleRecord[i] = c.scheduleRecord[i];
            state.scheduledRecording[i] = c.scheduled[i];
        }
        // The window follows the published snapshot by itself.
        EngineInternals::publish(*engine);
        EXPECT_EQ(statusText(), c.text + suffix) << c.text;
        const bool any = c.manual[0] + c.manual[1] + c.scheduled[0] + c.scheduled[1] > 0;
        EXPECT_EQ(main->button(1016)->text(), any ? "Exit Corvanex and Continue recording" : "Exit Corvanex") << c.text;
    }
    for (size_t i = 0; i < 2; ++i) state.manualRecording[i] = 0, state.scheduledRecording[i] = 0;
    EngineInternals::publish(*engine);
}

TEST_F(RecordingWindowTest, TrayStopAllThenMaximizeLetsTheScheduleRecordAgain)
{
    setOptions([](SettingsValues& v) { v.scheduleMode = 1, v.scheduleRecord[0] = 1, v.scheduleRecord[1] = 1; });
    timetable("08:00", "18:00");
    openMain();
    engine->scheduleTick();
    ASSERT_EQ(scheduled(0), 1);
    ASSERT_EQ(scheduled(1), 1);
    main->buildStatusText();
    letFramesIn(0);
    letFramesIn(1);

    main->runButtonAction(1016);  // Exit while recording: into the tray
    ASSERT_TRUE(tray->shown());
    EXPECT_EQ(tray->tip, "Corvanex");
    EXPECT_EQ(frameOf(tray->pictures.at(0)), 0);
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(picturesWanted(), 0);
    EXPECT_FALSE(engine->snapshot()->exitRequested);

    // Recording goes on in the tray, with nothing decoded for nobody.
    letFramesIn(1);
    const int64_t decoded = engine->decodeCount();
    letFramesIn(1);
    EXPECT_EQ(engine->decodeCount(), decoded);
    EXPECT_EQ(engine->openRecordingPaths().size(), 2u);
    EXPECT_TRUE(slotRunning(*engine, 0) && slotRunning(*engine, 1));

    tray->commandChosen(TrayCommand::stopAll);
    EXPECT_EQ(scheduled(0), 0);
    EXPECT_EQ(scheduled(1), 0);
    EXPECT_TRUE(openFilesBecome(0));
    EXPECT_TRUE(slotRunning(*engine, 0) && slotRunning(*engine, 1));  // the cameras stay connected
    EXPECT_EQ((engine->snapshot()->recordingSuspended ? 1 : 0), 1);
    EXPECT_EQ(frameOf(tray->pictures.back()), 0);
    EXPECT_TRUE(tray->shown());
    EXPECT_FALSE(main->isVisible());

    // Inside the window still, but suspended: nothing starts.
    clock.wall = at(8, 11, 0);
    engine->scheduleTick();
    EXPECT_EQ(scheduled(0), 0);
    EXPECT_EQ(scheduled(1), 0);

    tray->commandChosen(TrayCommand::maximizeWindow);
    EXPECT_FALSE(tray->shown());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ((engine->snapshot()->recordingSuspended ? 1 : 0), 0);
    EXPECT_EQ(picturesWanted(), 1);
    engine->scheduleTick();
    EXPECT_EQ(scheduled(0), 1);
    EXPECT_EQ(scheduled(1), 1);
    letFramesIn(0);
    letFramesIn(1);
    engine->shutdown();

    for (const char* camera : {"Street", "Gate"}) {
        const auto files = filesIn(folder.path() / "video" / camera);
        ASSERT_EQ(files.size(), 2u) << camera;  // before the stop and after coming back
        for (const auto& f : files) EXPECT_GE(ffprobe(f).packets, 10) << f;
    }
}

TEST_F(RecordingWindowTest, DoubleClickRestoresAndStopAllAndExitEndsTheWindow)
{
    openMain();
    ASSERT_TRUE(engine->startManualRecording(1));
    main->runButtonAction(1016);
    ASSERT_TRUE(tray->shown());
    // As after a stop-all, with the recording still running.
    EngineInternals::state(*engine).recordingSuspended = 1;
    EngineInternals::publish(*engine);
    tray->doubleClicked();
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(tray->shown());
    EXPECT_EQ((engine->snapshot()->recordingSuspended ? 1 : 0), 0);
    EXPECT_EQ(manual(1), 1);  // the recording ran on

    // Into the tray again: a fresh icon on its first picture.
    main->runButtonAction(1016);
    ASSERT_TRUE(tray->shown());
    EXPECT_EQ(frameOf(tray->pictures.back()), 0);
    letFramesIn(1);
    tray->commandChosen(TrayCommand::stopAllAndExit);
    EXPECT_FALSE(tray->shown());
    EXPECT_EQ(main->result(), 1);
    EXPECT_EQ(manual(1), 0);
    EXPECT_TRUE(openFilesBecome(0));
    engine->shutdown();
    const auto files = filesIn(folder.path() / "video" / "Gate");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(ffprobe(files[0]).packets, 10);
}

TEST_F(RecordingWindowTest, WithoutANotificationAreaTheWindowStays)
{
    openMain();
    tray->hasTray = false;
    ASSERT_TRUE(engine->startManualRecording(0));
    main->runButtonAction(1016);
    main->runButtonAction(1016);
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(tray->shown());
    EXPECT_FALSE(engine->snapshot()->exitRequested);  // nothing was ended
    EXPECT_EQ(manual(0), 1);
    ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
    waitFor([] { return false; }, 100);
    EXPECT_EQ(messages.size(), 1u);  // said once
    EXPECT_NE(messages[0].find("no notification area"), std::string::npos) << messages[0];
    engine->stopManualRecording(0);
}

TEST_F(RecordingWindowTest, IconAnimatesWhileTheScheduleRecordsAndRestsOnItsFirstPictureAfter)
{
    setOptions([](SettingsValues& v) { v.scheduleMode = 1, v.scheduleRecord[0] = 1, v.scheduleRecord[1] = 1; });
    timetable("08:00", "18:00");
    openMain();
    engine->scheduleTick();  // both open
    ASSERT_EQ(scheduled(0) + scheduled(1), 2);
    main->runButtonAction(1016);
    ASSERT_TRUE(tray->shown());

    std::vector<int> seen;  // the frame after each tick
    for (int t = 0; t < 7; ++t) {
        engine->scheduleTick();
        ASSERT_GE(tray->pictures.size(), 2u);
        seen.push_back(frameOf(tray->pictures.back()));
        EXPECT_EQ(seen.back(), main->tray().frame());
    }
    // One step per tick through the five pictures.
    for (size_t k = 1; k < seen.size(); ++k) EXPECT_EQ(seen[k], (seen[k - 1] + 1) % 5) << k;

    // The window closes mid-animation: the icon goes back to its first
    // picture, the program's plain icon, so it no longer looks like
    // recording, and then stays put.
    if (main->tray().frame() == 0) engine->scheduleTick();
    ASSERT_NE(main->tray().frame(), 0);
    clock.wall = at(8, 18, 1);
    engine->scheduleTick();
    EXPECT_EQ(scheduled(0) + scheduled(1), 0);
    const size_t settled = tray->pictures.size();
    EXPECT_EQ(frameOf(tray->pictures.back()), 0);
    EXPECT_EQ(main->tray().frame(), 0);
    for (int t = 0; t < 3; ++t) engine->scheduleTick();
    EXPECT_EQ(tray->pictures.size(), settled);
    EXPECT_EQ(main->tray().frame(), 0);
}

TEST_F(RecordingWindowTest, RetentionSparesTheRecordingTheEngineHasOpen)
{
    openMain();
    ASSERT_TRUE(engine->startManualRecording(0));
    ASSERT_TRUE(openFilesBecome(1));
    letFramesIn(0);
    const fs::path street = folder.path() / "video" / "Street";
    const fs::path open = engine->openRecordingPaths().at(0);
    const fs::path older = street / "Date_01_01_2024_Time_00_00_00.avi";
    const fs::path foreign = street / "notes.avi";
    for (const fs::path& p : {older, foreign}) std::ofstream(p) << "old";
    std::vector<QString> deleted;
    QObject::connect(engine.get(), &Engine::recordingDeleted, [&](const QString& f) { deleted.push_back(f); });

    // A disk that is always full: everything we may delete goes, nothing else.
    engine->setFreeSpaceProbe([](const fs::path&) -> std::optional<DiskSpace> { return DiskSpace{1u << 30, 0}; });
    const auto gone = engine->checkRetention();
    EXPECT_EQ(gone, (std::vector<fs::path>{older}));
    EXPECT_EQ(deleted, (std::vector<QString>{QString::fromStdString(older.string())}));
    EXPECT_TRUE(fs::exists(open));
    EXPECT_TRUE(fs::exists(foreign));
    ASSERT_TRUE(waitFor([&] { return statusText().find("Deleted old recording") != std::string::npos; }));
    EXPECT_NE(statusText().find("...Deleted old recording Date_01_01_2024_Time_00_00_00.avi to keep disk space free. "),
              std::string::npos)
        << statusText();

    // Closed, it is a finished recording like any other.
    engine->stopManualRecording(0);
    ASSERT_TRUE(openFilesBecome(0));
    engine->checkRetention();
    EXPECT_FALSE(fs::exists(open));

    // With "off" in retention.txt nothing goes at all.
    std::ofstream(street / "Date_02_01_2024_Time_00_00_00.avi") << "old";
    std::ofstream(folder.path() / "retention.txt") << "off\n";
    EXPECT_TRUE(engine->checkRetention().empty());
    EXPECT_TRUE(fs::exists(street / "Date_02_01_2024_Time_00_00_00.avi"));
}

TEST_F(RecordingWindowTest, TimetableThatCannotBeWrittenKeepsTheOldOne)
{
    timetable("08:00", "18:00");
    // A folder where hours.txt should go: the rename over it fails.
    fs::remove(folder.path() / "hours.txt");
    fs::create_directories(folder.path() / "hours.txt" / "inside");
    openMain();
    ScheduleEditor editor(*engine, main.get());
    child<QTimeEdit>(&editor, "start0")->setTime(QTime(9, 0));
    child<CSkinButton>(&editor, "save")->click();
    EXPECT_NE(editor.result(), QDialog::Accepted);
    EXPECT_EQ(child<CPosStatic>(&editor, "result")->text(), "The timetable could not be written.");
    EXPECT_EQ(engine->schedule().labels[0], "08:00");  // the tick still runs by the old one
    EXPECT_TRUE(fs::is_directory(folder.path() / "hours.txt"));
    // hours.dat, written before hours.txt failed, is the old one again.
    const ScheduleTable onDisk = loadSchedule(folder.path());
    for (size_t d = 0; d < 7; ++d) {
        EXPECT_EQ(onDisk.week.index[d * 2], 0) << d;
        EXPECT_EQ(onDisk.week.index[d * 2 + 1], 1) << d;
    }
}

TEST(ScheduleEditorTest, WeeksSurviveTheFilesAndTheNotesSayWhatTheTickDoes)
{
    const auto day = [](int sh, int sm, int eh, int em) { return EditorDay{true, QTime(sh, sm), QTime(eh, em)}; };
    const EditorDay closed;
    struct Case {
        const char* what;
        EditorWeek week;
        std::array<const char*, 7> notes;
    };
    const Case cases[] = {
        {"all closed", {}, {"No recording", "No recording", "No recording", "No recording", "No recording",
                            "No recording", "No recording"}},
        {"shared times, one minute, overnight Sunday",
         {day(8, 0, 18, 0), day(8, 0, 18, 0), day(12, 30, 12, 30), closed, day(0, 0, 23, 59), closed,
          day(23, 59, 0, 0)},
         {"", "", "One minute", "No recording", "", "No recording", "Until midnight; then Monday's row decides"}},
        {"every day overnight",
         {day(22, 0, 6, 0), day(22, 0, 6, 0), day(22, 0, 6, 0), day(22, 0, 6, 0), day(22, 0, 6, 0),
          day(22, 0, 6, 0), day(22, 0, 6, 0)},
         {"Until midnight; then Tuesday's row decides", "Until midnight; then Wednesday's row decides",
          "Until midnight; then Thursday's row decides", "Until midnight; then Friday's row decides",
          "Until midnight; then Saturday's row decides", "Until midnight; then Sunday's row decides",
          "Until midnight; then Monday's row decides"}},
    };
    for (const Case& c : cases) {
        const ScheduleTable table = scheduleTableOf(c.week);
        const EditorWeek back = editorWeekOf(table);
        for (size_t d = 0; d < 7; ++d) {
            EXPECT_EQ(back[d].open, c.week[d].open) << c.what << " day " << d;
            if (c.week[d].open) {
                EXPECT_EQ(back[d].start, c.week[d].start) << c.what << " day " << d;
                EXPECT_EQ(back[d].end, c.week[d].end) << c.what << " day " << d;
            }
            EXPECT_EQ(rowNote(c.week, static_cast<int>(d)), QString::fromLatin1(c.notes[d])) << c.what << " day " << d;
            // The tick's window matches what the editor shows, minute by minute.
            const auto w = dayWindow(table, static_cast<int>(d));
            ASSERT_EQ(w.has_value(), c.week[d].open) << c.what << " day " << d;
            if (!w) continue;
            const int start = c.week[d].start.hour() * 60 + c.week[d].start.minute();
            const int end = c.week[d].end.hour() * 60 + c.week[d].end.minute();
            for (int m = 0; m < 1440; ++m) {
                const bool shown = end >= start ? (m >= start && m <= end) : m >= start;
                ASSERT_EQ(w->contains(m), shown) << c.what << " day " << d << " minute " << m;
            }
        }
        // Labels: distinct, in time order, each "HH:MM".
        for (size_t k = 1; k < table.labels.size() && !table.labels[k].empty(); ++k)
            EXPECT_LT(table.labels[k - 1], table.labels[k]) << c.what;
    }
}

TEST(TrayIconsTest, FivePicturesAllDifferent)
{
    for (int a = 0; a < trayFrameCount; ++a) {
        EXPECT_EQ(trayIconImage(a).size(), QSize(32, 32));
        for (int b = a + 1; b < trayFrameCount; ++b) EXPECT_NE(trayIconImage(a), trayIconImage(b)) << a << b;
    }
    EXPECT_EQ(trayIconImage(7), trayIconImage(0));
}

TEST_F(RecordingWindowTest, EditorRoundTripDrivesTheTickAtOnce)
{
    setOptions([](SettingsValues& v) { v.scheduleMode = 1, v.scheduleRecord[0] = 1; });
    openMain();
    {
        ScheduleEditor editor(*engine, main.get());
        for (int d = 0; d < 7; ++d) child<QCheckBox>(&editor, ("day" + std::to_string(d)).c_str())->setChecked(false);
        child<QCheckBox>(&editor, "day0")->setChecked(true);  // Monday 22:00 to 06:00
        child<QTimeEdit>(&editor, "start0")->setTime(QTime(22, 0));
        child<QTimeEdit>(&editor, "end0")->setTime(QTime(6, 0));
        child<QCheckBox>(&editor, "day1")->setChecked(true);  // Tuesday 08:15 to 17:45
        child<QTimeEdit>(&editor, "start1")->setTime(QTime(8, 15));
        child<QTimeEdit>(&editor, "end1")->setTime(QTime(17, 45));
        EXPECT_EQ(child<CPosStatic>(&editor, "note0")->text(), "Until midnight; then Tuesday's row decides");
        EXPECT_EQ(child<CPosStatic>(&editor, "note1")->text(), "");
        EXPECT_EQ(child<CPosStatic>(&editor, "note2")->text(), "No recording");
        child<CSkinButton>(&editor, "save")->click();
        EXPECT_EQ(editor.result(), QDialog::Accepted);
    }
    // The files, read back as start-up reads them.
    const ScheduleTable read = loadSchedule(folder.path());
    EXPECT_EQ(read.labels[0], "06:00");
    EXPECT_EQ(read.labels[1], "08:15");
    EXPECT_EQ(read.labels[2], "17:45");
    EXPECT_EQ(read.labels[3], "22:00");
    EXPECT_EQ(read.labels[4], "");
    const auto monday = dayWindow(read, 0);
    ASSERT_TRUE(monday);
    EXPECT_EQ(monday->startMinute, 22 * 60);
    EXPECT_EQ(monday->endMinute, 6 * 60 + 1440);
    for (int d = 2; d < 7; ++d) EXPECT_FALSE(dayWindow(read, d)) << d;

    // The running tick follows at once, the overnight rule included.
    struct Step {
        int64_t when;
        int recording;
    };
    const Step steps[] = {
        {at(8, 21, 59), 0}, {at(8, 22, 0), 1},  {at(8, 23, 59), 1}, {at(9, 0, 0), 0},  // Tuesday's row
        {at(9, 8, 14), 0},  {at(9, 8, 15), 1},  {at(9, 17, 45), 1}, {at(9, 17, 46), 0},
        {at(10, 12, 0), 0},  // Wednesday closed
    };
    for (const Step& s : steps) {
        clock.wall = s.when;
        engine->scheduleTick();
        EXPECT_EQ(scheduled(0), s.recording) << s.when;
    }

    // Reopened, the editor shows what it wrote.
    ScheduleEditor again(*engine, main.get());
    const EditorWeek w = again.week();
    EXPECT_TRUE(w[0].open);
    EXPECT_EQ(w[0].start, QTime(22, 0));
    EXPECT_EQ(w[0].end, QTime(6, 0));
    EXPECT_EQ(w[1].start, QTime(8, 15));
    EXPECT_FALSE(w[2].open);
}

TEST_F(RecordingWindowTest, HostileTimetableFilesAreShownWithoutHarm)
{
    {
        std::ofstream txt(folder.path() / "hours.txt", std::ios::binary);
        txt << "08:30\r\n";                             // 0
        txt << std::string(20000, 'A') << "\n";         // 1
        txt << "ab:cd\n";                               // 2: reads as 00:00
        txt << "38:00\n";                               // 3: past the day
        txt << std::string("\x00\xff\x01:9\x7f", 6) << "\n";  // 4
        txt << "22:00\n";                               // 5
        txt << "05:00\n";                               // 6
        for (int i = 0; i < 300; ++i) txt << "%s%n%x\n";
    }
    {
        const int32_t index[14] = {0, 5, 1, 2, 3, 5, 0, 3, -7, 2, 1000000, 0, 5, 6};
        std::ofstream dat(folder.path() / "hours.dat", std::ios::binary);
        dat.write(reinterpret_cast<const char*>(index), sizeof index);
    }
    engine->loadSchedule();
    openMain();
    ScheduleEditor editor(*engine, main.get());
    const EditorWeek w = editor.week();
    // Monday 08:30 to 22:00 as written.
    EXPECT_TRUE(w[0].open);
    EXPECT_EQ(w[0].start, QTime(8, 30));
    EXPECT_EQ(w[0].end, QTime(22, 0));
    // A start of "38:00" can never come: closed, as the tick treats it.
    EXPECT_FALSE(w[2].open);
    // An end beyond the day runs to the day's last minute.
    EXPECT_TRUE(w[3].open);
    EXPECT_EQ(w[3].end, QTime(23, 59));
    // Indexes outside the labels: closed.
    EXPECT_FALSE(w[4].open);
    EXPECT_FALSE(w[5].open);
    // Sunday 22:00 to 05:00: the overnight note names Monday.
    EXPECT_EQ(child<CPosStatic>(&editor, "note6")->text(), "Until midnight; then Monday's row decides");
    for (int d = 0; d < 7; ++d) {
        const ScheduleTable t = scheduleTableOf(w);
        EXPECT_EQ(dayWindow(t, d).has_value(), w[static_cast<size_t>(d)].open) << d;
    }

    // What the tick and the editor agree on: Tuesday ("AAAA…" to "ab:cd",
    // both read as hour 0 or minute 0 values) opens or not the same way.
    const ScheduleTable shownTable = scheduleTableOf(w);
    for (int d = 0; d < 7; ++d) {
        const auto fromFile = dayWindow(engine->schedule(), d);
        const auto fromEditor = dayWindow(shownTable, d);
        for (int minute = 0; minute < 1440; minute += 7) {
            const bool a = fromFile && fromFile->startMinute < 1440 && fromFile->contains(minute);
            const bool b = fromEditor && fromEditor->contains(minute);
            ASSERT_EQ(a, b) << "day " << d << " minute " << minute;
        }
    }
    // Saved, the files are clean.
    child<CSkinButton>(&editor, "save")->click();
    const ScheduleTable read = loadSchedule(folder.path());
    for (const auto& label : read.labels) {
        if (!label.empty()) {
            EXPECT_TRUE(QTime::fromString(QString::fromStdString(label), "HH:mm").isValid()) << label;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // Recording names and the timetable in one known zone.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
