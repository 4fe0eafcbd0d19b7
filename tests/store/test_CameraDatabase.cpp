#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "AppState.h"
#include "CameraDatabase.h"
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
