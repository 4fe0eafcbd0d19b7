#include "StreamPictures.h"
#include "FrameCode.h"

extern "C" {
#include <libswscale/swscale.h>
}
#include <turbojpeg.h>

namespace cx::sim {

namespace {

constexpr int generatedCount = 30;  // frames the generated bar takes to cross

}  // namespace

std::shared_ptr<const FrameSource> StreamPictures::source(int width, int height, int scene,
                                                          const std::filesystem::path& photos)
{
    if (scene > 0) return std::make_shared<FrameSource>(FrameSource::scene(width, height, scene));
    if (!photos.empty()) return std::make_shared<FrameSource>(photos);
    return nullptr;
}

StreamPictures::StreamPictures(int width, int height, std::shared_ptr<const FrameSource> source, int framesPerPhoto)
    : width_(width), height_(height), framesPerPhoto_(std::max(1, framesPerPhoto)), source_(std::move(source))
{
    toI420_ = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                             nullptr, nullptr);
}

StreamPictures::~StreamPictures()
{
    sws_freeContext(toI420_);
    sws_freeContext(scalePhoto_);
}

bool StreamPictures::loadPhoto(size_t index)
{
    const std::vector<uint8_t> jpeg = source_->frame(index);
    tjhandle handle = tjInitDecompress();
    if (handle == nullptr) return false;
    int w = 0, h = 0, subsampling = 0, colours = 0;
    std::vector<uint8_t> decoded;
    bool ok = tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &w, &h, &subsampling, &colours) == 0 && w > 0 && h > 0;
    if (ok) {
        decoded.resize(static_cast<size_t>(w) * h * 3);
        ok = tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.data(), w, w * 3, h, TJPF_RGB, TJFLAG_FASTDCT) == 0;
    }
    tjDestroy(handle);
    if (!ok) return false;
    // Stretched to the stream's size, as a camera's sensor would fill it.
    scalePhoto_ = sws_getCachedContext(scalePhoto_, w, h, AV_PIX_FMT_RGB24, width_, height_, AV_PIX_FMT_RGB24, SWS_BILINEAR,
                                       nullptr, nullptr, nullptr);
    if (scalePhoto_ == nullptr) return false;
    photo_.resize(static_cast<size_t>(width_) * height_ * 3);
    const uint8_t* src[1] = {decoded.data()};
    const int srcStride[1] = {w * 3};
    uint8_t* dst[1] = {photo_.data()};
    const int dstStride[1] = {width_ * 3};
    sws_scale(scalePhoto_, src, srcStride, 0, h, dst, dstStride);
    return true;
}

void StreamPictures::draw(uint64_t number, std::chrono::system_clock::time_point when, const PicturePlanes& out)
{
    if (source_ == nullptr) {
        drawGeneratedPicture(rgb_, width_, height_, static_cast<int>(number % generatedCount), generatedCount);
    } else if (source_->isScene()) {
        source_->drawScene(rgb_, when);
    } else {
        const size_t index = (number / static_cast<uint64_t>(framesPerPhoto_)) % source_->count();
        if (index != photoIndex_) {
            // A photo that cannot be read leaves the last one (or grey) on show.
            if (!loadPhoto(index) && photo_.empty()) photo_.assign(static_cast<size_t>(width_) * height_ * 3, 128);
            photoIndex_ = index;
        }
        rgb_.assign(photo_.begin(), photo_.end());
    }
    drawFrameCodeRgb(static_cast<uint32_t>(number % frameCodeModulus), rgb_.data(), width_, height_, width_ * 3);
    if (toI420_ == nullptr || out.data[0] == nullptr) return;
    const uint8_t* src[1] = {rgb_.data()};
    const int srcStride[1] = {width_ * 3};
    sws_scale(toI420_, src, srcStride, 0, height_, out.data, out.stride);
}

}  // namespace cx::sim
