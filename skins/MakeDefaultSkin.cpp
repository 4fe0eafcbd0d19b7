// Draws the bitmaps of the default skin into a folder, laid out after the
// skin's own info.txt (so moving a button in the description moves its
// place on the background too). The build packs the folder into default.int.
//
//   cx-make-default-skin INFO.TXT OUT_FOLDER [--hue DEGREES]
//
// --hue turns every colour of the pictures round the colour wheel, for a
// second skin of the same layout in another look.

#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <string>

#include "InterfaceInfo.h"
#include "SkinArt.h"
#include "SkinBitmap.h"

namespace fs = std::filesystem;
using namespace cx;
using art::Icon;
using art::Tone;

namespace {

int hueShift = 0;

QColor turned(const QColor& c, int degrees)
{
    const QColor hsv = c.toHsv();
    if (hsv.hsvHue() < 0) return c;  // grey stays grey
    return QColor::fromHsv((hsv.hsvHue() + degrees + 360) % 360, hsv.hsvSaturation(), hsv.value());
}

uint32_t turnedSkinColour(uint32_t c, int degrees)
{
    const QColor t = turned(art::fromSkinColour(c), degrees);
    return static_cast<uint32_t>(t.red()) | (static_cast<uint32_t>(t.green()) << 8) | (static_cast<uint32_t>(t.blue()) << 16);
}

// Every pixel but the key turned by `hueShift`.
QImage withHue(QImage image)
{
    if (hueShift == 0) return image;
    image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb key = art::palette::key.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key) continue;
            line[x] = turned(QColor(line[x]), hueShift).rgb();
            if ((line[x] | 0xFF000000u) == key) line[x] = qRgb(254, 0, 254);
        }
    }
    return image;
}

bool writeBitmap(const fs::path& file, const QImage& picture)
{
    const QImage image = withHue(picture);
    const auto bytes = encodeBitmap24(image);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

struct ButtonArt {
    const char* entry;
    const char* label;
    Icon icon;
    Tone tone;
    bool mainWindow;
};

const ButtonArt buttons[] = {
    {"about.bmp", "About Us", Icon::About, Tone::Normal, true},
    {"exit.bmp", "Exit", Icon::Exit, Tone::Danger, true},
    {"cameras.bmp", "Cameras", Icon::Cameras, Tone::Normal, true},
    {"monitor.bmp", "Monitor", Icon::Monitor, Tone::Normal, true},
    {"options.bmp", "Options", Icon::Options, Tone::Normal, true},
    {"addcamera.bmp", "Add Camera", Icon::AddCamera, Tone::Normal, true},
    {"snapshot.bmp", "Snapshot", Icon::Snapshot, Tone::Normal, true},
    {"adjust.bmp", "Adjust Layout", Icon::Adjust, Tone::Normal, true},
    {"record.bmp", "Record", Icon::Record, Tone::Accent, true},
    {"replay.bmp", "Replay", Icon::Replay, Tone::Normal, true},
    {"sound.bmp", "Sound", Icon::Sound, Tone::Normal, true},
    {"website.bmp", "Website", Icon::Website, Tone::Normal, true},
    {"interface.bmp", "Interface", Icon::Interface, Tone::Normal, true},
    {"update corvanex.bmp", "Update Software", Icon::Update, Tone::Normal, true},
    {"close.bmp", "Close", Icon::Close, Tone::Normal, false},
    {"modify.bmp", "Modify...", Icon::Options, Tone::Normal, false},
    {"select.bmp", "Select", Icon::Select, Tone::Normal, false},
    {"update.bmp", "Update", Icon::Update, Tone::Normal, false},
    {"save.bmp", "Save", Icon::Save, Tone::Normal, false},
    {"properties.bmp", "Properties", Icon::Properties, Tone::Normal, false},
    {"Remove Camera.bmp", "Remove", Icon::RemoveCamera, Tone::Danger, false},
    // The recording window's rows and its timetable button.
    {"start.bmp", "Start", Icon::Record, Tone::Accent, false},
    {"stop.bmp", "Stop", Icon::Close, Tone::Danger, false},
    {"join.bmp", "Join timetable", Icon::Record, Tone::Normal, false},
    {"leave.bmp", "Leave timetable", Icon::Close, Tone::Normal, false},
    {"timetable.bmp", "Timetable", Icon::Options, Tone::Normal, false},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[3]) == "--hue") {
        hueShift = std::atoi(argv[4]) % 360;
    } else if (argc != 3) {
        std::fprintf(stderr, "usage: cx-make-default-skin INFO.TXT OUT_FOLDER [--hue DEGREES]\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    InterfaceInfo info;
    parseInterfaceInfo(text, info);
    if (info.buttonPoints.readPoints().size() < ButtonPoint::minimumCount) {
        std::fprintf(stderr, "cx-make-default-skin: %s lists fewer than %d button points\n", argv[1],
                     ButtonPoint::minimumCount);
        return 1;
    }

    const fs::path out = argv[2];
    // The window fills the clock and status fields with the description's
    // colours; drawn turned back, they come out right after the turn.
    InterfaceInfo drawn = info;
    drawn.clockBackground = turnedSkinColour(info.clockBackground, -hueShift);
    drawn.statusBackground = turnedSkinColour(info.statusBackground, -hueShift);
    bool ok = writeBitmap(out / "background.bmp", art::mainBackground(QSize(1220, 740), drawn));
    const QColor dialogSurround = art::fromSkinColour(info.gradientFirst);
    for (const auto& b : buttons) {
        const QSize size = b.mainWindow ? QSize(156, 38) : QSize(124, 34);
        const QImage image =
            art::skinButton(size, QString::fromUtf8(b.label), b.icon, b.tone, b.mainWindow ? art::palette::panel : dialogSurround);
        ok = writeBitmap(out / b.entry, image) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "cx-make-default-skin: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
