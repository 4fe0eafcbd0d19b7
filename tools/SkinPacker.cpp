// cx-skin-pack: makes, lists and unpacks skin packages.
//
//   cx-skin-pack create OUT.int FOLDER [--tag N]   every file of FOLDER becomes an entry
//   cx-skin-pack list FILE.int                     format tag and entries
//   cx-skin-pack extract FILE.int FOLDER           writes every entry into FOLDER
//
// The tag defaults to Corvanex's own; packages with another tag are not
// offered by the skin chooser of a program running a Corvanex skin.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "InterfacePackage.h"
#include "PackageWriter.h"

namespace fs = std::filesystem;

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: cx-skin-pack create OUT.int FOLDER [--tag N]\n"
                 "       cx-skin-pack list FILE.int\n"
                 "       cx-skin-pack extract FILE.int FOLDER\n");
    return 2;
}

int create(const fs::path& out, const fs::path& folder, uint16_t tag)
{
    const auto items = cx::readFolderItems(folder);
    if (items.empty()) {
        std::fprintf(stderr, "cx-skin-pack: no files in %s\n", folder.c_str());
        return 1;
    }
    const auto bytes = cx::buildPackage(tag, items);
    if (bytes.empty()) {
        std::fprintf(stderr, "cx-skin-pack: cannot pack %s (unsafe name, too many files or too large)\n", folder.c_str());
        return 1;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        std::fprintf(stderr, "cx-skin-pack: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int list(const fs::path& file)
{
    const auto package = cx::InterfacePackage::open(file);
    if (!package) {
        std::fprintf(stderr, "cx-skin-pack: %s is not a readable skin package\n", file.c_str());
        return 1;
    }
    std::printf("format tag 0x%04X, %u entries\n", package->formatTag(), package->storedEntryCount());
    for (const auto& e : package->entries()) std::printf("%10u  %10u  %s\n", e.dataSize, e.dataOffset, e.name.c_str());
    const size_t rejected = package->storedEntryCount() - package->entries().size();
    if (rejected > 0) std::printf("%zu entries left out (unsafe name or data outside the file)\n", rejected);
    return 0;
}

int extract(const fs::path& file, const fs::path& folder)
{
    const auto package = cx::InterfacePackage::open(file);
    if (!package) {
        std::fprintf(stderr, "cx-skin-pack: %s is not a readable skin package\n", file.c_str());
        return 1;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Entry names were checked when the package was read: none holds a
    // path separator, so every file lands inside `folder`.
    for (size_t i = 0; i < package->entries().size(); ++i) {
        const auto data = package->entryData(static_cast<int>(i));
        std::ofstream out(folder / package->entries()[i].name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::fprintf(stderr, "cx-skin-pack: cannot write %s\n", package->entries()[i].name.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return usage();
    const std::string command = argv[1];
    if (command == "create" && (argc == 4 || (argc == 6 && std::strcmp(argv[4], "--tag") == 0))) {
        uint16_t tag = cx::corvanexFormatTag;
        if (argc == 6) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[5], &end, 0);
            if (*end != '\0' || value > 0xFFFF) return usage();
            tag = static_cast<uint16_t>(value);
        }
        return create(argv[2], argv[3], tag);
    }
    if (command == "list" && argc == 3) return list(argv[2]);
    if (command == "extract" && argc == 4) return extract(argv[2], argv[3]);
    return usage();
}
