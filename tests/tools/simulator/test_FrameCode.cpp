// Frame codes: drawn, read back, refused where there is none, and read
// after H.264/H.265 compression and scaling down.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "FrameCode.h"
#include "FrameSource.h"
#include "StreamEncoder.h"
#include "StreamPictures.h"

using namespace cx::sim;

namespace {

const std::vector<uint32_t> numbers = {0, 1, 2, 7, 255, 256, 4095, 65535, 123456, 9999999, frameCodeModulus - 1};

// A grey plane of busy content, so the code is read from among other pixels.
std::vector<uint8_t> noisyPlane(int height, int stride, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> plane(static_cast<size_t>(stride) * height);
    for (auto& p : plane) p = static_cast<uint8_t>(random() & 0xFF);
    return plane;
}

// Paints cell `cell` of the code band (36 cells across the whole width, 7 % of the height tall).
void paintCell(std::vector<uint8_t>& luma, int width, int height, int cell, uint8_t value)
{
    for (int y = 0; y < height * 7 / 100; ++y)
        for (int x = cell * width / 36; x < (cell + 1) * width / 36; ++x) luma[y * width + x] = value;
}

std::optional<uint32_t> readPlane(const std::vector<uint8_t>& plane, int width, int height, int stride)
{
    return readFrameCode(plane.data(), width, height, stride);
}

TEST(FrameCode, DrawnCodesReadBackAtEverySize)
{
    struct Size {
        int width, height;
    };
    for (const Size s : {Size{1920, 1080}, Size{1280, 720}, Size{640, 360}, Size{352, 288}, Size{200, 150}, Size{64, 48}}) {
        const int stride = s.width + 13;  // rows padded, as decoders give them
        const auto noise = noisyPlane(s.height, stride, static_cast<unsigned>(s.width));
        for (uint32_t n : numbers) {
            auto luma = noise;
            drawFrameCode(n, luma.data(), s.width, s.height, stride);
            EXPECT_EQ(readPlane(luma, s.width, s.height, stride), n) << s.width << "x" << s.height;

            // RGB drawing, read from its grey values.
            std::vector<uint8_t> rgb(static_cast<size_t>(s.width) * 3 * s.height, 90);
            drawFrameCodeRgb(n, rgb.data(), s.width, s.height, s.width * 3);
            std::vector<uint8_t> grey(static_cast<size_t>(s.width) * s.height);
            for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[i * 3 + 1];
            EXPECT_EQ(readPlane(grey, s.width, s.height, s.width), n) << s.width << "x" << s.height << " RGB";
        }
    }
    // Numbers beyond 24 bits wrap.
    std::vector<uint8_t> luma(320 * 240, 128);
    drawFrameCode(frameCodeModulus + 5, luma.data(), 320, 240, 320);
    EXPECT_EQ(readPlane(luma, 320, 240, 320), 5u);
}

TEST(FrameCode, PicturesWithoutAReadableCodeGiveNothing)
{
    const int width = 640, height = 360;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> pictures;
    pictures.emplace_back("black", std::vector<uint8_t>(width * height, 16));
    pictures.emplace_back("white", std::vector<uint8_t>(width * height, 235));
    pictures.emplace_back("noise", noisyPlane(height, width, 42));
    {
        std::vector<uint8_t> stripes(width * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) stripes[y * width + x] = (x / 9) % 2 ? 235 : 16;
        pictures.emplace_back("vertical stripes", stripes);
    }
    {
        // A street scene as the simulator draws it, without its code.
        std::vector<uint8_t> rgb;
        FrameSource::scene(width, height, 1).drawScene(rgb, std::chrono::system_clock::now());
        std::vector<uint8_t> grey(width * height);
        for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[i * 3 + 1];
        pictures.emplace_back("scene", grey);
    }
    {
        // A code whose number cell was flipped: the check sum no longer fits.
        std::vector<uint8_t> luma(width * height, 128);
        drawFrameCode(1000, luma.data(), width, height, width);
        const int x = 20 * width / 36 + 5;  // inside a data cell
        paintCell(luma, width, height, 20, luma[x] > 128 ? 16 : 235);
        pictures.emplace_back("flipped cell", luma);
    }
    {
        // A code faded to a fifth of its contrast.
        std::vector<uint8_t> luma(width * height, 128);
        drawFrameCode(1000, luma.data(), width, height, width);
        for (auto& p : luma) p = static_cast<uint8_t>(128 + (p - 128) / 5);
        pictures.emplace_back("faded", luma);
    }
    {
        // Cells half grey: neither black nor white.
        std::vector<uint8_t> luma(width * height, 128);
        drawFrameCode(0xAAAAAA, luma.data(), width, height, width);
        paintCell(luma, width, height, 10, 125);
        pictures.emplace_back("grey cell", luma);
    }
    for (const auto& [name, luma] : pictures) EXPECT_EQ(readPlane(luma, width, height, width), std::nullopt) << name;
    EXPECT_EQ(readFrameCode(nullptr, width, height, width), std::nullopt);
    EXPECT_EQ(readFrameCode(pictures[0].second.data(), 20, 20, 20), std::nullopt) << "too small for a code";
}

// Decodes access units with FFmpeg's decoder.
class Decoder {
public:
    explicit Decoder(VideoCodec codec)
    {
        const AVCodec* decoder = avcodec_find_decoder(codec == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC);
        context_ = avcodec_alloc_context3(decoder);
        context_->thread_count = 1;
        opened_ = avcodec_open2(context_, decoder, nullptr) == 0;
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
    }
    ~Decoder()
    {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&context_);
    }
    // The picture of one access unit (no delay: no B-frames), or null.
    const AVFrame* decode(std::vector<uint8_t>& unit)
    {
        if (!opened_ || av_new_packet(packet_, static_cast<int>(unit.size())) < 0) return nullptr;
        std::copy(unit.begin(), unit.end(), packet_->data);
        const int sent = avcodec_send_packet(context_, packet_);
        av_packet_unref(packet_);
        if (sent < 0 || avcodec_receive_frame(context_, frame_) < 0) return nullptr;
        return frame_;
    }

private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool opened_ = false;
};

// The luma of `frame` scaled to width x height.
std::vector<uint8_t> scaledLuma(const AVFrame* frame, int width, int height, int flags)
{
    SwsContext* sws = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), width, height,
                                     AV_PIX_FMT_GRAY8, flags, nullptr, nullptr, nullptr);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    uint8_t* dst[1] = {out.data()};
    const int dstStride[1] = {width};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    sws_freeContext(sws);
    return out;
}

TEST(FrameCode, SurvivesEncodingDecodingAndScalingDown)
{
    struct Case {
        VideoCodec codec;
        int width, height;
        int scene;       // 0: generated pictures
        int bitrateKbps; // 0: the simulator's default (constant quality)
    };
    const Case cases[] = {
        {VideoCodec::H264, 1280, 720, 1, 0},    // main stream, default settings
        {VideoCodec::H264, 640, 360, 2, 0},     // sub stream
        {VideoCodec::H264, 1920, 1080, 4, 0},   // a night scene at full HD
        {VideoCodec::H264, 1280, 720, 0, 300},  // starved of bits
        {VideoCodec::H265, 1280, 720, 3, 0},
        {VideoCodec::H265, 640, 360, 0, 0},
    };
    const int keyInterval = 4, frames = 6;  // a key frame, P-frames, the next key frame and one after it
    const uint64_t first = 123450;           // a number with many cells of both colours
    for (const Case& c : cases) {
        const std::string name = std::string(c.codec == VideoCodec::H264 ? "h264 " : "h265 ") + std::to_string(c.width) +
                                 "x" + std::to_string(c.height) + " " + std::to_string(c.bitrateKbps) + " kbit/s";
        StreamPictures pictures(c.width, c.height, StreamPictures::source(c.width, c.height, c.scene, {}), keyInterval);
        StreamEncoder encoder(c.codec, c.width, c.height, 15, keyInterval, c.bitrateKbps);
        ASSERT_TRUE(encoder.ok()) << encoder.error();
        Decoder decoder(c.codec);
        std::vector<uint8_t> unit;
        for (int i = 0; i < frames; ++i) {
            const uint64_t number = first + i;
            pictures.draw(number, std::chrono::system_clock::now(), encoder.picture());
            bool key = false;
            ASSERT_TRUE(encoder.encode(unit, key)) << name;
            EXPECT_EQ(key, i % keyInterval == 0) << name << " frame " << i;
            const AVFrame* frame = decoder.decode(unit);
            ASSERT_NE(frame, nullptr) << name << " frame " << i;
            ASSERT_EQ(frame->width, c.width);
            EXPECT_EQ(readFrameCode(frame->data[0], frame->width, frame->height, frame->linesize[0]), number)
                << name << " frame " << i;
            for (int flags : {SWS_BILINEAR, SWS_AREA, SWS_FAST_BILINEAR}) {
                const auto small = scaledLuma(frame, 200, 150, flags);
                EXPECT_EQ(readFrameCode(small.data(), 200, 150, 200), number) << name << " at 200x150, frame " << i;
            }
        }
    }
}

}  // namespace
