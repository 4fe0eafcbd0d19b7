#pragma once
// Making an empty folder a program folder: the skins shipped with the
// program, a camera database with an empty camera table and the default
// settings. A first start there shows the camera chooser.

#include <filesystem>
#include <string>

namespace cx {

// True when `folder` does not exist yet or holds nothing at all.
bool folderIsNew(const std::filesystem::path& folder);

// Fills the new `folder` from `skinFolder` (the shipped "*.int" packages;
// "default.int" must be among them). Returns an empty text on success,
// else what went wrong; what was made stays, so the start-up's folder check
// names what is missing.
std::string makeProgramFolder(const std::filesystem::path& folder, const std::filesystem::path& skinFolder);

}  // namespace cx
