// The camera dialogs under the offscreen platform against a real camera
// database file: the first-run model chooser, adding, listing, removing
// and the properties of cameras, through a real engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "CActionButton.h"
#include "CAddCameraDlg.h"
#include "CCameraListDlg.h"
#include "CCameraPropertiesDlg.h"
#include "CMonitorDlg.h"
#include "CSelectCameraType.h"
#include "CSkinButton.h"
#include "CameraDatabase.h"
#include "CameraGrid.h"
#include "Engine.h"
#include "IpAddressEdit.h"
#include "support/SlotRunning.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;

namespace {

// Runs `act` on the modal dialog of type D once it is open; a dialog of
// another type (or none) fails the test and is closed so nothing hangs.
template <class D>
void whenOpen(std::function<void(D*)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* d = qobject_cast<D*>(modal);
        if (d == nullptr) {
            ADD_FAILURE() << "expected dialog not open";
            if (auto* other = qobject_cast<QDialog*>(modal)) other->done(0);
            return;
        }
        act(d);
    });
}

template <class T>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

void setIp(QWidget* dialog, std::array<int, 4> fields)
{
    child<IpAddressEdit>(dialog, "ipAddress")->setFields(fields);
}

class CameraDialogsTest : public ::testing::Test {
protected:
    void makeFolder(const std::vector<FolderCamera>& cameras)
    {
        ASSERT_TRUE(makeWindowFolder(folder.path(), cameras));
        engine.loadCameraTable();
        SettingsValues settings = engine.snapshot()->settings;
        settings.backgroundImageEnabled = 1;
        engine.changeSettings(settings);
        ASSERT_TRUE(skin.open(folder.path()));
    }
    void TearDown() override
    {
        main.reset();
        engine.shutdown();
    }
    void openMain() { main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false}); }
    // The rows as the database file holds them, read by a second connection.
    CameraTable stored()
    {
        CameraDatabase db(folder.path());
        return db.loadCameras().table;
    }
    std::vector<std::string> storedNames()
    {
        CameraDatabase db(folder.path());
        return db.listNames();
    }
    SlotFlips flips()
    {
        const CameraStatus* camera = engine.snapshot()->camera(0);
        return camera != nullptr ? camera->flips : SlotFlips{};
    }

    TempFolder folder;
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    std::unique_ptr<CMonitorDlg> main;
};

TEST_F(CameraDialogsTest, FirstCameraFromTheSixthModelButton)
{
    makeFolder({});
    CSelectCameraType chooser(engine, nullptr);
    const auto buttons = chooser.findChildren<CActionButton*>();
    ASSERT_EQ(buttons.size(), 32);
    // Rows of five, 118 by 41 apart.
    auto* sixth = child<CActionButton>(&chooser, "model5");
    EXPECT_EQ(sixth->text(), "AXIS 2420");
    EXPECT_EQ(sixth->pos(), QPoint(0, 41));
    EXPECT_EQ(child<CActionButton>(&chooser, "model31")->pos(), QPoint(118, 6 * 41));
    // Every row is visible without scrolling.
    EXPECT_LE(child<CActionButton>(&chooser, "model31")->geometry().bottom() + 56, chooser.height());

    whenOpen<CAddCameraDlg>([](CAddCameraDlg* add) {
        EXPECT_EQ(child<QLineEdit>(add, "name")->text(), "Camera 1");
        EXPECT_EQ(child<QComboBox>(add, "cameraType")->currentIndex(), 5);
        EXPECT_EQ(add->typeText(), "5");
        EXPECT_EQ(child<QLineEdit>(add, "port")->text(), "8080");
        EXPECT_EQ(child<QLineEdit>(add, "login")->text(), "tulip");
        EXPECT_EQ(child<QLineEdit>(add, "password")->text(), "tulip");
        EXPECT_EQ(child<IpAddressEdit>(add, "ipAddress")->text(), "0.0.0.0");
        setIp(add, {192, 168, 1, 20});
        child<CSkinButton>(add, "addCamera")->click();
        EXPECT_EQ(add->result(), 1);
    });
    sixth->click();

    const CameraTable table = stored();
    ASSERT_EQ(table.count, 1);
    EXPECT_EQ(table.address[0], "192.168.1.20:8080");
    EXPECT_EQ(table.type[0], 5);
    ASSERT_EQ(engine.snapshot()->cameraCount(), 1);
    EXPECT_EQ(engine.snapshot()->camera(0)->name, "Camera 1");
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "video" / "Camera 1"));
}

TEST_F(CameraDialogsTest, AddRefusesWhatCannotBeACamera)
{
    makeFolder({{"Door", 1, "101"}});
    struct Case {
        const char* what;
        std::string name;
        std::string domain;
        std::array<int, 4> ip;
        QString nameAfter;  // the name field afterwards
        bool problemShown;
    };
    const Case cases[] = {
        {"empty name", "", "", {10, 0, 0, 5}, "", false},
        {"first field 0", "Gate", "", {0, 1, 2, 3}, "Gate", false},
        {"last field 0", "Gate", "", {10, 1, 2, 0}, "Gate", false},
        {"taken name", "Door", "", {10, 0, 0, 5}, nameNotUniqueText, false},
        {"the uniqueness text itself", nameNotUniqueText, "", {10, 0, 0, 5}, nameNotUniqueText, false},
        {"slash", "a/b", "", {10, 0, 0, 5}, "a/b", true},
        {"dot dot", "..", "", {10, 0, 0, 5}, "..", true},
        {"control character", "Gate\tWest", "", {10, 0, 0, 5}, "Gate\tWest", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CAddCameraDlg add(engine, nullptr);
        add.show();
        child<QLineEdit>(&add, "name")->setText(QString::fromStdString(c.name));
        child<QLineEdit>(&add, "domain")->setText(QString::fromStdString(c.domain));
        setIp(&add, c.ip);
        child<CSkinButton>(&add, "addCamera")->click();
        EXPECT_TRUE(add.isVisible());  // still open
        EXPECT_EQ(child<QLineEdit>(&add, "name")->text(), c.nameAfter);
        EXPECT_EQ(child<QLabel>(&add, "nameProblem")->isVisible(), c.problemShown);
        EXPECT_EQ(stored().count, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "a"));
}

TEST_F(CameraDialogsTest, DomainWithZeroAddressAndQuotesStoredExactly)
{
    makeFolder({{"Door", 1, "101"}});
    CAddCameraDlg add(engine, nullptr);
    EXPECT_EQ(child<QLineEdit>(&add, "name")->text(), "Camera 2");
    // The enabling rules: a domain disables the address, an address the domain.
    child<QLineEdit>(&add, "domain")->setText("x");
    EXPECT_FALSE(child<IpAddressEdit>(&add, "ipAddress")->isEnabled());
    child<QLineEdit>(&add, "domain")->clear();
    EXPECT_TRUE(child<IpAddressEdit>(&add, "ipAddress")->isEnabled());
    setIp(&add, {0, 0, 7, 0});
    EXPECT_FALSE(child<QLineEdit>(&add, "domain")->isEnabled());
    setIp(&add, {0, 0, 0, 0});
    EXPECT_TRUE(child<QLineEdit>(&add, "domain")->isEnabled());

    child<QLineEdit>(&add, "name")->setText("O'Neil \"Yard\"");
    child<QLineEdit>(&add, "domain")->setText("cam.example.org");
    child<QLineEdit>(&add, "login")->setText("it's");
    child<QLineEdit>(&add, "password")->setText("\"pw'");
    child<QComboBox>(&add, "cameraType")->setCurrentIndex(14);  // AXIS 205
    child<CSkinButton>(&add, "addCamera")->click();
    EXPECT_EQ(add.result(), 1);

    const CameraTable table = stored();
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(table.address[1], "cam.example.org:8080");
    EXPECT_EQ(table.login[1], "it's");
    EXPECT_EQ(table.password[1], "\"pw'");
    EXPECT_EQ(table.type[1], 101);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Door", "O'Neil \"Yard\""}));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "video" / "O'Neil \"Yard\""));
}

TEST_F(CameraDialogsTest, AddFromTheMainWindowGrowsTheGridAndStartsTheNewCamera)
{
    makeFolder({{"Door", 1, "101"}, {"Hall", 1, "101"}, {"Yard", 1, "101"}, {"Shed", 1, "101"}});
    openMain();
    EXPECT_EQ(main->grid().builtShape(), (GridShape{2, 2}));
    engine.connectAllCameras();
    for (int slot = 0; slot < 4; ++slot) EXPECT_TRUE(waitFor([&] { return slotRunning(engine, slot); })) << slot;
    EXPECT_TRUE(slotIdle(engine, 4));

    whenOpen<CAddCameraDlg>([](CAddCameraDlg* add) {
        EXPECT_EQ(child<QLineEdit>(add, "name")->text(), "Camera 5");
        setIp(add, {127, 0, 0, 1});
        child<QLineEdit>(add, "port")->setText("1");
        // A stream model: its worker keeps retrying (a binary-protocol
        // camera that cannot connect ends its worker).
        child<QComboBox>(add, "cameraType")->setCurrentIndex(14);
        child<CSkinButton>(add, "addCamera")->click();
    });
    main->findChild<CSkinButton*>("addCamera")->click();

    EXPECT_EQ(engine.snapshot()->cameraCount(), 5);
    GridShape five;
    ASSERT_TRUE(computeGridShape(5, five));
    EXPECT_EQ(main->grid().builtShape(), five);
    EXPECT_NE(main->findChild<QWidget*>("pane4"), nullptr);
    EXPECT_TRUE(waitFor([&] { return slotRunning(engine, 4); }));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "video" / "Camera 5"));
}

TEST_F(CameraDialogsTest, AddCameraButtonDoesNothingWithSixteenCameras)
{
    std::vector<FolderCamera> sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back({"Cam" + std::to_string(i), 1, "101"});
    makeFolder(sixteen);
    openMain();
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            d->done(0);
        }
    });
    main->findChild<CSkinButton*>("addCamera")->click();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
}

TEST_F(CameraDialogsTest, PropertiesShowTheHostAsStored)
{
    makeFolder({{"Door", 1, "101"}});
    CameraDatabase(folder.path()).insertCamera("Gate", "gate.example.org", "81", "a", "b", "101");
    engine.loadCameraTable();

    CCameraPropertiesDlg ip(engine, "Door", 0);
    EXPECT_EQ(child<IpAddressEdit>(&ip, "ipAddress")->text(), "127.0.0.1");
    EXPECT_TRUE(child<IpAddressEdit>(&ip, "ipAddress")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(&ip, "domain")->isEnabled());
    EXPECT_EQ(child<QLineEdit>(&ip, "port")->text(), "1");

    CCameraPropertiesDlg domain(engine, "Gate", 1);
    EXPECT_EQ(child<QLineEdit>(&domain, "domain")->text(), "gate.example.org");
    EXPECT_TRUE(child<QLineEdit>(&domain, "domain")->isEnabled());
    EXPECT_FALSE(child<IpAddressEdit>(&domain, "ipAddress")->isEnabled());
    EXPECT_EQ(child<IpAddressEdit>(&domain, "ipAddress")->text(), "0.0.0.0");
    EXPECT_EQ(child<QLineEdit>(&domain, "name")->text(), "Gate");
    EXPECT_EQ(child<QLineEdit>(&domain, "login")->text(), "a");
    EXPECT_EQ(child<QLineEdit>(&domain, "password")->text(), "b");
}

TEST_F(CameraDialogsTest, LoginChangeKeepsTheWorkerAndAPortChangeReconnects)
{
    makeFolder({{"Door", 1, "101"}, {"Hall", 1, "101"}});
    engine.connectAllCameras();
    ASSERT_TRUE(waitFor([&] { return slotRunning(engine, 0); }));

    CCameraPropertiesDlg login(engine, "Door", 0);
    child<QLineEdit>(&login, "login")->setText("admin");
    child<CSkinButton>(&login, "update")->click();
    EXPECT_EQ(login.result(), 1);
    EXPECT_EQ(stored().login[0], "admin");
    // No restart: the connection runs on; the table holds the new login
    // for the next connection.
    EXPECT_TRUE(slotRunning(engine, 0));
    EXPECT_EQ(engine.snapshot()->camera(0)->entry.login, "admin");

    CCameraPropertiesDlg port(engine, "Door", 0);
    child<QLineEdit>(&port, "port")->setText("2");
    child<CSkinButton>(&port, "update")->click();
    EXPECT_EQ(stored().address[0], "127.0.0.1:2");
    // Reloaded, and the slot reconnects with its new row.
    EXPECT_EQ(engine.snapshot()->camera(0)->entry.address, "127.0.0.1:2");
    // The dialog showed the table's login, so that is what went back.
    EXPECT_EQ(engine.snapshot()->camera(0)->entry.login, stored().login[0]);
    EXPECT_TRUE(waitFor([&] { return slotRunning(engine, 0); }));
}

TEST_F(CameraDialogsTest, FlipsActAtOnceUpdateStoresThemCloseResetsThem)
{
    makeFolder({{"Door", 1, "101"}});
    {
        CCameraPropertiesDlg dlg(engine, "Door", 0);
        child<QCheckBox>(&dlg, "flipHorizontal")->click();
        EXPECT_EQ(flips(), (SlotFlips{true, false}));
        child<CSkinButton>(&dlg, "update")->click();
    }
    EXPECT_EQ(stored().flipHorizontal[0], 1);
    EXPECT_EQ(stored().flipVertical[0], 0);

    CCameraPropertiesDlg dlg(engine, "Door", 0);
    EXPECT_TRUE(child<QCheckBox>(&dlg, "flipHorizontal")->isChecked());
    child<QCheckBox>(&dlg, "flipVertical")->click();
    EXPECT_EQ(flips(), (SlotFlips{true, true}));
    child<CSkinButton>(&dlg, "close")->click();
    EXPECT_EQ(dlg.result(), 2);
    EXPECT_EQ(flips(), (SlotFlips{false, false}));
    // The database keeps what Update stored.
    EXPECT_EQ(stored().flipHorizontal[0], 1);
    EXPECT_EQ(stored().flipVertical[0], 0);
}

TEST_F(CameraDialogsTest, RenameGetsItsFolderAndUnsafeOrTakenNamesAreRefused)
{
    makeFolder({{"Door", 1, "101"}, {"Hall", 1, "101"}});
    CCameraPropertiesDlg dlg(engine, "Door", 0);
    for (const char* bad : {"../x", "."}) {
        child<QLineEdit>(&dlg, "name")->setText(QString::fromLatin1(bad));
        child<CSkinButton>(&dlg, "update")->click();
        EXPECT_FALSE(child<QLabel>(&dlg, "nameProblem")->isHidden()) << bad;
    }
    child<QLineEdit>(&dlg, "name")->setText("Hall");
    child<CSkinButton>(&dlg, "update")->click();
    EXPECT_EQ(child<QLineEdit>(&dlg, "name")->text(), nameNotUniqueText);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Door", "Hall"}));

    child<QLineEdit>(&dlg, "name")->setText("Front Door");
    child<CSkinButton>(&dlg, "update")->click();
    EXPECT_EQ(dlg.result(), 1);
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Front Door", "Hall"}));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "video" / "Front Door"));
    // The list offers the new name, and removing it removes the row.
    EXPECT_EQ(engine.snapshot()->camera(0)->name, "Front Door");
    CCameraListDlg list(engine, nullptr);
    ASSERT_EQ(list.list()->count(), 2);
    EXPECT_EQ(list.list()->item(0)->text(), "Front Door");
    child<CSkinButton>(&list, "removeCamera")->click();
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Hall"}));
}

TEST_F(CameraDialogsTest, RemoveUntilNoCameraIsLeft)
{
    makeFolder({{"Door", 1, "101"}, {"Hall", 1, "101"}, {"Yard", 1, "101"}});
    openMain();
    engine.connectAllCameras();

    whenOpen<CCameraListDlg>([this](CCameraListDlg* list) {
        QListWidget* rows = child<QListWidget>(list, "cameraList");
        ASSERT_EQ(rows->count(), 3);
        EXPECT_EQ(rows->currentRow(), 0);
        rows->setCurrentRow(1);
        child<CSkinButton>(list, "removeCamera")->click();
        EXPECT_EQ(rows->count(), 2);
        EXPECT_EQ(rows->item(1)->text(), "Yard");
        ASSERT_EQ(engine.snapshot()->cameraCount(), 2);
        EXPECT_EQ(engine.snapshot()->camera(1)->name, "Yard");
        // Yard moved to slot 1 and reconnects there; slot 2 has no camera.
        EXPECT_TRUE(waitFor([&] { return slotRunning(engine, 1); }));
        EXPECT_TRUE(waitFor([&] { return slotIdle(engine, 2); }));
        GridShape two;
        ASSERT_TRUE(computeGridShape(2, two));
        EXPECT_EQ(main->grid().builtShape(), two);

        child<CSkinButton>(list, "removeCamera")->click();
        child<CSkinButton>(list, "removeCamera")->click();
        EXPECT_EQ(rows->count(), 0);
        child<CSkinButton>(list, "removeCamera")->click();  // nothing left: nothing happens
        child<CSkinButton>(list, "close")->click();
    });
    main->findChild<CSkinButton*>("cameras")->click();

    EXPECT_EQ(engine.snapshot()->cameraCount(), 0);
    EXPECT_EQ(stored().count, 0);
    EXPECT_TRUE(waitFor([&] {
        for (int slot = 0; slot < 3; ++slot)
            if (!slotIdle(engine, slot)) return false;
        return true;
    }));
    for (int slot = 0; slot < 3; ++slot) {
        const QImage pane = engine.paneImage(slot);
        ASSERT_FALSE(pane.isNull());
        EXPECT_EQ(pane.pixel(pane.width() / 2, pane.height() / 2), qRgb(0, 0, 0)) << slot;
    }
}

TEST_F(CameraDialogsTest, ListOpensThePropertiesOfTheSelectedRowAndEvensTheLayout)
{
    makeFolder({{"Door", 1, "101"}, {"Hall", 1, "101"}, {"Yard", 1, "101"}});
    openMain();
    main->show();
    main->grid().magnifyOrRestore(0);
    ASSERT_TRUE(main->findChild<QWidget*>("pane1")->isHidden());

    CCameraListDlg list(engine, main.get(), main.get());
    EXPECT_EQ(list.list()->count(), 3);
    list.list()->setCurrentRow(2);
    whenOpen<CCameraPropertiesDlg>([](CCameraPropertiesDlg* properties) {
        EXPECT_EQ(child<QLineEdit>(properties, "name")->text(), "Yard");
        child<CSkinButton>(properties, "close")->click();
    });
    child<CSkinButton>(&list, "properties")->click();
    EXPECT_EQ(list.list()->currentRow(), 2);

    child<CSkinButton>(&list, "adjustLayout")->click();
    EXPECT_FALSE(main->findChild<QWidget*>("pane1")->isHidden());
}

}  // namespace

int main(int argc, char** argv)
{
    // Test discovery runs the binary outside ctest's environment too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
