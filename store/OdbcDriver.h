#pragma once
// Making sure unixODBC knows the driver our connection string names.
// The setup script registers the SQLite ODBC driver under that name; when
// it did not (a copied program, a fresh machine), the program registers it
// for itself: a driver ini of its own in a private folder, and ODBCSYSINI
// pointing there. unixODBC reads ODBCSYSINI once, at the first ODBC call
// of the process, so this runs before any.

#include <filesystem>
#include <string>
#include <vector>

namespace cx {

inline constexpr const char* accessDriverName = "Microsoft Access Driver (*.mdb)";
inline constexpr const char* sqliteDriverLibrary = "libsqlite3odbc.so";
inline constexpr const char* missingDriverText =
    "The SQLite ODBC driver (libsqlite3odbc.so) is not installed; the camera database cannot be read";

// Where Debian-like systems keep ODBC drivers: /usr/lib/<triplet>/odbc,
// /usr/lib/odbc, /usr/lib64, /usr/local/lib/odbc (those that exist).
std::vector<std::filesystem::path> defaultDriverFolders();

// True when the driver ini unixODBC reads ($ODBCSYSINI or /etc, file
// $ODBCINSTINI or odbcinst.ini) has a section `driver` with a Driver line.
bool driverRegistered(const std::string& driver);

// The first folder holding `library`; empty when none does.
std::filesystem::path findDriverLibrary(const std::vector<std::filesystem::path>& folders,
                                        const std::string& library = sqliteDriverLibrary);

// Registers the SQLite driver under accessDriverName when it is not
// registered yet. Returns an empty text when the driver can be used, else
// what went wrong (missingDriverText when the library is not found).
// Changes the process environment: call before ODBC is used and before
// other threads read the environment.
std::string ensureAccessDriver(const std::vector<std::filesystem::path>& driverFolders);

}  // namespace cx
