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
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "CActionButton.h"
#include "CAddCameraDlg.h"
#include "CCameraListDlg.h"
#include "CCameraPropertiesDlg.h"
#include "CCameraViews.h"
#include "CMonitorDlg.h"
#include "CSelectCameraType.h"
#include "CSkinButton.h"
#include "CameraDatabase.h"
#include "CameraFieldLimits.h"
#include "CameraGrid.h"
#include "Engine.h"
#include "IpAddressEdit.h"
#include "RtspSettingsCheck.h"
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
    ASSERT_EQ(buttons.size(), 33);
    // Rows of five, 118 by 41 apart.
    auto* sixth = child<CActionButton>(&chooser, "model5");
    EXPECT_EQ(sixth->text(), "AXIS 2420");
    EXPECT_EQ(sixth->pos(), QPoint(0, 41));
    EXPECT_EQ(child<CActionButton>(&chooser, "model31")->pos(), QPoint(118, 6 * 41));
    // RTSP after the table's models.
    EXPECT_EQ(child<CActionButton>(&chooser, "model32")->text(), "RTSP (H.264/H.265)");
    auto* rtsp = child<CActionButton>(&chooser, "model32");
    EXPECT_EQ(rtsp->pos(), QPoint(2 * 118, 6 * 41));
    // Its name is longer than a button: it takes the free cell beside it.
    EXPECT_EQ(rtsp->width(), sixth->width() + 118);
    EXPECT_LT(rtsp->fontMetrics().horizontalAdvance(rtsp->text()), rtsp->width());
    // Every row is visible without scrolling.
    EXPECT_LE(child<CActionButton>(&chooser, "model32")->geometry().bottom() + 56, chooser.height());

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

// Whether the dialog shows the RTSP fields (all of them, or none).
bool rtspFieldsShown(QWidget* dialog)
{
    int shown = 0;
    for (const char* name : {"rtspMainPath", "rtspSubPath", "rtspTcp", "rtspUdp"})
        shown += child<QWidget>(dialog, name)->isHidden() ? 0 : 1;
    EXPECT_TRUE(shown == 0 || shown == 4) << shown;
    return shown == 4;
}

// Fills the RTSP fields and the address of an add or properties dialog.
void enterRtsp(QWidget* dialog, const QString& main, const QString& sub, bool udp)
{
    child<QLineEdit>(dialog, "rtspMainPath")->setText(main);
    child<QLineEdit>(dialog, "rtspSubPath")->setText(sub);
    child<QRadioButton>(dialog, udp ? "rtspUdp" : "rtspTcp")->setChecked(true);
}

TEST_F(CameraDialogsTest, RtspCameraFromTheChooser)
{
    makeFolder({});
    CSelectCameraType chooser(engine, nullptr);
    whenOpen<CAddCameraDlg>([](CAddCameraDlg* add) {
        EXPECT_EQ(child<QComboBox>(add, "cameraType")->currentText(), "RTSP (H.264/H.265)");
        EXPECT_EQ(add->typeText(), "2000");
        EXPECT_TRUE(rtspFieldsShown(add));
        EXPECT_EQ(child<QLineEdit>(add, "port")->text(), "554");
        EXPECT_TRUE(child<QRadioButton>(add, "rtspTcp")->isChecked());
        EXPECT_EQ(child<QLineEdit>(add, "rtspMainPath")->placeholderText(), "/Streaming/Channels/101");
        EXPECT_TRUE(child<QLineEdit>(add, "rtspSubPath")->placeholderText().startsWith("/Streaming/Channels/102"));
        // The buttons moved below the added rows, inside the dialog.
        const QRect transport = child<QWidget>(add, "rtspUdp")->geometry();
        const QRect button = child<CSkinButton>(add, "addCamera")->geometry();
        EXPECT_GT(button.top(), transport.bottom());
        EXPECT_LE(button.bottom(), add->height());

        setIp(add, {192, 168, 1, 30});
        child<QLineEdit>(add, "login")->setText("ad,min");
        child<QLineEdit>(add, "password")->setText("p'w\"");
        enterRtsp(add, " /cam/realmonitor?channel=1&subtype=0 ", "/Streaming/Channels/102", true);
        child<CSkinButton>(add, "addCamera")->click();
        EXPECT_EQ(add->result(), 1);
    });
    child<CActionButton>(&chooser, "model32")->click();

    const CameraTable table = stored();
    ASSERT_EQ(table.count, 1);
    EXPECT_EQ(table.type[0], 2000);
    EXPECT_EQ(table.address[0], "192.168.1.30:554");
    EXPECT_EQ(table.login[0], "ad,min");
    EXPECT_EQ(table.password[0], "p'w\"");
    // Stored without the blanks around it.
    const RtspSettings expected{"/cam/realmonitor?channel=1&subtype=0", "/Streaming/Channels/102", true};
    EXPECT_EQ(table.rtsp[0], expected);
    EXPECT_EQ(engine.snapshot()->camera(0)->entry.rtsp, expected);
}

TEST_F(CameraDialogsTest, RtspFieldsComeAndGoWithTheModel)
{
    makeFolder({});
    CAddCameraDlg add(engine, nullptr);
    auto* model = child<QComboBox>(&add, "cameraType");
    auto* port = child<QLineEdit>(&add, "port");
    ASSERT_EQ(model->count(), 33);
    EXPECT_FALSE(rtspFieldsShown(&add));
    const QSize plain = add.size();
    const QPoint plainButton = child<CSkinButton>(&add, "addCamera")->pos();

    model->setCurrentIndex(32);
    EXPECT_TRUE(rtspFieldsShown(&add));
    EXPECT_EQ(add.typeText(), "2000");
    EXPECT_EQ(port->text(), "554");
    EXPECT_GT(add.height(), plain.height());
    port->setText("10554");  // RTSP servers listen above 9999 too
    EXPECT_EQ(port->text(), "10554");
    port->setText("554");

    model->setCurrentIndex(14);
    EXPECT_FALSE(rtspFieldsShown(&add));
    EXPECT_EQ(add.typeText(), "101");
    EXPECT_EQ(port->text(), "8080");
    EXPECT_EQ(add.size(), plain);
    EXPECT_EQ(child<CSkinButton>(&add, "addCamera")->pos(), plainButton);

    // A port the user typed stays when the model changes.
    port->setText("81");
    model->setCurrentIndex(32);
    EXPECT_EQ(port->text(), "81");
    // Added as a stream model, the camera has no RTSP settings.
    model->setCurrentIndex(14);
    enterRtsp(&add, "/ignored", "", true);
    setIp(&add, {10, 0, 0, 5});
    child<CSkinButton>(&add, "addCamera")->click();
    EXPECT_EQ(add.result(), 1);
    EXPECT_EQ(stored().type[0], 101);
    EXPECT_EQ(stored().rtsp[0], std::nullopt);
}

TEST_F(CameraDialogsTest, AddRefusesBadRtspSettingsSayingWhy)
{
    makeFolder({{"Door", 1, "101"}});
    struct Case {
        const char* what;
        QString port, main, sub;
        const char* problem;
    };
    const Case cases[] = {
        {"no main path", "554", "", "/sub", rtspMainPathMissingText},
        {"only blanks", "554", "   ", "", rtspMainPathMissingText},
        {"main path without slash", "554", "Streaming/Channels/101", "", rtspMainPathSlashText},
        {"space inside", "554", "/Streaming/Channels 101", "", rtspMainPathCharactersText},
        {"control character", "554", "/a\tb", "", rtspMainPathCharactersText},
        {"sub path without slash", "554", "/main", "sub", rtspSubPathSlashText},
        {"sub path with a space", "554", "/main", "/s ub", rtspSubPathCharactersText},
        {"empty port", "", "/main", "", portNumberText},
        {"port 0", "0", "/main", "", portNumberText},
        {"port too big", "65536", "/main", "", portNumberText},
        {"port not a number", "55a", "/main", "", portNumberText},
    };
    CAddCameraDlg add(engine, nullptr);
    add.show();
    child<QComboBox>(&add, "cameraType")->setCurrentIndex(32);
    child<QLineEdit>(&add, "name")->setText("Gate");
    setIp(&add, {10, 0, 0, 7});
    auto* problem = child<QLabel>(&add, "rtspProblem");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        child<QLineEdit>(&add, "port")->setText(c.port);
        enterRtsp(&add, c.main, c.sub, false);
        child<CSkinButton>(&add, "addCamera")->click();
        EXPECT_TRUE(add.isVisible());
        EXPECT_TRUE(problem->isVisible());
        EXPECT_EQ(problem->text(), QString::fromLatin1(c.problem));
        EXPECT_FALSE(child<QLabel>(&add, "nameProblem")->isVisible());
        EXPECT_EQ(stored().count, 1);
    }
    // Typing in a path takes the reason away.
    QTest::keyClicks(child<QLineEdit>(&add, "rtspSubPath"), "x");
    EXPECT_FALSE(problem->isVisible());
    // A name problem is told alone, in the same place.
    child<QLineEdit>(&add, "name")->setText("a/b");
    child<CSkinButton>(&add, "addCamera")->click();
    EXPECT_TRUE(child<QLabel>(&add, "nameProblem")->isVisible());
    EXPECT_FALSE(problem->isVisible());
    EXPECT_EQ(child<QLabel>(&add, "nameProblem")->geometry(), problem->geometry());

    child<QLineEdit>(&add, "name")->setText("Gate");
    child<QLineEdit>(&add, "port")->setText("65535");
    enterRtsp(&add, "/main", "", false);
    child<CSkinButton>(&add, "addCamera")->click();
    EXPECT_EQ(add.result(), 1);
    EXPECT_FALSE(problem->isVisible());
    EXPECT_EQ(stored().address[1], "10.0.0.7:65535");
}

// A colon ends the login in the stream request: such a login could never
// be accepted, so both dialogs refuse it and say why.
TEST_F(CameraDialogsTest, RtspLoginWithAColonIsRefusedInBothDialogs)
{
    makeFolder({{"Door", 1, "101"}});
    const RtspSettings settings{"/main", "", false};
    ASSERT_TRUE(CameraDatabase(folder.path()).insertCamera("Gate", "10.0.0.7", "554", "admin", "pw", "2000", settings));
    engine.loadCameraTable();
    const QString colonLogins[] = {"ad:min", ":", "admin:", ":admin"};
    {
        CAddCameraDlg add(engine, nullptr);
        add.show();
        child<QComboBox>(&add, "cameraType")->setCurrentIndex(32);
        child<QLineEdit>(&add, "name")->setText("Yard");
        setIp(&add, {10, 0, 0, 8});
        enterRtsp(&add, "/main", "", false);
        for (const QString& login : colonLogins) {
            SCOPED_TRACE(login.toStdString());
            child<QLineEdit>(&add, "login")->setText(login);
            child<CSkinButton>(&add, "addCamera")->click();
            EXPECT_TRUE(add.isVisible());
            EXPECT_TRUE(child<QLabel>(&add, "rtspProblem")->isVisible());
            EXPECT_EQ(child<QLabel>(&add, "rtspProblem")->text(), QString::fromLatin1(rtspLoginColonText));
            EXPECT_EQ(stored().count, 2);
        }
        // Other punctuation is the camera's business.
        child<QLineEdit>(&add, "login")->setText("ad@m,in;");
        child<CSkinButton>(&add, "addCamera")->click();
        EXPECT_EQ(add.result(), 1);
        ASSERT_EQ(stored().count, 3);
        EXPECT_EQ(stored().login[2], "ad@m,in;");
    }
    CCameraPropertiesDlg gate(engine, "Gate", 1);
    gate.show();
    for (const QString& login : colonLogins) {
        SCOPED_TRACE(login.toStdString());
        child<QLineEdit>(&gate, "login")->setText(login);
        child<CSkinButton>(&gate, "update")->click();
        EXPECT_TRUE(child<QLabel>(&gate, "rtspProblem")->isVisible());
        EXPECT_EQ(child<QLabel>(&gate, "rtspProblem")->text(), QString::fromLatin1(rtspLoginColonText));
        EXPECT_EQ(stored().login[1], "admin");
    }
    child<QLineEdit>(&gate, "login")->setText("operator");
    child<CSkinButton>(&gate, "update")->click();
    EXPECT_EQ(gate.result(), 1);
    EXPECT_EQ(stored().login[1], "operator");
}

// Every value is refused beyond its limit, naming its field and the
// limit; at their limits, all at once and made of quotes (doubled in the
// database's statements), they are stored whole.
TEST_F(CameraDialogsTest, OverlongValuesAreRefusedNamingTheFieldAndTheLimit)
{
    makeFolder({{"Door", 1, "101"}});
    CAddCameraDlg add(engine, nullptr);
    add.show();
    child<QComboBox>(&add, "cameraType")->setCurrentIndex(32);
    child<QLineEdit>(&add, "port")->setText("554");
    const struct {
        const char* edit;
        const char* field;
        size_t limit;
        const char* problemLine;
    } fields[] = {
        {"name", "camera name", cameraNameLimit, "nameProblem"},
        {"domain", "host", cameraHostLimit, "nameProblem"},
        {"login", "login", cameraLoginLimit, "nameProblem"},
        {"password", "password", cameraPasswordLimit, "nameProblem"},
        {"rtspMainPath", "main stream path", streamPathLimit, "rtspProblem"},
        {"rtspSubPath", "sub stream path", streamPathLimit, "rtspProblem"},
    };
    const auto atLimit = [](const char* edit, size_t limit) {
        std::string value(limit, '\'');
        if (std::string_view(edit).starts_with("rtsp")) value[0] = '/';
        return value;
    };
    for (const auto& f : fields) child<QLineEdit>(&add, f.edit)->setText(QString::fromStdString(atLimit(f.edit, f.limit)));
    for (const auto& f : fields) {
        SCOPED_TRACE(f.field);
        auto* edit = child<QLineEdit>(&add, f.edit);
        const QString fits = edit->text();
        // One byte over: a quote, or a letter outside ASCII in place of the last one.
        for (const QString& over : {fits + "'", fits.chopped(1) + QStringLiteral("\u00e4")}) {
            edit->setText(over);
            child<CSkinButton>(&add, "addCamera")->click();
            EXPECT_TRUE(add.isVisible());
            auto* line = child<QLabel>(&add, f.problemLine);
            EXPECT_TRUE(line->isVisible());
            EXPECT_EQ(line->text().toStdString(), tooLongText(f.field, f.limit));
            EXPECT_NE(line->text().indexOf(QString::number(f.limit)), -1);
            EXPECT_EQ(stored().count, 1);
        }
        edit->setText(fits);
    }
    child<CSkinButton>(&add, "addCamera")->click();
    EXPECT_EQ(add.result(), 1);
    const CameraTable table = stored();
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(storedNames()[1], atLimit("name", cameraNameLimit));
    EXPECT_EQ(table.address[1], atLimit("domain", cameraHostLimit) + ":554");
    EXPECT_EQ(table.login[1], atLimit("login", cameraLoginLimit));
    EXPECT_EQ(table.password[1], atLimit("password", cameraPasswordLimit));
    EXPECT_EQ(table.rtsp[1], (RtspSettings{atLimit("rtspMainPath", streamPathLimit),
                                           atLimit("rtspSubPath", streamPathLimit), false}));
}

// A change the camera database does not take (here a value holding a NUL,
// which it refuses) is told in the dialog, which stays open.
TEST_F(CameraDialogsTest, AChangeTheDatabaseRefusesIsTold)
{
    makeFolder({{"Door", 1, "101"}});
    const QString nul = QStringLiteral("ad") + QChar(0) + QStringLiteral("min");
    {
        CAddCameraDlg add(engine, nullptr);
        add.show();
        setIp(&add, {10, 0, 0, 8});
        child<QLineEdit>(&add, "login")->setText(nul);
        ASSERT_EQ(child<QLineEdit>(&add, "login")->text(), nul);
        child<CSkinButton>(&add, "addCamera")->click();
        EXPECT_TRUE(add.isVisible());
        EXPECT_TRUE(child<QLabel>(&add, "nameProblem")->isVisible());
        EXPECT_EQ(child<QLabel>(&add, "nameProblem")->text(), QString::fromLatin1(cameraNotStoredText));
        EXPECT_EQ(stored().count, 1);
        EXPECT_EQ(engine.snapshot()->cameraCount(), 1);
    }
    CCameraPropertiesDlg door(engine, "Door", 0);
    door.show();
    child<QLineEdit>(&door, "name")->setText("Front door");
    child<QLineEdit>(&door, "password")->setText(nul);
    child<CSkinButton>(&door, "update")->click();
    EXPECT_TRUE(door.isVisible());
    EXPECT_EQ(door.result(), 0);
    EXPECT_TRUE(child<QLabel>(&door, "nameProblem")->isVisible());
    EXPECT_EQ(child<QLabel>(&door, "nameProblem")->text(), QString::fromLatin1(cameraNotStoredText));
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Door"});
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "video" / "Front door"));
}

TEST_F(CameraDialogsTest, PropertiesEditTheRtspSettingsOfRtspCamerasOnly)
{
    makeFolder({{"Door", 1, "101"}});
    const RtspSettings first{"/Streaming/Channels/101", "/Streaming/Channels/102", true};
    ASSERT_TRUE(CameraDatabase(folder.path()).insertCamera("Gate", "10.0.0.7", "8554", "ad'min", "p,w", "2000", first));
    engine.loadCameraTable();

    {
        CCameraPropertiesDlg door(engine, "Door", 0);
        EXPECT_FALSE(rtspFieldsShown(&door));
        EXPECT_EQ(door.height(), 350);
    }
    {
        CCameraPropertiesDlg gate(engine, "Gate", 1);
        EXPECT_TRUE(rtspFieldsShown(&gate));
        EXPECT_GT(gate.height(), 350);
        EXPECT_EQ(child<QLineEdit>(&gate, "rtspMainPath")->text(), "/Streaming/Channels/101");
        EXPECT_EQ(child<QLineEdit>(&gate, "rtspSubPath")->text(), "/Streaming/Channels/102");
        EXPECT_TRUE(child<QRadioButton>(&gate, "rtspUdp")->isChecked());
        EXPECT_EQ(child<QLineEdit>(&gate, "port")->text(), "8554");
        EXPECT_EQ(child<QLineEdit>(&gate, "login")->text(), "ad'min");
        const QRect last = child<QWidget>(&gate, "rtspUdp")->geometry();
        EXPECT_GT(child<CSkinButton>(&gate, "update")->geometry().top(), last.bottom());
        EXPECT_GT(last.top(), child<QCheckBox>(&gate, "flipVertical")->geometry().bottom());

        // Refused with the reason; nothing stored.
        enterRtsp(&gate, "h264", "", false);
        child<CSkinButton>(&gate, "update")->click();
        EXPECT_EQ(child<QLabel>(&gate, "rtspProblem")->text(), rtspMainPathSlashText);
        EXPECT_EQ(stored().rtsp[1], first);

        child<QLineEdit>(&gate, "name")->setText("Gate, west");
        child<QLineEdit>(&gate, "port")->setText("10554");
        enterRtsp(&gate, "/h264/ch1/main/av_stream", "", false);
        child<CSkinButton>(&gate, "update")->click();
        EXPECT_EQ(gate.result(), 1);
    }
    const RtspSettings second{"/h264/ch1/main/av_stream", "", false};
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Door", "Gate, west"}));
    EXPECT_EQ(stored().rtsp[1], second);
    EXPECT_EQ(stored().address[1], "10.0.0.7:10554");
    EXPECT_EQ(stored().login[1], "ad'min");

    // Opened again, it shows what was stored.
    CCameraPropertiesDlg again(engine, "Gate, west", 1);
    EXPECT_EQ(child<QLineEdit>(&again, "rtspMainPath")->text(), "/h264/ch1/main/av_stream");
    EXPECT_EQ(child<QLineEdit>(&again, "rtspSubPath")->text(), "");
    EXPECT_TRUE(child<QRadioButton>(&again, "rtspTcp")->isChecked());
}

TEST_F(CameraDialogsTest, MissingRtspSettingsAreEnteredInTheProperties)
{
    makeFolder({{"Door", 1, "101"}});
    CameraDatabase(folder.path()).insertCamera("Gate", "10.0.0.7", "554", "", "", "2000");
    engine.loadCameraTable();
    ASSERT_EQ(engine.snapshot()->camera(1)->problem, "RTSP settings are missing");

    CCameraPropertiesDlg gate(engine, "Gate", 1);
    EXPECT_TRUE(rtspFieldsShown(&gate));
    EXPECT_EQ(child<QLineEdit>(&gate, "rtspMainPath")->text(), "");
    EXPECT_TRUE(child<QRadioButton>(&gate, "rtspTcp")->isChecked());
    enterRtsp(&gate, "/live", "", false);
    child<CSkinButton>(&gate, "update")->click();
    EXPECT_EQ(gate.result(), 1);
    EXPECT_EQ(stored().rtsp[1], (RtspSettings{"/live", "", false}));
    EXPECT_EQ(engine.snapshot()->camera(1)->problem, "");
}

// A row that cannot be served says so over its pane at once, and in one
// message box; the window and the other cameras carry on.
TEST_F(CameraDialogsTest, UnusableRowsAreOfflineOverTheirPanes)
{
    makeFolder({{"Door", 1, "101"}, {"Odd", 1, "4242"}, {"Gate", 554, "2000"}});
    openMain();
    main->grid().setOfflineAfter(10 * 60 * 1000);  // silence alone would take ten minutes
    engine.connectAllCameras();
    auto paneText = [&](int pane) { return main->findChild<CCameraViews*>(QStringLiteral("pane%1").arg(pane))->offlineText(); };
    ASSERT_TRUE(waitFor([&] { return !paneText(1).isEmpty() && !paneText(2).isEmpty(); }, 3000));
    EXPECT_EQ(paneText(1), "Odd\noffline: unknown camera model 4242");
    EXPECT_EQ(paneText(2), "Gate\noffline: RTSP settings are missing");
    EXPECT_TRUE(paneText(0).isEmpty());
    EXPECT_TRUE(slotRunning(engine, 0));

    QStringList boxes;
    for (auto* box : main->findChildren<QMessageBox*>("messageBox")) boxes << box->text();
    boxes.sort();
    EXPECT_EQ(boxes, (QStringList{"Camera Gate: RTSP settings are missing", "Camera Odd: unknown camera model 4242"}));

    // Switched off, the pane is black on purpose and says nothing.
    SettingsValues settings = engine.snapshot()->settings;
    settings.monitorEnabled[1] = 0;
    engine.changeSettings(settings);
    EXPECT_TRUE(waitFor([&] { return paneText(1).isEmpty(); }, 3000));
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
