// cx-make-fuzz-seeds: writes the starting corpora of the fuzz targets.
//
//   cx-make-fuzz-seeds FOLDER     (normally tests/fuzz/seeds)
//
// Every input is made here from drawn pictures and our own writers, so the
// corpora can be made again after a format changes. Files already in FOLDER
// are replaced when a seed of the same name is written, never deleted.
// The output is the same on every run.

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PackageWriter.h"
#include "InterfacePackage.h"
#include "Schedule.h"
#include "SettingsFile.h"
#include "SkinBitmap.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path outFolder;
size_t written = 0;

void put(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const fs::path folder = outFolder / target;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cx-make-fuzz-seeds: cannot write %s\n", (folder / name).c_str());
        std::exit(1);
    }
    ++written;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
void append(Bytes& to, const std::string& more) { to.insert(to.end(), more.begin(), more.end()); }

void putLe16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void putLe32(Bytes& b, uint32_t v)
{
    putLe16(b, v & 0xFFFF);
    putLe16(b, v >> 16);
}

// ---- pictures ---------------------------------------------------------

// A camera-like scene: sky and ground gradients, a house with windows, a
// parked car, a time stamp bar, and a little sensor noise (fixed seed).
Bytes drawScene(int width, int height, int variant)
{
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 0x2545F491u + static_cast<uint32_t>(variant);
    const int horizon = height * 5 / 8;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            int r, g, b;
            if (y < horizon) {
                r = 90 + y * 80 / horizon;
                g = 130 + y * 70 / horizon;
                b = 200 - y * 30 / horizon;
            } else {
                r = 70 + (x * 40) / width;
                g = 90 + ((y - horizon) * 50) / (height - horizon);
                b = 50;
            }
            // House.
            if (x > width / 8 && x < width / 2 && y > height / 4 && y < horizon) {
                r = 160, g = 120, b = 90;
                const bool window = ((x / (width / 32)) % 3 == 1) && ((y / (height / 16)) % 3 == 1);
                if (window) r = 240, g = 230, b = 160;
            }
            // Car.
            if (x > width * 6 / 10 && x < width * 9 / 10 && y > horizon + height / 12 && y < horizon + height / 5)
                r = 180 + variant * 20, g = 30, b = 40;
            // Time stamp bar with block "digits".
            if (y < height / 16 && x < width / 2) {
                r = g = b = 0;
                if (((x / 4) % 3 != 2) && ((y / 3) % 2 == 0)) r = g = b = 235;
            }
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>((noise >> 28) & 7) - 3;
            p[0] = static_cast<uint8_t>(std::clamp(r + n, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(g + n, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(b + n, 0, 255));
        }
    return rgb;
}

struct JpegOptions {
    int quality = 75;
    int hSample = 2;  // luma sampling factors: 2x2 is 4:2:0, 2x1 is 4:2:2, 1x1 is 4:4:4
    int vSample = 2;
    bool progressive = false;
    bool grey = false;
    unsigned restartMcus = 0;
    const char* comment = "";
};

Bytes encodeJpeg(const Bytes& rgb, int width, int height, const JpegOptions& o)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    if (o.grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    jpeg_set_quality(&c, o.quality, TRUE);
    c.comp_info[0].h_samp_factor = o.grey ? 1 : o.hSample;
    c.comp_info[0].v_samp_factor = o.grey ? 1 : o.vSample;
    c.restart_interval = o.restartMcus;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    if (o.comment[0] != '\0')
        jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(o.comment),
                          static_cast<unsigned>(std::strlen(o.comment)));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(c.next_scanline) * width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes jpeg(out, out + size);
    std::free(out);
    return jpeg;
}

Bytes sceneJpeg(int width, int height, const JpegOptions& o, int variant = 0)
{
    return encodeJpeg(drawScene(width, height, variant), width, height, o);
}

// Offset just past the start-of-scan header, where the entropy data begins.
size_t entropyStart(const Bytes& jpeg)
{
    for (size_t i = 2; i + 3 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    return jpeg.size();
}

Bytes cut(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(std::min(n, b.size()))); }

void decodeFrameSeeds()
{
    const std::string t = "fuzz_decode_frame";
    put(t, "cam320_q50_420.jpg", sceneJpeg(320, 240, {.quality = 50}));
    put(t, "cam320_q90_422.jpg", sceneJpeg(320, 240, {.quality = 90, .vSample = 1}, 1));
    put(t, "cam640_q60_420.jpg", sceneJpeg(640, 480, {.quality = 60}, 2));
    put(t, "cam640_q80_422.jpg", sceneJpeg(640, 480, {.quality = 80, .vSample = 1}, 3));
    put(t, "cam320_q75_444.jpg", sceneJpeg(320, 240, {.quality = 75, .hSample = 1, .vSample = 1}));
    put(t, "cam320_q70_progressive.jpg", sceneJpeg(320, 240, {.quality = 70, .progressive = true}));
    put(t, "cam320_q80_restart.jpg", sceneJpeg(320, 240, {.quality = 80, .restartMcus = 4}));
    put(t, "cam320_grey.jpg", sceneJpeg(320, 240, {.quality = 70, .grey = true}));
    put(t, "cam176_comment.jpg", sceneJpeg(176, 144, {.quality = 75, .comment = "cxframe:1234 Door camera"}));
    // Odd sizes leave partial MCUs at the right and bottom edges.
    put(t, "cam97x61_q85_420.jpg", sceneJpeg(97, 61, {.quality = 85}));

    // Pictures cut short as a dropped connection leaves them.
    const Bytes whole = sceneJpeg(320, 240, {.quality = 75}, 4);
    const size_t scan = entropyStart(whole);
    put(t, "cut_after_soi.jpg", cut(whole, 2));
    put(t, "cut_in_tables.jpg", cut(whole, scan / 2));
    put(t, "cut_at_scan.jpg", cut(whole, scan));
    put(t, "cut_half.jpg", cut(whole, whole.size() / 2));
    put(t, "cut_no_eoi.jpg", cut(whole, whole.size() - 2));
    const Bytes restart = sceneJpeg(320, 240, {.quality = 80, .restartMcus = 4}, 5);
    put(t, "cut_restart_third.jpg", cut(restart, restart.size() / 3));
    const Bytes progressive = sceneJpeg(320, 240, {.quality = 70, .progressive = true}, 6);
    put(t, "cut_progressive_half.jpg", cut(progressive, progressive.size() / 2));
}

// ---- multipart streams ------------------------------------------------

// The framing byte the stream target reads first: 0 gives two lines
// before the length and one after, 1 two and two, 2 four and none.
struct Framing {
    uint8_t selector;
    int before;
    int after;
};
constexpr Framing framing21{0, 2, 1};
constexpr Framing framing22{1, 2, 2};
constexpr Framing framing40{2, 4, 0};

std::string head(const Framing& f)
{
    std::string lines = "--myboundary\r\nContent-Type: image/jpeg\r\n";
    for (int extra = 2; extra < f.before; ++extra) lines += "X-Frame-Line: " + std::to_string(extra) + "\r\n";
    return lines;
}

// One frame as the camera sends it, with the given length line.
Bytes part(const Framing& f, const Bytes& jpeg, const std::string& lengthLine)
{
    Bytes b = bytesOf(head(f) + lengthLine + "\r\n\r\n");
    append(b, jpeg);
    for (int i = 0; i < f.after; ++i) append(b, std::string("\r\n"));
    return b;
}
Bytes part(const Framing& f, const Bytes& jpeg) { return part(f, jpeg, "Content-Length: " + std::to_string(jpeg.size())); }

void streamSeeds()
{
    const std::string t = "fuzz_camera_stream";
    // The reader never looks inside a picture: short stand-ins (start,
    // comment, end) keep each input quick to run.
    auto standIn = [](const std::string& stamp) {
        Bytes jpeg{0xFF, 0xD8, 0xFF, 0xFE, 0, static_cast<uint8_t>(stamp.size() + 2)};
        append(jpeg, stamp);
        append(jpeg, Bytes{0xFF, 0xD9});
        return jpeg;
    };
    const Bytes a = standIn("cxframe:1");
    const Bytes b = standIn("cxframe:2");
    for (const auto& [f, name] : {std::pair{framing21, "framing21"}, std::pair{framing22, "framing22"},
                                  std::pair{framing40, "framing40"}}) {
        Bytes s{f.selector};
        append(s, part(f, a));
        append(s, part(f, b));
        put(t, std::string(name) + "_two_frames", s);

        // A frame whose length line is unusable, then a good one: the
        // reader has to find the next boundary.
        struct Bad {
            const char* name;
            std::string line;
        };
        const Bad bad[] = {
            {"length_huge", "Content-Length: 4000000000"},
            {"length_negative", "Content-Length: -17"},
            {"length_zero", "Content-Length: 0"},
            {"length_no_blank", "Content-Length:" + std::to_string(a.size())},
            {"length_text", "Content-Length: abc"},
            {"length_too_long", "Content-Length: " + std::to_string(a.size() + 100)},
            {"length_too_short", "Content-Length: " + std::to_string(a.size() / 2)},
        };
        for (const auto& k : bad) {
            Bytes s2{f.selector};
            append(s2, part(f, a, k.line));
            append(s2, part(f, b));
            put(t, std::string(name) + "_" + k.name, s2);
        }

        // No length line at all: the next line is taken as the length.
        Bytes missing{f.selector};
        append(missing, bytesOf(head(f) + "\r\n"));
        append(missing, a);
        append(missing, std::string("\r\n"));
        append(missing, part(f, b));
        put(t, std::string(name) + "_length_missing", missing);

        // The connection drops inside the second frame.
        Bytes torn{f.selector};
        append(torn, part(f, a));
        append(torn, cut(part(f, b), head(f).size() + 30 + b.size() / 2));
        put(t, std::string(name) + "_torn", torn);
    }

    // Noise between frames, then a boundary to resynchronise on.
    Bytes noisy{framing21.selector};
    append(noisy, part(framing21, a, "Content-Length: 0"));
    for (int i = 0; i < 300; ++i) noisy.push_back(static_cast<uint8_t>((i * 37 + 11) & 0xFF));
    append(noisy, std::string("\r\n"));
    append(noisy, part(framing21, b));
    put(t, "framing21_noise_then_boundary", noisy);

    // Bare LF line ends, as some cameras send them.
    std::string lf = "--myboundary\nContent-Type: image/jpeg\nContent-Length: " + std::to_string(a.size()) + "\n\n";
    Bytes bare{framing21.selector};
    append(bare, lf);
    append(bare, a);
    append(bare, std::string("\n"));
    put(t, "framing21_lf_only", bare);

    // Redirect answers.
    put(t, "redirect_with_port", bytesOf("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:8081/image.jpg\r\n\r\n"));
    put(t, "redirect_no_path", bytesOf("HTTP/1.1 301 Moved\r\nLocation: http://camera.local\r\nContent-Length: 0\r\n\r\n"));
    put(t, "redirect_bad_port", bytesOf("HTTP/1.0 303 See Other\r\nLocation: http://10.0.0.5:99999/x\r\n\r\n"));
}

// ---- binary protocol --------------------------------------------------

Bytes imageHeader(const std::string& code, const std::string& count)
{
    std::string h = "cxsim-image-header  ";
    h += code.substr(0, 4);
    h += count.substr(0, 8);
    h.resize(32, '\0');
    return bytesOf(h);
}

void protocolSeeds()
{
    const std::string t = "fuzz_protocol_header";
    struct Header {
        const char* name;
        std::string code;
        std::string count;
    };
    const Header headers[] = {
        {"image_130", "0130", "00012345"},
        {"image_130_empty", "0130", "00000000"},
        {"image_130_largest", "0130", "99999999"},
        {"image_131", "0131", "00004096"},
        {"count_letters", "0130", "12ab5678"},
        {"count_blanks", "0130", "    1234"},
        {"count_negative", "0130", "-0000001"},
        {"count_plus", "0130", "+0000100"},
        {"count_nul", "0130", std::string(8, '\0')},
        {"code_letters", "01x0", "00000100"},
        {"code_negative", "-130", "00000100"},
    };
    for (const auto& h : headers) put(t, h.name, imageHeader(h.code, h.count));
    for (const char* code : {"0121", "0120", "0301", "0302", "\x00\x00\x00\x00"}) put(t, std::string("code_") + (code[0] ? code : "nul"), Bytes(code, code + 4));
    // A header followed by the credentials of a login ("login\npassword").
    Bytes login = imageHeader("0130", "00000010");
    append(login, std::string("operator\npw"));
    put(t, "login_short", login);
    Bytes longest = imageHeader("0130", "00000010");
    append(longest, std::string(15, 'a') + "\n" + std::string(15, 'b'));
    put(t, "login_longest", longest);
    Bytes tooLong = imageHeader("0130", "00000010");
    append(tooLong, std::string(16, 'a') + "\n" + "pw");
    put(t, "login_too_long", tooLong);
}

// ---- skin bitmaps and packages ------------------------------------------

// A DIB file: 14-byte file header, 40-byte information header, optional
// masks, rows padded to four bytes. `pixel` gives the stored value of (x, y)
// counted from the top.
Bytes dib(int width, int height, int bits, bool topDown, bool bitFields, const std::vector<uint32_t>& masks,
          uint32_t (*pixel)(int x, int y))
{
    const uint32_t stride = ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
    const uint32_t offset = 14 + 40 + (bitFields ? 12 : 0);
    const uint32_t dataSize = stride * static_cast<uint32_t>(height);
    Bytes b;
    putLe16(b, 0x4D42);
    putLe32(b, offset + dataSize);
    putLe32(b, 0);
    putLe32(b, offset);
    putLe32(b, 40);
    putLe32(b, static_cast<uint32_t>(width));
    putLe32(b, static_cast<uint32_t>(topDown ? -height : height));
    putLe16(b, 1);
    putLe16(b, static_cast<uint32_t>(bits));
    putLe32(b, bitFields ? 3 : 0);
    putLe32(b, dataSize);
    putLe32(b, 2835);
    putLe32(b, 2835);
    putLe32(b, 0);
    putLe32(b, 0);
    if (bitFields)
        for (uint32_t m : masks) putLe32(b, m);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        Bytes line;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = pixel(x, y);
            for (int k = 0; k < bits / 8; ++k) line.push_back(static_cast<uint8_t>(v >> (8 * k)));
        }
        line.resize(stride, 0);
        append(b, line);
    }
    return b;
}

uint32_t pattern888(int x, int y) { return (static_cast<uint32_t>(x * 20) << 16) | (static_cast<uint32_t>(y * 30) << 8) | 0x40; }
uint32_t pattern555(int x, int y) { return (static_cast<uint32_t>(x & 31) << 10) | (static_cast<uint32_t>(y & 31) << 5) | 12; }
uint32_t pattern565(int x, int y) { return (static_cast<uint32_t>(x & 31) << 11) | (static_cast<uint32_t>((y * 4) & 63) << 5) | 20; }

void bitmapSeeds(const std::string& t)
{
    put(t, "rgb16_555_odd.bmp", dib(7, 5, 16, false, false, {}, pattern555));
    put(t, "rgb16_565_masks.bmp", dib(9, 4, 16, false, true, {0xF800, 0x07E0, 0x001F}, pattern565));
    put(t, "rgb24_bottom_up_odd.bmp", dib(5, 3, 24, false, false, {}, pattern888));
    put(t, "rgb24_top_down.bmp", dib(6, 4, 24, true, false, {}, pattern888));
    put(t, "rgb32_plain.bmp", dib(4, 4, 32, false, false, {}, pattern888));
    put(t, "rgb32_masks_top_down.bmp", dib(3, 5, 32, true, true, {0x00FF0000, 0x0000FF00, 0x000000FF}, pattern888));
    put(t, "rgb32_masks_shifted.bmp", dib(3, 3, 32, false, true, {0xFFC00000, 0x003FF000, 0x00000FFC}, pattern888));
    // A header that promises more rows than the file holds.
    Bytes shortRows = dib(8, 8, 24, false, false, {}, pattern888);
    shortRows.resize(shortRows.size() - 40);
    put(t, "rgb24_rows_missing.bmp", shortRows);
    // A palette bitmap (not taken) and a mask that is not one run of bits.
    Bytes palette = dib(4, 2, 24, false, false, {}, pattern888);
    palette[28] = 8;
    put(t, "palette8.bmp", palette);
    put(t, "mask_with_gap.bmp", dib(2, 2, 16, false, true, {0xF0F0, 0x0700, 0x000F}, pattern565));
}

Bytes smallPicture24(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 30, y * 40, (x + y) * 10));
    return cx::encodeBitmap24(image);
}

const char* shortInfo =
    "3 //button points that follow the colours\r\n"
    "760,30,1000,50 //date line\r\n"
    "1058,24,1186,52 //clock\r\n"
    "44,698,1000,720 //status line\r\n"
    "10,17,25 //clock background\r\n"
    "34,190,220 //clock text\r\n"
    "10,17,25 //status line background\r\n"
    "170,188,208 //date, status line and hover button text\r\n"
    "230,237,245 //label and skinned button text\r\n"
    "22,84,1000,682 //camera grid\r\n"
    "30,44,62 //dialog gradient, first colour\r\n"
    "12,18,27 //dialog gradient, second colour\r\n"
    "1030,592 //0 About Us\r\n"
    "1030,676 //1 Exit\r\n"
    "1030,112 //2 Cameras\r\n";

void packageSeeds()
{
    const std::string t = "fuzz_skin_package";
    const Bytes info = bytesOf(shortInfo);
    const Bytes about = smallPicture24(6, 4);
    const Bytes exit16 = dib(5, 3, 16, false, true, {0xF800, 0x07E0, 0x001F}, pattern565);
    const Bytes exit32 = dib(4, 3, 32, true, false, {}, pattern888);
    const Bytes good = cx::buildPackage(cx::corvanexFormatTag, {{"info.txt", info},
                                                                {"Status.txt", bytesOf("Ready\r\n")},
                                                                {"about.bmp", about},
                                                                {"exit.bmp", exit16},
                                                                {"cameras.bmp", exit32}});
    put(t, "skin_three_bitmaps.int", good);
    put(t, "skin_info_only.int", cx::buildPackage(cx::corvanexFormatTag, {{"info.txt", info}}));
    put(t, "skin_other_tag.int", cx::buildPackage(0x1234, {{"info.txt", bytesOf("0\r\n1,2,3,4 //x\r\n")}, {"a.bmp", about}}));
    put(t, "skin_empty_entry.int", cx::buildPackage(cx::corvanexFormatTag, {{"info.txt", {}}, {"Status.txt", bytesOf("x")}}));
    // No entries at all.
    Bytes empty;
    putLe16(empty, cx::corvanexFormatTag);
    putLe16(empty, 0);
    putLe16(empty, 0);
    put(t, "skin_no_entries.int", empty);
    // The directory cut short, and one that claims more entries than it has.
    put(t, "skin_cut_directory.int", cut(good, 40));
    Bytes moreEntries = good;
    moreEntries[4] = 9;
    put(t, "skin_count_too_high.int", moreEntries);
    // Hand-made: an unsafe name, and data offsets past the end of the file.
    // One entry; offset 0 puts its data right after the directory.
    auto handMade = [](const std::string& name, uint32_t dataSize, uint32_t offset, const Bytes& data) {
        if (offset == 0) offset = static_cast<uint32_t>(6 + 4 + name.size() + 4 + 4);
        Bytes b;
        putLe16(b, cx::corvanexFormatTag);
        putLe16(b, 0);
        putLe16(b, 1);
        putLe32(b, static_cast<uint32_t>(name.size()));
        append(b, name);
        putLe32(b, dataSize);
        putLe32(b, offset);
        append(b, data);
        return b;
    };
    put(t, "skin_unsafe_name.int", handMade("../info.txt", 4, 0, bytesOf("evil")));
    put(t, "skin_offset_past_end.int", handMade("info.txt", 100, 5000, bytesOf("0\r\n")));
    put(t, "skin_size_overflow.int", handMade("info.txt", 0xFFFFFFF0u, 0, bytesOf("0\r\n")));
}

// ---- settings and schedule ------------------------------------------------

void settingsSeeds()
{
    const std::string t = "fuzz_settings";
    const cx::Settings defaults;
    const Bytes whole = cx::settingsBytes(defaults);
    put(t, "defaults", whole);
    put(t, "all_zero", Bytes(cx::settingsFileSize, 0));
    put(t, "all_minus_one", Bytes(cx::settingsFileSize, 0xFF));
    Bytes extremes;
    for (size_t k = 0; k < cx::settingsValueCount; ++k) putLe32(extremes, k % 2 ? 0x7FFFFFFFu : 0x80000000u);
    put(t, "extremes", extremes);
    for (size_t n : {3u, 4u, 92u, 183u}) put(t, "short_" + std::to_string(n), cut(whole, n));
    Bytes longer = whole;
    append(longer, Bytes{1, 0, 0, 0, 2, 0});
    put(t, "long_190", longer);
    Bytes twice = whole;
    append(twice, whole);
    put(t, "long_twice", twice);
}

// One input of the schedule target: a byte giving the length of hours.dat
// (below 64), hours.dat itself (the indexes, cut or padded to that length),
// then hours.txt.
Bytes scheduleInput(const std::vector<int32_t>& indexes, size_t datBytes, const std::string& labels)
{
    Bytes dat;
    for (int32_t v : indexes) putLe32(dat, static_cast<uint32_t>(v));
    dat.resize(datBytes, 0);
    Bytes b{static_cast<uint8_t>(datBytes)};
    append(b, dat);
    append(b, labels);
    return b;
}

std::string hours(const char* lineEnd)
{
    std::string text;
    for (int k = 0; k < 24; ++k) {
        char label[8];
        std::snprintf(label, sizeof label, "%02d:00", k);
        text += std::string(label) + lineEnd;
    }
    return text;
}

void scheduleSeeds()
{
    const std::string t = "fuzz_schedule";
    const size_t full = cx::weekScheduleFileSize;
    const std::vector<int32_t> office = {8, 18, 8, 18, 8, 18, 8, 18, 8, 17, 0, 0, 0, 0};
    put(t, "office_hours", scheduleInput(office, full, hours("\n")));
    put(t, "office_hours_crlf", scheduleInput(office, full, hours("\r\n")));
    const std::vector<int32_t> nights = {22, 6, 22, 6, 22, 6, 22, 6, 22, 6, 20, 8, 20, 8};
    put(t, "overnight", scheduleInput(nights, full, hours("\n")));
    const std::vector<int32_t> odd = {-1, 5, 127, 128, 23, 23, 2000000000, -2000000000, 3, 100, 0, 23, 60, 1};
    put(t, "indexes_out_of_range", scheduleInput(odd, full, hours("\n")));
    put(t, "dat_short", scheduleInput(office, 22, hours("\n")));
    put(t, "dat_long", scheduleInput(office, 63, hours("\n")));
    put(t, "labels_odd", scheduleInput({0, 1, 2, 3, 4, 5, 6, 7, 1, 0, 3, 2, 5, 4},
                                       full, "830\n8:3\n\n24:00\n-1:00\n99:99\nab:cd\n 7:15\r\r\n12:0"));
    put(t, "labels_missing", scheduleInput(office, full, ""));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cx-make-fuzz-seeds FOLDER\n");
        return 2;
    }
    outFolder = argv[1];
    decodeFrameSeeds();
    streamSeeds();
    protocolSeeds();
    bitmapSeeds("fuzz_skin_bitmap");
    packageSeeds();
    settingsSeeds();
    scheduleSeeds();
    std::printf("%zu seeds written to %s\n", written, outFolder.c_str());
    return 0;
}
