#pragma once
// Little-endian byte building for hand-made file fixtures.

#include <cstdint>
#include <string>
#include <vector>

namespace cx::test {

class Bytes {
public:
    Bytes& u8(uint8_t v)
    {
        data.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
    Bytes& text(const std::string& s)
    {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    size_t size() const { return data.size(); }

    std::vector<uint8_t> data;
};

// A DIB file: 14-byte file header, 40-byte information header, then
// `pixels` (rows bottom-up unless height is negative) at offset 54 plus
// `gap` bytes (a colour table or bit masks).
inline std::vector<uint8_t> dibFile(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                                    const std::vector<uint8_t>& gap, const std::vector<uint8_t>& pixels)
{
    Bytes b;
    const uint32_t offset = 54 + static_cast<uint32_t>(gap.size());
    b.u16(0x4D42).u32(offset + static_cast<uint32_t>(pixels.size())).u32(0).u32(offset);
    b.u32(40).u32(static_cast<uint32_t>(width)).u32(static_cast<uint32_t>(height)).u16(1).u16(bitCount);
    b.u32(compression).u32(static_cast<uint32_t>(pixels.size())).u32(2835).u32(2835).u32(0).u32(0);
    b.data.insert(b.data.end(), gap.begin(), gap.end());
    b.data.insert(b.data.end(), pixels.begin(), pixels.end());
    return b.data;
}

}  // namespace cx::test
