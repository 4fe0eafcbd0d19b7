#pragma once
// Pull-style access to a response body: by line or by byte count.

#include <cstddef>
#include <cstdint>
#include <span>
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

    // Lending: instead of copying the next n bytes out, the reader keeps them
    // in its buffer and steps over them; `at` tells where they are. They stay
    // readable through lent() while later lines are read, until release().
    // A reader that cannot hold n bytes at once says so with canLend, and
    // the caller copies them instead. Fewer than n bytes before the body
    // ends: End.
    virtual bool canLend(size_t /*n*/) const { return false; }
    virtual ReadResult lend(size_t /*n*/, size_t& /*at*/) { return ReadResult::Error; }
    virtual std::span<const uint8_t> lent(size_t /*at*/, size_t /*n*/) const { return {}; }
    virtual void release() {}
};

// A body held in memory (tests, fuzzing).
class MemoryBodyReader final : public BodyReader {
public:
    // `lends`: hand out bytes in place (as the network reader does), or
    // make the caller copy them.
    MemoryBodyReader(const uint8_t* data, size_t size, bool lends = true) : data_(data), size_(size), lends_(lends) {}
    ReadResult readLine(std::string& line, size_t maxLength = 65536) override;
    ReadResult readBytes(uint8_t* data, size_t n, size_t& got) override;
    bool canLend(size_t) const override { return lends_; }
    ReadResult lend(size_t n, size_t& at) override;
    std::span<const uint8_t> lent(size_t at, size_t n) const override { return {data_ + at, n}; }

private:
    const uint8_t* data_;
    size_t size_;
    bool lends_;
    size_t offset_ = 0;
};

}  // namespace cx
