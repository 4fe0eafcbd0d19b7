#include "BodyReader.h"

#include <algorithm>
#include <cstring>

namespace cx {

ReadResult MemoryBodyReader::readLine(std::string& line, size_t maxLength)
{
    line.clear();
    if (offset_ >= size_) return ReadResult::End;
    const size_t limit = std::min(size_, offset_ + std::max<size_t>(maxLength, 1));
    const void* found = std::memchr(data_ + offset_, '\n', limit - offset_);
    const size_t end = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - data_) : limit;
    line.assign(reinterpret_cast<const char*>(data_ + offset_), end - offset_);
    offset_ = found ? end + 1 : end;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return ReadResult::Ok;
}

ReadResult MemoryBodyReader::readBytes(uint8_t* data, size_t n, size_t& got)
{
    got = std::min(n, size_ - offset_);
    if (got > 0) std::memcpy(data, data_ + offset_, got);
    offset_ += got;
    return got == n ? ReadResult::Ok : ReadResult::End;
}

ReadResult MemoryBodyReader::lend(size_t n, size_t& at)
{
    if (size_ - offset_ < n) {
        offset_ = size_;
        return ReadResult::End;
    }
    at = offset_;
    offset_ += n;
    return ReadResult::Ok;
}

}  // namespace cx
