#include "CameraDatabase.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "AsciiLower.h"
#include "CameraFieldLimits.h"
#include "DebugLog.h"
#include "Notifier.h"
#include "ProgramFolder.h"
#include "TextToInt.h"

namespace cx {

namespace {

constexpr SQLLEN columnBufferSize = 1024;

// The longest statement: a camera row's update naming the row twice, every
// value at its limit and made of quotes (doubled), flips at their widest.
constexpr size_t longestRowUpdate =
    std::char_traits<char>::length("UPDATE configurationCX SET name = '', cameraIP = '', cameraport = '', "
                                   "login = '', password = '', horizontal = '-2147483648', "
                                   "vertical = '-2147483648' WHERE name = ''") +
    2 * (2 * cameraNameLimit + cameraHostLimit + cameraPortLimit + cameraLoginLimit + cameraPasswordLimit);
static_assert(longestRowUpdate < statementBufferSize, "the camera field limits must fit the statement buffer");
constexpr size_t longestRtspInsert =
    std::char_traits<char>::length("INSERT INTO rtspCameraCX (name, mainPath, subPath, transport) VALUES ('', '', '', "
                                   "'tcp')") +
    2 * (cameraNameLimit + 2 * streamPathLimit);
static_assert(longestRtspInsert < statementBufferSize, "the stream path limits must fit the statement buffer");
// Values are read back through columns of this size.
static_assert(std::max({cameraNameLimit, cameraHostLimit, cameraLoginLimit, cameraPasswordLimit, streamPathLimit}) <
              static_cast<size_t>(columnBufferSize));

// Formats one statement into the statement buffer; nothing when it would
// not fit (a statement is never cut and executed).
std::optional<std::string> format(const char* fmt, auto... args)
{
    char buffer[statementBufferSize];
    const int n = std::snprintf(buffer, sizeof buffer, fmt, args...);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

namespace {
// A NUL would end the value early inside the statement text and make it
// name another row: such values are refused instead.
template <class... Values>
bool refuseNul(const Values&... values)
{
    if (!((values.find('\0') != std::string::npos) || ...)) return false;
    debugOutput("statement not executed: a value holds a NUL character\n");
    return true;
}
}  // namespace

std::string sqlQuoted(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
    }
    return out;
}

CameraDatabase::CameraDatabase(std::filesystem::path programFolder, DriverOptions driver)
    : programFolder_(std::move(programFolder)), driver_(std::move(driver))
{
}

CameraDatabase::~CameraDatabase()
{
    freeStatement();
    if (connection_ != SQL_NULL_HDBC) {
        if (connected_) SQLDisconnect(connection_);
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    }
    if (environment_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

std::string CameraDatabase::driverConnectionString() const
{
    const auto file = resolveNoCase(programFolder_, "database") / "Corvanex.mdb";
    return std::string(connectionString) + ";Database=" + file.string();
}

std::string CameraDatabase::lastError(SQLSMALLINT handleType, SQLHANDLE handle)
{
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[512] = {};
    SQLSMALLINT length = 0;
    if (handle == nullptr ||
        !succeeded(SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &length)))
        return {};
    errorState_ = reinterpret_cast<const char*>(state);
    errorMessage_ = reinterpret_cast<const char*>(message);
    return errorMessage_;
}

void CameraDatabase::connect()
{
    notTriedYet_ = false;  // tried once per process, then kept
    // Before the first ODBC call: unixODBC reads where its driver ini is
    // only once. A missing driver is said once, not hidden behind an empty
    // camera list.
    const std::string driverError = ensureAccessDriver(driver_.driverFolders);
    if (!driverError.empty()) {
        errorMessage_ = driverError;
        debugOutput("connect not tried: " + driverError + "\n");
        StderrNotifier fallback;
        Notifier& notifier = driver_.notifier != nullptr ? *driver_.notifier : fallback;
        notifier.notify(driverError, "Corvanex", NotifyIcon::Exclamation);
        return;
    }
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_))) {
        environment_ = SQL_NULL_HENV;
        return;
    }
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), SQL_IS_INTEGER);
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_))) {
        lastError(SQL_HANDLE_ENV, environment_);
        connection_ = SQL_NULL_HDBC;
        return;
    }
    std::string text = driverConnectionString();
    SQLCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(connection_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                          static_cast<SQLSMALLINT>(text.size()), out, sizeof out, &outLength,
                                          SQL_DRIVER_NOPROMPT);
    connected_ = succeeded(rc);
    if (!connected_) debugOutput("connect failed: " + lastError(SQL_HANDLE_DBC, connection_) + "\n");
}

bool CameraDatabase::getStatement()
{
    if (notTriedYet_) connect();
    if (!connected_) return false;
    lastReturn_ = SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement_);
    if (!succeeded(lastReturn_)) {
        lastError(SQL_HANDLE_DBC, connection_);
        statement_ = SQL_NULL_HSTMT;
        return false;
    }
    return true;
}

void CameraDatabase::freeStatement()
{
    if (statement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
    statement_ = SQL_NULL_HSTMT;
}

bool CameraDatabase::prepare(const std::optional<std::string>& text)
{
    if (!text) {
        debugOutput("statement not executed: it does not fit the statement buffer\n");
        return false;
    }
    std::string copy = *text;
    lastReturn_ = SQLPrepare(statement_, reinterpret_cast<SQLCHAR*>(copy.data()), static_cast<SQLINTEGER>(copy.size()));
    if (!succeeded(lastReturn_)) {
        debugOutput(lastError(SQL_HANDLE_STMT, statement_) + "\n");
        return false;
    }
    return true;
}

SQLRETURN CameraDatabase::executeWithDiagnostics()
{
    const SQLRETURN rc = SQLExecute(statement_);
    switch (rc) {
    case SQL_SUCCESS: debugOutput("SQL_SUCCESS\n"); return rc;
    case SQL_SUCCESS_WITH_INFO: debugOutput("SQL_SUCCESS_WITH_INFO\n"); return rc;
    case SQL_STILL_EXECUTING: debugOutput("SQL_STILL_EXECUTING\n"); return rc;
    case SQL_NEED_DATA: debugOutput("SQL_NEED_DATA\n"); return rc;
    case SQL_NO_DATA: debugOutput(lastError(SQL_HANDLE_STMT, statement_) + "SQL_NO_DATA\n"); return rc;
    case SQL_ERROR: debugOutput(lastError(SQL_HANDLE_STMT, statement_) + "\n"); return rc;
    case SQL_INVALID_HANDLE: debugOutput("SQL_INVALID_HANDLE\n"); return rc;
    default: debugOutput("default\n"); return rc;
    }
}

void CameraDatabase::fetchRows(int columns, const std::function<bool(const Row&)>& row)
{
    std::vector<std::vector<char>> buffers(static_cast<size_t>(columns), std::vector<char>(columnBufferSize));
    std::vector<SQLLEN> lengths(static_cast<size_t>(columns));
    for (int k = 0; k < columns; ++k) {
        const auto i = static_cast<size_t>(k);
        lastReturn_ = SQLBindCol(statement_, static_cast<SQLUSMALLINT>(k + 1), SQL_C_CHAR, buffers[i].data(),
                                 columnBufferSize, &lengths[i]);
        if (!succeeded(lastReturn_)) return;
    }
    Row values(static_cast<size_t>(columns));
    for (;;) {
        for (auto& b : buffers) b[0] = '\0';
        lastReturn_ = SQLFetch(statement_);
        if (!succeeded(lastReturn_)) break;  // no data, error or anything unexpected ends the loop
        for (size_t i = 0; i < values.size(); ++i) {
            buffers[i].back() = '\0';
            values[i] = lengths[i] == SQL_NULL_DATA ? std::string() : std::string(buffers[i].data());
        }
        if (!row(values)) break;
    }
}

int CameraDatabase::queryNumber(const std::optional<std::string>& text)
{
    if (!getStatement()) return 0;
    int result = 0;
    if (prepare(text) && succeeded(executeWithDiagnostics())) {
        fetchRows(1, [&](const Row& r) {
            if (!r[0].empty()) result = textToInt(r[0]);
            return false;
        });
    }
    freeStatement();
    return result;
}

bool CameraDatabase::runCommand(const std::optional<std::string>& text, SQLLEN* rowsChanged)
{
    if (rowsChanged != nullptr) *rowsChanged = 0;
    if (!getStatement()) return false;
    bool ran = false;
    if (prepare(text)) {
        const SQLRETURN rc = executeWithDiagnostics();
        ran = succeeded(rc) || rc == SQL_NO_DATA;
        if (succeeded(rc) && rowsChanged != nullptr && !succeeded(SQLRowCount(statement_, rowsChanged)))
            *rowsChanged = 0;
    }
    freeStatement();
    return ran;
}

bool CameraDatabase::inTransaction(const std::function<bool()>& steps)
{
    if (notTriedYet_) connect();
    if (!connected_) return false;
    const bool manual = succeeded(SQLSetConnectAttr(
        connection_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER));
    if (!manual) debugOutput("no transaction: " + lastError(SQL_HANDLE_DBC, connection_) + "\n");
    bool ok = steps();
    if (manual) {
        const SQLRETURN end = SQLEndTran(SQL_HANDLE_DBC, connection_, ok ? SQL_COMMIT : SQL_ROLLBACK);
        if (!succeeded(end)) {
            debugOutput((ok ? "commit failed: " : "rollback failed: ") + lastError(SQL_HANDLE_DBC, connection_) + "\n");
            ok = false;
        }
        SQLSetConnectAttr(connection_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                          SQL_IS_UINTEGER);
    }
    return ok;
}

bool CameraDatabase::createRtspTable()
{
    return runCommand(format("CREATE TABLE IF NOT EXISTS %s (name TEXT PRIMARY KEY, mainPath TEXT, subPath TEXT, "
                             "transport TEXT)",
                             rtspTableName));
}

std::vector<std::pair<std::string, RtspSettings>> CameraDatabase::loadRtspRows()
{
    std::vector<std::pair<std::string, RtspSettings>> rows;
    if (!getStatement()) return rows;
    // Fails quietly (a debug line) while the table does not exist yet.
    if (prepare(format("SELECT name, mainPath, subPath, transport FROM %s", rtspTableName)) &&
        succeeded(executeWithDiagnostics())) {
        fetchRows(4, [&](const Row& r) {
            rows.emplace_back(r[0], RtspSettings{r[1], r[2], asciiLower(r[3]) == "udp"});
            return true;
        });
    }
    freeStatement();
    return rows;
}

int CameraDatabase::countCameras()
{
    return queryNumber(format("SELECT COUNT(configID) FROM %s", cameraTableName));
}

LoadedCameras CameraDatabase::loadCameras()
{
    LoadedCameras loaded;
    CameraTable& t = loaded.table;
    if (!getStatement()) return loaded;
    // Names and addresses from one query in key order: with two queries, or
    // in whatever order the engine scans (an index on name reads names
    // sorted), one odd row would give every later camera another's name.
    if (prepare(format("SELECT name, cameraIP, cameraport, login, password, horizontal, vertical, cameratype FROM %s "
                       "ORDER BY configID",
                       cameraTableName)) &&
        succeeded(executeWithDiagnostics())) {
        fetchRows(8, [&](const Row& r) {
            if (r[0].empty() || r[1].empty()) return true;  // neither named nor reachable: no slot
            loaded.names.push_back(r[0]);
            t.address.push_back(r[1] + ":" + r[2]);
            t.login.push_back(r[3]);
            t.password.push_back(r[4]);
            t.flipHorizontal.push_back(textToInt(r[5]));
            t.flipVertical.push_back(textToInt(r[6]));
            t.type.push_back(textToInt(r[7]));
            ++t.count;
            return t.count < maxCameras;
        });
    }
    freeStatement();
    t.rtsp.assign(static_cast<size_t>(t.count), std::nullopt);
    if (t.count == 0) return loaded;
    // Matched by name after the camera query: that query alone decides the
    // rows and their order, with or without the RTSP table.
    for (const auto& [name, settings] : loadRtspRows())
        for (size_t i = 0; i < loaded.names.size(); ++i)
            if (loaded.names[i] == name) t.rtsp[i] = settings;
    return loaded;
}

std::vector<std::string> CameraDatabase::listNames()
{
    return loadCameras().names;
}

namespace {
const char* transportText(const RtspSettings& settings) { return settings.udp ? "udp" : "tcp"; }
}  // namespace

bool CameraDatabase::deleteCamera(const std::string& name)
{
    if (refuseNul(name)) return false;
    const std::string n = sqlQuoted(name);
    SQLLEN deleted = 0;
    // The camera first: a crash before its RTSP row goes leaves a row no
    // camera uses, never a camera without its settings.
    const bool ok = inTransaction([&] {
        return createRtspTable() &&
               runCommand(format("DELETE FROM %s WHERE name='%s'", cameraTableName, n.c_str()), &deleted) &&
               runCommand(format("DELETE FROM %s WHERE name='%s'", rtspTableName, n.c_str()));
    });
    return ok && deleted > 0;
}

bool CameraDatabase::updateCamera(const std::string& oldName, const std::string& newName, const std::string& cameraIP,
                                  const std::string& cameraPort, const std::string& login,
                                  const std::string& password, int flipHorizontal, int flipVertical,
                                  const std::optional<RtspSettings>& rtsp)
{
    if (refuseNul(oldName, newName, cameraIP, cameraPort, login, password)) return false;
    if (rtsp && refuseNul(rtsp->mainPath, rtsp->subPath)) return false;
    const std::string oldN = sqlQuoted(oldName);
    const std::string newN = sqlQuoted(newName);
    const bool renamed = newName != oldName;
    // The settings are written under the new name before the row takes it,
    // and the old name's settings go after: at every step the row's name
    // has its settings.
    const auto settingsUnderNewName = [&] {
        if (renamed && !runCommand(format("DELETE FROM %s WHERE name='%s'", rtspTableName, newN.c_str())))
            return false;
        if (!rtsp)
            return !renamed || runCommand(format("INSERT INTO %s (name, mainPath, subPath, transport) SELECT '%s', "
                                                 "mainPath, subPath, transport FROM %s WHERE name='%s'",
                                                 rtspTableName, newN.c_str(), rtspTableName, oldN.c_str()));
        const std::string main = sqlQuoted(rtsp->mainPath);
        const std::string sub = sqlQuoted(rtsp->subPath);
        SQLLEN changed = 0;
        if (!renamed && !runCommand(format("UPDATE %s SET mainPath='%s', subPath='%s', transport='%s' WHERE name='%s'",
                                           rtspTableName, main.c_str(), sub.c_str(), transportText(*rtsp),
                                           newN.c_str()),
                                    &changed))
            return false;
        return changed > 0 ||
               runCommand(format("INSERT INTO %s (name, mainPath, subPath, transport) VALUES ('%s', '%s', '%s', '%s')",
                                 rtspTableName, newN.c_str(), main.c_str(), sub.c_str(), transportText(*rtsp)));
    };
    SQLLEN updated = 0;
    return inTransaction([&] {
        return createRtspTable() && settingsUnderNewName() &&
               runCommand(format("UPDATE %s SET name = '%s', cameraIP = '%s', cameraport = '%s', login = '%s', "
                                 "password = '%s', horizontal = '%d', vertical = '%d' WHERE name = '%s'",
                                 cameraTableName, newN.c_str(), sqlQuoted(cameraIP).c_str(),
                                 sqlQuoted(cameraPort).c_str(), sqlQuoted(login).c_str(), sqlQuoted(password).c_str(),
                                 flipHorizontal, flipVertical, oldN.c_str()),
                          &updated) &&
               updated > 0 &&
               (!renamed || runCommand(format("DELETE FROM %s WHERE name='%s'", rtspTableName, oldN.c_str())));
    });
}

int CameraDatabase::countName(const std::string& name)
{
    if (refuseNul(name)) return 0;
    return queryNumber(format("SELECT COUNT(name) FROM %s WHERE name = '%s'", cameraTableName, sqlQuoted(name).c_str()));
}

bool CameraDatabase::insertCamera(const std::string& name, const std::string& cameraIP, const std::string& cameraPort,
                                  const std::string& login, const std::string& password,
                                  const std::string& cameraType, const std::optional<RtspSettings>& rtsp)
{
    if (refuseNul(name, cameraIP, cameraPort, login, password, cameraType)) return false;
    const std::string n = sqlQuoted(name);
    const auto row = [&] {
        return runCommand(format("INSERT INTO %s (name, cameraIP, cameraport, login, password, cameratype) VALUES "
                                 "('%s', '%s', '%s', '%s', '%s', '%s')",
                                 cameraTableName, n.c_str(), sqlQuoted(cameraIP).c_str(),
                                 sqlQuoted(cameraPort).c_str(), sqlQuoted(login).c_str(),
                                 sqlQuoted(password).c_str(), sqlQuoted(cameraType).c_str()));
    };
    if (!rtsp) return row();
    if (refuseNul(rtsp->mainPath, rtsp->subPath)) return false;
    // The settings before the row: a crash between them leaves settings no
    // camera uses (replaced when a camera of that name is added again).
    return inTransaction([&] {
        return createRtspTable() && runCommand(format("DELETE FROM %s WHERE name='%s'", rtspTableName, n.c_str())) &&
               runCommand(format("INSERT INTO %s (name, mainPath, subPath, transport) VALUES ('%s', '%s', '%s', '%s')",
                                 rtspTableName, n.c_str(), sqlQuoted(rtsp->mainPath).c_str(),
                                 sqlQuoted(rtsp->subPath).c_str(), transportText(*rtsp))) &&
               row();
    });
}

bool CameraDatabase::createSchema()
{
    if (!getStatement()) return false;
    const bool ok = prepare(format("CREATE TABLE %s (configID INTEGER PRIMARY KEY, name TEXT, cameraIP TEXT, "
                                   "cameraport TEXT, login TEXT, password TEXT, horizontal TEXT DEFAULT '0', "
                                   "vertical TEXT DEFAULT '0', cameratype TEXT)",
                                   cameraTableName)) &&
                    succeeded(executeWithDiagnostics());
    freeStatement();
    return ok && createRtspTable();
}

}  // namespace cx
