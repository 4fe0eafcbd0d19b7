#pragma once
// Paths below the program folder, and the names a camera may give a folder.

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

// A camera name usable as one folder or file-name part below the program
// folder: not empty, no "/", no NUL, not "." or "..", no "..".
bool isSafePathComponent(const std::string& name);

}  // namespace cx
