#pragma once
// Room in a buffer that is reused frame after frame.

#include <cstddef>

namespace cx {

// Makes room for `size` elements. A buffer grows with headroom, so a camera
// whose pictures vary in size settles after its first frames instead of
// growing again at every new largest picture.
template <class Buffer>
void reserveFor(Buffer& buffer, size_t size)
{
    if (buffer.capacity() < size) buffer.reserve(size + size / 4 + 4096);
}

}  // namespace cx
