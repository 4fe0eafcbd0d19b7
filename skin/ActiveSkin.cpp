#include "ActiveSkin.h"

#include <fstream>

#include "SkinBitmap.h"

namespace cx {

bool ActiveSkin::open(const std::filesystem::path& file)
{
    auto opened = InterfacePackage::open(file);
    if (!opened) return false;
    package_ = std::move(opened);
    file_ = file;
    return true;
}

bool ActiveSkin::parseDescription(const std::filesystem::path& programFolder)
{
    if (!package_) return false;
    const auto text = package_->textEntry("info.txt");
    if (!text) return false;
    // The copy in the program folder is kept for people editing skins; the
    // values are taken from the same text.
    {
        std::ofstream copy(programFolder / "info.txt", std::ios::binary | std::ios::trunc);
        copy << *text;
    }
    parseInterfaceInfo(*text, info_);
    return true;
}

std::optional<std::string> ActiveSkin::statusSuffix() const
{
    if (!package_) return std::nullopt;
    return package_->textEntry("Status.txt");
}

QImage ActiveSkin::bitmap(const std::string& name) const
{
    if (!package_) return {};
    return loadSkinBitmap(*package_, name);
}

}  // namespace cx
