#include "RecordingIo.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

#include "RecordingFile.h"

namespace cx {

namespace {

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using IoBytes = const uint8_t*;
#else
using IoBytes = uint8_t*;
#endif

int writeToFile(void* opaque, IoBytes data, int size)
{
    static_cast<RecordingFile*>(opaque)->write(data, static_cast<size_t>(size));
    return size;  // refused bytes are kept by the file, never an error for the muxer
}

int64_t seekInFile(void* opaque, int64_t offset, int whence)
{
    auto* file = static_cast<RecordingFile*>(opaque);
    if (whence & AVSEEK_SIZE) return file->size();
    return file->seek(offset, whence & ~AVSEEK_FORCE);
}

}  // namespace

AVIOContext* openRecordingIo(RecordingFile& file, size_t bufferSize)
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (buffer == nullptr) return nullptr;
    AVIOContext* io = avio_alloc_context(buffer, static_cast<int>(bufferSize), 1, &file, nullptr, writeToFile, seekInFile);
    if (io == nullptr) av_free(buffer);
    return io;
}

void closeRecordingIo(AVIOContext*& io)
{
    if (io == nullptr) return;
    av_freep(&io->buffer);
    avio_context_free(&io);
}

void freeMuxer(AVFormatContext*& format, AVIOContext*& io)
{
    if (format != nullptr) {
        format->pb = nullptr;  // ours, not the muxer's to close
        avformat_free_context(format);
        format = nullptr;
    }
    closeRecordingIo(io);
}

}  // namespace cx
