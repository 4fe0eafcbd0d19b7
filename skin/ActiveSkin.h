#pragma once
// The skin package in use: its entry table, the description parsed from
// its "info.txt", and the lookups the windows call. One object per process
// (owned by main); the chooser swaps the package while the program runs.

#include <filesystem>
#include <optional>
#include <string>

#include <QImage>

#include "InterfaceInfo.h"
#include "InterfacePackage.h"

namespace cx {

class ActiveSkin {
public:
    // Opens `file` and makes it the package in use; on failure the previous
    // package stays and false is returned.
    bool open(const std::filesystem::path& file);
    bool isOpen() const { return package_.has_value(); }
    const InterfacePackage* package() const { return package_ ? &*package_ : nullptr; }
    const std::filesystem::path& file() const { return file_; }

    // Reads "info.txt" into info(), writing a copy of it to
    // `programFolder`/info.txt first. Without the entry nothing changes.
    // Returns false when there was no description.
    bool parseDescription(const std::filesystem::path& programFolder);
    const InterfaceInfo& info() const { return info_; }
    InterfaceInfo& info() { return info_; }

    // Text of "Status.txt", when the package has it.
    std::optional<std::string> statusSuffix() const;
    // A package bitmap (name matched ignoring case), or a null image.
    QImage bitmap(const std::string& name) const;

private:
    std::optional<InterfacePackage> package_;
    std::filesystem::path file_;
    InterfaceInfo info_;
};

}  // namespace cx
