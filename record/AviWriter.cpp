#include "AviWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "BitmapExport.h"
#include "RecordingFile.h"
#include "Settings.h"

namespace cx {

namespace {

constexpr uint32_t unknownSize = 0xFFFFFFFF;
constexpr uint32_t indxSize = 24 + 16 * AviWriter::maxParts;
constexpr uint32_t dmlhSize = 248;
constexpr uint32_t odmlSize = 4 + 8 + dmlhSize;
constexpr uint32_t strlSize = 4 + (8 + 56) + (8 + 40) + (8 + indxSize);
constexpr uint32_t hdrlSize = 4 + (8 + 56) + (8 + strlSize) + (8 + odmlSize);
constexpr uint32_t keyFrameFlag = 0x10;       // idx1: AVIIF_KEYFRAME
constexpr uint32_t notKeyFrame = 0x80000000;  // ix00: the size's top bit
constexpr size_t flushAbove = size_t{1} << 20;  // index bytes gathered per write
constexpr size_t emptiesPerWrite = 65536;       // empty chunks gathered per write

// Appends by resize and copy (GCC 12 misjudges small inserts into vectors).
void putBytes(std::vector<uint8_t>& out, const void* bytes, size_t n)
{
    const size_t at = out.size();
    out.resize(at + n);
    std::memcpy(out.data() + at, bytes, n);
}
void put8(std::vector<uint8_t>& out, uint8_t v) { putBytes(out, &v, 1); }
void put16(std::vector<uint8_t>& out, uint16_t v)
{
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    putBytes(out, b, 2);
}
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t b[4];
    for (int k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(v >> (8 * k));
    putBytes(out, b, 4);
}
void put64(std::vector<uint8_t>& out, uint64_t v)
{
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}
void putTag(std::vector<uint8_t>& out, const char* tag) { putBytes(out, tag, 4); }
void putZeros(std::vector<uint8_t>& out, size_t n) { out.resize(out.size() + n, 0); }

}  // namespace

AviVideoFormat bitmapVideoFormat(int width, int height)
{
    AviVideoFormat f;
    f.width = width;
    f.height = height;
    f.bitmapHeader = bitmapInfoHeader(width, height);
    return f;
}

AviVideoFormat jpegVideoFormat(int width, int height)
{
    AviVideoFormat f = bitmapVideoFormat(width, height);
    f.handler = fourCC('M', 'J', 'P', 'G');
    // biCompression: the handler, so readers take the chunks as JPEG.
    for (size_t k = 0; k < 4; ++k) f.bitmapHeader[16 + k] = static_cast<uint8_t>(f.handler >> (8 * k));
    return f;
}

AviWriter::AviWriter(RecordingFile& file, uint64_t riffLimit) : file_(file), riffLimit_(riffLimit) {}

void AviWriter::append(const std::vector<uint8_t>& bytes)
{
    file_.seek(static_cast<int64_t>(end_), SEEK_SET);
    file_.write(bytes.data(), bytes.size());
    end_ += bytes.size();
}

void AviWriter::put32At(uint64_t offset, uint32_t value)
{
    uint8_t bytes[4];
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(value >> (8 * k));
    file_.seek(static_cast<int64_t>(offset), SEEK_SET);
    file_.write(bytes, 4);
}

void AviWriter::put64At(uint64_t offset, uint64_t value)
{
    put32At(offset, static_cast<uint32_t>(value));
    put32At(offset + 4, static_cast<uint32_t>(value >> 32));
}

void AviWriter::start(const AviVideoFormat& format, int rate)
{
    if (started_) return;
    started_ = true;
    // Enough for a few minutes of frames before the index grows.
    entries_.reserve(4096);
    out_.clear();
    putTag(out_, "RIFF");
    put32(out_, unknownSize);
    putTag(out_, "AVI ");
    putTag(out_, "LIST");
    put32(out_, hdrlSize);
    putTag(out_, "hdrl");

    avihOffset_ = out_.size();
    putTag(out_, "avih");
    put32(out_, 56);
    put32(out_, static_cast<uint32_t>(1000000 / std::max(1, rate)));  // microseconds per position
    put32(out_, 0);                                                   // bytes per second: unknown
    put32(out_, 0);                                                   // padding granularity
    put32(out_, 0x910);  // AVIF_HASINDEX | AVIF_ISINTERLEAVED | AVIF_TRUSTCKTYPE
    put32(out_, 0);      // total frames (positions of the first part), at the end
    put32(out_, 0);      // initial frames
    put32(out_, 1);      // streams
    put32(out_, 1 << 20);
    put32(out_, static_cast<uint32_t>(format.width));
    put32(out_, static_cast<uint32_t>(format.height));
    putZeros(out_, 16);

    putTag(out_, "LIST");
    put32(out_, strlSize);
    putTag(out_, "strl");
    strhOffset_ = out_.size();
    putTag(out_, "strh");
    put32(out_, 56);
    putTag(out_, "vids");
    put32(out_, format.handler);
    put32(out_, 0);  // flags
    put16(out_, 0);  // priority
    put16(out_, 0);  // language
    put32(out_, 0);  // initial frames
    put32(out_, 1);  // scale
    put32(out_, static_cast<uint32_t>(rate));
    put32(out_, 0);            // start
    put32(out_, 0);            // length in positions, at the end
    put32(out_, 0);            // largest chunk, at the end
    put32(out_, unknownSize);  // quality: the default
    put32(out_, 0);            // sample size: varies
    put16(out_, 0);
    put16(out_, 0);
    put16(out_, static_cast<uint16_t>(format.width));
    put16(out_, static_cast<uint16_t>(format.height));
    putTag(out_, "strf");
    put32(out_, 40);
    putBytes(out_, format.bitmapHeader.data(), format.bitmapHeader.size());
    // The super index, left as padding unless the file needs a second part.
    indxOffset_ = out_.size();
    putTag(out_, "JUNK");
    put32(out_, indxSize);
    put16(out_, 4);  // longs per entry
    put8(out_, 0);   // index sub-type
    put8(out_, 0);   // AVI_INDEX_OF_INDEXES
    put32(out_, 0);  // entries in use
    putTag(out_, "00dc");
    putZeros(out_, 12 + 16 * maxParts);
    odmlOffset_ = out_.size();
    putTag(out_, "JUNK");
    put32(out_, odmlSize);
    putTag(out_, "odml");
    putTag(out_, "dmlh");
    put32(out_, dmlhSize);
    putZeros(out_, dmlhSize);
    end_ = 0;
    append(out_);
    startMovi(false);
}

void AviWriter::startMovi(bool furtherPart)
{
    out_.clear();
    if (furtherPart) {
        riffStart_ = end_;
        putTag(out_, "RIFF");
        put32(out_, unknownSize);
        putTag(out_, "AVIX");
    }
    moviStart_ = end_ + out_.size();
    putTag(out_, "LIST");
    put32(out_, unknownSize);
    putTag(out_, "movi");
    append(out_);
}

uint32_t AviWriter::partPositions() const
{
    uint64_t n = 0;
    for (const Entry& e : entries_) n += uint64_t{e.empties} + (e.frame ? 1 : 0);
    return static_cast<uint32_t>(n);
}

uint64_t AviWriter::partBytesWith(uint64_t chunks, uint64_t bytes) const
{
    // The part's movi bytes and the index bytes its chunks will still cost:
    // 8 in ix00, and 16 more in idx1 in the first part.
    const bool first = riffStart_ == 0;
    const uint64_t perChunk = first ? 24 : 8;
    const uint64_t headers = 8 + 24 + (first ? 8 : 0);  // ix00's head, idx1's
    return end_ - riffStart_ + bytes + headers + (partChunks_ + chunks) * perChunk;
}

void AviWriter::writeEmpties(uint64_t count, bool thenFrame)
{
    static constexpr uint8_t empty[8] = {'0', '0', 'd', 'c', 0, 0, 0, 0};
    uint64_t left = count;
    out_.clear();
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, emptiesPerWrite));
        const size_t at = out_.size();
        out_.resize(at + 8 * n);
        for (size_t k = 0; k < n; ++k) std::memcpy(out_.data() + at + 8 * k, empty, 8);
        left -= n;
        // The last run waits for the frame: one write for both.
        if (left > 0 || !thenFrame) {
            append(out_);
            out_.clear();
        }
    }
}

void AviWriter::writeFrame(const uint8_t* data, size_t size, int64_t position)
{
    if (!started_ || finished_) return;
    uint64_t empties = position > positions_ ? static_cast<uint64_t>(position - positions_) : 0;
    const uint64_t frameBytes = 8 + size + (size & 1);
    // A gap that does not fit in the part fills it, and goes on in the next
    // (a camera that was away for hours among busy ones): every size in a
    // part stays within its limit and 32 bits.
    while (partBytesWith(empties + 1, 8 * empties + frameBytes) > riffLimit_ && (partChunks_ > 0 || empties > 0)) {
        const uint64_t used = partBytesWith(0, 0);
        const uint64_t perChunk = riffStart_ == 0 ? 24 : 8;
        uint64_t fill = used < riffLimit_ ? (riffLimit_ - used) / (8 + perChunk) : 0;
        fill = std::min(fill, empties);
        if (partChunks_ == 0 && fill == 0) fill = std::min<uint64_t>(empties, 1);  // always move on
        if (fill > 0) {
            const uint64_t first = end_;
            writeEmpties(fill, false);
            entries_.push_back({first, static_cast<uint32_t>(fill), 0, false});
            partChunks_ += fill;
            positions_ += static_cast<int64_t>(fill);
            empties -= fill;
        }
        endPart(false);
        startMovi(true);
    }
    const uint64_t first = end_;
    writeEmpties(empties, true);
    putTag(out_, "00dc");
    put32(out_, static_cast<uint32_t>(size));
    // The picture is written from where it is, beside the chunk heads: one
    // system call, no copy.
    static constexpr uint8_t pad[1] = {0};
    const std::span<const uint8_t> pieces[3] = {{out_.data(), out_.size()}, {data, size}, {pad, size & 1}};
    file_.seek(static_cast<int64_t>(end_), SEEK_SET);
    file_.write(pieces);
    end_ += out_.size() + size + (size & 1);
    entries_.push_back({first, static_cast<uint32_t>(empties), static_cast<uint32_t>(size), true});
    partChunks_ += empties + 1;
    positions_ += static_cast<int64_t>(empties) + 1;
    maxChunk_ = std::max(maxChunk_, static_cast<uint32_t>(size));
}

void AviWriter::writeIdx1()
{
    const uint64_t base = moviStart_ + 8;  // offsets count from the "movi" tag
    const uint64_t chunks = partChunks_;
    out_.clear();
    putTag(out_, "idx1");
    put32(out_, static_cast<uint32_t>(16 * chunks));
    for (const Entry& e : entries_) {
        const uint64_t count = uint64_t{e.empties} + (e.frame ? 1 : 0);
        for (uint64_t k = 0; k < count; ++k) {
            const bool frame = k == e.empties;
            putTag(out_, "00dc");
            put32(out_, frame ? keyFrameFlag : 0);
            put32(out_, static_cast<uint32_t>(e.offset + 8 * k - base));
            put32(out_, frame ? e.size : 0);
            if (out_.size() >= flushAbove) {
                append(out_);
                out_.clear();
            }
        }
    }
    append(out_);
}

void AviWriter::writeIx00()
{
    const uint64_t base = moviStart_ + 8;
    const uint64_t chunks = partChunks_;
    const uint64_t start = end_;
    const uint32_t size = static_cast<uint32_t>(24 + 8 * chunks);
    out_.clear();
    putTag(out_, "ix00");
    put32(out_, size);
    put16(out_, 2);  // longs per entry
    put8(out_, 0);   // index sub-type
    put8(out_, 1);   // AVI_INDEX_OF_CHUNKS
    put32(out_, static_cast<uint32_t>(chunks));
    putTag(out_, "00dc");
    put64(out_, base);
    put32(out_, 0);
    for (const Entry& e : entries_) {
        const uint64_t count = uint64_t{e.empties} + (e.frame ? 1 : 0);
        for (uint64_t k = 0; k < count; ++k) {
            const bool frame = k == e.empties;
            // Offsets of the chunks' data, past their 8-byte headers.
            put32(out_, static_cast<uint32_t>(e.offset + 8 * k + 8 - base));
            put32(out_, frame ? e.size : notKeyFrame);
            if (out_.size() >= flushAbove) {
                append(out_);
                out_.clear();
            }
        }
    }
    append(out_);
    parts_.push_back({start, size + 8, partPositions()});
}

void AviWriter::endPart(bool last)
{
    const bool openDml = !last || !parts_.empty();
    const bool firstPart = riffStart_ == 0;
    const uint32_t positions = partPositions();
    if (openDml) writeIx00();
    put32At(moviStart_ + 4, static_cast<uint32_t>(end_ - moviStart_ - 8));
    if (firstPart) {
        writeIdx1();
        firstPartPositions_ = positions;
    }
    put32At(riffStart_ + 4, static_cast<uint32_t>(end_ - riffStart_ - 8));
    entries_.clear();
    partChunks_ = 0;
    // Told in the headers at once, so a crash later on leaves every part
    // so far indexed.
    if (openDml) updateSuperIndex();
}

void AviWriter::updateSuperIndex()
{
    file_.seek(static_cast<int64_t>(indxOffset_), SEEK_SET);
    file_.write(reinterpret_cast<const uint8_t*>("indx"), 4);
    // Beyond maxParts parts (some 256 GiB) later parts are read without it.
    const size_t used = std::min<size_t>(parts_.size(), maxParts);
    put32At(indxOffset_ + 12, static_cast<uint32_t>(used));
    const size_t k = used - 1;
    if (parts_.size() <= maxParts) {
        const uint64_t at = indxOffset_ + 8 + 24 + 16 * k;
        put64At(at, parts_[k].indexOffset);
        put32At(at + 8, parts_[k].indexSize);
        put32At(at + 12, parts_[k].positions);
    }
    file_.seek(static_cast<int64_t>(odmlOffset_), SEEK_SET);
    file_.write(reinterpret_cast<const uint8_t*>("LIST"), 4);
    uint64_t total = 0;
    for (const Part& p : parts_) total += p.positions;
    put32At(odmlOffset_ + 20, static_cast<uint32_t>(total));
    put32At(avihOffset_ + 8 + 16, firstPartPositions_);
    file_.seek(static_cast<int64_t>(end_), SEEK_SET);
}

void AviWriter::finish()
{
    if (!started_ || finished_) return;
    endPart(true);
    finished_ = true;
    put32At(avihOffset_ + 8 + 16, firstPartPositions_);
    put32At(strhOffset_ + 8 + 32, static_cast<uint32_t>(positions_));
    put32At(strhOffset_ + 8 + 36, maxChunk_);
    file_.seek(static_cast<int64_t>(end_), SEEK_SET);
}

}  // namespace cx
