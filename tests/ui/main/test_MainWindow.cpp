// The main window and its dialogs under the offscreen platform, with a
// real engine on a prepared program folder (cameras are not connected).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <thread>

#include "CActionButton.h"
#include "CCameraListDlg.h"
#include "CCameraViews.h"
#include "CHoverButton.h"
#include "CInterface.h"
#include "CMonitorDlg.h"
#include "CMonitoring.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CStartupDlg.h"
#include "CameraGrid.h"
#include "Engine.h"
#include "KeyboardFilter.h"
#include "MainButtons.h"
#include "OptionsDialog.h"
#include "SettingsFile.h"
#include "support/EngineInternals.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;

namespace {

void clickAt(QWidget* w, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

void pressKey(QWidget* w, int key)
{
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The settings as the file holds them.
std::unique_ptr<Settings> saved(const std::filesystem::path& folder)
{
    auto s = std::make_unique<Settings>();
    loadSettings(*s, folder);
    return s;
}

// Whether the file comes to hold what `holds` asks for (the engine saves
// off its own thread, within a second).
bool savedSoon(const std::filesystem::path& folder, const std::function<bool(const Settings&)>& holds)
{
    return waitFor([&] { return holds(*saved(folder)); }, 3000);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Nothing listens on port 1: these cameras are never seen live.
        ASSERT_TRUE(makeWindowFolder(folder.path(), {{"Door", 1, "101"}, {"Hall", 1, "101"}, {"Yard", 1, "101"}}));
        // As a saved option would (nothing is written: the test reads the file).
        EngineInternals::state(engine).settings.backgroundImageEnabled = 1;
        EngineInternals::publish(engine);
        ASSERT_TRUE(skin.open(folder.path()));
        main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false});
    }
    void TearDown() override
    {
        main.reset();
        engine.shutdown();
    }
    CCameraViews* pane(int k) { return main->findChild<CCameraViews*>(QStringLiteral("pane%1").arg(k)); }
    void setBackgroundImage(int on)
    {
        SettingsValues values = engine.snapshot()->settings;
        values.backgroundImageEnabled = on;
        engine.changeSettings(values);
    }
    // Marks nothing publishes: they only reach the drawing and the workers.
    int viewEnlarged(int slot) { return EngineInternals::state(engine).viewEnlarged[static_cast<size_t>(slot)].load(); }
    int snapshotRequest(int slot)
    {
        return EngineInternals::state(engine).snapshotRequest[static_cast<size_t>(slot)].load();
    }
    SlotFlips flips(int slot)
    {
        const CameraStatus* camera = engine.snapshot()->camera(slot);
        return camera != nullptr ? camera->flips : SlotFlips{};
    }

    TempFolder folder;
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    std::unique_ptr<CMonitorDlg> main;
};

TEST_F(MainWindowTest, OpensShapedWithItsButtonsAndGrid)
{
    EXPECT_EQ(main->windowTitle(), "Corvanex");
    EXPECT_EQ(main->size(), QSize(1219, 739));  // the background less its last column and row
    EXPECT_FALSE(main->mask().contains(QPoint(0, 0)));  // the key colour is cut out
    EXPECT_TRUE(main->mask().contains(QPoint(600, 400)));
    EXPECT_EQ(main->findChild<CSkinButton*>("exit")->text(), "Exit Corvanex");
    EXPECT_EQ(main->findChild<CSkinButton*>("about")->pos(), QPoint(1030, 592));
    EXPECT_TRUE(main->findChild<CSkinButton*>("sound")->isHidden());
    EXPECT_TRUE(main->findChild<CSkinButton*>("updateSoftware")->isHidden());
    EXPECT_FALSE(main->findChild<CSkinButton*>("website")->isHidden());
    // Three cameras: a 2 by 2 grid in the view area.
    EXPECT_EQ(main->grid().builtShape(), (GridShape{2, 2}));
    EXPECT_EQ(main->grid().geometry(), QRect(QPoint(22, 84), QPoint(999, 681)));
    ASSERT_NE(pane(3), nullptr);
    EXPECT_EQ(pane(4), nullptr);
}

TEST_F(MainWindowTest, ClockDateAndStatusLineOnTimer)
{
    main->timerTick();
    const QString status = main->findChild<CPosStatic*>("statusLine")->text();
    const std::string text = "         Monitoring 3 cameras...No camera is Currently recording. " +
                             skin.skin.statusSuffix().value_or("");
    EXPECT_EQ(status.toStdString(), text.substr(0, 50));
    main->timerTick();
    EXPECT_EQ(main->findChild<CPosStatic*>("statusLine")->text().toStdString(), text.substr(1, 50));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(main->findChild<CPosStatic*>("clock")->text()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^[A-Z][a-z]+day, [A-Z][a-z]+ \\d\\d, \\d{4}$")
                    .match(main->findChild<CPosStatic*>("dateLine")->text())
                    .hasMatch());
}

TEST_F(MainWindowTest, MagnifyAdjustLayoutAndRestore)
{
    main->show();
    CameraGrid& grid = main->grid();
    const QRect cell = pane(2)->geometry();
    const QSize size = pane(2)->size();

    clickAt(pane(2), QPoint(size.width() - 22, size.height() - 22));
    EXPECT_TRUE(grid.magnified(2));
    EXPECT_EQ(viewEnlarged(2), 1);
    EXPECT_EQ(pane(2)->geometry(), QRect(QPoint(0, 0), grid.size()));
    for (int k : {0, 1, 3}) EXPECT_TRUE(pane(k)->isHidden()) << k;

    main->findChild<CSkinButton*>("adjustLayout")->click();
    EXPECT_EQ(pane(2)->geometry(), cell);
    for (int k : {0, 1, 3}) EXPECT_FALSE(pane(k)->isHidden()) << k;
    EXPECT_TRUE(grid.magnified(2));  // equal layout leaves the mark

    // The mark makes this click a restore, not a second magnify.
    clickAt(pane(2), QPoint(size.width() - 22, size.height() - 22));
    EXPECT_FALSE(grid.magnified(2));
    EXPECT_EQ(viewEnlarged(2), 0);
    EXPECT_EQ(pane(2)->geometry(), cell);

    // Panes are row-major: pane 2 is the first of the second row.
    EXPECT_EQ(pane(2)->geometry().left(), 0);
    EXPECT_GT(pane(2)->geometry().top(), 0);
}

TEST_F(MainWindowTest, HotSpotsSnapshotFlipAndCursor)
{
    main->show();
    CCameraViews* view = pane(1);
    const int w = view->width(), h = view->height();
    clickAt(view, QPoint(w - 27, h - 1));  // between two squares: nothing
    EXPECT_EQ(snapshotRequest(1), 0);
    clickAt(view, QPoint(w - 28, h - 1));
    EXPECT_EQ(snapshotRequest(1), 1);

    clickAt(view, QPoint(w - 76, h - 22));
    EXPECT_EQ(flips(1), (SlotFlips{true, false}));
    clickAt(view, QPoint(w - 103, h - 22));
    clickAt(view, QPoint(w - 55, h - 1));
    EXPECT_EQ(flips(1), (SlotFlips{false, true}));
    EXPECT_EQ(flips(0), (SlotFlips{false, false}));  // only the clicked pane's camera

    QMouseEvent over(QEvent::MouseMove, QPointF(w - 10, h - 10), view->mapToGlobal(QPointF(w - 10, h - 10)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &over);
    EXPECT_EQ(view->cursor().shape(), Qt::PointingHandCursor);
    QMouseEvent away(QEvent::MouseMove, QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &away);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, KeyFilter)
{
    struct KeyCounter : QWidget {
        using QWidget::QWidget;
        int presses = 0;
        void keyPressEvent(QKeyEvent*) override { ++presses; }
    };
    KeyboardFilter keys;
    qApp->installEventFilter(&keys);
    keys.setMainWindow(main.get());
    auto* inside = new KeyCounter(main.get());
    main->show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));

    // (F2 would open "Monitor" here; it is tried below with a dialog in front.)
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_F1, Qt::Key_Control,
                    Qt::Key_Alt})
        pressKey(inside, key);
    EXPECT_EQ(inside->presses, 0);
    pressKey(inside, Qt::Key_A);
    pressKey(inside, Qt::Key_F10);  // no button has F10
    EXPECT_EQ(inside->presses, 2);
    // F1 opened "Cameras" (queued); closed here as soon as it shows.
    int listsOpened = 0;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&listsOpened] {
        if (auto* list = qobject_cast<CCameraListDlg*>(QApplication::activeModalWidget())) {
            ++listsOpened;
            list->done(2);
        }
    });
    closer.start();
    EXPECT_TRUE(waitFor([&] { return listsOpened == 1; }, 2000));
    pressKey(main.get(), Qt::Key_Escape);
    EXPECT_TRUE(main->isVisible());

    // F5 runs "Adjust Layout" while the main window is active.
    main->grid().magnifyOrRestore(0);
    ASSERT_TRUE(pane(1)->isHidden());
    pressKey(inside, Qt::Key_F5);
    EXPECT_TRUE(waitFor([&] { return !pane(1)->isHidden(); }, 2000));

    // A dialog in front: function keys do nothing for the main window,
    // Ctrl is still swallowed, Escape closes the dialog.
    main->grid().magnifyOrRestore(0);  // restore (mark still set)
    main->grid().magnifyOrRestore(0);
    ASSERT_TRUE(pane(1)->isHidden());
    auto* dialog = new QDialog(main.get());
    auto* field = new KeyCounter(dialog);
    dialog->show();
    // The offscreen platform does not move activation by itself.
    QApplication::setActiveWindow(dialog);
    ASSERT_EQ(QApplication::activeWindow(), dialog);
    pressKey(field, Qt::Key_F5);
    pressKey(field, Qt::Key_Control);
    QApplication::processEvents();
    EXPECT_TRUE(pane(1)->isHidden());
    EXPECT_EQ(field->presses, 1);  // F5 reached the dialog, Ctrl did not
    // Keys that could close the main window are kept from it even now.
    for (int key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_Escape, Qt::Key_Space}) pressKey(inside, key);
    QApplication::processEvents();
    EXPECT_EQ(inside->presses, 2);
    EXPECT_EQ(main->findChild<CMonitoring*>(), nullptr);
    EXPECT_EQ(listsOpened, 1);
    pressKey(dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    qApp->removeEventFilter(&keys);
}

TEST(StartupWindow, TextsByTick)
{
    const auto run = [](int cameras) {
        CStartupDlg dialog(cameras);
        std::vector<QString> texts;
        int connects = 0;
        QString host;
        dialog.connectCameras = [&] { ++connects; };
        dialog.hostNameReady = [&](const QString& h) { host = h; };
        for (int tick = 1; tick <= 31; ++tick) {
            EXPECT_EQ(connects, 0) << tick;
            dialog.advance();
            texts.push_back(dialog.text());
        }
        EXPECT_EQ(connects, 1);
        EXPECT_FALSE(dialog.running());
        EXPECT_FALSE(host.isEmpty());
        return texts;
    };
    const auto four = run(4);
    EXPECT_EQ(four[0], "Initializing");
    EXPECT_EQ(four[1], "Initializing ");
    EXPECT_EQ(four[14], "Initializing" + QString(14, ' '));
    EXPECT_EQ(four[15], "Connecting to Network");  // 1.6 s
    EXPECT_EQ(four[16], "Connecting Cameras ");
    EXPECT_EQ(four[17], "Connecting Cameras  ");
    EXPECT_EQ(four[30], "Connecting Cameras " + QString(14, ' '));  // 3.1 s: then the cameras connect
    const auto one = run(1);
    EXPECT_EQ(one[16], "Connecting Camera ");
    EXPECT_EQ(one[20], "Connecting Camera " + QString(4, ' '));
}

TEST_F(MainWindowTest, BackgroundImageOptionSwitchesControlStyles)
{
    main->show();
    OptionsDialog options(engine, main.get());
    options.show();
    const auto allButtons = [&] {
        auto buttons = options.findChildren<OwnerDrawButton*>();
        buttons += main->findChildren<OwnerDrawButton*>();
        return buttons;
    };
    ASSERT_GE(allButtons().size(), 18);
    for (auto* b : allButtons()) ASSERT_TRUE(b->ownerDrawn());
    auto* check = options.findChild<QCheckBox*>("backgroundImage");
    ASSERT_TRUE(check->isChecked());

    check->click();
    for (auto* b : allButtons()) EXPECT_FALSE(b->ownerDrawn()) << b->objectName().toStdString();
    EXPECT_TRUE(main->findChild<CSkinButton*>("exit")->mask().isEmpty());  // a plain push button
    EXPECT_EQ(engine.snapshot()->settings.backgroundImageEnabled, 0);
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.backgroundImageEnabled.load() == 0; }));

    check->click();
    for (auto* b : allButtons()) EXPECT_TRUE(b->ownerDrawn()) << b->objectName().toStdString();
    EXPECT_FALSE(main->findChild<CSkinButton*>("exit")->mask().isEmpty());
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.backgroundImageEnabled.load() == 1; }));
}

TEST_F(MainWindowTest, ControlsAtCreationFollowTheirRules)
{
    for (int option : {0, 1}) {
        SCOPED_TRACE(option);
        setBackgroundImage(option);
        CHoverButton hover;
        CSkinButton skinned;
        CActionButton model;
        EXPECT_TRUE(hover.ownerDrawn());
        EXPECT_TRUE(skinned.ownerDrawn());
        EXPECT_EQ(model.ownerDrawn(), option == 1);
        CInterface chooser(skin.skin, folder.path(), main.get());
        auto* first = chooser.findChild<CSkinButton*>("package1000");
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->ownerDrawn(), option == 1);
    }
}

TEST_F(MainWindowTest, OptionsColoursAndSegmentLengthAreSavedAtOnce)
{
    OptionsDialog options(engine, main.get());
    std::optional<QColor> answer = QColor(1, 2, 3);
    options.chooseColour = [&](const QColor&, QWidget*) { return answer; };
    options.findChild<CSkinButton*>("modifyBackgroundColour")->click();
    EXPECT_EQ(engine.snapshot()->settings.backgroundColour, 0x030201u);
    EXPECT_EQ(SkinLook::instance().backgroundColour(), QColor(1, 2, 3));  // the controls draw with it at once
    // The file's first value; loading skips it, so it is read here.
    const auto savedBackground = [&] {
        std::ifstream file(folder.path() / "Configuration.cvx", std::ios::binary);
        unsigned char first[4] = {};
        file.read(reinterpret_cast<char*>(first), 4);
        return first[0] | first[1] << 8 | first[2] << 16 | first[3] << 24;
    };
    EXPECT_TRUE(waitFor([&] { return savedBackground() == 0x030201; }, 3000));
    answer = std::nullopt;  // Cancel
    options.findChild<CSkinButton*>("modifyTextColour")->click();
    EXPECT_EQ(engine.snapshot()->settings.textColour, defaultTextColour);
    answer = QColor(10, 20, 30);
    options.findChild<CSkinButton*>("modifyTextColour")->click();
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.textColour.load() == 0x1E140Au; }));
    EXPECT_EQ(savedBackground(), 0x030201);  // the other colour stays

    auto* minutes = options.findChild<QLineEdit*>("segmentMinutes");
    EXPECT_EQ(minutes->text(), "5");
    for (const char* typed : {"0", "abc"}) {
        minutes->clear();
        QTest::keyClicks(minutes, typed);
        EXPECT_EQ(engine.snapshot()->settings.segmentMinutes, 5) << typed;
    }
    // Read at every keystroke: "6" is taken, 61 is out of range and is not.
    minutes->clear();
    QTest::keyClicks(minutes, "61");
    EXPECT_EQ(engine.snapshot()->settings.segmentMinutes, 6);
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.segmentMinutes.load() == 6; }));
    minutes->clear();
    QTest::keyClicks(minutes, "30");
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.segmentMinutes.load() == 30; }));

    options.findChild<QCheckBox*>("defaultImageSize")->click();
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.fixedImageSize.load() == 1; }));
}

TEST_F(MainWindowTest, MonitoringCloseKeepsSelectStores)
{
    {
        CMonitoring monitoring(engine, main.get());
        EXPECT_EQ(monitoring.findChild<CPosStatic*>("name1")->text(), "Hall");
        auto* box = monitoring.findChild<QCheckBox*>("monitor1");
        ASSERT_TRUE(box->isChecked());
        box->setChecked(false);
        monitoring.findChild<CSkinButton*>("close")->click();
        EXPECT_EQ(monitoring.result(), QDialog::Rejected);
    }
    EXPECT_EQ(engine.snapshot()->settings.monitorEnabled[1], 1);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Configuration.cvx"));

    CMonitoring monitoring(engine, main.get());
    monitoring.findChild<QCheckBox*>("monitor1")->setChecked(false);
    monitoring.findChild<CSkinButton*>("select")->click();
    EXPECT_EQ(monitoring.result(), QDialog::Accepted);
    EXPECT_EQ(engine.snapshot()->settings.monitorEnabled[1], 0);
    EXPECT_EQ(engine.snapshot()->settings.monitorEnabled[0], 1);
    EXPECT_TRUE(savedSoon(folder.path(), [](const Settings& s) { return s.monitorEnabled[1].load() == 0; }));
}

TEST_F(MainWindowTest, ChooserListsSameFormatAndAppliesOne)
{
    main->show();
    const QImage before = main->grab().toImage();
    CInterface chooser(skin.skin, folder.path(), main.get());
    std::vector<std::string> listed = chooser.listed();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"default.int", "ember.int"}));  // not foreign.int

    const int k = static_cast<int>(std::find(chooser.listed().begin(), chooser.listed().end(), "ember.int") -
                                   chooser.listed().begin());
    auto* button = chooser.findChild<CSkinButton*>(QStringLiteral("package%1").arg(1000 + k));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "ember");
    button->click();
    EXPECT_EQ(chooser.result(), 1);
    EXPECT_EQ(skin.skin.file().filename(), "ember.int");
    EXPECT_NE(main->marquee().text().find("ember skin"), std::string::npos);
    const QImage after = main->grab().toImage();
    EXPECT_NE(after.pixel(300, 40), before.pixel(300, 40));  // the header took the new look
}

TEST_F(MainWindowTest, ExitAskedWhileADialogIsOpenEndsTheWindowOnceItCloses)
{
    engine.startScheduleTick();
    bool optionsOpen = false;
    bool stayedAtTick = false;
    bool forced = false;
    QTimer::singleShot(0, main.get(), [&] { main->runButtonAction(MainButton::options); });
    QTimer::singleShot(100, main.get(), [&] {
        auto* options = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        optionsOpen = options != nullptr;
        engine.requestStopAll();
        engine.scheduleTick();  // asks the window to end while the dialog is open
        stayedAtTick = main->isVisible() && options != nullptr && options->isVisible();
        if (options != nullptr) options->done(0);
    });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, main.get(), [&] {
        forced = true;
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()); open != nullptr && open != main.get())
            open->done(0);
        main->done(0);
    });
    failsafe.start(8000);
    // A later tick of the engine's own timer ends it.
    EXPECT_EQ(main->exec(), 1);
    EXPECT_TRUE(optionsOpen);
    EXPECT_TRUE(stayedAtTick);
    EXPECT_FALSE(forced);
    EXPECT_FALSE(main->isVisible());
}

TEST_F(MainWindowTest, EngineMessagesOpenWithoutBlocking)
{
    main->show();
    // From a worker thread, which must go on at once.
    std::thread worker([&] { engine.notifier().notify("Camera lost", "", NotifyIcon::Stop); });
    worker.join();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = main->findChild<QMessageBox*>("messageBox")) && box->isVisible(); }, 3000));
    EXPECT_EQ(box->text(), "Camera lost");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->windowTitle(), "Corvanex");
}

}  // namespace
