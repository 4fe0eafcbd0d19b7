#pragma once
// Paths below the program folder, and which names may become file names.

#include <filesystem>
#include <optional>
#include <string>

namespace cx {

// `name` inside `folder`, matched without regard to case when no entry of
// exactly that name exists ("Database" and "database" are one folder).
// Returns folder/name unchanged when nothing matches.
std::filesystem::path resolveNoCase(const std::filesystem::path& folder, const std::string& name);

// True when some regular file in `folder` ends with `extension` (".int"),
// compared without regard to case.
bool folderHasFileWithExtension(const std::filesystem::path& folder, const std::string& extension);

// The skins shipped with the programs: share/corvanex/Interface beside
// the folder of the running program (/usr/bin -> /usr/share; the build tree
// mirrors it). Empty when the running program cannot be found.
std::filesystem::path shippedSkinFolder();

// Longest file or folder name accepted (bytes), the common file-system limit.
inline constexpr size_t maxFileNameBytes = 255;

// The one rule for a name from outside (a camera name, a package entry, a
// snapshot name) that is to become a single file or folder name: not empty,
// not "." or "..", no "/" or "\\", no NUL or other control character
// (bytes below 0x20 and 0x7f), at most 255 bytes. Such a name stays inside
// the folder it is joined to and is shown and typed without surprises.
bool isSafeFileName(const std::string& name);

}  // namespace cx
