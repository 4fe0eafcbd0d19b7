#pragma once
// The camera list in Database/Corvanex.mdb, reached through ODBC.
// UI thread only: the connection and its one statement are not shared.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sql.h>

#include "CameraStore.h"
#include "CameraTable.h"
#include "OdbcDriver.h"

namespace cx {

class Notifier;

// How the database finds its ODBC driver when the system has not
// registered it (see OdbcDriver.h).
struct DriverOptions {
    // Told once when the driver cannot be used; null: standard error.
    Notifier* notifier = nullptr;
    std::vector<std::filesystem::path> driverFolders = defaultDriverFolders();
};

inline constexpr const char* cameraTableName = "configurationCX";
// What an RTSP camera needs beyond its camera table row, one row per camera
// name. Made when first needed: databases of older versions lack it.
inline constexpr const char* rtspTableName = "rtspCameraCX";
inline constexpr const char* connectionString = "DBQ=database/Corvanex.mdb;DRIVER={Microsoft Access Driver (*.mdb)}";
inline constexpr size_t statementBufferSize = 1024;

class CameraDatabase final : public CameraStore {
public:
    explicit CameraDatabase(std::filesystem::path programFolder, DriverOptions driver = {});
    ~CameraDatabase() override;
    CameraDatabase(const CameraDatabase&) = delete;
    CameraDatabase& operator=(const CameraDatabase&) = delete;

    int countCameras() override;
    // Also gives each loaded row the RTSP settings stored under its name
    // (none when there are none, or no RTSP table yet).
    LoadedCameras loadCameras() override;
    // The names of the rows loadCameras loads, in slot order (what the
    // camera list box shows: a row's position is its slot).
    std::vector<std::string> listNames();
    // The camera's row and its RTSP settings go together. False when
    // nothing changed.
    bool deleteCamera(const std::string& name);
    // Stores the row of `oldName` under the new values. `rtsp`: the
    // camera's new RTSP settings; without them the stored ones (if any)
    // stay and follow a new name. Row and settings change together or not
    // at all; false when nothing changed (no row of `oldName`, a value
    // that cannot be stored).
    bool updateCamera(const std::string& oldName, const std::string& newName, const std::string& cameraIP,
                      const std::string& cameraPort, const std::string& login, const std::string& password,
                      int flipHorizontal, int flipVertical,
                      const std::optional<RtspSettings>& rtsp = std::nullopt);
    int countName(const std::string& name);
    // Adds a row, with `rtsp` stored beside it when given (an RTSP
    // camera); both or neither. False when nothing was stored.
    bool insertCamera(const std::string& name, const std::string& cameraIP, const std::string& cameraPort,
                      const std::string& login, const std::string& password, const std::string& cameraType,
                      const std::optional<RtspSettings>& rtsp = std::nullopt);
    // Creates the tables in a new database file (the program-folder tool).
    bool createSchema();

    // The connection string handed to the driver: ours plus the file
    // keyword the SQLite driver reads.
    std::string driverConnectionString() const;

private:
    using Row = std::vector<std::string>;

    bool getStatement();
    void connect();
    // Prepares a formatted statement; false when formatting found it too
    // long for the statement buffer.
    bool prepare(const std::optional<std::string>& text);
    SQLRETURN executeWithDiagnostics();
    // Binds `columns` text columns and fetches until no data or an error;
    // stops early when `row` returns false.
    void fetchRows(int columns, const std::function<bool(const Row&)>& row);
    void freeStatement();
    std::string lastError(SQLSMALLINT handleType, SQLHANDLE handle);
    // Runs a statement that returns one number; 0 on any failure.
    int queryNumber(const std::optional<std::string>& text);
    // Runs a statement without a result set; true when it ran (matching no
    // row counts as ran). `rowsChanged`, when given, gets the rows it changed.
    bool runCommand(const std::optional<std::string>& text, SQLLEN* rowsChanged = nullptr);
    // Runs `steps` as one transaction: committed when they return true,
    // rolled back otherwise. A driver without transactions runs them one
    // by one; the steps are ordered so that a crash between two of them
    // leaves nothing worse than an RTSP row no camera uses.
    bool inTransaction(const std::function<bool()>& steps);
    bool createRtspTable();
    // name -> settings of every row of the RTSP table; empty without the table.
    std::vector<std::pair<std::string, RtspSettings>> loadRtspRows();

    std::filesystem::path programFolder_;
    DriverOptions driver_;
    SQLHENV environment_ = SQL_NULL_HENV;
    SQLHDBC connection_ = SQL_NULL_HDBC;
    SQLHSTMT statement_ = SQL_NULL_HSTMT;
    bool connected_ = false;
    bool notTriedYet_ = true;
    SQLRETURN lastReturn_ = 0;  // kept for diagnostics
    std::string errorState_;
    std::string errorMessage_;
};

// Doubles every single quote so the value stays one SQL string literal.
std::string sqlQuoted(const std::string& value);

}  // namespace cx
