#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "AppState.h"
#include "CameraDatabase.h"
#include "CameraFieldLimits.h"
#include "DebugLog.h"
#include "OdbcDriver.h"
#include "TextToInt.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::RecordingNotifier;
using cx::test::TempFolder;

namespace {

// Loads the cameras and puts them in place, as the engine does.
CameraTable loadInto(CameraDatabase& db, AppState& state)
{
    LoadedCameras loaded = db.loadCameras();
    EXPECT_EQ(loaded.names.size(), static_cast<size_t>(loaded.table.count));
    state.setCameraNames(loaded.names);
    state.replaceCameraTable(loaded.table, loaded.table.count);
    return loaded.table;
}

// Runs one statement on the database file through a connection of its own,
// as another tool editing the file would.
bool runSql(const CameraDatabase& db, const std::string& statement)
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT st = SQL_NULL_HSTMT;
    bool ok = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
              SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
              SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    std::string connect = db.driverConnectionString();
    ok = ok && SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                                              nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    const bool connected = ok;
    std::string text = statement;
    ok = ok && SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)) &&
         SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
    if (st != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

// The rows of the RTSP table as "name|main|sub|transport", by name, read
// through a connection of its own; nothing when the table is missing.
std::optional<std::vector<std::string>> rtspRows(const CameraDatabase& db)
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT st = SQL_NULL_HSTMT;
    std::optional<std::vector<std::string>> rows;
    bool ok = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
              SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
              SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    std::string connect = db.driverConnectionString();
    ok = ok && SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                                              nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    const bool connected = ok;
    std::string text = "SELECT name || '|' || mainPath || '|' || subPath || '|' || transport FROM rtspCameraCX "
                       "ORDER BY name";
    if (ok && SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)) &&
        SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
        rows.emplace();
        char value[4096];
        SQLLEN length = 0;
        while (SQL_SUCCEEDED(SQLFetch(st)) &&
               SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, value, sizeof value, &length)))
            rows->push_back(length == SQL_NULL_DATA ? "NULL" : std::string(value));
    }
    if (st != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
    return rows;
}

// The RTSP settings loaded for the row named `name`; nothing when it has none.
std::optional<RtspSettings> loadedRtsp(CameraDatabase& db, const std::string& name)
{
    const LoadedCameras loaded = db.loadCameras();
    for (size_t i = 0; i < loaded.names.size(); ++i)
        if (loaded.names[i] == name) return loaded.table.rtsp.at(i);
    ADD_FAILURE() << "no row " << name;
    return std::nullopt;
}

// A program folder with an empty camera table; debug lines are captured.
class CameraDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(folder.path() / "Database");
        CameraDatabase maker(folder.path());
        ASSERT_TRUE(maker.createSchema());
        previous = setDebugSink([this](std::string_view text) { debugText += text; });
    }
    void TearDown() override { setDebugSink(previous); }

    void addCamera(const std::string& name, const std::string& ip, const std::string& type = "101")
    {
        db.insertCamera(name, ip, "80", "user", "pass", type);
    }

    TempFolder folder;
    CameraDatabase db{folder.path()};
    AppState state;
    std::string debugText;
    DebugSink previous;
};

}  // namespace

TEST_F(CameraDatabaseTest, EmptyTable)
{
    EXPECT_EQ(db.countCameras(), 0);
    state.cameraTable.count = 3;  // a previous load
    const CameraTable copy = loadInto(db, state);
    EXPECT_EQ(copy.count, 0);
    EXPECT_EQ(state.cameraTable.count, 0);
    EXPECT_EQ(state.cameraNameOf(0), "Camera 1");
    EXPECT_TRUE(db.listNames().empty());
    EXPECT_NE(debugText.find("SQL_SUCCESS\n"), std::string::npos);
}

TEST_F(CameraDatabaseTest, InsertAndLoadEverything)
{
    db.insertCamera("Front door", "10.0.0.5", "8080", "admin", "secret", "108");
    db.insertCamera("Yard", "cam.local", "80", "", "", "200");
    db.updateCamera("Yard", "Back yard", "cam.local", "81", "u", "p", 1, 0);

    EXPECT_EQ(db.countCameras(), 2);
    EXPECT_EQ(db.countName("Back yard"), 1);
    EXPECT_EQ(db.countName("Yard"), 0);
    EXPECT_EQ(db.listNames(), (std::vector<std::string>{"Front door", "Back yard"}));

    const CameraTable t = loadInto(db, state);
    ASSERT_EQ(t.count, 2);
    EXPECT_EQ(state.loadedRows.load(), 2);
    EXPECT_EQ(state.cameraNameOf(0), "Front door");
    EXPECT_EQ(state.cameraNameOf(1), "Back yard");
    EXPECT_EQ(t.address[0], "10.0.0.5:8080");
    EXPECT_EQ(t.login[0], "admin");
    EXPECT_EQ(t.password[0], "secret");
    EXPECT_EQ(t.type[0], 108);
    EXPECT_EQ(t.flipHorizontal[0], 0);  // table default for inserted rows
    EXPECT_EQ(t.flipVertical[0], 0);
    EXPECT_EQ(t.address[1], "cam.local:81");
    EXPECT_EQ(t.type[1], 200);
    EXPECT_EQ(t.flipHorizontal[1], 1);

    db.deleteCamera("Front door");
    EXPECT_EQ(db.countCameras(), 1);
}

TEST_F(CameraDatabaseTest, LoadsStopAtSixteen)
{
    for (int i = 0; i < 20; ++i) addCamera("cam" + std::to_string(i), "10.0.0." + std::to_string(i));
    EXPECT_EQ(db.countCameras(), 20);
    const CameraTable t = loadInto(db, state);
    EXPECT_EQ(t.count, 16);
    EXPECT_EQ(state.loadedRows.load(), 16);
    EXPECT_EQ(state.cameraNameOf(15), "cam15");
    EXPECT_EQ(t.address[15], "10.0.0.15:80");
    // The list box shows the loaded rows only: its positions are slots.
    const std::vector<std::string> names = db.listNames();
    ASSERT_EQ(names.size(), 16u);
    EXPECT_EQ(names.back(), "cam15");
}

TEST_F(CameraDatabaseTest, RowWithoutAddressTakesNoSlot)
{
    addCamera("a", "10.0.0.1");
    addCamera("b", "");
    addCamera("c", "10.0.0.3", "abc");  // a type that is not a number reads as 0
    const CameraTable t = loadInto(db, state);
    ASSERT_EQ(t.count, 2);
    EXPECT_EQ(t.address[0], "10.0.0.1:80");
    EXPECT_EQ(t.address[1], "10.0.0.3:80");
    EXPECT_EQ(t.type[1], 0);
}

// Rows written by hand or by other tools: names or addresses missing (empty
// or NULL) and keys out of insertion order. Every loaded slot must carry
// its own row's name, and the list box's positions must be the slots, in
// two layouts of the file: with an index on name (the engine then reads a
// lone name column in name order) and with configID a plain column (rows
// then lie in insertion order, not key order).
TEST_F(CameraDatabaseTest, OddRowsTakeNoSlotAndNamesStayWithTheirRows)
{
    const struct {
        const char* what;
        std::vector<std::string> statements;
    } layouts[] = {
        {"index on name", {"CREATE INDEX byName ON configurationCX(name)"}},
        {"key not the row order",
         {"DROP TABLE configurationCX",
          "CREATE TABLE configurationCX (configID INTEGER, name TEXT, cameraIP TEXT, cameraport TEXT, login TEXT, "
          "password TEXT, horizontal TEXT DEFAULT '0', vertical TEXT DEFAULT '0', cameratype TEXT)"}},
    };
    const auto quoted = [](const std::string& v) { return "'" + v + "'"; };
    // Keys 1..24 with these odd ones; the others load, at most 16.
    const std::vector<int> loadedIds = {1, 3, 4, 6, 7, 8, 10, 12, 13, 15, 16, 17, 18, 19, 20, 21};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.what);
        for (const auto& statement : layout.statements) ASSERT_TRUE(runSql(db, statement)) << statement;
        for (int k = 0; k < 24; ++k) {
            const int id = k * 7 % 24 + 1;  // 1, 8, 15, 22, 5, ...: every key once, out of order
            const std::string n = std::to_string(id);
            std::string name = quoted("cam" + n);
            std::string ip = quoted("10.0." + n + ".1");
            if (id == 2) name = "''";
            if (id == 5) ip = "''";
            if (id == 9) name = "NULL";
            if (id == 11) ip = "NULL";
            if (id == 14) name = ip = "''";
            ASSERT_TRUE(runSql(db, "INSERT INTO configurationCX (configID, name, cameraIP, cameraport, login, "
                                   "password, horizontal, cameratype) VALUES (" +
                                       n + ", " + name + ", " + ip + ", '" + std::to_string(1000 + id) + "', 'l" +
                                       n + "', 'p" + n + "', '" + std::to_string(id % 2) + "', '" + n + "')"))
                << id;
        }
        EXPECT_EQ(db.countCameras(), 24);  // counts rows, odd ones too

        const CameraTable t = loadInto(db, state);
        ASSERT_EQ(t.count, 16);
        ASSERT_EQ(state.cameraCount(), 16);
        std::vector<std::string> expectedNames;
        for (size_t slot = 0; slot < loadedIds.size(); ++slot) {
            const std::string n = std::to_string(loadedIds[slot]);
            SCOPED_TRACE("slot " + std::to_string(slot) + ", key " + n);
            expectedNames.push_back("cam" + n);
            EXPECT_EQ(state.cameraNameOf(static_cast<int>(slot)), "cam" + n);
            const std::optional<CameraEntry> e = state.cameraEntry(static_cast<int>(slot));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->address, "10.0." + n + ".1:" + std::to_string(1000 + loadedIds[slot]));
            EXPECT_EQ(e->login, "l" + n);
            EXPECT_EQ(e->password, "p" + n);
            EXPECT_EQ(e->type, loadedIds[slot]);
            EXPECT_EQ(t.flipHorizontal[slot], loadedIds[slot] % 2);
        }
        EXPECT_EQ(db.listNames(), expectedNames);
    }
}

TEST_F(CameraDatabaseTest, QuotesStayInTheirRow)
{
    addCamera("plain", "10.0.0.1");
    const std::string tricky = "O'Brien's cam' OR name<>'";
    db.insertCamera(tricky, "10.0.0.2", "80", "it's", "p'w", "1");
    EXPECT_EQ(db.countName(tricky), 1);
    EXPECT_EQ(db.countCameras(), 2);

    db.updateCamera(tricky, "renamed'", "10.0.0.9", "81", "l", "p", 1, 1);
    EXPECT_EQ(db.listNames(), (std::vector<std::string>{"plain", "renamed'"}));

    db.deleteCamera("x' OR '1'='1");
    EXPECT_EQ(db.countCameras(), 2);
    db.deleteCamera("renamed'");
    EXPECT_EQ(db.listNames(), (std::vector<std::string>{"plain"}));
}

TEST_F(CameraDatabaseTest, NulInAValueNeverReachesTheStatement)
{
    addCamera("abc", "10.0.0.1");
    const std::string withNul("abc\0 and more", 14);
    db.deleteCamera(withNul);
    db.updateCamera(withNul, "renamed", "10.0.0.9", "81", "l", "p", 1, 1);
    db.insertCamera(withNul, "10.0.0.2", "80", "", "", "1");
    EXPECT_EQ(db.countName(withNul), 0);
    EXPECT_EQ(db.listNames(), std::vector<std::string>{"abc"});
    EXPECT_NE(debugText.find("NUL"), std::string::npos);
}

TEST_F(CameraDatabaseTest, UpdateOfMissingNameChangesNothing)
{
    addCamera("a", "10.0.0.1");
    db.updateCamera("missing", "b", "10.0.0.9", "81", "l", "p", 1, 1);
    EXPECT_EQ(db.listNames(), (std::vector<std::string>{"a"}));
    EXPECT_NE(debugText.find("SQL_NO_DATA\n"), std::string::npos);
}

TEST_F(CameraDatabaseTest, OverlongStatementIsNeverExecuted)
{
    addCamera("a", "10.0.0.1");
    const std::string longName(1100, 'x');
    db.insertCamera(longName, "10.0.0.2", "80", "", "", "1");
    EXPECT_EQ(db.countCameras(), 1);
    // A name just short enough fits and works.
    const std::string fits(800, 'y');
    db.insertCamera(fits, "10.0.0.3", "80", "", "", "1");
    EXPECT_EQ(db.countName(fits), 1);
    // Quotes count twice once doubled: this one would overflow only then.
    const std::string quotes(520, '\'');
    db.deleteCamera(quotes);
    EXPECT_EQ(db.countCameras(), 2);
    EXPECT_NE(debugText.find("statement not executed"), std::string::npos);
}

// The dialogs' length limits are what the statements can hold: every value
// at its limit and made of quotes (each doubled in the statement) is
// stored, renamed and read back whole.
TEST_F(CameraDatabaseTest, ValuesAtTheirLimitsAreStoredWhole)
{
    const auto full = [](size_t limit, char c = '\'') { return std::string(limit, c); };
    const std::string name = full(cameraNameLimit);
    const std::string renamed = full(cameraNameLimit - 1) + "r";
    const std::string host = full(cameraHostLimit);
    const std::string port = full(cameraPortLimit, '9');
    const std::string login = full(cameraLoginLimit);
    const std::string password = full(cameraPasswordLimit);
    const RtspSettings rtsp{full(streamPathLimit), full(streamPathLimit), true};
    const RtspSettings changed{full(streamPathLimit, '/'), full(streamPathLimit - 1) + "x", false};

    ASSERT_TRUE(db.insertCamera(name, host, port, login, password, "2000", rtsp));
    LoadedCameras loaded = db.loadCameras();
    ASSERT_EQ(loaded.names, std::vector<std::string>{name});
    EXPECT_EQ(loaded.table.address[0], host + ":" + port);
    EXPECT_EQ(loaded.table.login[0], login);
    EXPECT_EQ(loaded.table.password[0], password);
    EXPECT_EQ(loaded.table.rtsp[0], rtsp);

    // A rename names the row twice and moves its settings: the longest statements.
    ASSERT_TRUE(db.updateCamera(name, renamed, host, port, login, password, -1, -1, changed));
    ASSERT_TRUE(db.updateCamera(renamed, renamed, host, port, login, password, 1, 1, rtsp));
    ASSERT_TRUE(db.updateCamera(renamed, name, host, port, login, password, 1, 1));
    loaded = db.loadCameras();
    ASSERT_EQ(loaded.names, std::vector<std::string>{name});
    EXPECT_EQ(loaded.table.address[0], host + ":" + port);
    EXPECT_EQ(loaded.table.rtsp[0], rtsp);
    EXPECT_EQ(db.countName(name), 1);
    EXPECT_TRUE(db.deleteCamera(name));
    EXPECT_EQ(debugText.find("statement not executed"), std::string::npos);
}

// Settings of any characters come back as stored, each with its own row,
// whatever the row order; rows of other cameras have none.
TEST_F(CameraDatabaseTest, RtspSettingsComeBackWithTheirRows)
{
    const struct {
        std::string name, login, password;
        RtspSettings rtsp;
    } cameras[] = {
        {"Gate", "admin", "secret", {"/Streaming/Channels/101", "/Streaming/Channels/102", false}},
        {"O'Neil, \"Yard\"", "it's", "p,w;--'", {"/cam/realmonitor?channel=1&subtype=0", "", true}},
        {"Ünïcode カメラ", "", "", {"/live/%E2%9C%93/'quoted'\\back", "/x,y/z' OR '1'='1", false}},
        {"Spaces", "a b", " c ", {"/", "/;DROP TABLE configurationCX;--", true}},
    };
    addCamera("Plain", "10.0.0.1");
    for (const auto& c : cameras)
        ASSERT_TRUE(db.insertCamera(c.name, "10.0.0.2", "554", c.login, c.password, "2000", c.rtsp)) << c.name;
    addCamera("Plain 2", "10.0.0.3");

    const LoadedCameras loaded = db.loadCameras();
    ASSERT_EQ(loaded.table.count, 6);
    EXPECT_EQ(loaded.table.rtsp[0], std::nullopt);
    EXPECT_EQ(loaded.table.rtsp[5], std::nullopt);
    for (size_t k = 0; k < std::size(cameras); ++k) {
        SCOPED_TRACE(cameras[k].name);
        const size_t slot = k + 1;
        EXPECT_EQ(loaded.names[slot], cameras[k].name);
        EXPECT_EQ(loaded.table.type[slot], 2000);
        EXPECT_EQ(loaded.table.address[slot], "10.0.0.2:554");
        EXPECT_EQ(loaded.table.login[slot], cameras[k].login);
        EXPECT_EQ(loaded.table.password[slot], cameras[k].password);
        EXPECT_EQ(loaded.table.rtsp[slot], cameras[k].rtsp);
        // The entry the connection reads carries them too.
        const std::optional<CameraEntry> e = loaded.table.entry(static_cast<int>(slot));
        ASSERT_TRUE(e);
        EXPECT_EQ(e->rtsp, cameras[k].rtsp);
    }
    // The camera table's own columns are as a row of any model.
    EXPECT_EQ(db.countCameras(), 6);
    EXPECT_EQ(rtspRows(db)->size(), std::size(cameras));
}

TEST_F(CameraDatabaseTest, RtspSettingsFollowRenamesAndGoWithTheirRow)
{
    const RtspSettings first{"/Streaming/Channels/101", "/Streaming/Channels/102", false};
    const RtspSettings second{"/h264/ch1/main", "", true};
    ASSERT_TRUE(db.insertCamera("Gate", "10.0.0.7", "554", "a", "b", "2000", first));
    addCamera("Door", "10.0.0.8");

    // A rename without new settings takes the stored ones along.
    ASSERT_TRUE(db.updateCamera("Gate", "Front gate", "10.0.0.7", "10554", "a", "b", 1, 0));
    EXPECT_EQ(loadedRtsp(db, "Front gate"), first);
    EXPECT_EQ(rtspRows(db), (std::vector<std::string>{"Front gate|/Streaming/Channels/101|/Streaming/Channels/102|tcp"}));

    // New settings under the same name replace them.
    ASSERT_TRUE(db.updateCamera("Front gate", "Front gate", "10.0.0.7", "554", "a", "b", 0, 0, second));
    EXPECT_EQ(loadedRtsp(db, "Front gate"), second);

    // A rename with new settings: only the new name holds them.
    ASSERT_TRUE(db.updateCamera("Front gate", "Gate", "10.0.0.7", "554", "a", "b", 0, 0, first));
    EXPECT_EQ(rtspRows(db), (std::vector<std::string>{"Gate|/Streaming/Channels/101|/Streaming/Channels/102|tcp"}));

    // Settings left behind under a name (by a crash, or another tool) never
    // reach a camera that takes that name later.
    ASSERT_TRUE(runSql(db, "INSERT INTO rtspCameraCX VALUES ('Hall', '/stale', '', 'udp')"));
    ASSERT_TRUE(db.updateCamera("Door", "Hall", "10.0.0.8", "80", "", "", 0, 0));
    EXPECT_EQ(loadedRtsp(db, "Hall"), std::nullopt);
    ASSERT_TRUE(runSql(db, "INSERT INTO rtspCameraCX VALUES ('Yard', '/stale', '', 'udp')"));
    ASSERT_TRUE(db.insertCamera("Yard", "10.0.0.9", "554", "", "", "2000", second));
    EXPECT_EQ(loadedRtsp(db, "Yard"), second);

    // Removing a camera removes its settings, and nobody else's.
    ASSERT_TRUE(db.deleteCamera("Gate"));
    EXPECT_EQ(rtspRows(db), (std::vector<std::string>{"Yard|/h264/ch1/main||udp"}));
    EXPECT_EQ(db.listNames(), (std::vector<std::string>{"Hall", "Yard"}));
    EXPECT_FALSE(db.deleteCamera("Gate"));  // nothing left to remove
}

// The row and its settings change together: when one statement cannot be
// run, the other one is undone.
TEST_F(CameraDatabaseTest, RowAndSettingsChangeTogetherOrNotAtAll)
{
    const RtspSettings kept{"/main", "/sub", false};
    ASSERT_TRUE(db.insertCamera("Gate", "10.0.0.7", "554", "a", "b", "2000", kept));
    const std::string tooLong(1000, 'x');  // fits a settings row, not the camera row's statement

    EXPECT_FALSE(db.insertCamera("Yard", "10.0.0.8", "554", tooLong, "", "2000", RtspSettings{"/y", "", true}));
    EXPECT_FALSE(db.updateCamera("Gate", "Gate 2", "10.0.0.7", "554", tooLong, "", 0, 0, RtspSettings{"/new", "", true}));
    EXPECT_FALSE(db.updateCamera("Missing", "Gate 3", "10.0.0.7", "554", "", "", 0, 0, RtspSettings{"/new", "", true}));
    EXPECT_FALSE(db.updateCamera("Gate", "Gate 4", "10.0.0.7", "554", "a", "b", 0, 0,
                                 RtspSettings{std::string("/a\0b", 4), "", false}));

    EXPECT_EQ(db.listNames(), std::vector<std::string>{"Gate"});
    EXPECT_EQ(rtspRows(db), std::vector<std::string>{"Gate|/main|/sub|tcp"});
    EXPECT_EQ(loadedRtsp(db, "Gate"), kept);
    // The connection works on in its usual mode afterwards.
    addCamera("Door", "10.0.0.9");
    EXPECT_EQ(db.countCameras(), 2);
}

// A database of an older version has no RTSP table: it loads as before,
// and the first command that needs the table makes it.
TEST_F(CameraDatabaseTest, OlderDatabaseWithoutTheRtspTable)
{
    const RtspSettings settings{"/Streaming/Channels/101", "", false};
    const struct {
        const char* what;
        std::function<bool()> command;
        std::vector<std::string> namesAfter;
        std::vector<std::string> settingsAfter;
    } cases[] = {
        {"insert", [&] { return db.insertCamera("Gate", "10.0.0.7", "554", "", "", "2000", settings); },
         {"Door", "Rtsp", "Gate"}, {"Gate|/Streaming/Channels/101||tcp"}},
        {"rename", [&] { return db.updateCamera("Door", "Front", "10.0.0.1", "80", "", "", 0, 0); },
         {"Front", "Rtsp"}, {}},
        {"settings", [&] { return db.updateCamera("Rtsp", "Rtsp", "10.0.0.2", "554", "", "", 0, 0, settings); },
         {"Door", "Rtsp"}, {"Rtsp|/Streaming/Channels/101||tcp"}},
        {"delete", [&] { return db.deleteCamera("Door"); }, {"Rtsp"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The older version's database: its one table and its rows, one of
        // them an RTSP row.
        ASSERT_TRUE(runSql(db, "DROP TABLE IF EXISTS rtspCameraCX"));
        ASSERT_TRUE(runSql(db, "DROP TABLE configurationCX"));
        ASSERT_TRUE(runSql(db, "CREATE TABLE configurationCX (configID INTEGER PRIMARY KEY, name TEXT, cameraIP TEXT, "
                               "cameraport TEXT, login TEXT, password TEXT, horizontal TEXT DEFAULT '0', "
                               "vertical TEXT DEFAULT '0', cameratype TEXT)"));
        ASSERT_TRUE(runSql(db, "INSERT INTO configurationCX (name, cameraIP, cameraport, login, password, cameratype) "
                               "VALUES ('Door', '10.0.0.1', '80', '', '', '101'), ('Rtsp', '10.0.0.2', '554', '', '', "
                               "'2000')"));
        ASSERT_FALSE(rtspRows(db));

        const LoadedCameras before = db.loadCameras();
        ASSERT_EQ(before.table.count, 2);
        EXPECT_EQ(before.table.rtsp, (std::vector<std::optional<RtspSettings>>{std::nullopt, std::nullopt}));
        EXPECT_EQ(before.table.address[1], "10.0.0.2:554");

        EXPECT_TRUE(c.command());
        EXPECT_EQ(db.listNames(), c.namesAfter);
        EXPECT_EQ(rtspRows(db), c.settingsAfter);  // made on first use
    }
}

TEST(CameraDatabase, MissingDatabaseGivesNeutralResults)
{
    TempFolder folder;  // no Database folder at all
    AppState state;
    std::string text;
    auto previous = setDebugSink([&](std::string_view t) { text += t; });
    {
        // The driver may create the file on connect; without the folder it cannot.
        CameraDatabase db(folder.path() / "nowhere");
        EXPECT_EQ(db.countCameras(), 0);
        state.cameraTable.count = 5;
        EXPECT_EQ(loadInto(db, state).count, 0);
        EXPECT_EQ(state.cameraTable.count, 0);
        EXPECT_TRUE(db.listNames().empty());
        db.insertCamera("a", "b", "1", "", "", "1");
        EXPECT_EQ(db.countName("a"), 0);
    }
    setDebugSink(previous);
}

namespace {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(OdbcDriver, RegistrationIsReadFromTheDriverIni)
{
    TempFolder folder;
    ScopedEnv sysIni("ODBCSYSINI", folder.path().string());
    ScopedEnv instIni("ODBCINSTINI", std::nullopt);
    const std::string section = std::string("[") + accessDriverName + "]\n";
    const struct {
        const char* what;
        std::optional<std::string> ini;  // nothing: no file
        bool registered;
    } cases[] = {
        {"no file", std::nullopt, false},
        {"registered", section + "Driver=/x/libsqlite3odbc.so\n", true},
        {"spaces and CR", "  " + section + "Description=d\r\n Driver = lib.so \r\n", true},
        {"section without a driver", section + "Description=d\n[Other]\nDriver=lib.so\n", false},
        {"empty driver", section + "Driver=\n", false},
        {"other drivers only", "[SQLite3]\nDriver=libsqlite3odbc.so\n", false},
        {"commented out", "#" + section + "#Driver=lib.so\n", false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(folder.path() / "odbcinst.ini");
        if (c.ini) std::ofstream(folder.path() / "odbcinst.ini") << *c.ini;
        EXPECT_EQ(driverRegistered(accessDriverName), c.registered) << c.what;
    }
    // ODBCINSTINI names the file inside the folder.
    std::ofstream(folder.path() / "other.ini") << section << "Driver=lib.so\n";
    std::filesystem::remove(folder.path() / "odbcinst.ini");
    ScopedEnv otherFile("ODBCINSTINI", "other.ini");
    EXPECT_TRUE(driverRegistered(accessDriverName));
}

// Meaningful in a process of its own (as ctest runs it): unixODBC reads
// ODBCSYSINI once, at the first ODBC call.
TEST(OdbcDriver, UnregisteredDriverIsRegisteredByTheProgram)
{
    ASSERT_FALSE(findDriverLibrary(defaultDriverFolders()).empty()) << "the SQLite ODBC driver is needed";
    TempFolder empty;
    TempFolder program;
    ScopedEnv sysIni("ODBCSYSINI", empty.path().string());
    ScopedEnv instIni("ODBCINSTINI", std::nullopt);
    ASSERT_FALSE(driverRegistered(accessDriverName));

    std::filesystem::create_directory(program.path() / "Database");
    {
        CameraDatabase maker(program.path());
        ASSERT_TRUE(maker.createSchema());
    }
    CameraDatabase db(program.path());
    db.insertCamera("Door", "10.0.0.5", "8080", "admin", "secret", "108");
    db.insertCamera("Yard", "10.0.0.6", "80", "", "", "200");
    AppState state;
    const CameraTable t = loadInto(db, state);
    ASSERT_EQ(t.count, 2);
    EXPECT_EQ(t.address[1], "10.0.0.6:80");

    // The program's own driver ini is in use now, in a private folder.
    EXPECT_TRUE(driverRegistered(accessDriverName));
    const std::filesystem::path own = std::getenv("ODBCSYSINI");
    EXPECT_NE(own, empty.path());
    EXPECT_EQ(std::filesystem::status(own).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
}

TEST(OdbcDriver, MissingDriverLibraryIsSaidOnce)
{
    TempFolder empty;
    TempFolder noDrivers;
    TempFolder program;
    ScopedEnv sysIni("ODBCSYSINI", empty.path().string());
    ScopedEnv instIni("ODBCINSTINI", std::nullopt);
    std::filesystem::create_directory(program.path() / "Database");
    std::string debugText;
    const DebugSink previous = setDebugSink([&](std::string_view t) { debugText += t; });

    RecordingNotifier notifier;
    {
        CameraDatabase db(program.path(), DriverOptions{&notifier, {noDrivers.path()}});
        AppState state;
        EXPECT_EQ(db.countCameras(), 0);
        EXPECT_EQ(loadInto(db, state).count, 0);
        EXPECT_TRUE(db.listNames().empty());
        EXPECT_FALSE(db.createSchema());
    }
    setDebugSink(previous);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{missingDriverText});
    EXPECT_NE(debugText.find(missingDriverText), std::string::npos);
    EXPECT_EQ(std::getenv("ODBCSYSINI"), empty.path().string());  // nothing was registered
}

TEST(TextToInt, ReadsLeadingNumber)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {{"42", 42}, {"  -7x", -7}, {"+3", 3}, {"abc", 0}, {"", 0}, {"12abc", 12},
                 {"99999999999", 2147483647}, {"-99999999999", -2147483648}};
    for (const auto& c : cases) EXPECT_EQ(textToInt(c.text), c.value) << c.text;
}
