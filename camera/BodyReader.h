#pragma once
// Pull-style access to a response body: by line or by byte count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cx {

enum class ReadResult { Ok, End, Error, Cancelled, TimedOut };

class BodyReader {
public:
    virtual ~BodyReader() = default;
    // The next line without its line end (LF or CR LF); lines longer than
    // maxLength come in pieces. End when the body is over.
    virtual ReadResult readLine(std::string& line, size_t maxLength = 65536) = 0;
    // Reads until n bytes arrived or the body ended; `got` tells how many.
    virtual ReadResult readBytes(uint8_t* data, size_t n, size_t& got) = 0;
    // As readBytes, appending to `out` (a reader may skip zero-filling it).
    virtual ReadResult appendBytes(std::vector<uint8_t>& out, size_t n, size_t& got)
    {
        const size_t before = out.size();
        out.resize(before + n);
        const ReadResult r = readBytes(out.data() + before, n, got);
        out.resize(before + got);
        return r;
    }
};

// A body held in memory (tests, fuzzing).
class MemoryBodyReader final : public BodyReader {
public:
    MemoryBodyReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    ReadResult readLine(std::string& line, size_t maxLength = 65536) override;
    ReadResult readBytes(uint8_t* data, size_t n, size_t& got) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace cx
