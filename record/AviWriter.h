#pragma once
// A one-stream video AVI file written by hand: our recordings put a frame
// at positions of the process-wide frame counter, so most positions are
// empty. Written here, an empty position costs 8 bytes in the frame's one
// write and its index entry is worked out at the end from the frame's,
// instead of a muxer call, a debug text and 16 bytes of memory each.
//
// Layout as common AVI writers make it: RIFF "AVI " with the headers, the
// movi list and idx1; past riffLimit bytes the file goes on in RIFF "AVIX"
// parts with OpenDML indexes (ix00 per part, indx in the stream header).
// The sizes of the part being written stay 0xFFFFFFFF until it ends, so a
// file cut by a crash reads as running to its end; a part that ended has
// its sizes and indexes on disk at once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cx {

class RecordingFile;

struct AviVideoFormat {
    uint32_t handler = 0;                     // strh fccHandler
    std::array<uint8_t, 40> bitmapHeader{};  // strf: BITMAPINFOHEADER
    int width = 0;
    int height = 0;
};

// The stream formats of our recordings: the camera's JPEGs ("MJPG"), and
// uncompressed bottom-up bitmaps ("DIB ", handler 0).
AviVideoFormat jpegVideoFormat(int width, int height);
AviVideoFormat bitmapVideoFormat(int width, int height);

class AviWriter {
public:
    // A part's bytes, its indexes included: the first stays readable by AVI 1.0 readers.
    static constexpr uint64_t defaultRiffLimit = uint64_t{1} << 30;
    static constexpr int maxParts = 256;                             // entries of the indx super index

    explicit AviWriter(RecordingFile& file, uint64_t riffLimit = defaultRiffLimit);

    // Writes the headers; `rate` positions per second.
    void start(const AviVideoFormat& format, int rate);
    // Appends a key frame at `position` (positions before it that hold no
    // frame become empty chunks), in one write. A position already taken
    // is moved to the next free one.
    void writeFrame(const uint8_t* data, size_t size, int64_t position);
    // Positions written so far, empty ones included.
    int64_t positions() const { return positions_; }
    // Writes the indexes and the real sizes. Nothing is written afterwards.
    void finish();

private:
    // One frame of the current part: its first empty chunk (or the frame's
    // own chunk) at `offset` in the file, `empties` chunks of 8 bytes, then
    // the frame's chunk of `size` bytes.
    struct Entry {
        uint64_t offset;
        uint32_t empties;
        uint32_t size;
        bool frame;  // false: only empty chunks (a gap that ends the part)
    };
    struct Part {
        uint64_t indexOffset;  // its ix00 chunk
        uint32_t indexSize;
        uint32_t positions;
    };

    void put32At(uint64_t offset, uint32_t value);
    void put64At(uint64_t offset, uint64_t value);
    // Writes `bytes` at the end of the file.
    void append(const std::vector<uint8_t>& bytes);
    void startMovi(bool furtherPart);
    // Ends the current part: its ix00 (OpenDML files), the movi list, idx1
    // for the first part, the RIFF size.
    void endPart(bool last);
    void writeIdx1();
    void writeIx00();
    // Marks the finished parts in the super index, the odml list and avih.
    void updateSuperIndex();
    uint32_t partPositions() const;
    // Bytes the current part would take with `chunks` more chunks of `bytes`, its indexes included.
    uint64_t partBytesWith(uint64_t chunks, uint64_t bytes) const;
    // Appends `count` empty chunks; with `thenFrame` the last ones stay in
    // out_ for the frame's write.
    void writeEmpties(uint64_t count, bool thenFrame);

    RecordingFile& file_;
    uint64_t riffLimit_;
    bool started_ = false;
    bool finished_ = false;
    uint64_t end_ = 0;          // bytes in the file
    uint64_t riffStart_ = 0;    // the current part's "RIFF"
    uint64_t moviStart_ = 0;    // the current part's "LIST" of movi
    uint64_t indxOffset_ = 0;   // the reserved super index ("JUNK" until a second part)
    uint64_t odmlOffset_ = 0;   // the reserved "odml" list
    uint64_t avihOffset_ = 0;
    uint64_t strhOffset_ = 0;
    int64_t positions_ = 0;
    uint64_t partChunks_ = 0;  // chunks in the current part
    uint32_t firstPartPositions_ = 0;
    uint32_t maxChunk_ = 0;
    std::vector<Entry> entries_;  // the current part's frames; keeps its capacity between parts
    std::vector<Part> parts_;     // finished parts of an OpenDML file
    std::vector<uint8_t> out_;    // one frame's bytes, reused
};

}  // namespace cx
