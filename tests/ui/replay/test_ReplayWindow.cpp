// The replay window under the offscreen platform: the recordings tree of a
// program folder, and recordings made by the recorder played, stepped and
// wound in both directions through the window's controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTreeWidget>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "AppState.h"
#include "AviRecorder.h"
#include "CFilesTreeView.h"
#include "CHoverButton.h"
#include "CVideoPlayer.h"
#include "FrameDecoder.h"
#include "FrameSource.h"
#include "FrameTimesFile.h"
#include "RecordingCodec.h"
#include "ReplayControls.h"
#include "ReplayPlayer.h"
#include "support/LocalTime.h"
#include "support/NumberedVideo.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {


class ReplayWindowTest : public ::testing::Test {
protected:
    ReplayWindowTest()
    {
        state.programFolder = folder.path();
        state.setCameraName(0, "Door");
        fs::create_directories(folder.path() / "video" / "Door");
        fs::create_directories(folder.path() / "video" / "Yard");
        SettingsValues settings;
        settings.backgroundImageEnabled = 1;
        skin.setSettings(settings);
    }

    // A recording of `frames` simulated frames started at `wall`, received
    // `spacingMs` apart.
    fs::path record(int64_t wall, int frames, uint32_t handler = 0)
    {
        clock.setWallMs(wall * 1000);
        state.settings.compressOptions.handler = handler;
        EXPECT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(0), 0));
        const fs::path path = state.aviFile[0]->path();
        for (int n = 0; n < frames; ++n) {
            const auto jpeg = source.frame(static_cast<uint64_t>(n));
            std::lock_guard lock(state.recordLock[0]);
            const DecodeResult r = decoder.DecodeFrame(jpeg.data(), jpeg.size(), recorder.wantsPixels(0) ? QSize() : QSize(80, 60));
            recorder.WriteFrame(0, r.width, r.height, jpeg, decoder.currentPicture());
            clock.setWallMs(clock.nowMs() + spacingMs);
        }
        recorder.CloseRecording(0);
        return path;
    }

    QTreeWidgetItem* item(CVideoPlayer& player, const QString& folderName, int row)
    {
        const auto found = player.tree().findItems(folderName, Qt::MatchExactly);
        if (found.size() != 1 || row >= found[0]->childCount()) return nullptr;
        return found[0]->child(row);
    }

    TempFolder folder;
    AttachedSkin skin;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    AviRecorder recorder{state, notifier, clock};
    FrameDecoder decoder;
    sim::FrameSource source{160, 120, 20};
    static constexpr int spacingMs = 250;
};

TEST_F(ReplayWindowTest, TreeListsCameraFoldersWithTheNewestRecordingFirst)
{
    const fs::path older = record(localSeconds(2026, 12, 6, 9, 5, 1), 2);
    const fs::path newest = record(localSeconds(2026, 12, 7, 8, 0, 0), 2);
    const fs::path middle = record(localSeconds(2026, 12, 6, 15, 54, 49), 2);
    std::ofstream(folder.path() / "video" / "Door" / "notes.txt") << "not a recording";

    CVideoPlayer player(folder.path());
    QTreeWidget& tree = player.tree();
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "Door");
    EXPECT_EQ(tree.topLevelItem(1)->text(0), "Yard");
    EXPECT_EQ(tree.topLevelItem(1)->childCount(), 0);
    ASSERT_EQ(tree.topLevelItem(0)->childCount(), 3);
    EXPECT_EQ(item(player, "Door", 0)->text(0).toStdString(), newest.filename().string());
    EXPECT_EQ(item(player, "Door", 1)->text(0).toStdString(), middle.filename().string());
    EXPECT_EQ(item(player, "Door", 2)->text(0).toStdString(), older.filename().string());

    QStringList handed;
    QObject::connect(&player.tree(), &CFilesTreeView::recordingSelected, [&handed](const QString& p) { handed << p; });
    tree.setCurrentItem(tree.topLevelItem(1));  // a camera folder: nothing
    tree.setCurrentItem(item(player, "Door", 1));
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0].toStdString(), "./video/Door/" + middle.filename().string());
}

struct Codec {
    const char* name;
    uint32_t handler;
};

class ReplayPlaying : public ReplayWindowTest, public ::testing::WithParamInterface<Codec> {};

TEST_P(ReplayPlaying, PlaysStepsAndWindsBothWays)
{
    constexpr int frames = 8;
    const fs::path path = record(localSeconds(2026, 12, 6, 15, 54, 49), frames, GetParam().handler);
    CVideoPlayer player(folder.path());
    ReplayControls& controls = player.controls();
    auto button = [&](const char* name) { return controls.findChild<CHoverButton*>(QString::fromLatin1(name)); };
    auto* slider = controls.findChild<QSlider*>("position");
    auto* time = controls.findChild<QLabel*>("frameTime");
    ASSERT_NE(slider, nullptr);
    EXPECT_FALSE(slider->isHidden());
    EXPECT_TRUE(button("selectDate")->isHidden());
    EXPECT_TRUE(button("emailFrame")->isHidden());
    for (const char* shown : {"selectFile", "play", "pause", "stop", "fastForward", "fastReverse", "slowForward",
                              "slowReverse", "close"})
        EXPECT_FALSE(button(shown)->isHidden()) << shown;

    player.tree().setCurrentItem(item(player, "Door", 0));
    ASSERT_TRUE(waitFor([&] { return controls.frames() == frames && controls.shownIndex() == 0; }, 5000));
    EXPECT_FALSE(controls.shownPicture().isNull());
    // The slider runs by time from the first frame to the last.
    EXPECT_EQ(slider->maximum(), (frames - 1) * spacingMs);
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:54:49  1 / 8"));

    // By time with the slider, forward and back: a moment between two
    // frames shows the earlier one.
    for (int k : {1, 2, 3, 2, 1, 7, 6}) {
        slider->setValue(k * spacingMs + spacingMs / 2);
        ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == k; }, 5000)) << k;
        EXPECT_EQ(slider->value(), k * spacingMs);
    }
    // Frame 6 was received 1.5 s after the first; the positions alone would say 4 s.
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:54:50  7 / 8"));
    // The arrow keys step frame by frame.
    slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 5; }, 5000));
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 6; }, 5000));

    // Fast reverse from 6 reaches the first frame through every frame between.
    std::vector<int> seen;
    QObject::connect(&controls, &ReplayControls::frameShown, [&seen](int k) { seen.push_back(k); });
    button("fastReverse")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 0; }, 10000));
    button("pause")->click();
    EXPECT_EQ(seen, (std::vector<int>{5, 4, 3, 2, 1, 0}));

    seen.clear();
    button("fastForward")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == frames - 1; }, 10000));
    button("pause")->click();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));

    button("stop")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 0; }, 5000));
    EXPECT_EQ(slider->value(), 0);

    // Play from the start: it moves on by itself; Pause holds it.
    button("play")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() >= 1; }, 5000));
    button("pause")->click();
    QApplication::processEvents();
    const int held = controls.shownIndex();
    EXPECT_FALSE(waitFor([&] { return controls.shownIndex() > held + 1; }, 1500));
}

INSTANTIATE_TEST_SUITE_P(Codecs, ReplayPlaying,
                         ::testing::Values(Codec{"mjpeg", 0}, Codec{"dib", fourCC('D', 'I', 'B', ' ')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReplayWindowTest, RecordingWithoutFrameTimesShowsEstimatedTimes)
{
    const fs::path path = record(localSeconds(2026, 12, 6, 15, 54, 49), 8);
    ASSERT_TRUE(fs::remove(frameTimesPath(path)));
    CVideoPlayer player(folder.path());
    ReplayControls& controls = player.controls();
    auto* time = controls.findChild<QLabel*>("frameTime");
    player.tree().setCurrentItem(item(player, "Door", 0));
    ASSERT_TRUE(waitFor([&] { return controls.frames() == 8 && controls.shownIndex() == 0; }, 5000));
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:54:49 (estimated)  1 / 8"));
    // The old estimate: the name's time plus the positions at 15 a second.
    controls.player().seek(6);
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 6; }, 5000));
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:54:53 (estimated)  7 / 8"));
}

// A camera's stream recorded into Matroska beside the recorder's AVI files:
// listed by its time, played, stepped and wound back across key frames,
// each picture its own frame, with the times its file recorded.
TEST_F(ReplayWindowTest, CameraStreamRecordingPlaysBesideTheAviOnes)
{
    const fs::path avi = record(localSeconds(2026, 12, 6, 15, 54, 49), 2);
    // 16 frames 250 ms apart, a key frame every 6; the first at 15:55:00.500.
    const time_t first = static_cast<time_t>(localSeconds(2026, 12, 6, 15, 55, 0));
    std::tm utc{};
    gmtime_r(&first, &utc);
    char created[40];
    std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%S.500Z", &utc);
    const fs::path mkv = folder.path() / "video" / "Door" / "Date_06_12_2026_Time_15_55_00.mkv";
    NumberedVideo video;
    video.frames = 16;
    video.fps = 4;
    video.options = "preset=veryfast;g=6;keyint_min=6;sc_threshold=0;bf=0";
    video.creationTime = created;
    ASSERT_TRUE(writeNumberedVideo(mkv, video));
    EXPECT_TRUE(ReplayControls::recordingFileFilter().contains(QStringLiteral("*.mkv")));
    EXPECT_TRUE(ReplayControls::recordingFileFilter().contains(QStringLiteral("*.avi")));

    CVideoPlayer player(folder.path());
    ASSERT_EQ(player.tree().topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(item(player, "Door", 0)->text(0).toStdString(), mkv.filename().string());
    EXPECT_EQ(item(player, "Door", 1)->text(0).toStdString(), avi.filename().string());

    ReplayControls& controls = player.controls();
    auto button = [&](const char* name) { return controls.findChild<CHoverButton*>(QString::fromLatin1(name)); };
    auto* slider = controls.findChild<QSlider*>("position");
    auto* time = controls.findChild<QLabel*>("frameTime");
    const auto shows = [&](int k) {
        return waitFor([&] { return controls.shownIndex() == k; }, 5000) && shownNumber(controls.shownPicture()) == k;
    };
    // The player hands over pictures no larger than the window shows them
    // (so the reader keeps small ones): these frames are taller than that.
    QSize largest;
    QObject::connect(&controls.player(), &ReplayPlayer::frameShown,
                     [&largest](const ShownFrame&, const QImage& p) { largest = largest.expandedTo(p.size()); });
    player.tree().setCurrentItem(item(player, "Door", 0));
    ASSERT_TRUE(waitFor([&] { return controls.frames() == 16; }, 5000));
    ASSERT_TRUE(shows(0));
    EXPECT_EQ(slider->maximum(), 15 * 250);
    // Recorded, not estimated.
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:55:00  1 / 16"));

    // By the slider to frame 8, then step by step back across key frame 6.
    slider->setValue(8 * 250 + 100);
    ASSERT_TRUE(shows(8));
    for (int k : {7, 6, 5}) {
        slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
        ASSERT_TRUE(shows(k)) << k;
    }
    EXPECT_EQ(time->text(), QStringLiteral("06/12/2026 15:55:01  6 / 16"));

    // Fast reverse from 13 shows every frame down to the first, each the
    // picture of its own number; fast forward from 10 to the end likewise.
    std::vector<int> seen, numbers;
    QObject::connect(&controls, &ReplayControls::frameShown, [&](int k) {
        seen.push_back(k);
        numbers.push_back(shownNumber(controls.shownPicture()));
    });
    controls.player().seek(13);
    ASSERT_TRUE(shows(13));
    seen.clear();
    numbers.clear();
    button("fastReverse")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 0; }, 10000));
    button("pause")->click();
    EXPECT_EQ(seen, (std::vector<int>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(numbers, seen);

    controls.player().seek(10);
    ASSERT_TRUE(shows(10));
    seen.clear();
    numbers.clear();
    button("fastForward")->click();
    ASSERT_TRUE(waitFor([&] { return controls.shownIndex() == 15; }, 10000));
    button("pause")->click();
    EXPECT_EQ(seen, (std::vector<int>{11, 12, 13, 14, 15}));
    EXPECT_EQ(numbers, seen);

    const QSize area = controls.findChild<QLabel*>("picture")->contentsRect().size();
    ASSERT_LT(area.height(), video.height);
    EXPECT_EQ(largest, QSize(video.width, video.height).scaled(area, Qt::KeepAspectRatio));
}

TEST_F(ReplayWindowTest, UnreadableFileLeavesThePictureEmpty)
{
    std::ofstream(folder.path() / "video" / "Door" / "Date_01_01_2026_Time_00_00_00.avi") << "RIFF junk";
    CVideoPlayer player(folder.path());
    int openedWith = -1;
    QObject::connect(&player.controls().player(), &ReplayPlayer::opened, [&openedWith](int n, qint64, bool) { openedWith = n; });
    player.tree().setCurrentItem(item(player, "Door", 0));
    ASSERT_TRUE(waitFor([&] { return openedWith == 0; }, 5000));
    EXPECT_EQ(player.controls().frames(), 0);
    QApplication::processEvents();
    EXPECT_EQ(player.controls().shownIndex(), -1);
    EXPECT_TRUE(player.controls().shownPicture().isNull());
}

}  // namespace
