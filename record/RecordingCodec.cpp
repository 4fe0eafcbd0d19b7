#include "RecordingCodec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "Settings.h"

namespace cx {

RecordingCodec chooseRecordingCodec(uint32_t handler)
{
    if (handler == 0) return {};
    if (handler == fourCC('D', 'I', 'B', ' ')) return {RecordingFormat::Bitmap, AV_CODEC_ID_RAWVIDEO};
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tags, handler);
    if (id == AV_CODEC_ID_NONE || id == AV_CODEC_ID_MJPEG) return {};
    if (id == AV_CODEC_ID_RAWVIDEO) return {RecordingFormat::Bitmap, AV_CODEC_ID_RAWVIDEO};
    if (avcodec_find_encoder(id) == nullptr) return {};
    return {RecordingFormat::Encoded, id};
}

}  // namespace cx
