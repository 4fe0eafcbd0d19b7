#include "FrameDecoder.h"

#include <turbojpeg.h>

#include "DecodeScale.h"

namespace cx {

FrameDecoder::FrameDecoder() : handle_(tjInitDecompress()) {}

FrameDecoder::~FrameDecoder()
{
    picture_ = {};
    if (handle_ != nullptr) tjDestroy(handle_);
}

void FrameDecoder::ReleasePicture() { picture_ = {}; }

DecodeResult FrameDecoder::readSize(const uint8_t* data, size_t size)
{
    ReleasePicture();
    DecodeResult result;
    if (handle_ == nullptr || data == nullptr || size == 0 || size > static_cast<size_t>(UINT32_MAX)) return result;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle_, data, static_cast<unsigned long>(size), &width, &height, &subsampling,
                            &colourspace) != 0)
        return result;
    if (width <= 0 || height <= 0 || int64_t{width} * height > maxPixels_) return result;
    result.decoded = true;
    result.width = width;
    result.height = height;
    return result;
}

DecodeResult FrameDecoder::DecodeFrame(const uint8_t* data, size_t size, QSize drawSize)
{
    ReleasePicture();
    DecodeResult result;
    if (handle_ == nullptr || data == nullptr || size == 0 || size > static_cast<size_t>(UINT32_MAX)) return result;

    const auto length = static_cast<unsigned long>(size);
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle_, data, length, &width, &height, &subsampling, &colourspace) != 0) return result;
    if (width <= 0 || height <= 0 || int64_t{width} * height > maxPixels_) return result;

    decodes_.fetch_add(1);
    const int d = chooseDecodeScale({width, height}, drawSize);
    const QSize target = scaledSize({width, height}, d);
    const size_t pitch = static_cast<size_t>(target.width()) * 4;
    const size_t bytes = pitch * static_cast<size_t>(target.height());
    // Reused between frames; given back when one odd large frame left far
    // more than the camera's usual size behind.
    if (storage_.size() < bytes || storage_.size() > 2 * bytes + (size_t{16} << 20)) {
        picture_ = DecodedPicture{};
        view_ = QImage();
        storage_ = std::vector<uint8_t>(bytes);
    }

    // TJFLAG_LIMITSCANS stops progressive files with thousands of scans,
    // which would otherwise take seconds per frame.
    const int rc = tjDecompress2(handle_, data, length, storage_.data(), target.width(), static_cast<int>(pitch),
                                 target.height(), TJPF_BGRX, TJFLAG_LIMITSCANS);
    if (rc != 0 && tjGetErrorCode(handle_) != TJERR_WARNING) return result;

    // BGRX in memory is QImage's RGB32 on a little-endian machine.
    picture_.width = width;
    picture_.height = height;
    // The image over the storage is made again only when the size changed:
    // a picture is handed on without allocating.
    if (view_.constBits() != storage_.data() || view_.size() != target ||
        view_.bytesPerLine() != static_cast<qsizetype>(pitch))
        view_ = QImage(storage_.data(), target.width(), target.height(), static_cast<qsizetype>(pitch),
                       QImage::Format_RGB32);
    picture_.pixels = view_;
    result.decoded = true;
    result.width = width;
    result.height = height;
    return result;
}

}  // namespace cx
